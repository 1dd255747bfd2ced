// SPDX-License-Identifier: MIT
#include "csv_file.h"

#include <cerrno>
#include <cstring>
#include <string_view>

namespace {
// The byte the file ends with; 0 for a missing or empty file.
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

namespace {
bool WriteWhole(std::FILE* file, const std::string& text) {
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fflush(file) == 0 && written;
}
}  // namespace

std::unique_ptr<CsvFile> CsvFile::Open(const std::string& path, const std::vector<std::string>& header,
                                       std::string& error) {
  int last = LastByte(path);
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) {
    error = "cannot open " + path + " for appending: " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<CsvFile> csv(new CsvFile(file, path));
  std::string start;
  if (last != 0 && last != '\n') start += '\n';
  if (last == 0) start += CsvLine(header) + '\n';
  if (!start.empty() && !WriteWhole(file, start)) {
    error = "cannot write to " + path;
    return nullptr;
  }
  return csv;
}

CsvFile::~CsvFile() { std::fclose(file_); }

bool CsvFile::Append(const std::vector<std::string>& fields) {
  std::string line = CsvLine(fields) + '\n';
  std::lock_guard<std::mutex> lock(appendMutex_);
  return WriteWhole(file_, line);
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + CsvField(fields[i]);
  return line;
}
