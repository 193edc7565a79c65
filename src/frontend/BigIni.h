#pragma once
// An INI-style text file held whole in memory: sections in file order, each with
// its lines unchanged. Reads come from memory; the file is written back only by a
// Flush that finds something changed.
//
// Keys and section names compare without regard to ASCII letter case; a line
// belongs to a key when the text before its first "=" equals the key exactly
// otherwise (blanks around "=" are part of the key).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TBigIniFile {
 public:
  struct Section {
    std::string Name;
    std::vector<std::string> Lines;
  };

  explicit TBigIniFile(const std::string& fileName);
  virtual ~TBigIniFile();
  TBigIniFile(const TBigIniFile&) = delete;
  TBigIniFile& operator=(const TBigIniFile&) = delete;

  // Flushes what the store holds, drops it and reads fileName. A missing file gives
  // an empty store. False when the file exists but could not be read; the store is
  // then empty and refuses to flush over that file, so a passing read error cannot
  // cost the user the settings kept in it.
  bool Load(const std::string& fileName);

  virtual std::string ReadString(std::string_view section, std::string_view key, const std::string& def) const;
  virtual void WriteString(std::string_view section, std::string_view key, const std::string& value);
  // An existing but empty value gives the default, like a missing one.
  virtual char ReadChar(std::string_view section, std::string_view key, char def) const;
  virtual void WriteChar(std::string_view section, std::string_view key, char value);
  virtual std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;
  virtual void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  virtual double ReadFloat(std::string_view section, std::string_view key, double def) const;
  virtual void WriteFloat(std::string_view section, std::string_view key, double value);
  virtual bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  virtual void WriteBool(std::string_view section, std::string_view key, bool value);
  // Appends the key part of every line of the section that has one.
  virtual void ReadSectionKeys(std::string_view section, std::vector<std::string>& list) const;
  virtual void ReadSectionLines(std::string_view section, std::vector<std::string>& list) const;
  virtual void EraseSection(std::string_view section);
  // The file text as lines: per non-empty section its header, its lines, one empty line.
  virtual void WriteAllTo(std::vector<std::string>& list) const;
  // Writes the file if Modified. The text goes to a temporary file beside it that is
  // then renamed over the old one, so a crash or a full disk never leaves a truncated
  // file. False on a file error (see LastError); the old file is then left whole and
  // Modified stays set so a later flush tries again.
  virtual bool Flush();

  const std::string& FileName() const { return FileName_; }
  bool Modified() const { return Modified_; }
  const std::vector<Section>& Sections() const { return Sections_; }
  // The text of the last file error ("" after a successful load or flush).
  const std::string& LastError() const { return LastError_; }

  // Removes the first line of the section that belongs to the key; sets Modified when
  // there was one.
  void DeleteKey(std::string_view section, std::string_view key);
  // The file exists but could not be read by the last Load.
  bool LoadFailed() const { return LoadFailed_; }

  // The conversions behind the typed reads and writes.
  static bool TryParseInteger(std::string_view text, std::int32_t& value);
  static bool TryParseFloat(std::string_view text, double& value);
  static std::string FormatFloat(double value);

 protected:
  // Index of the first section with that name, or -1; with create, a missing
  // section is appended (which alone does not set Modified).
  int FindSection(std::string_view name, bool create);
  int FindSection(std::string_view name) const;
  // Index of the first line of the section that belongs to the key, or -1.
  static int FindLine(const Section& section, std::string_view key);

  std::string FileName_;
  bool Modified_ = false;
  std::vector<Section> Sections_;
  std::string LastError_;
  bool LoadFailed_ = false;
};

class TBiggerIniFile : public TBigIniFile {
 public:
  using TBigIniFile::TBigIniFile;
  // Appends the names of all sections, in file order.
  void ReadSections(std::vector<std::string>& list) const;
};

// The program's settings file, "Varnex.ini" in the program folder.
class TAppIniFile : public TBiggerIniFile {
 public:
  explicit TAppIniFile(const std::string& folder);
};
