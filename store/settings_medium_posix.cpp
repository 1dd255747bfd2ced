// The settings medium as one text file in the registry-export format
// (settings_text.h), $XDG_CONFIG_HOME/TAVIX/Corvel.reg.
//
// Reading: the file is read afresh at every open, so edits made by hand while
// the program runs are seen. A missing file is an empty medium. A file that
// cannot be used at all (not a regular file, over the size limit, binary,
// refused to this user) makes every open fail; the operator is told once.
//
// Writing: under an exclusive lock on "Corvel.reg.lock" beside the file, the
// file is read again, the one value is changed and the whole file replaced
// atomically (temporary file in the same folder, renamed over it). Another
// program saving at the same time thus never loses its values, and a reader
// sees the old or the new file in full. A symbolic link is written through:
// the file it points at is replaced, the link stays. A file that cannot be
// used is never overwritten: it is kept under a new name
// (Corvel.reg.unreadable-<time>) and a fresh file is started.

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>

#include "settings_medium.h"
#include "settings_text.h"

namespace {

constexpr size_t kMaxFileSize = 1024 * 1024;
constexpr const char* kSizeLimitText = "1 MiB";
constexpr const char* kRootKey = "HKEY_LOCAL_MACHINE";
constexpr const char* kFolderName = "TAVIX";
constexpr const char* kFileName = "Corvel.reg";
constexpr const char* kLockSuffix = ".lock";
constexpr const char* kAsideSuffix = ".unreadable-";
constexpr int kMaxLinkHops = 40;
constexpr int kMaxAsideNames = 100;
// A writer holds the lock for one read and one write of a small file; one
// that holds it longer than this has hung.
constexpr auto kLockWait = std::chrono::seconds(5);
constexpr auto kLockRetryPause = std::chrono::milliseconds(2);

// ---------------------------------------------------------------------------
// Where the file lives.

std::string ConfigHome() {
  // A relative folder in XDG_CONFIG_HOME is not valid and is ignored.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config";
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return std::string(found->pw_dir) + "/.config";
  return {};
}

std::string FolderPath() {
  std::string home = ConfigHome();
  return home.empty() ? std::string() : home + "/" + kFolderName;
}

std::string FilePath() {
  std::string folder = FolderPath();
  return folder.empty() ? std::string() : folder + "/" + kFileName;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The file that a chain of symbolic links ends at (it need not exist). A
// chain that does not end is left as it is: opening it then fails.
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    char target[4096];
    ssize_t length = ::readlink(current.c_str(), target, sizeof target);
    if (length < 0) return current;
    if (static_cast<size_t>(length) >= sizeof target) return path;
    std::string next(target, static_cast<size_t>(length));
    current = next[0] == '/' ? next : FolderOf(current) + "/" + next;
  }
  return path;
}

// ---------------------------------------------------------------------------
// Telling the operator: one plain line on stderr, each at most once per run.

std::mutex& NoticeMutex() {
  static std::mutex mutex;
  return mutex;
}

void Tell(const std::string& line) {
  static std::set<std::string> told;
  std::lock_guard<std::mutex> guard(NoticeMutex());
  if (!told.insert(line).second) return;
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, line.c_str());
  std::fflush(stderr);
}

// What the run has said about an unusable file: the name it will be kept
// under (fixed when the run first meets the file, so that the first notice
// can already say where it goes) and whether that was announced.
struct AsidePlan {
  std::string name;
  bool announced = false;
};

AsidePlan& PlanFor(const std::string& path) {
  static std::map<std::string, AsidePlan> plans;
  AsidePlan& plan = plans[path];
  if (plan.name.empty()) {
    time_t now = ::time(nullptr);
    struct tm local;
    char stamp[32] = "0";
    if (::localtime_r(&now, &local) != nullptr) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    plan.name = path + kAsideSuffix + stamp;
  }
  return plan;
}

void TellUnreadable(const std::string& path, const std::string& why) {
  std::string aside;
  {
    std::lock_guard<std::mutex> guard(NoticeMutex());
    AsidePlan& plan = PlanFor(path);
    plan.announced = true;
    aside = plan.name;
  }
  Tell("cannot read the settings file " + path + " (" + why +
       "): using the defaults and opening no serial port by enumeration; the next save moves it to " + aside +
       " and starts a fresh file");
}

void TellNotSaved(const std::string& path, const std::string& why) {
  Tell("cannot save the settings file " + path + " (" + why + "): the setting is not saved");
}

// ---------------------------------------------------------------------------
// Reading the file.

enum class FileState { Missing, Unusable, Read };

