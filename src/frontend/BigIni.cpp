#include "frontend/BigIni.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/ProgramFolder.h"

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string FileError(const std::string& verb, const std::string& fileName, int error) {
  return verb + " \"" + fileName + "\". " + std::strerror(error);
}

// Reads the whole file; false with errno set on failure.
bool ReadWholeFile(const std::string& name, std::string& text) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  text.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      errno = error;
      return false;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

TBigIniFile::TBigIniFile(const std::string& fileName) { Load(fileName); }

TBigIniFile::~TBigIniFile() { Flush(); }

bool TBigIniFile::Load(const std::string& fileName) {
  Flush();
  Sections_.clear();
  FileName_ = fileName;
  Modified_ = false;
  LoadFailed_ = false;
  LastError_.clear();

  std::string text;
  if (!ReadWholeFile(fileName, text)) {
    if (errno == ENOENT) return true;
    LoadFailed_ = true;
    LastError_ = FileError("Cannot open file", fileName, errno);
    return false;
  }

  Section* current = nullptr;
  auto takeLine = [&](std::string_view line) {
    if (line.size() == 1 && line[0] == '\x1a') return;  // end-of-file mark
    if (line.empty()) return;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      Sections_.push_back({std::string(line.substr(1, line.size() - 2)), {}});
      current = &Sections_.back();
      return;
    }
    if (current) current->Lines.emplace_back(line);
  };
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') continue;
    takeLine(std::string_view(text).substr(start, i - start));
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) takeLine(std::string_view(text).substr(start));
  return true;
}

int TBigIniFile::FindSection(std::string_view name) const {
  for (std::size_t i = 0; i < Sections_.size(); ++i)
    if (SameText(Sections_[i].Name, name)) return static_cast<int>(i);
  return -1;
}

int TBigIniFile::FindSection(std::string_view name, bool create) {
  const int found = static_cast<const TBigIniFile*>(this)->FindSection(name);
  if (found >= 0 || !create) return found;
  Sections_.push_back({std::string(name), {}});
  return static_cast<int>(Sections_.size() - 1);
}

int TBigIniFile::FindLine(const Section& section, std::string_view key) {
  for (std::size_t i = 0; i < section.Lines.size(); ++i) {
    const std::string& line = section.Lines[i];
    if (line.size() <= key.size() || line[key.size()] != '=') continue;
    // The key must be the text before the *first* "=".
    if (std::string_view(line).substr(0, key.size()).find('=') != std::string_view::npos) continue;
    if (SameText(std::string_view(line).substr(0, key.size()), key)) return static_cast<int>(i);
  }
  return -1;
}

std::string TBigIniFile::ReadString(std::string_view section, std::string_view key, const std::string& def) const {
  const int s = FindSection(section);
  if (s < 0) return def;
  const int l = FindLine(Sections_[s], key);
  if (l < 0) return def;
  return Sections_[s].Lines[l].substr(key.size() + 1);
}

void TBigIniFile::WriteString(std::string_view section, std::string_view key, const std::string& value) {
  if (key.empty()) {
    if (!section.empty() || !value.empty())
      EraseSection(section);
    else
      Flush();
    return;
  }
  Section& s = Sections_[FindSection(section, true)];
  std::string line;
  line.reserve(key.size() + 1 + value.size());
  line.append(key).append("=").append(value);
  const int l = FindLine(s, key);
  if (l < 0) {
    s.Lines.push_back(std::move(line));
    Modified_ = true;
    return;
  }
  if (s.Lines[l] != line) Modified_ = true;
  s.Lines[l] = std::move(line);
}

char TBigIniFile::ReadChar(std::string_view section, std::string_view key, char def) const {
  const std::string value = ReadString(section, key, std::string());
  return value.empty() ? def : value[0];
}

void TBigIniFile::WriteChar(std::string_view section, std::string_view key, char value) {
  WriteString(section, key, std::string(1, value));
}

bool TBigIniFile::TryParseInteger(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i == text.size()) return false;
  if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') {
    ++i;
    if (i == text.size()) return false;
    std::uint64_t v = 0;
    for (; i < text.size(); ++i) {
      const int h = HexValue(text[i]);
      if (h < 0) return false;
      v = v * 16 + static_cast<unsigned>(h);
      if (v > 0xFFFFFFFFull) return false;
    }
    // Hexadecimal text gives the 32-bit pattern, so $FFFFFFFF is -1.
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return true;
  }
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return false;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<std::int64_t>(INT32_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

bool TBigIniFile::TryParseFloat(std::string_view text, double& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  const std::size_t signAt = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t numberAt = i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != text.size()) return false;
  // from_chars takes no leading "+", so the sign is applied here.
  double v = 0.0;
  const char* first = text.data() + numberAt;
  const char* last = text.data() + text.size();
  const auto result = std::from_chars(first, last, v, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != last) return false;
  value = (text[signAt] == '-') ? -v : v;
  return true;
}

