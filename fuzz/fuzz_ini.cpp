// The settings store: any file loads; edits read back as written; what a flush
// writes loads back to the same store and writes identically; and the program's
// settings load from any file and save again.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzFiles.h"
#include "frontend/BigIni.h"
#include "frontend/Settings.h"
#include "link/AdvCom32.h"

namespace {

// Names and values as the program writes them: one line each, and a key is the
// text before the first "=".
std::string Clean(std::string_view text, bool key) {
  std::string out;
  for (char c : text)
    if (c != '\r' && c != '\n' && !(key && c == '=')) out += c;
  if (key && !out.empty() && out[0] == '[') out.erase(0, 1);
  return out;
}

std::vector<std::string> Text(const TBigIniFile& ini) {
  std::vector<std::string> lines;
  ini.WriteAllTo(lines);
  return lines;
}

// Flushes even an unchanged store: a key added and deleted again changes
// nothing but makes the flush write. False when the store already uses the key.
bool FlushAnyway(TBigIniFile& ini) {
  if (ini.ReadString("\x02", "\x03", "\x04") != "\x04") return false;
  ini.WriteString("\x02", "\x03", "x");
  ini.DeleteKey("\x02", "\x03");
  FUZZ_CHECK(ini.Modified() && ini.Flush());
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::string path = ScratchFolder() + "/Varnex.ini";
  const std::string copyPath = ScratchFolder() + "/Copy.ini";
  WriteScratchFile(path, in.Until('\0'));

  std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> touched;
  {
    TBigIniFile ini(path);
    FUZZ_CHECK(!ini.LoadFailed() && !ini.Modified());
    // Edits: one byte picks the operation, then section, key and value up to a NUL each.
    while (!in.Empty()) {
      const std::uint8_t op = in.Byte();
      const std::string section = Clean(in.Until('\0'), false);
      const std::string key = Clean(in.Until('\0'), true);
      const std::string value = Clean(in.Until('\0'), false);
      if (key.empty()) continue;
      touched[{Lower(section), Lower(key)}] = {section, key};
      switch (op % 6) {
        case 0:
          ini.WriteString(section, key, value);
          FUZZ_CHECK(ini.ReadString(section, key, "?") == value);
          break;
        case 1: {
          const auto n = static_cast<std::int32_t>(value.size() * 2654435761u);
          ini.WriteInteger(section, key, n);
          FUZZ_CHECK(ini.ReadInteger(section, key, n + 1) == n);
          break;
        }
        case 2: {
          double v = 0.0;
          if (!TBigIniFile::TryParseFloat(value, v)) v = static_cast<double>(value.size()) / 3.0;
          ini.WriteFloat(section, key, v);
          // Kept to 15 significant digits, as the file has always held them.
          FUZZ_CHECK(TBigIniFile::FormatFloat(ini.ReadFloat(section, key, v + 1.0)) == TBigIniFile::FormatFloat(v));
          break;
        }
        case 3:
          ini.WriteBool(section, key, value.size() % 2 == 0);
          FUZZ_CHECK(ini.ReadBool(section, key, value.size() % 2 != 0) == (value.size() % 2 == 0));
          break;
        case 4:
          ini.DeleteKey(section, key);
          break;
        default:
          ini.EraseSection(section);
          FUZZ_CHECK(ini.ReadString(section, key, "?") == "?");
          break;
      }
    }
    // Whatever a flush writes must load back to the same store.
    if (!FlushAnyway(ini)) return 0;
    TBigIniFile back(path);
    FUZZ_CHECK(Text(back) == Text(ini));
    // Every key of every section, and every key an edit named, reads the same.
    for (const TBigIniFile::Section& section : ini.Sections()) {
      for (const std::string& line : section.Lines) {
        const std::string key = line.substr(0, line.find('='));
        touched[{Lower(section.Name), Lower(key)}] = {section.Name, key};
      }
    }
    for (const auto& [lowered, names] : touched)
      FUZZ_CHECK(back.ReadString(names.first, names.second, "\x01") ==
                 ini.ReadString(names.first, names.second, "\x01"));

    // The program's settings from whatever the file holds, saved to a copy; the
    // slowest step, so only for every fourth input.
    if (size % 4 == 0) {
      T_AdvCom32 port;
      VarnexSettings settings;
      std::string error;
      FUZZ_CHECK(LoadSettings(back, port, settings, &error));
      TBigIniFile copy(copyPath);
      FUZZ_CHECK(SaveSettings(copy, port, settings, &error));
      VarnexSettings again;
      T_AdvCom32 port2;
      FUZZ_CHECK(LoadSettings(copy, port2, again, &error));
      FUZZ_CHECK(again.SpanMinutes == settings.SpanMinutes && again.EfcExponent == settings.EfcExponent);
      FUZZ_CHECK(again.HorizonTable == settings.HorizonTable);
      unlink(copyPath.c_str());
    }
  }
  // What was written, loaded and written again is the same file, byte for byte.
  const std::string written = ReadScratchFile(path);
  {
    TBigIniFile again(path);
    FUZZ_CHECK(FlushAnyway(again));
    FUZZ_CHECK(ReadScratchFile(path) == written);
  }
  return 0;
}
