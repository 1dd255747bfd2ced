// SPDX-License-Identifier: MIT
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
// used is never overwritten: a fresh file is written first, and only once it
// is on disk is the old one moved to a new name
// (Corvel.reg.unreadable-<time>) and the fresh one put in its place.
//
// A file this user may not write (an administrator's fixed port table, or
// the user's own write-protected file) is never replaced: it is still read,
// and saves into it are skipped with one line on stderr per run.

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
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
#include <utility>
#include <vector>

#include "settings_medium.h"
#include "settings_text.h"

namespace store {

namespace {

constexpr size_t kMaxFileSize = 1024 * 1024;
constexpr const char* kSizeLimitText = "1 MiB";
constexpr const char* kRootKey = "HKEY_LOCAL_MACHINE";
constexpr const char* kFolderName = "TAVIX";
constexpr const char* kFileName = "Corvel.reg";
constexpr const char* kLockSuffix = ".lock";
constexpr const char* kAsideSuffix = ".unreadable-";
constexpr int kMaxAsideNames = 100;
// A writer holds the lock for one read and one write of a small file; one
// that holds it longer than this has hung.
constexpr auto kLockWait = std::chrono::milliseconds(5000);
constexpr auto kLockRetryPause = std::chrono::milliseconds(2);
// A fresh file is readable by everyone and writable by its owner, whatever
// the file it replaces allowed.
constexpr mode_t kNewFileMode = 0644;

// Set by tests, read by every save: one atomic, so that a thread never
// reads it half written.
std::atomic<long long>& LockLimitMs() {
  static std::atomic<long long> limit{kLockWait.count()};
  return limit;
}

std::chrono::milliseconds LockLimit() { return std::chrono::milliseconds(LockLimitMs().load()); }

// ---------------------------------------------------------------------------
// Where the file lives.

void Tell(const std::string& line);

// Text from the environment or the file system, fit for one plain line.
std::string Printable(std::string_view text) {
  std::string shown;
  for (char c : text) shown += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
  return shown;
}

std::string HomeConfig();

std::string ConfigHome() {
  // A relative or empty XDG_CONFIG_HOME is not valid: ~/.config serves, and
  // the user is told, since the file is then not where they put it.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  std::string home = HomeConfig();
  if (xdg != nullptr && !home.empty())
    Tell(std::string("XDG_CONFIG_HOME ") +
         (xdg[0] == '\0' ? std::string("is empty") : "is not an absolute path (" + Printable(xdg) + ")") +
         ": using " + home + " instead");
  return home;
}

std::string HomeConfig() {
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

// The owner of a file in words: the account name, or its number.
std::string OwnerOf(const struct stat& info) {
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(info.st_uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
    return Printable(found->pw_name);
  return "user " + std::to_string(info.st_uid);
}

std::string ModeText(const struct stat& info) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(info.st_mode & 07777));
  return text;
}

// A path as one word for the shell, in single quotes, so that a command
// offered to be pasted does what it says whatever the path holds.
std::string ShellQuoted(const std::string& path) {
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Why this user may not make or rename files in the folder (with who owns
// it and how to mend it), or "" when it may, or the folder is missing.
std::string FolderRefusal(const std::string& folder) {
  if (::access(folder.c_str(), W_OK | X_OK) == 0) return {};
  int error = errno;
  struct stat info;
  if (error == ENOENT || error == ENOTDIR || ::stat(folder.c_str(), &info) != 0) return {};
  if (error == EROFS) return "its folder " + folder + " is on a read-only file system";
  const std::string refused = ::access(folder.c_str(), X_OK) != 0 ? "is not accessible to this user"
                                                                   : "this user may not make files in it";
  // The mend is offered for the settings folder alone: a folder that a
  // link leads to (/etc, say) is not the user's to take over.
  const bool settingsFolder = folder == FolderPath();
  if (info.st_uid != ::geteuid())
    return "its folder " + folder + " belongs to " + OwnerOf(info) + " (mode " + ModeText(info) + ") and " + refused +
           (settingsFolder ? "; to mend it, run: sudo chown -R \"$USER\" " + ShellQuoted(folder) : std::string());
  return "its folder " + folder + " is write-protected (mode " + ModeText(info) + ")" +
         (settingsFolder ? "; to mend it, run: chmod u+rwx " + ShellQuoted(folder) : std::string());
}

// Why this user may not replace the file, or "" when it may (or it is
// missing). A write-protected file is a choice its owner made.
std::string FileRefusal(const std::string& path) {
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) return {};
  int error = errno;
  struct stat info;
  if (error == EROFS) return "it is on a read-only file system";
  if ((error != EACCES && error != EPERM) || ::stat(path.c_str(), &info) != 0) return {};
  if (info.st_uid != ::geteuid()) return "it belongs to " + OwnerOf(info) + " and this user may not write it";
  return "it is write-protected (mode " + ModeText(info) + ")";
}

// Why a save cannot replace the file: the file or its folder refuses it.
std::string SaveRefusal(const std::string& path) {
  std::string why = FileRefusal(path);
  return why.empty() ? FolderRefusal(FolderOf(path)) : why;
}

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
// Telling the operator: one plain line on stderr, each at most once per run,
// however many threads meet the same trouble. NoticeMutex guards what the run
// has told and the aside plans below.

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

// Called with NoticeMutex held.
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
  const std::string intro = "cannot read the settings file " + path + " (" + why +
                            "): using the defaults and opening no serial port by enumeration; ";
  // A file that no save can replace is not promised to be moved aside.
  std::string refusal = SaveRefusal(path);
  if (!refusal.empty()) {
    Tell(intro + "settings are not saved, since " + refusal);
    return;
  }
  std::string aside;
  {
    std::lock_guard<std::mutex> guard(NoticeMutex());
    AsidePlan& plan = PlanFor(path);
    plan.announced = true;
    aside = plan.name;
  }
  Tell(intro + "the next save moves it to " + aside + " and starts a fresh file");
}

void TellNotSaved(const std::string& path, const std::string& why) {
  Tell("cannot save the settings file " + path + " (" + why + "): the setting is not saved");
}

std::string LimitText(std::chrono::milliseconds limit) {
  if (limit.count() % 1000 == 0) return std::to_string(limit.count() / 1000) + " s";
  return std::to_string(limit.count()) + " ms";
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

// Why the file did not open, naming the folder when it is the folder that
// keeps this user out.
std::string OpenRefusal(const std::string& path, int error) {
  if (error == EACCES) {
    const std::string folder = FolderOf(path);
    struct stat info;
    if (::access(folder.c_str(), X_OK) != 0 && ::stat(folder.c_str(), &info) == 0)
      return "its folder " + folder + " belongs to " + OwnerOf(info) + " (mode " + ModeText(info) +
             ") and is not accessible to this user";
  }
  return std::string("it cannot be opened: ") + std::strerror(error);
}

LoadedFile LoadFile(const std::string& path) {
  LoadedFile file;
  if (path.empty()) return file;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) return file;
  file.state = FileState::Unusable;
  std::string bytes;
  file.why = fd < 0 ? OpenRefusal(path, errno) : ReadBytes(fd, bytes);
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
// writers lock two different files. It is opened without blocking and must
// be a regular file: a FIFO or a device there would otherwise hold the
// program in open() for ever.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd_ < 0) {
      why_ = Refusal(path, errno);
      return;
    }
    struct stat info;
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
      why_ = "its lock file " + path + " is not a regular file";
      return;
    }
    // Waits in short pauses up to a limit, rather than for ever. The lock
    // belongs to this open of the file, so two threads of this program that
    // save at once exclude each other just as two programs do.
    const std::chrono::milliseconds limit = LockLimit();
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      int error = errno;
      if ((error != EWOULDBLOCK && error != EINTR) || std::chrono::steady_clock::now() >= deadline) {
        why_ = error == EWOULDBLOCK
                   ? "another program has held its lock " + path + " for more than " + LimitText(limit)
                   : "its lock file " + path + " cannot be locked: " + std::strerror(error);
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
  // Why the lock file did not open, in words that name it.
  static std::string Refusal(const std::string& path, int error) {
    struct stat info;
    if (error == EISDIR) return "its lock file " + path + " is a folder";
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
      return "its lock file " + path + " is a link to " + Printable(FollowLinks(path)) +
             ", which cannot be opened: " + std::strerror(error);
    if (error == EACCES && ::stat(path.c_str(), &info) == 0)
      return "its lock file " + path + " belongs to " + OwnerOf(info) + " (mode " + ModeText(info) +
             ") and this user may not open it";
    return "its lock file " + path + " cannot be opened: " + std::strerror(error);
  }

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

// A file beside path that holds the new bytes, flushed to disk. Removed
// when the object goes, unless it was put in place.
class TemporaryFile {
 public:
  TemporaryFile(const std::string& path, std::string_view bytes, mode_t mode) : name_(path + ".XXXXXX") {
    int fd = ::mkstemp(name_.data());
    if (fd < 0) {
      why_ = "no temporary file can be made in " + FolderOf(path) + ": " + std::strerror(errno);
      name_.clear();
      return;
    }
    bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    bool closed = ::close(fd) == 0;
    if (!written || !closed) why_ = std::strerror(written ? errno : error);
  }
  ~TemporaryFile() {
    if (!name_.empty()) ::unlink(name_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // "" when the bytes are on disk, otherwise the reason they are not.
  const std::string& Why() const { return why_; }

  // Renames it over path; "" or the reason it failed.
  std::string PutInPlace(const std::string& path) {
    if (::rename(name_.c_str(), path.c_str()) != 0) return std::strerror(errno);
    name_.clear();
    SyncFolder(FolderOf(path));
    return {};
  }

 private:
  std::string name_;
  std::string why_;
};

// Replaces the file with the bytes: a temporary file in the same folder,
// flushed to disk and renamed over the old one, so that the file is always
// either the old or the new one in full. "" or the reason it failed.
std::string ReplaceFile(const std::string& path, std::string_view bytes) {
  mode_t mode = kNewFileMode;
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;
  TemporaryFile temporary(path, bytes, mode);
  if (!temporary.Why().empty()) return temporary.Why();
  return temporary.PutInPlace(path);
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

// The file that replaces one kept aside, saying where the old one went.
LoadedFile FreshFile(const std::string& aside, const std::string& why) {
  LoadedFile file;
  file.state = FileState::Read;
  file.doc = RegText("REGEDIT4\n\n; The settings file that stood here could not be read (" + why + ").\n; It was kept as " +
                     BaseName(aside) + ". If it held a port table, copy its Ports section\n" +
                     "; here: until then COM numbers go to the serial devices found.\n\n");
  return file;
}

std::string EncodeChecked(const LoadedFile& file, std::string& bytes) {
  TextEncoding encoding = file.encoding;
  bytes = EncodeSettingsText(file.doc.Text(), encoding);
  return bytes.size() > kMaxFileSize ? std::string("it would grow larger than ") + kSizeLimitText : std::string();
}

// Replaces an unusable file with a fresh one holding the change, keeping the
// old one under a name of its own. The fresh file is written first: on a
// full disk the old one stays where it is and keeps blocking the guessing
// of ports. The document written, or nullopt (the operator is told).
std::optional<RegText> ReplaceUnusable(const std::string& path, const std::string& why,
                                       const std::function<bool(RegText&)>& change) {
  AsidePlan plan;
  {
    std::lock_guard<std::mutex> guard(NoticeMutex());
    plan = PlanFor(path);
  }
  for (int n = 1; n <= kMaxAsideNames; ++n) {
    std::string aside = n == 1 ? plan.name : plan.name + "-" + std::to_string(n);
    struct stat taken;
    if (::lstat(aside.c_str(), &taken) == 0) continue;
    LoadedFile fresh = FreshFile(aside, why);
    if (!change(fresh.doc)) return std::nullopt;
    std::string bytes;
    std::string failure = EncodeChecked(fresh, bytes);
    TemporaryFile temporary(path, bytes, kNewFileMode);
    if (failure.empty()) failure = temporary.Why();
    if (!failure.empty()) {
      TellNotSaved(path, why + ", and no fresh file can be written, so it stays as it is: " + failure);
      return std::nullopt;
    }
    if (!RenameNoReplace(path, aside)) {
      if (errno == EEXIST || errno == ENOTEMPTY) continue;
      TellNotSaved(path, why + ", and it cannot be moved aside: " + std::strerror(errno));
      return std::nullopt;
    }
    failure = temporary.PutInPlace(path);
    if (!failure.empty()) {
      // Back where it was, so that it still keeps ports from being guessed.
      RenameNoReplace(aside, path);
      TellNotSaved(path, why + ", and the fresh file cannot be put in its place, so it stays as it is: " + failure);
      return std::nullopt;
    }
    if (n > 1 || !plan.announced)
      Tell("cannot read the settings file " + path + " (" + why + "): moved it to " + aside + " and started a fresh file");
    return std::move(fresh.doc);
  }
  TellNotSaved(path, why + ", and every name to keep it under is taken");
  return std::nullopt;
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
  // Checked before the lock, so that not even a lock file is left in a
  // folder this user may not change.
  std::string refusal = SaveRefusal(path);
  if (!refusal.empty()) {
    Tell("not saving into the settings file " + path + ": " + refusal);
    return std::nullopt;
  }
  FileLock lock(path + kLockSuffix);
  if (!lock.Held()) {
    TellNotSaved(path, lock.Why());
    return std::nullopt;
  }
  LoadedFile file = LoadFile(path);
  if (file.state == FileState::Unusable) return ReplaceUnusable(path, file.why, change);
  if (!change(file.doc)) return std::nullopt;
  std::string bytes;
  std::string why = EncodeChecked(file, bytes);
  if (why.empty()) why = ReplaceFile(path, bytes);
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

  bool WriteDword(const std::string& name, uint32_t value) override { return WriteValues({{name, value}}); }

  bool WriteString(const std::string& name, const std::string& value) override {
    return WriteValues({{name, value}});
  }

  // One read-change-write for them all, so that they land together.
  bool WriteValues(const std::vector<SettingsWrite>& values) override {
    std::vector<std::pair<std::string, RegValue>> lines;
    for (const SettingsWrite& write : values) {
      if (!RegText::CanHold(write.name)) return false;
      if (const uint32_t* dword = std::get_if<uint32_t>(&write.value)) {
        lines.push_back({write.name, RegValue{RegType::Dword, {}, *dword}});
        continue;
      }
      const std::string& text = std::get<std::string>(write.value);
      // The file format has no way to write a line break inside a string.
      if (!RegText::CanHold(text)) return false;
      lines.push_back({write.name, RegValue{RegType::String, text, 0}});
    }
    return Write(lines);
  }

 private:
  // Applies the values to the file as it is now (it may have been edited
  // since the open) and then takes the file as written for this key's view.
  bool Write(const std::vector<std::pair<std::string, RegValue>>& lines) {
    std::optional<RegText> written = ModifyFile([&](RegText& doc) {
      for (const auto& [name, value] : lines)
        if (!doc.Set(section_, name, value)) return false;
      return true;
    });
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

void SetSettingsLockLimit(std::chrono::milliseconds limit) { LockLimitMs() = limit.count(); }

}  // namespace store
