// SPDX-License-Identifier: MIT
#pragma once
// JSON text, built member by member: what the command line prints with
// --json and what the on-site reports write. Every text handed in must be
// UTF-8; texts from outside the program go through ShownText first.

#include <string>
#include <string_view>
#include <vector>

namespace text {

// A JSON object built member by member, in the order added.
class JsonObject {
 public:
  JsonObject& Add(const std::string& key, std::string_view text);
  JsonObject& Add(const std::string& key, const char* text) { return Add(key, std::string_view(text)); }
  JsonObject& Add(const std::string& key, long long number);
  JsonObject& Add(const std::string& key, int number) { return Add(key, static_cast<long long>(number)); }
  JsonObject& Add(const std::string& key, bool value);
  JsonObject& Add(const std::string& key, const std::vector<std::string>& texts);
  JsonObject& Add(const std::string& key, const JsonObject& object);
  JsonObject& Add(const std::string& key, const std::vector<JsonObject>& objects);
  JsonObject& AddNull(const std::string& key);
  std::string Text() const;

 private:
  JsonObject& AddRaw(const std::string& key, const std::string& json);
  std::string members_;
};

// A JSON string: quoted, with quotes, backslashes and control characters
// escaped.
std::string JsonString(std::string_view utf8);

}  // namespace text
