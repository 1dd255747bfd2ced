// The settings medium as one text file in the registry-export format:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\TAVIX\Corvel]
//   "ScanCommNo"=dword:00000003
//   "ScanBaudRate"="19200,e,8,1"
//
// Each key is a section; a key exists when its section is in the file. The
// file is read afresh at every open, so edits made by hand while the program
// runs are seen. Every write reads the file again, changes one value and
// replaces the whole file atomically, keeping everything else (other keys,
// unknown values, comments) in its order. A file that does not parse is never
// written: every open fails and the file stays exactly as it is.

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "settings_medium.h"

namespace {

constexpr size_t kMaxFileSize = 1024 * 1024;
constexpr const char* kRootKey = "HKEY_LOCAL_MACHINE";
constexpr const char* kFolderName = "TAVIX";
constexpr const char* kFileName = "Corvel.reg";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

// ---------------------------------------------------------------------------
// The parsed file.

enum class ValueType { String, Dword, Other };

// One entry of a section: a value, or a comment kept as it stands.
struct Entry {
  bool isValue = false;
  std::string name;  // unescaped; empty for the default value "@"
  ValueType type = ValueType::Other;
  std::string text;  // the contents of a string value
  uint32_t dword = 0;
  std::string raw;  // the entry's lines in the file, joined by '\n'
};

struct Section {
  std::string name;
  std::vector<Entry> entries;
};

struct Document {
  std::string header{kHeader4};
  std::vector<std::string> preamble;  // comments before the first section
  std::vector<Section> sections;
};

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

bool IsBlank(std::string_view text) { return text.find_first_not_of(" \t") == std::string_view::npos; }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

// ---------------------------------------------------------------------------
// Parsing. Every function returns false (or nullopt) on text it does not
// understand; one such line makes the whole file unusable.

// A quoted text with \\ and \" escapes starting at text[at]; on success at
// points behind the closing quote.
std::optional<std::string> ParseQuoted(std::string_view text, size_t& at) {
  if (at >= text.size() || text[at] != '"') return std::nullopt;
  std::string out;
  for (++at; at < text.size(); ++at) {
    char c = text[at];
    if (c == '"') {
      ++at;
      return out;
    }
    if (c == '\\') {
      if (++at >= text.size() || (text[at] != '\\' && text[at] != '"')) return std::nullopt;
      c = text[at];
    }
    out.push_back(c);
  }
  return std::nullopt;
}

bool ParseDword(std::string_view digits, uint32_t& value) {
  if (digits.empty() || digits.size() > 8) return false;
  value = 0;
  for (char c : digits) {
    if (!IsHexDigit(c)) return false;
    uint32_t digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    value = value * 16 + digit;
  }
  return true;
}

// The bytes of a hex value: hex digits, commas and blanks; a trailing
// backslash continues them on the next line.
bool IsHexBytes(std::string_view line, bool& continues) {
  continues = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\\' && IsBlank(line.substr(i + 1))) {
      continues = true;
      return true;
    }
    if (!IsHexDigit(c) && c != ',' && c != ' ' && c != '\t') return false;
  }
  return true;
}

// A hex value: "hex:" or "hex(N):" and its bytes.
bool IsHexData(std::string_view data, bool& continues) {
  size_t at = 3;
  if (data.size() > at && data[at] == '(') {
    size_t close = data.find(')', at);
    if (close == std::string_view::npos || close == at + 1) return false;
    for (size_t i = at + 1; i < close; ++i)
      if (!IsHexDigit(data[i])) return false;
    at = close + 1;
  }
  if (at >= data.size() || data[at] != ':') return false;
  return IsHexBytes(data.substr(at + 1), continues);
}

// Parses the data behind '=' into entry; continues is set when a hex value
// goes on in the next line.
bool ParseData(std::string_view data, Entry& entry, bool& continues) {
  continues = false;
  if (!data.empty() && data[0] == '"') {
    size_t at = 0;
    auto text = ParseQuoted(data, at);
    if (!text || !IsBlank(data.substr(at))) return false;
    entry.type = ValueType::String;
    entry.text = std::move(*text);
    return true;
  }
  if (StartsWithNoCase(data, "dword:")) {
    std::string_view digits = data.substr(6);
    digits = digits.substr(0, digits.find_last_not_of(" \t") + 1);
    entry.type = ValueType::Dword;
    return ParseDword(digits, entry.dword);
  }
  if (StartsWithNoCase(data, "hex")) {
    entry.type = ValueType::Other;
    return IsHexData(data, continues);
  }
  return false;
}

