// SPDX-License-Identifier: MIT
#pragma once
// A settings home for one test: a fresh folder that XDG_CONFIG_HOME names
// while the object lives. The settings file is Folder()/"Corvel.reg". At the
// end the variables it changed are put back and the folder goes, with
// whatever a test made write-protected in it.

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

class SettingsHome {
 public:
  explicit SettingsHome(const std::string& prefix = "rt420-settings") {
    Remember("XDG_CONFIG_HOME", xdg_);
    Remember("HOME", home_);
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) root_ = pattern;
    ::setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
  }
  ~SettingsHome() {
    Restore("XDG_CONFIG_HOME", xdg_);
    Restore("HOME", home_);
    if (root_.empty()) return;
    std::error_code ec;
    // A folder a test write-protected would keep its files in.
    for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (it->is_directory(ec) && !it->is_symlink(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(root_, ec);
  }
  SettingsHome(const SettingsHome&) = delete;
  SettingsHome& operator=(const SettingsHome&) = delete;

  bool Made() const { return !root_.empty(); }
  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path Folder() const { return root_ / "TAVIX"; }
  std::filesystem::path File() const { return Folder() / "Corvel.reg"; }

 private:
  static void Remember(const char* name, std::optional<std::string>& into) {
    if (const char* value = ::getenv(name)) into = value;
  }
  static void Restore(const char* name, const std::optional<std::string>& value) {
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }

  std::optional<std::string> xdg_, home_;
  std::filesystem::path root_;
};
