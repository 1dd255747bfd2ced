// SPDX-License-Identifier: MIT
#include "settings_text.h"

#include <algorithm>
#include <cstdio>

#include "utf8.h"

namespace store {

namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr size_t kMaxDwordDigits = 8;

// ---------------------------------------------------------------------------
// Encodings.

// UTF-16LE code units to UTF-8; nullopt for an odd length or a lone surrogate.
std::optional<std::string> Utf16LeToUtf8(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  auto unit = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  };
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    uint32_t code = unit(i);
    if (code >= 0xDC00 && code <= 0xDFFF) return std::nullopt;
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 2 >= bytes.size()) return std::nullopt;
      uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    text::AppendUtf8(out, static_cast<char32_t>(code));
  }
  return out;
}

// One code point of strict UTF-8 at text[at]; at moves behind it.
std::optional<uint32_t> NextCodePoint(std::string_view text, size_t& at) {
  unsigned char lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0 || lead > 0xF4 || at + extra > text.size()) return std::nullopt;
  uint32_t code = lead & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    unsigned char next = static_cast<unsigned char>(text[at++]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
  return code;
}

std::optional<std::string> Utf8ToUtf16Le(std::string_view text) {
  std::string out;
  auto put = [&](uint32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  };
  for (size_t at = 0; at < text.size();) {
    std::optional<uint32_t> code = NextCodePoint(text, at);
    if (!code) return std::nullopt;
    if (*code < 0x10000) {
      put(*code);
    } else {
      put(0xD800 + ((*code - 0x10000) >> 10));
      put(0xDC00 + ((*code - 0x10000) & 0x3FF));
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Reading one line.

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
           return upper(x) == upper(y);
         });
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool IsBlankChar(char c) { return c == ' ' || c == '\t'; }
bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  return text;
}

// A read position in one line.
struct Cursor {
  std::string_view text;
  size_t at = 0;

  void SkipBlanks() {
    while (at < text.size() && IsBlankChar(text[at])) ++at;
  }
  bool Eat(char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
  }
  bool EatNoCase(std::string_view word) {
    if (!SameName(text.substr(at, word.size()), word)) return false;
    at += word.size();
    return true;
  }
  // Nothing but blanks, perhaps followed by a comment, from here on.
  bool RestIsEmpty() const {
    size_t next = text.find_first_not_of(" \t", at);
    return next == std::string_view::npos || text[next] == ';';
  }
};

// A quoted text with the escapes \\ and \".
std::optional<std::string> ParseQuoted(Cursor& c) {
  if (!c.Eat('"')) return std::nullopt;
  std::string out;
  while (c.at < c.text.size()) {
    char ch = c.text[c.at++];
    if (ch == '"') return out;
    if (ch == '\\') {
      if (c.at >= c.text.size() || (c.text[c.at] != '\\' && c.text[c.at] != '"')) return std::nullopt;
      ch = c.text[c.at++];
    }
    out.push_back(ch);
  }
  return std::nullopt;
}

// Hex bytes: digits, commas and blanks, perhaps ending in a backslash that
// continues them on the next line. On success c stands behind them.
bool ParseHexBytes(Cursor& c, bool& continues) {
  while (c.at < c.text.size() && (IsHexDigit(c.text[c.at]) || c.text[c.at] == ',' || IsBlankChar(c.text[c.at]))) ++c.at;
  continues = c.Eat('\\');
  return c.RestIsEmpty();
}

// "hex:" or "hex(N):" and its bytes.
bool ParseHexData(Cursor& c, bool& continues) {
  if (!c.EatNoCase("hex")) return false;
  if (c.Eat('(')) {
    size_t digits = c.at;
    while (c.at < c.text.size() && IsHexDigit(c.text[c.at])) ++c.at;
    if (c.at == digits || !c.Eat(')')) return false;
  }
  return c.Eat(':') && ParseHexBytes(c, continues);
}