std::string TBigIniFile::FormatFloat(double value) {
  if (std::isnan(value)) return " NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : " INF";
  char digits[64];
  const auto result =
      std::to_chars(digits, digits + sizeof digits, std::fabs(value), std::chars_format::scientific, 14);
  std::string_view text(digits, static_cast<std::size_t>(result.ptr - digits));  // d.ddddddddddddddde±xx
  const std::size_t e = text.find('e');
  std::string out;
  out.reserve(23);
  out += value < 0 ? '-' : ' ';
  out.append(text.substr(0, e));
  out += 'E';
  out += text[e + 1];
  const std::string_view exponent = text.substr(e + 2);
  for (std::size_t n = exponent.size(); n < 4; ++n) out += '0';
  out.append(exponent);
  return out;
}

std::int32_t TBigIniFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const {
  std::string text = ReadString(section, key, std::string());
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
  std::int32_t value = 0;
  return TryParseInteger(text, value) ? value : def;
}

void TBigIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

double TBigIniFile::ReadFloat(std::string_view section, std::string_view key, double def) const {
  double value = 0.0;
  return TryParseFloat(ReadString(section, key, std::string()), value) ? value : def;
}

void TBigIniFile::WriteFloat(std::string_view section, std::string_view key, double value) {
  WriteString(section, key, FormatFloat(value));
}

bool TBigIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  const std::string text = ReadString(section, key, std::string());
  if (text == "True") return true;
  if (text == "False") return false;
  return def;
}

void TBigIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "True" : "False");
}

void TBigIniFile::ReadSectionKeys(std::string_view section, std::vector<std::string>& list) const {
  const int s = FindSection(section);
  if (s < 0) return;
  for (const std::string& line : Sections_[s].Lines) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) list.push_back(line.substr(0, eq));
  }
}

void TBigIniFile::ReadSectionLines(std::string_view section, std::vector<std::string>& list) const {
  const int s = FindSection(section);
  if (s < 0) return;
  list.insert(list.end(), Sections_[s].Lines.begin(), Sections_[s].Lines.end());
}

void TBigIniFile::EraseSection(std::string_view section) {
  const int s = FindSection(section);
  if (s >= 0) Sections_[s].Lines.clear();
  Modified_ = true;
}

void TBigIniFile::WriteAllTo(std::vector<std::string>& list) const {
  for (std::size_t i = 0; i < Sections_.size(); ++i) {
    const Section& s = Sections_[i];
    // An empty section is left out, unless a later one of the same name has lines:
    // the empty one hides them now, and must go on hiding them once the file is read back.
    if (s.Lines.empty() &&
        std::none_of(Sections_.begin() + static_cast<std::ptrdiff_t>(i) + 1, Sections_.end(),
                     [&s](const Section& t) { return !t.Lines.empty() && SameText(t.Name, s.Name); }))
      continue;
    list.push_back("[" + s.Name + "]");
    list.insert(list.end(), s.Lines.begin(), s.Lines.end());
    list.emplace_back();
  }
}

bool TBigIniFile::Flush() {
  if (!Modified_) return true;
  if (FileName_.empty()) {
    Modified_ = false;
    return true;
  }
  if (LoadFailed_) {
    LastError_ = "Cannot create file \"" + FileName_ + "\". It could not be read at start and is left as it is.";
    return false;
  }

  // Write through a symbolic link to the file it names, not over the link.
  std::string target = FileName_;
  struct stat info {};
  bool exists = ::lstat(FileName_.c_str(), &info) == 0;
  if (exists && S_ISLNK(info.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(FileName_.c_str(), resolved)) target = resolved;
    exists = ::stat(target.c_str(), &info) == 0;
  }
  // A read-only settings file stays read-only: the rename below would otherwise replace it.
  if (exists && ::access(target.c_str(), W_OK) != 0) {
    LastError_ = FileError("Cannot create file", FileName_, errno);
    return false;
  }

  std::vector<std::string> lines;
  WriteAllTo(lines);
  std::string text;
  for (const std::string& line : lines) text.append(line).append("\r\n");

  std::string temp = target + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    LastError_ = FileError("Cannot create file", FileName_, errno);
    return false;
  }
  const mode_t mode = exists ? (info.st_mode & 07777) : 0644;
  // A mode we cannot set is no reason to lose the settings.
  if (::fchmod(fd, mode) != 0) errno = 0;
  bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    LastError_ = FileError("Cannot create file", FileName_, error);
    return false;
  }
  LastError_.clear();
  Modified_ = false;
  return true;
}

void TBiggerIniFile::ReadSections(std::vector<std::string>& list) const {
  for (const Section& s : Sections_) list.push_back(s.Name);
}

void TBigIniFile::DeleteKey(std::string_view section, std::string_view key) {
  const int s = FindSection(section);
  if (s < 0) return;
  const int l = FindLine(Sections_[s], key);
  if (l < 0) return;
  Sections_[s].Lines.erase(Sections_[s].Lines.begin() + l);
  Modified_ = true;
}

TAppIniFile::TAppIniFile(const std::string& folder) : TBiggerIniFile(InFolder(folder, "Varnex.ini")) {}
