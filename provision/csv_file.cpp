// SPDX-License-Identifier: MIT
#include "csv_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "shown_text.h"

namespace {
// The byte a regular file ends with; 0 for an empty file.
int LastByte(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return 0;
  int last = 0;
  if (std::fseek(file, -1, SEEK_END) == 0) last = std::fgetc(file);
  std::fclose(file);
  return last == EOF ? 0 : last;
}

// A cell that a spreadsheet would take for a formula starts with one of
// these; the data comes from the line and is not to be trusted.
constexpr std::string_view kFormulaStarts = "=+-@\t\r";

bool StartsLikeAFormula(const std::string& field) {
  return !field.empty() && kFormulaStarts.find(field.front()) != std::string_view::npos;
}
}  // namespace

std::string CsvField(const std::string& field) {
  bool formula = StartsLikeAFormula(field);
  if (!formula && field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = formula ? "\"'" : "\"";
  for (char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::unique_ptr<CsvFile> CsvFile::Open(const std::string& path, const std::vector<std::string>& header,
                                       std::string& error) {
  // Only a regular file is read back or cut: a pipe or a device given as the
  // file is only written to.
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::status(path, ec);
  // A file that does not exist yet is made as a regular one.
  bool regular = !std::filesystem::exists(status) || std::filesystem::is_regular_file(status);
  if (std::filesystem::is_directory(status)) {
    error = "cannot open " + text::ShownText(path) + " for appending: it is a folder";
    return nullptr;
  }
  // A missing file ends in nothing: it gets the header.
  int last = regular ? LastByte(path) : '\n';
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) {
    error = "cannot open " + text::ShownText(path) + " for appending: " + std::strerror(errno);
    return nullptr;
  }
  // Unbuffered: a record that the file does not take leaves nothing behind
  // in a buffer, to be glued to the next one.
  std::setvbuf(file, nullptr, _IONBF, 0);
  std::unique_ptr<CsvFile> csv(new CsvFile(file, path, regular));
  std::string start;
  if (last != 0 && last != '\n') start += '\n';
  if (last == 0) start += CsvLine(header) + '\n';
  std::string why;
  if (!start.empty() && !csv->AppendText(start, &why)) {
    error = "cannot write to " + text::ShownText(path) + ": " + why;
    return nullptr;
  }
  return csv;
}

CsvFile::~CsvFile() { std::fclose(file_); }

bool CsvFile::Append(const std::vector<std::string>& fields, std::string* why) {
  std::string line = CsvLine(fields) + '\n';
  std::lock_guard<std::mutex> lock(appendMutex_);
  return AppendText(line, why);
}

bool CsvFile::AppendText(const std::string& text, std::string* why) {
  std::error_code ec;
  const std::uintmax_t before = regular_ ? std::filesystem::file_size(path_, ec) : 0;
  errno = 0;
  const size_t written = std::fwrite(text.data(), 1, text.size(), file_);
  if (written == text.size() && std::fflush(file_) == 0) return true;
  if (why) *why = errno ? std::strerror(errno) : "the file did not take the whole record";
  std::clearerr(file_);
  // Cut off what was written of the record, when the file grew by exactly
  // that much (nothing else was appended meanwhile).
  std::uintmax_t now = regular_ && !ec ? std::filesystem::file_size(path_, ec) : 0;
  if (regular_ && !ec && written > 0 && now == before + written) std::filesystem::resize_file(path_, before, ec);
  return false;
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + CsvField(fields[i]);
  return line;
}

namespace {
// The path made absolute with its links followed as far as it exists.
std::filesystem::path Absolute(const std::string& path) {
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
  return ec ? std::filesystem::path(path) : canonical;
}
}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec)) return std::filesystem::equivalent(a, b, ec);
  return Absolute(a) == Absolute(b);
}

std::string RecordFilePath(const std::string& given, const std::string& profilePath) {
  if (!given.empty()) return given;
  return std::filesystem::path(profilePath).replace_extension(".csv").string();
}