bool ParseDwordData(Cursor& c, uint32_t& value) {
  if (!c.EatNoCase("dword:")) return false;
  c.SkipBlanks();
  size_t digits = 0;
  value = 0;
  for (; c.at < c.text.size() && IsHexDigit(c.text[c.at]); ++c.at, ++digits) {
    char d = c.text[c.at];
    value = value * 16 + static_cast<uint32_t>(d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10);
  }
  return digits > 0 && digits <= kMaxDwordDigits && c.RestIsEmpty();
}

}  // namespace

// ---------------------------------------------------------------------------

std::optional<DecodedText> DecodeSettingsText(std::string_view bytes, std::string& why) {
  DecodedText out;
  if (bytes.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
    std::optional<std::string> text = Utf16LeToUtf8(bytes.substr(kUtf16LeBom.size()));
    if (!text) {
      why = "it is not valid UTF-16 text";
      return std::nullopt;
    }
    out = DecodedText{std::move(*text), TextEncoding::Utf16LeBom};
  } else if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    out = DecodedText{std::string(bytes.substr(kUtf8Bom.size())), TextEncoding::Utf8Bom};
  } else {
    out = DecodedText{std::string(bytes), TextEncoding::Utf8};
  }
  if (out.text.find('\0') != std::string::npos) {
    why = "it holds binary data";
    return std::nullopt;
  }
  return out;
}

std::string EncodeSettingsText(std::string_view text, TextEncoding& encoding) {
  if (encoding == TextEncoding::Utf8Bom) return std::string(kUtf8Bom) + std::string(text);
  if (encoding == TextEncoding::Utf16LeBom) {
    if (std::optional<std::string> units = Utf8ToUtf16Le(text)) return std::string(kUtf16LeBom) + *units;
    encoding = TextEncoding::Utf8;
  }
  return std::string(text);
}

// ---------------------------------------------------------------------------
// Classifying lines.

