// SPDX-License-Identifier: MIT
#pragma once
// A CSV file that records are appended to, one line each (RFC 4180 quoting:
// a field holding a comma, a quote or a line break is quoted, quotes
// doubled). Every cell goes through CsvField, which also makes inert a cell
// that a spreadsheet would run as a formula. A new or empty file gets the header line first. What the file
// held before is never changed: a last line without its line break gets one
// before the first record. Each record goes out in one write and is flushed,
// so a run that ends abruptly leaves whole records behind. Several threads
// may append to one file: each record is written under the file's lock, so
// records never interleave within a line.

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

  // False when the record could not be written whole.
  bool Append(const std::vector<std::string>& fields);
  const std::string& Path() const { return path_; }

 private:
  CsvFile(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
  std::FILE* file_;
  std::string path_;
  std::mutex appendMutex_;
};

// One cell as it goes into the file. A cell that begins with '=', '+', '-',
// '@', a tab or a carriage return gets a single quote in front and is quoted,
// so that a spreadsheet shows it as text instead of running it: card data and
// module texts come from the line and may be crafted to do harm.
std::string CsvField(const std::string& field);

// One record as a line, without the line break.
std::string CsvLine(const std::vector<std::string>& fields);
