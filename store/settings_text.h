// SPDX-License-Identifier: MIT
#pragma once
// The registry-export text of the settings file, as the registry editor
// writes it and as people type it by hand:
//
//   REGEDIT4                      (or "Windows Registry Editor Version 5.00")
//
//   ; a comment
//   [HKEY_LOCAL_MACHINE\Software\TAVIX\Corvel]
//     "ScanCommNo" = dword:00000003
//   "ScanBaudRate"="19200,e,8,1"  ; a comment behind a value
//   "Extra"=hex(2):41,00,\   (a trailing backslash continues the data)
//     42,00
//   "Gone"=-
//   [-HKEY_LOCAL_MACHINE\Software\Old]
//
// Headers compare without regard to case; blanks around names, '=' and data
// and indented lines are accepted; line ends may be LF, CRLF or CR. Values
// follow the rules of an import: a later definition replaces an earlier one,
// "x"=- deletes a value and [-key] a key with every key below it.
//
// Reading never fails. A line that is not understood is ignored and kept;
// writing changes only the lines of the value it writes (or adds lines), so
// every other line stays byte for byte as it was, its line end included.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

// How a settings file's bytes are encoded; a file is written back in the
// encoding it was read in.
enum class TextEncoding { Utf8, Utf8Bom, Utf16LeBom };

struct DecodedText {
  std::string text;  // UTF-8 (or whatever 8-bit text the file holds)
  TextEncoding encoding = TextEncoding::Utf8;
};

// The text in a file's bytes: UTF-16LE with a byte-order mark is converted to
// UTF-8, a UTF-8 byte-order mark is dropped, other bytes are taken as they
// are. nullopt when the bytes are not text (a NUL, or broken UTF-16); why
// then says so in words for the operator.
std::optional<DecodedText> DecodeSettingsText(std::string_view bytes, std::string& why);

// The bytes of the text in the given encoding. Text that UTF-16 cannot hold
// (bytes that are not UTF-8) is written as UTF-8 instead, and encoding is
// changed to say so.
std::string EncodeSettingsText(std::string_view text, TextEncoding& encoding);

enum class RegType {
  String,
  Dword,
  Other,       // a type the program does not use (hex:, hex(N):)
  Unreadable,  // a line with a value's name that is not understood
};

struct RegValue {
  RegType type = RegType::Other;
  std::string text;  // String: the contents; otherwise the data as written
  uint32_t dword = 0;
  bool operator==(const RegValue&) const = default;
};

class RegText {
 public:
  // Every key after an import, by its name in upper case, with its values by
  // their names in upper case ("" for the default value "@").
  using Contents = std::map<std::string, std::map<std::string, RegValue>>;

  explicit RegText(std::string_view text = {});

  // The text: every line as read, except those a write changed or added.
  std::string Text() const;

  bool HasKey(std::string_view key) const;
  // The value as an import would leave it; nullopt when it is missing.
  std::optional<RegValue> Value(std::string_view key, std::string_view name) const;
  Contents AllValues() const;

  // Whether a name or a string value can be written (no line break, no NUL).
  static bool CanHold(std::string_view text);

  // Adds the key's section when the key does not exist: before the first
  // key below it, otherwise at the end.
  void CreateKey(std::string_view key);
  // Sets a String or Dword value: the line that defines it now is changed in
  // place (its indentation, name spelling and comment kept); otherwise a line
  // is added at the end of the key's last section. false when the value
  // cannot be written (CanHold, or a type other than String or Dword).
  bool Set(std::string_view key, std::string_view name, const RegValue& value);

 private:
  enum class Kind { Blank, Comment, Header, Section, KeyDeletion, Value, ValueDeletion, Continuation, Unknown };

  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\n", "\r\n", "\r", or "" for a last line without one
    Kind kind = Kind::Unknown;
    std::string key;     // Section, KeyDeletion: the key's path
    std::string name;    // Value, ValueDeletion, and an Unknown line when named
    bool named = false;  // an Unknown line that begins with a value's name
    RegValue value;      // Value
    size_t dataBegin = 0, dataEnd = 0;  // Value: where its data stands in text
    bool continues = false;             // hex data going on in the next line
  };

  struct KeyState {
    std::map<std::string, size_t> values;  // upper-case name -> its last line
  };

  static void ClassifyLine(Line& line, bool& continued);
  static void ClassifyValue(Line& line);
  void Classify();
  void Import();
  void ImportLine(size_t index, std::optional<std::string>& current, size_t& owner);
  void EnsureHeader();
  void AddSection(std::string_view key, const std::string& valueLine);
  void Insert(size_t at, const std::vector<std::string>& texts);
  size_t LastDataLine(size_t index) const;
  void ReplaceData(size_t index, const std::string& data);
  std::optional<size_t> DefiningLine(const std::string& upperKey, std::string_view name) const;
  std::optional<size_t> LastLiveSection(const std::string& upperKey) const;
  size_t NewSectionPlace(const std::string& upperKey) const;
  size_t EndOfSectionValues(size_t section) const;
  size_t LiveFrom(const std::string& upperKey) const;

  std::vector<Line> lines_;
  std::map<std::string, KeyState> keys_;
  std::string newLineEnd_ = "\n";
  bool hasHeader_ = false;
};

}  // namespace store
