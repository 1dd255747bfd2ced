// SPDX-License-Identifier: MIT
#pragma once
// A CSV file that records are appended to, one line each (RFC 4180 quoting:
// a field holding a comma, a quote or a line break is quoted, quotes
// doubled). Every cell goes through CsvField, which also makes inert a cell
// that a spreadsheet would run as a formula. A new or empty file gets the
// header line first. What the file held before is never changed: a last line
// without its line break gets one before the first record.
//
// Whole records only: each record goes out in one unbuffered write. When the
// file does not take all of it (a full disk, a file-size limit), the part
// that was written is cut off again, so the file still ends in a whole
// record and a later record that fits starts on a line of its own. (A file
// that is not a regular file, a pipe say, is only written to.)
//
// Several threads may append to one file: each record is written under the
// file's lock, so records never interleave within a line.

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CsvFile {
 public:
  // Opens path for appending; nullptr with a one-line reason when it cannot.
  static std::unique_ptr<CsvFile> Open(const std::string& path, const std::vector<std::string>& header,
                                       std::string& error);
  ~CsvFile();
  CsvFile(const CsvFile&) = delete;
  CsvFile& operator=(const CsvFile&) = delete;

  // False when the record could not be written whole; then why says why
  // (the system's words) and nothing of the record is left in the file.
  bool Append(const std::vector<std::string>& fields, std::string* why = nullptr);
  const std::string& Path() const { return path_; }

 private:
  CsvFile(std::FILE* file, std::string path, bool regular) : file_(file), path_(std::move(path)), regular_(regular) {}
  bool AppendText(const std::string& text, std::string* why);

  std::FILE* file_;
  std::string path_;
  bool regular_;
  std::mutex appendMutex_;
};

// One cell as it goes into the file. A cell that begins with '=', '+', '-',
// '@', a tab or a carriage return gets a single quote in front and is quoted,
// so that a spreadsheet shows it as text instead of running it: card data and
// module texts come from the line and may be crafted to do harm.
std::string CsvField(const std::string& field);

// One record as a line, without the line break.
std::string CsvLine(const std::vector<std::string>& fields);

// Whether two paths name one file: the same file when both exist (links,
// "./" and hard links included), else the same path once made absolute.
bool SameFile(const std::string& a, const std::string& b);

// The record file of a profile's runs: given, or else the profile's name
// with ".csv" for its extension.
std::string RecordFilePath(const std::string& given, const std::string& profilePath);