bool ParseValueLine(std::string_view line, Entry& entry, bool& continues) {
  size_t at = 0;
  entry.isValue = true;
  if (line[0] == '@') {
    entry.name.clear();
    at = 1;
  } else {
    auto name = ParseQuoted(line, at);
    if (!name) return false;
    entry.name = std::move(*name);
  }
  if (at >= line.size() || line[at] != '=') return false;
  entry.raw = std::string(line);
  return ParseData(line.substr(at + 1), entry, continues);
}

std::optional<std::string> ParseSectionLine(std::string_view line) {
  std::string_view trimmed = line.substr(0, line.find_last_not_of(" \t") + 1);
  if (trimmed.size() < 3 || trimmed.back() != ']') return std::nullopt;
  return std::string(trimmed.substr(1, trimmed.size() - 2));
}

std::vector<std::string_view> SplitLines(std::string_view content) {
  std::vector<std::string_view> lines;
  while (!content.empty()) {
    size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    content.remove_prefix(end + 1);
  }
  return lines;
}

// Adds one line to the document; pending is the hex value still going on.
bool ParseBodyLine(std::string_view line, Document& doc, bool& pending) {
  if (pending) {
    Entry& entry = doc.sections.back().entries.back();
    entry.raw += '\n';
    entry.raw += line;
    return IsHexBytes(line, pending);
  }
  if (IsBlank(line)) return true;
  if (line[0] == ';') {
    Entry comment;
    comment.raw = std::string(line);
    if (doc.sections.empty()) {
      doc.preamble.push_back(comment.raw);
    } else {
      doc.sections.back().entries.push_back(std::move(comment));
    }
    return true;
  }
  if (line[0] == '[') {
    auto name = ParseSectionLine(line);
    if (!name) return false;
    doc.sections.push_back(Section{std::move(*name), {}});
    return true;
  }
  if ((line[0] == '"' || line[0] == '@') && !doc.sections.empty()) {
    Entry entry;
    if (!ParseValueLine(line, entry, pending)) return false;
    doc.sections.back().entries.push_back(std::move(entry));
    return true;
  }
  return false;
}

std::optional<Document> ParseDocument(std::string_view content) {
  if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
  std::vector<std::string_view> lines = SplitLines(content);
  if (lines.empty()) return std::nullopt;
  std::string_view header = lines[0].substr(0, lines[0].find_last_not_of(" \t") + 1);
  if (header != kHeader4 && header != kHeader5) return std::nullopt;
  Document doc;
  doc.header = std::string(header);
  bool pending = false;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (!ParseBodyLine(lines[i], doc, pending)) return std::nullopt;
  }
  if (pending) return std::nullopt;
  return doc;
}

// ---------------------------------------------------------------------------
// Writing the document back.

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string FormatDword(uint32_t value) {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", value);
  return std::string("dword:") + digits;
}

std::string Serialize(const Document& doc) {
  std::string out = doc.header + "\n\n";
  for (const std::string& comment : doc.preamble) out += comment + "\n";
  if (!doc.preamble.empty()) out += "\n";
  for (const Section& section : doc.sections) {
    out += "[" + section.name + "]\n";
    for (const Entry& entry : section.entries) out += entry.raw + "\n";
    out += "\n";
  }
  return out;
}

// ---------------------------------------------------------------------------
// The file itself.

std::string ConfigHome() {
  // A relative folder in XDG_CONFIG_HOME is not valid and is ignored.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config";
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return std::string(found->pw_dir) + "/.config";
  return {};
}

std::string FolderPath() {
  std::string home = ConfigHome();
  return home.empty() ? std::string() : home + "/" + kFolderName;
}

std::string FilePath() {
  std::string folder = FolderPath();
  return folder.empty() ? std::string() : folder + "/" + kFileName;
}

enum class FileState { Missing, Unusable, Read };

// Reads at most kMaxFileSize bytes; a larger file, or anything but a regular
// file, is unusable.
FileState ReadWholeFile(const std::string& path, std::string& content) {
  if (path.empty()) return FileState::Unusable;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? FileState::Missing : FileState::Unusable;
  struct stat info;
  FileState state = FileState::Read;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) state = FileState::Unusable;
  content.clear();
  char buffer[16384];
  while (state == FileState::Read) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) state = FileState::Unusable;
    if (got <= 0) break;
    content.append(buffer, static_cast<size_t>(got));
    if (content.size() > kMaxFileSize) state = FileState::Unusable;
  }
  ::close(fd);
  return state;
}

// The file's document: an empty one when the file is missing, nullopt when it
// cannot be read or parsed.
std::optional<Document> LoadDocument(const std::string& path) {
  std::string content;
  FileState state = ReadWholeFile(path, content);
  if (state == FileState::Missing) return Document{};
  if (state == FileState::Unusable) return std::nullopt;
  return ParseDocument(content);
}