namespace {

// A section line: [key] or [-key], perhaps followed by a comment. The first
// ']' that only blanks or a comment follow closes it.
std::optional<std::string> ParseSection(std::string_view text) {
  Cursor c{text};
  c.SkipBlanks();
  if (!c.Eat('[')) return std::nullopt;
  for (size_t close = text.find(']', c.at); close != std::string_view::npos; close = text.find(']', close + 1)) {
    if (Cursor{text, close + 1}.RestIsEmpty()) return std::string(Trim(text.substr(c.at, close - c.at)));
  }
  return std::nullopt;
}

bool IsHeader(std::string_view trimmed) { return SameName(trimmed, kHeader4) || SameName(trimmed, kHeader5); }

// A continuation of hex data: nothing but bytes, commas and blanks.
bool IsContinuation(std::string_view text, bool& continues) {
  std::string_view trimmed = Trim(text);
  Cursor c{text};
  return !trimmed.empty() && (IsHexDigit(trimmed.front()) || trimmed.front() == ',') && ParseHexBytes(c, continues);
}

// Parses the data of a value line behind '=' into value and leaves c behind
// it; false when the data is not understood.
bool ParseData(Cursor& c, RegValue& value, bool& continues) {
  size_t begin = c.at;
  if (c.at < c.text.size() && c.text[c.at] == '"') {
    std::optional<std::string> text = ParseQuoted(c);
    if (!text || !c.RestIsEmpty()) return false;
    value = RegValue{RegType::String, std::move(*text), 0};
    return true;
  }
  if (Cursor probe = c; ParseDwordData(probe, value.dword)) {
    value.type = RegType::Dword;
    c.at = probe.at;
    return true;
  }
  if (!ParseHexData(c, continues)) return false;
  value.type = RegType::Other;
  value.text = std::string(Trim(c.text.substr(begin, c.at - begin)));
  return true;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string QuoteName(std::string_view name) { return name.empty() ? std::string("@") : Quote(name); }

std::string FormatDword(uint32_t value) {
  char digits[kMaxDwordDigits + 1];
  std::snprintf(digits, sizeof digits, "%08x", value);
  return std::string("dword:") + digits;
}

// Whether upperKey is key or lies below it.
bool IsSameOrBelow(const std::string& upperKey, const std::string& upperAncestor) {
  return upperKey == upperAncestor ||
         (upperKey.size() > upperAncestor.size() && upperKey.compare(0, upperAncestor.size(), upperAncestor) == 0 &&
          upperKey[upperAncestor.size()] == '\\');
}

}  // namespace

void RegText::ClassifyValue(Line& line) {
  Cursor c{line.text};
  c.SkipBlanks();
  std::optional<std::string> name = c.Eat('@') ? std::optional<std::string>("") : ParseQuoted(c);
  if (!name) return;
  line.name = std::move(*name);
  line.named = true;
  c.SkipBlanks();
  if (!c.Eat('=')) return;
  c.SkipBlanks();
  if (Cursor probe = c; probe.Eat('-') && probe.RestIsEmpty()) {
    line.kind = Kind::ValueDeletion;
    return;
  }
  line.dataBegin = c.at;
  if (!ParseData(c, line.value, line.continues)) return;
  line.dataEnd = c.at;
  line.kind = Kind::Value;
}

void RegText::ClassifyLine(Line& line, bool& continued) {
  line.kind = Kind::Unknown;
  line.key.clear();
  line.name.clear();
  line.named = false;
  line.value = RegValue{};
  line.continues = false;
  std::string_view trimmed = Trim(line.text);
  if (continued && IsContinuation(line.text, line.continues)) {
    line.kind = Kind::Continuation;
    continued = line.continues;
    return;
  }
  if (continued && !trimmed.empty() && trimmed.front() == ';') {
    line.kind = Kind::Comment;  // a comment inside hex data leaves it going on
    return;
  }
  if (trimmed.empty()) {
    line.kind = Kind::Blank;
  } else if (trimmed.front() == ';') {
    line.kind = Kind::Comment;
  } else if (IsHeader(trimmed)) {
    line.kind = Kind::Header;
  } else if (std::optional<std::string> key = ParseSection(line.text); key && !Trim(*key).empty()) {
    bool deletion = (*key)[0] == '-';
    line.key = deletion ? std::string(Trim(std::string_view(*key).substr(1))) : *key;
    if (!line.key.empty()) line.kind = deletion ? Kind::KeyDeletion : Kind::Section;
  } else if (trimmed.front() == '"' || trimmed.front() == '@') {
    ClassifyValue(line);
  }
  continued = line.kind == Kind::Value && line.continues;
}

void RegText::Classify() {
  bool continued = false;
  for (Line& line : lines_) ClassifyLine(line, continued);
  auto meaningful = std::find_if(lines_.begin(), lines_.end(),
                                 [](const Line& line) { return line.kind != Kind::Blank && line.kind != Kind::Comment; });
  hasHeader_ = meaningful != lines_.end() && meaningful->kind == Kind::Header;
  Import();
}

// Follows one line as an import would: current is the key that value lines
// go to, owner the value line that continuation lines belong to.
void RegText::ImportLine(size_t index, std::optional<std::string>& current, size_t& owner) {
  Line& line = lines_[index];
  switch (line.kind) {
    case Kind::Section:
      current = Upper(line.key);
      keys_[*current];
      break;
    case Kind::KeyDeletion:
      std::erase_if(keys_, [&](const auto& entry) { return IsSameOrBelow(entry.first, Upper(line.key)); });
      current.reset();
      break;
    case Kind::Header:
      current.reset();
      break;
    case Kind::Value:
      owner = index;
      if (current) keys_[*current].values[Upper(line.name)] = index;
      break;
    case Kind::ValueDeletion:
      if (current) keys_[*current].values.erase(Upper(line.name));
      break;
    case Kind::Continuation:
      lines_[owner].value.text += "\n" + std::string(Trim(line.text));
      break;
    case Kind::Unknown:
      if (current && line.named) keys_[*current].values[Upper(line.name)] = index;
      break;
    case Kind::Blank:
    case Kind::Comment:
      break;
  }
}

void RegText::Import() {
  keys_.clear();
  std::optional<std::string> current;
  size_t owner = 0;
  for (size_t i = 0; i < lines_.size(); ++i) ImportLine(i, current, owner);
}

// ---------------------------------------------------------------------------

RegText::RegText(std::string_view text) {
  size_t at = 0;
  while (at < text.size()) {
    Line line;
    size_t stop = text.find_first_of("\r\n", at);
    if (stop == std::string_view::npos) stop = text.size();
    line.text = std::string(text.substr(at, stop - at));
    size_t width = (stop < text.size()) ? 1 : 0;
    if (text.substr(stop, 2) == "\r\n") width = 2;
    line.end = std::string(text.substr(stop, width));
    at = stop + width;
    lines_.push_back(std::move(line));
  }
  auto ended = std::find_if(lines_.begin(), lines_.end(), [](const Line& line) { return !line.end.empty(); });
  if (ended != lines_.end()) newLineEnd_ = ended->end;
  Classify();
}

std::string RegText::Text() const {
  std::string out;
  for (const Line& line : lines_) out += line.text + line.end;
  return out;
}

bool RegText::HasKey(std::string_view key) const { return keys_.count(Upper(key)) != 0; }

std::optional<size_t> RegText::DefiningLine(const std::string& upperKey, std::string_view name) const {
  auto key = keys_.find(upperKey);
  if (key == keys_.end()) return std::nullopt;
  auto value = key->second.values.find(Upper(name));
  if (value == key->second.values.end()) return std::nullopt;
  return value->second;
}

std::optional<RegValue> RegText::Value(std::string_view key, std::string_view name) const {
  std::optional<size_t> index = DefiningLine(Upper(key), name);
  if (!index) return std::nullopt;
  const Line& line = lines_[*index];
  if (line.kind == Kind::Unknown) return RegValue{RegType::Unreadable, line.text, 0};
  return line.value;
}

RegText::Contents RegText::AllValues() const {
  Contents out;
  for (const auto& [key, state] : keys_) {
    auto& values = out[key];
    for (const auto& [name, index] : state.values) values[name] = *Value(key, name);
  }
  return out;
}

bool RegText::CanHold(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos; }

// ---------------------------------------------------------------------------
// Writing.

// The first line after the last deletion of the key or of a key above it:
// a section before it no longer holds the key.
size_t RegText::LiveFrom(const std::string& upperKey) const {
  size_t from = 0;
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == Kind::KeyDeletion && IsSameOrBelow(upperKey, Upper(lines_[i].key))) from = i + 1;
  return from;
}