struct LoadedFile {
  FileState state = FileState::Missing;
  std::string why;  // Unusable: the reason, in words for the operator
  RegText doc;
  TextEncoding encoding = TextEncoding::Utf8;
};

// Why the open file cannot be used, or "" when it can be read.
std::string CheckOpenFile(int fd) {
  struct stat info;
  if (::fstat(fd, &info) != 0) return std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return "it is a folder";
  if (!S_ISREG(info.st_mode)) return "it is not a regular file";
  if (static_cast<uint64_t>(info.st_size) > kMaxFileSize) return std::string("it is larger than ") + kSizeLimitText;
  return {};
}

// Reads at most kMaxFileSize bytes; "" or the reason the file is unusable.
std::string ReadBytes(int fd, std::string& bytes) {
  std::string why = CheckOpenFile(fd);
  char buffer[16384];
  while (why.empty()) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) why = std::strerror(errno);
    if (got <= 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
    if (bytes.size() > kMaxFileSize) why = std::string("it is larger than ") + kSizeLimitText;
  }
  return why;
}

LoadedFile LoadFile(const std::string& path) {
  LoadedFile file;
  if (path.empty()) return file;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) return file;
  file.state = FileState::Unusable;
  std::string bytes;
  file.why = fd < 0 ? std::string(std::strerror(errno)) : ReadBytes(fd, bytes);
  if (fd >= 0) ::close(fd);
  if (!file.why.empty()) return file;
  std::optional<DecodedText> text = DecodeSettingsText(bytes, file.why);
  if (!text) return file;
  file.state = FileState::Read;
  file.doc = RegText(text->text);
  file.encoding = text->encoding;
  return file;
}

// ---------------------------------------------------------------------------
// Writing the file.

// An exclusive advisory lock on a file beside the settings file, held for
// one read-change-write. The lock file stays: removing it would let two
// writers lock two different files.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd_ < 0) {
      why_ = std::strerror(errno);
      return;
    }
    // Waits in short pauses up to a limit, rather than for ever.
    auto deadline = std::chrono::steady_clock::now() + kLockWait;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      int error = errno;
      if ((error != EWOULDBLOCK && error != EINTR) || std::chrono::steady_clock::now() >= deadline) {
        why_ = error == EWOULDBLOCK ? "another program holds its lock " + path : std::string(std::strerror(error));
        return;
      }
      std::this_thread::sleep_for(kLockRetryPause);
    }
    held_ = true;
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool Held() const { return held_; }
  const std::string& Why() const { return why_; }

 private:
  int fd_ = -1;
  bool held_ = false;
  std::string why_;
};