bool MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat info;
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t put = ::write(fd, data.data(), data.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Replaces the file with the document: a temporary file in the same folder,
// flushed to disk and renamed over the old one, so that the file is always
// either the old or the new one in full.
bool SaveDocument(const Document& doc) {
  std::string folder = FolderPath();
  if (folder.empty() || !MakeFolders(folder)) return false;
  std::string path = folder + "/" + kFileName;
  mode_t mode = 0644;
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;

  std::string temporary = path + ".XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, Serialize(doc)) && ::fsync(fd) == 0;
  written = (::close(fd) == 0) && written;
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}

Section* FindSection(Document& doc, const std::string& name) {
  Section* found = nullptr;
  for (Section& section : doc.sections)
    if (SameName(section.name, name)) found = &section;
  return found;
}

// The value as the key ends up with it: a later definition overrides an
// earlier one, as it would on import.
Entry* FindValue(Document& doc, const std::string& section, const std::string& name) {
  Entry* found = nullptr;
  for (Section& candidate : doc.sections) {
    if (!SameName(candidate.name, section)) continue;
    for (Entry& entry : candidate.entries)
      if (entry.isValue && SameName(entry.name, name)) found = &entry;
  }
  return found;
}

bool Representable(const std::string& text) { return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

// ---------------------------------------------------------------------------
// An open key: the file as it was read at the open.

class FileKey : public SettingsKey {
 public:
  FileKey(std::string section, Document doc) : section_(std::move(section)), doc_(std::move(doc)) {}

  bool HasValue(const std::string& name) override { return FindValue(doc_, section_, name) != nullptr; }

  std::optional<uint32_t> ReadDword(const std::string& name) override {
    const Entry* entry = FindValue(doc_, section_, name);
    if (entry == nullptr || entry->type != ValueType::Dword) return std::nullopt;
    return entry->dword;
  }

  std::optional<std::string> ReadString(const std::string& name) override {
    const Entry* entry = FindValue(doc_, section_, name);
    if (entry == nullptr || entry->type != ValueType::String) return std::nullopt;
    return entry->text;
  }

  bool WriteDword(const std::string& name, uint32_t value) override {
    Entry entry;
    entry.type = ValueType::Dword;
    entry.dword = value;
    entry.raw = FormatDword(value);
    return Write(name, std::move(entry));
  }

  bool WriteString(const std::string& name, const std::string& value) override {
    // The file format has no way to write a line break inside a string.
    if (!Representable(value)) return false;
    Entry entry;
    entry.type = ValueType::String;
    entry.text = value;
    entry.raw = Quote(value);
    return Write(name, std::move(entry));
  }

 private:
  // Applies the value to the file as it is now (it may have been edited
  // since the open) and then to this key's view of it.
  bool Write(const std::string& name, Entry entry) {
    if (!Representable(name)) return false;
    auto current = LoadDocument(FilePath());
    if (!current) return false;
    Apply(*current, name, entry);
    if (!SaveDocument(*current)) return false;
    doc_ = std::move(*current);
    return true;
  }

  void Apply(Document& doc, const std::string& name, Entry entry) {
    entry.isValue = true;
    std::string data = std::move(entry.raw);
    if (Entry* old = FindValue(doc, section_, name)) {
      entry.name = old->name;  // the value keeps the spelling it has
      entry.raw = (entry.name.empty() ? std::string("@") : Quote(entry.name)) + "=" + data;
      *old = std::move(entry);
      return;
    }
    entry.name = name;
    entry.raw = Quote(name) + "=" + data;
    Section* section = FindSection(doc, section_);
    if (section == nullptr) {
      doc.sections.push_back(Section{section_, {}});
      section = &doc.sections.back();
    }
    section->entries.push_back(std::move(entry));
  }

  std::string section_;
  Document doc_;
};

// A new key goes before its first sub-key, as an export lists a key before
// the keys below it; otherwise at the end.
void InsertSection(Document& doc, const std::string& name) {
  const std::string prefix = name + "\\";
  auto below = std::find_if(doc.sections.begin(), doc.sections.end(), [&](const Section& section) {
    return section.name.size() > prefix.size() && SameName(std::string_view(section.name).substr(0, prefix.size()), prefix);
  });
  doc.sections.insert(below, Section{name, {}});
}

}  // namespace

std::unique_ptr<SettingsKey> OpenSettingsKey(const std::string& path, bool create) {
  std::string section = std::string(kRootKey) + "\\" + path;
  auto doc = LoadDocument(FilePath());
  if (!doc) return nullptr;
  if (FindSection(*doc, section) == nullptr) {
    if (!create) return nullptr;
    InsertSection(*doc, section);
    if (!SaveDocument(*doc)) return nullptr;
  }
  return std::make_unique<FileKey>(std::move(section), std::move(*doc));
}

std::string SettingsMediumLocation() { return FilePath(); }
