// SPDX-License-Identifier: MIT
#include "profile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "setting_words.h"
#include "settings_text.h"
#include "shown_text.h"

namespace {
constexpr size_t kMaxProfileBytes = 64 * 1024;
constexpr size_t kMaxLineBytes = 1024;
constexpr int kMinId = 1, kMaxId = 99, kMaxKeyCount = 20;

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

const char kSettingNames[] = "id1, id2, line-setting, key-count, mode, rs485";

// What a setting may be, for the error on a bad value.
std::string AllowedValues(const std::string& key) {
  if (key == "id1" || key == "id2") return key + " must be 1 to 99";
  if (key == "line-setting") return "line-setting must be one of the twelve (9600,n,8,1 ... ) or 0 to 11";
  if (key == "key-count") return "key-count must be 0 to 20";
  if (key == "mode") return "mode must be two or one";
  return "rs485 must be 24, 32 or 40";
}

// Sets one setting; false with the reason (without the line's place).
bool SetValue(const std::string& key, const std::string& value, Profile& p, std::string& error) {
  std::optional<int>* slot = nullptr;
  std::optional<int> parsed;
  if (key == "id1" || key == "id2") {
    slot = key == "id1" ? &p.id1 : &p.id2;
    parsed = ParseNumberInRange(value, kMinId, kMaxId);
  } else if (key == "line-setting") {
    slot = &p.lineSettingIndex;
    parsed = ParseLineSettingChoice(value);
  } else if (key == "key-count") {
    slot = &p.keyCount;
    parsed = ParseNumberInRange(value, 0, kMaxKeyCount);
  } else if (key == "mode") {
    slot = &p.modeIndex;
    parsed = ParseModeName(value);
  } else if (key == "rs485") {
    slot = &p.rs485Index;
    parsed = ParseRs485(value);
  } else {
    error = "unknown setting '" + text::ShownText(key) + "' (" + kSettingNames + ")";
    return false;
  }
  if (slot->has_value()) error = text::ShownText(key) + " given twice";
  else if (!parsed) error = AllowedValues(key) + ", not '" + text::ShownText(value) + "'";
  else *slot = parsed;
  return error.empty();
}

bool ParseLine(const std::string& raw, Profile& p, std::string& error) {
  if (raw.size() > kMaxLineBytes) {
    error = "line too long";
    return false;
  }
  // A comment runs from ';' or '#' to the end of the line; no value holds one.
  std::string line = Trim(raw.substr(0, raw.find_first_of(";#")));
  if (line.empty()) return true;
  if (line.front() == '[') {
    if (LowerCase(line) == "[module]") return true;
    error = "unknown section " + text::ShownText(line) + " (only [module])";
    return false;
  }
  size_t equals = line.find('=');
  if (equals == std::string::npos) {
    error = "want setting = value";
    return false;
  }
  return SetValue(LowerCase(Trim(line.substr(0, equals))), Trim(line.substr(equals + 1)), p, error);
}

bool NamesASetting(const Profile& p) {
  return p.id1 || p.id2 || p.lineSettingIndex || p.keyCount || p.modeIndex || p.rs485Index;
}
}  // namespace

std::optional<Profile> ParseProfile(const std::string& text, const std::string& where, std::string& error) {
  Profile profile;
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (!ParseLine(text.substr(start, end - start), profile, error)) {
      error = text::ShownText(where) + " line " + std::to_string(number) + ": " + error;
      return std::nullopt;
    }
    start = end + 1;
  }
  if (!NamesASetting(profile)) {
    error = text::ShownText(where) + " names no setting (" + kSettingNames + ")";
    return std::nullopt;
  }
  return profile;
}

namespace {
// Why a profile cannot be opened, in words: missing, a folder, no permission.
std::string WhyNotReadable(const std::string& path, int openErrno) {
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return "no such file";
  if (status.type() == std::filesystem::file_type::directory) return "it is a folder";
  if (openErrno == EACCES) return "permission denied";
  return openErrno ? std::strerror(openErrno) : "cannot be read";
}
}  // namespace

std::optional<Profile> LoadProfile(const std::string& path, std::string& error) {
  // Only a regular file: a FIFO would hold the open until a writer comes
  // (and no signal ends that wait), a device could be read for ever.
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
      !std::filesystem::is_directory(status)) {
    error = "cannot read the profile " + text::ShownText(path) + ": it is not a regular file";
    return std::nullopt;
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  int openErrno = errno;
  if (!in || std::filesystem::is_directory(path)) {
    error = "cannot read the profile " + text::ShownText(path) + ": " + WhyNotReadable(path, openErrno);
    return std::nullopt;
  }
  std::string text;
  text.resize(kMaxProfileBytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > kMaxProfileBytes) {
    error = "the profile " + text::ShownText(path) + " is larger than " + std::to_string(kMaxProfileBytes) + " bytes";
    return std::nullopt;
  }
  std::string why;
  std::optional<store::DecodedText> decoded = store::DecodeSettingsText(text, why);
  if (!decoded) {
    error = "the profile " + text::ShownText(path) + " is not text: " + why;
    return std::nullopt;
  }
  return ParseProfile(decoded->text, path, error);
}

namespace {
// A name beside path that no other run picks: path + ".<random>.tmp".
std::string TemporaryNameBeside(const std::string& path) {
  std::random_device random;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
  return path + suffix;
}
}  // namespace

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)), temporary_(TemporaryNameBeside(path_)) {
  std::error_code ec;
  if (std::filesystem::is_directory(path_, ec)) {
    error_ = "cannot write the profile " + text::ShownText(path_) + ": it is a folder";
    return;
  }
  errno = 0;
  out_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!out_) {
    error_ = "cannot write the profile " + text::ShownText(path_) + ": " + (errno ? std::strerror(errno) : "cannot create a file there");
  }
}

ProfileFile::~ProfileFile() {
  if (committed_ || !error_.empty()) return;
  out_.close();
  std::error_code ec;
  std::filesystem::remove(temporary_, ec);
}

bool ProfileFile::Commit(const std::string& text, std::string& error) {
  if (!error_.empty()) {
    error = error_;
    return false;
  }
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.close();
  std::error_code ec;
  if (!out_) {
    error = "cannot write the profile " + text::ShownText(path_) + ": writing " + text::ShownText(temporary_) + " failed";
  } else {
    std::filesystem::rename(temporary_, path_, ec);
    if (ec) error = "cannot write the profile " + text::ShownText(path_) + ": " + ec.message();
  }
  committed_ = error.empty();
  return committed_;
}