bool MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat info;
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t put = ::write(fd, data.data(), data.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Replaces the file with the bytes: a temporary file in the same folder,
// flushed to disk and renamed over the old one, so that the file is always
// either the old or the new one in full. "" or the reason it failed.
std::string ReplaceFile(const std::string& path, std::string_view bytes) {
  mode_t mode = 0644;
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;
  std::string temporary = path + ".XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return std::strerror(errno);
  bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int error = errno;
  written = (::close(fd) == 0) && written;
  if (written && ::rename(temporary.c_str(), path.c_str()) == 0) {
    SyncFolder(FolderOf(path));
    return {};
  }
  error = written ? errno : error;
  ::unlink(temporary.c_str());
  return std::strerror(error);
}

// Renames from to to unless to exists; errno tells why not.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without RENAME_NOREPLACE: check first.
  struct stat info;
  if (::lstat(to.c_str(), &info) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// Moves an unusable file out of the way under a name of its own; the name,
// or nullopt when it cannot be moved. The operator is told, unless the move
// went as the notice of the unreadable file already said.
std::optional<std::string> KeepAside(const std::string& path, const std::string& why) {
  AsidePlan plan;
  {
    std::lock_guard<std::mutex> guard(NoticeMutex());
    plan = PlanFor(path);
  }
  for (int n = 1; n <= kMaxAsideNames; ++n) {
    std::string aside = n == 1 ? plan.name : plan.name + "-" + std::to_string(n);
    if (RenameNoReplace(path, aside)) {
      SyncFolder(FolderOf(path));
      if (n > 1 || !plan.announced)
        Tell("cannot read the settings file " + path + " (" + why + "): moved it to " + aside + " and started a fresh file");
      return aside;
    }
    if (errno != EEXIST && errno != ENOTEMPTY) break;
  }
  TellNotSaved(path, why + ", and it cannot be moved aside: " + std::strerror(errno));
  return std::nullopt;
}

// The file that replaces one kept aside, saying where the old one went.
LoadedFile FreshFile(const std::string& aside, const std::string& why) {
  LoadedFile file;
  file.state = FileState::Read;
  file.doc = RegText("REGEDIT4\n\n; The settings file that stood here could not be read (" + why + ").\n; It was kept as " +
                     BaseName(aside) + ". If it held a port table, copy its Ports section\n" +
                     "; here: until then COM numbers go to the serial devices found.\n\n");
  return file;
}

// Changes the file under the lock: reads it as it is now, lets change edit
// it and writes it back. The document written, or nullopt when nothing was.
std::optional<RegText> ModifyFile(const std::function<bool(RegText&)>& change) {
  const std::string folder = FolderPath();
  if (folder.empty()) return std::nullopt;
  const std::string path = FollowLinks(FilePath());
  if (!MakeFolders(folder)) {
    TellNotSaved(path, std::string("its folder cannot be made: ") + std::strerror(errno));
    return std::nullopt;
  }
  FileLock lock(path + kLockSuffix);
  if (!lock.Held()) {
    TellNotSaved(path, lock.Why());
    return std::nullopt;
  }
  LoadedFile file = LoadFile(path);
  if (file.state == FileState::Unusable) {
    std::optional<std::string> aside = KeepAside(path, file.why);
    if (!aside) return std::nullopt;
    file = FreshFile(*aside, file.why);
  }
  if (!change(file.doc)) return std::nullopt;
  std::string bytes = EncodeSettingsText(file.doc.Text(), file.encoding);
  std::string why = bytes.size() > kMaxFileSize ? std::string("it would grow larger than ") + kSizeLimitText
                                                 : ReplaceFile(path, bytes);
  if (!why.empty()) {
    TellNotSaved(path, why);
    return std::nullopt;
  }
  return std::move(file.doc);
}

// ---------------------------------------------------------------------------
// An open key: the file as it was read at the open.

class FileKey : public SettingsKey {
 public:
  FileKey(std::string section, RegText doc) : section_(std::move(section)), doc_(std::move(doc)) {}

  bool HasValue(const std::string& name) override {
    std::optional<RegValue> value = doc_.Value(section_, name);
    return value && value->type != RegType::Unreadable;
  }

  std::optional<uint32_t> ReadDword(const std::string& name) override {
    std::optional<RegValue> value = doc_.Value(section_, name);
    if (!value || value->type != RegType::Dword) return std::nullopt;
    return value->dword;
  }

  std::optional<std::string> ReadString(const std::string& name) override {
    std::optional<RegValue> value = doc_.Value(section_, name);
    if (!value || value->type != RegType::String) return std::nullopt;
    return value->text;
  }

  bool HasUnreadableValue(const std::string& name) override {
    std::optional<RegValue> value = doc_.Value(section_, name);
    return value && value->type == RegType::Unreadable;
  }

  bool WriteDword(const std::string& name, uint32_t value) override {
    return Write(name, RegValue{RegType::Dword, {}, value});
  }

  bool WriteString(const std::string& name, const std::string& value) override {
    // The file format has no way to write a line break inside a string.
    if (!RegText::CanHold(value)) return false;
    return Write(name, RegValue{RegType::String, value, 0});
  }

 private:
  // Applies the value to the file as it is now (it may have been edited
  // since the open) and then takes the file as written for this key's view.
  bool Write(const std::string& name, const RegValue& value) {
    if (!RegText::CanHold(name)) return false;
    std::optional<RegText> written = ModifyFile([&](RegText& doc) { return doc.Set(section_, name, value); });
    if (!written) return false;
    doc_ = std::move(*written);
    return true;
  }

  std::string section_;
  RegText doc_;
};

}  // namespace

std::unique_ptr<SettingsKey> OpenSettingsKey(const std::string& path, bool create) {
  std::string section = std::string(kRootKey) + "\\" + path;
  LoadedFile file = LoadFile(FilePath());
  if (file.state == FileState::Unusable && !create) {
    TellUnreadable(FollowLinks(FilePath()), file.why);
    return nullptr;
  }
  if (file.state != FileState::Unusable && file.doc.HasKey(section))
    return std::make_unique<FileKey>(std::move(section), std::move(file.doc));
  if (!create) return nullptr;
  std::optional<RegText> written = ModifyFile([&](RegText& doc) {
    doc.CreateKey(section);
    return true;
  });
  if (!written) return nullptr;
  return std::make_unique<FileKey>(std::move(section), std::move(*written));
}

bool SettingsMediumUnreadable() { return LoadFile(FilePath()).state == FileState::Unusable; }

std::string SettingsMediumLocation() { return FilePath(); }
