// SPDX-License-Identifier: MIT
#include "json.h"

namespace text {

namespace {
constexpr char kHexDigits[] = "0123456789abcdef";
}  // namespace

JsonObject& JsonObject::AddRaw(const std::string& key, const std::string& json) {
  if (!members_.empty()) members_ += ',';
  members_ += JsonString(key);
  members_ += ':';
  members_ += json;
  return *this;
}

JsonObject& JsonObject::Add(const std::string& key, std::string_view text) { return AddRaw(key, JsonString(text)); }
JsonObject& JsonObject::Add(const std::string& key, long long number) { return AddRaw(key, std::to_string(number)); }
JsonObject& JsonObject::Add(const std::string& key, bool value) { return AddRaw(key, value ? "true" : "false"); }
JsonObject& JsonObject::Add(const std::string& key, const JsonObject& object) { return AddRaw(key, object.Text()); }
JsonObject& JsonObject::AddNull(const std::string& key) { return AddRaw(key, "null"); }

JsonObject& JsonObject::Add(const std::string& key, const std::vector<std::string>& texts) {
  std::string array = "[";
  for (size_t i = 0; i < texts.size(); ++i) array += (i ? "," : "") + JsonString(texts[i]);
  return AddRaw(key, array + "]");
}

JsonObject& JsonObject::Add(const std::string& key, const std::vector<JsonObject>& objects) {
  std::string array = "[";
  for (size_t i = 0; i < objects.size(); ++i) array += (i ? "," : "") + objects[i].Text();
  return AddRaw(key, array + "]");
}

std::string JsonObject::Text() const { return "{" + members_ + "}"; }

std::string JsonString(std::string_view utf8) {
  std::string json = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      json += "\\u00";
      json += kHexDigits[c >> 4];
      json += kHexDigits[c & 0x0F];
    } else {
      json += static_cast<char>(c);
    }
  }
  return json + "\"";
}

}  // namespace text