std::optional<size_t> RegText::LastLiveSection(const std::string& upperKey) const {
  std::optional<size_t> found;
  for (size_t i = LiveFrom(upperKey); i < lines_.size(); ++i)
    if (lines_[i].kind == Kind::Section && Upper(lines_[i].key) == upperKey) found = i;
  return found;
}

// A new key goes before the first key below it, as an export lists a key
// before its sub-keys; otherwise at the end.
size_t RegText::NewSectionPlace(const std::string& upperKey) const {
  for (size_t i = LiveFrom(upperKey); i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::Section && Upper(lines_[i].key) != upperKey && IsSameOrBelow(Upper(lines_[i].key), upperKey))
      return i;
  }
  return lines_.size();
}

// Behind the last line of a section that is not blank.
size_t RegText::EndOfSectionValues(size_t section) const {
  size_t end = section + 1;
  while (end < lines_.size() && lines_[end].kind != Kind::Section && lines_[end].kind != Kind::KeyDeletion &&
         lines_[end].kind != Kind::Header)
    ++end;
  while (end > section + 1 && lines_[end - 1].kind == Kind::Blank) --end;
  return end;
}

// New lines take the line end of the line before them, so that they read
// as the lines around them do. Their last end then meets the next line as
// that line's end did before: a CR never comes to stand before the LF of an
// empty line, which would read as one CRLF and lose a line.
void RegText::Insert(size_t at, const std::vector<std::string>& texts) {
  if (at == lines_.size() && !lines_.empty() && lines_.back().end.empty()) lines_.back().end = newLineEnd_;
  std::string end = newLineEnd_;
  if (at > 0) end = lines_[at - 1].end;
  if (at == 0 && !lines_.empty() && !lines_[0].end.empty()) end = lines_[0].end;
  std::vector<Line> added(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    added[i].text = texts[i];
    added[i].end = end;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
}

void RegText::EnsureHeader() {
  if (hasHeader_) return;
  Insert(0, {std::string(kHeader4), ""});
  Classify();
}

// The key's section with one value line (or none), and a blank line behind,
// as an export writes it.
void RegText::AddSection(std::string_view key, const std::string& valueLine) {
  size_t at = NewSectionPlace(Upper(key));
  std::vector<std::string> texts;
  if (at == lines_.size() && !lines_.empty() && lines_.back().kind != Kind::Blank) texts.push_back("");
  texts.push_back("[" + std::string(key) + "]");
  if (!valueLine.empty()) texts.push_back(valueLine);
  texts.push_back("");
  Insert(at, texts);
}

// The last line of the data that begins in a value line: its continuation
// lines, with the comment lines among them; the value line itself when its
// data does not go on.
size_t RegText::LastDataLine(size_t index) const {
  size_t last = index;
  bool going = lines_[index].continues;
  for (size_t i = index + 1; going && i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::Continuation) {
      last = i;
      going = lines_[i].continues;
    } else if (lines_[i].kind != Kind::Comment) {
      break;
    }
  }
  return last;
}

// New data in a value line. The old data's continuation lines go with it,
// but what the user wrote among them stays: a comment line as it is, a
// comment behind bytes on a line of its own, indented as the bytes were.
// The last line that stays takes the end of the old data's last line (see
// Insert).
void RegText::ReplaceData(size_t index, const std::string& data) {
  Line& line = lines_[index];
  line.text = line.text.substr(0, line.dataBegin) + data + line.text.substr(line.dataEnd);
  const size_t last = LastDataLine(index);
  const std::string end = lines_[last].end;
  size_t kept = index + 1;
  for (size_t i = index + 1; i <= last; ++i) {
    Line& old = lines_[i];
    if (old.kind == Kind::Continuation) {
      size_t comment = old.text.find(';');
      if (comment == std::string::npos) continue;
      old.text = old.text.substr(0, old.text.find_first_not_of(" \t")) + old.text.substr(comment);
    }
    if (kept != i) lines_[kept] = std::move(old);
    ++kept;
  }
  lines_[kept - 1].end = end;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(kept), lines_.begin() + static_cast<std::ptrdiff_t>(last + 1));
}

void RegText::CreateKey(std::string_view key) {
  if (HasKey(key)) return;
  EnsureHeader();
  AddSection(key, "");
  Classify();
}

bool RegText::Set(std::string_view key, std::string_view name, const RegValue& value) {
  if (!CanHold(key) || !CanHold(name)) return false;
  std::string data;
  if (value.type == RegType::String && CanHold(value.text)) {
    data = Quote(value.text);
  } else if (value.type == RegType::Dword) {
    data = FormatDword(value.dword);
  } else {
    return false;
  }
  EnsureHeader();
  const std::string upperKey = Upper(key);
  std::optional<size_t> defining = DefiningLine(upperKey, name);
  if (defining && lines_[*defining].kind == Kind::Value) {
    ReplaceData(*defining, data);
  } else if (std::optional<size_t> section = LastLiveSection(upperKey)) {
    Insert(EndOfSectionValues(*section), {QuoteName(name) + "=" + data});
  } else {
    AddSection(key, QuoteName(name) + "=" + data);
  }
  Classify();
  return true;
}

}  // namespace store
