#include "core/common/SafeDir.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "core/common/FileIO.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

namespace vld {

namespace fs = std::filesystem;

namespace {

// Short and independent of the target's name, so that a target name of the
// longest allowed length still has a temporary name.
std::string RandomName(const char* prefix, const char* suffix) {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  char text[64];
  std::snprintf(text, sizeof text, "%s%016llx%s", prefix, static_cast<unsigned long long>(rng()), suffix);
  return text;
}

std::string ErrnoText(int err) { return std::strerror(err); }

// Like create_directories, noting each folder it makes (outermost first).
void CreateFolders(const fs::path& where, std::vector<fs::path>* created, std::error_code& ec) {
  std::vector<fs::path> missing;
  for (fs::path p = where; !p.empty(); p = p.parent_path()) {
    std::error_code statusError;
    if (fs::exists(fs::symlink_status(p, statusError)) || p == p.parent_path()) break;
    missing.push_back(p);
  }
  fs::create_directories(where, ec);
  if (!created || ec) return;
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) created->push_back(*it);
}

[[noreturn]] void RefuseLink(const fs::path& link) {
  throw LinkRefusal(link, PathText(link) + " is a symbolic link; nothing is written through it.");
}

[[noreturn]] void NotAFolder(const fs::path& path) {
  throw FileError("Cannot create folder " + PathText(path) + ". A file of that name is in the way.");
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

}  // namespace

#ifndef _WIN32

TFileId FileIdOf(const fs::path& path) {
  TFileId id;
  id.path = path;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.valid = true;
  }
  return id;
}

std::shared_ptr<const TSafeDir> TSafeDir::OpenRoot(const fs::path& root, std::vector<fs::path>* created) {
  const fs::path where = root.empty() ? fs::path(".") : root;
  std::error_code ec;
  CreateFolders(where, created, ec);
  int fd = ::open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    if (err == ENOTDIR) throw FileError("Cannot create folder " + PathText(root) + ". It is a file.");
    throw FileError("Cannot create folder " + PathText(root) + ". " + (ec ? ec.message() : ErrnoText(err)));
  }
  return std::shared_ptr<const TSafeDir>(new TSafeDir(root, fd));
}

TSafeDir::~TSafeDir() { ::close(static_cast<int>(handle_)); }

std::shared_ptr<const TSafeDir> TSafeDir::Child(const std::string& name, bool* created) const {
  const int dirFd = static_cast<int>(handle_);
  const fs::path path = path_ / Utf8Path(name);
  const bool made = ::mkdirat(dirFd, name.c_str(), 0777) == 0;
  if (!made && errno != EEXIST) throw FileError("Cannot create folder " + PathText(path) + ". " + ErrnoText(errno));
  if (created) *created = made;
  int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    struct stat st;
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISLNK(st.st_mode)) RefuseLink(path);
      if (!S_ISDIR(st.st_mode)) NotAFolder(path);
    }
    throw FileError("Cannot open folder " + PathText(path) + ". " + ErrnoText(err));
  }
  return std::shared_ptr<const TSafeDir>(new TSafeDir(path, fd));
}

void TSafeDir::RemoveChildIfEmpty(const std::string& name) const {
  ::unlinkat(static_cast<int>(handle_), name.c_str(), AT_REMOVEDIR);
}

void TSafeDir::RemoveStaleTemporaries() const {
  const int fd = ::openat(static_cast<int>(handle_), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return;
  }
  std::vector<std::string> stale;
  while (const dirent* e = ::readdir(dir))
    if (IsStaleTemporary(e->d_name)) stale.push_back(e->d_name);
  for (const std::string& name : stale) {
    struct stat st;
    if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      ::unlinkat(fd, name.c_str(), 0);
  }
  ::closedir(dir);
}

TNameState TSafeDir::Inspect(const std::string& name, const TFileId& other) const {
  TNameState state;
  struct stat st;
  if (::fstatat(static_cast<int>(handle_), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return state;
  state.exists = true;
  state.link = S_ISLNK(st.st_mode);
  state.sameFile = other.valid && static_cast<std::uint64_t>(st.st_dev) == other.device &&
                   static_cast<std::uint64_t>(st.st_ino) == other.inode;
  return state;
}

bool TSafeDir::FoldsCase() const {
  const int dirFd = static_cast<int>(handle_);
  std::string probe = RandomName(".vld-case-probe-", ".tmp");
  int fd = ::openat(dirFd, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;  // nothing can be written here anyway; the writes will say why
  ::close(fd);
  struct stat st;
  bool folds = ::fstatat(dirFd, UpperAscii(probe).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  ::unlinkat(dirFd, probe.c_str(), 0);
  return folds;
}

TSafeFile::TSafeFile(std::shared_ptr<const TSafeDir> dir, std::string name)
    : dir_(std::move(dir)), name_(std::move(name)) {
  const int dirFd = static_cast<int>(dir_->handle_);
  for (int attempt = 0; attempt < 16 && file_ < 0; ++attempt) {
    temp_ = TemporaryPartName();
    file_ = ::openat(dirFd, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file_ < 0 && errno != EEXIST) break;
  }
  if (file_ < 0) throw FileError("Cannot create file " + PathText(Target()) + ". " + ErrnoText(errno));
}

void TSafeFile::Write(const std::uint8_t* data, std::size_t n) {
  if (file_ < 0) throw FileError("File " + PathText(Target()) + " is already closed.");
  while (n > 0) {
    ssize_t put = ::write(static_cast<int>(file_), data, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      std::string why = put < 0 ? ErrnoText(errno) : "Nothing could be written.";
      Discard();
      throw FileError("Write error on file " + PathText(Target()) + ". " + why);
    }
    data += put;
    n -= static_cast<std::size_t>(put);
  }
}

void TSafeFile::Commit() {
  if (file_ < 0) throw FileError("File " + PathText(Target()) + " is already closed.");
  const int dirFd = static_cast<int>(dir_->handle_);
  int closed = ::close(static_cast<int>(file_));
  file_ = -1;
  int err = errno;
  if (closed != 0 || ::renameat(dirFd, temp_.c_str(), dirFd, name_.c_str()) != 0) {
    if (closed == 0) err = errno;
    ::unlinkat(dirFd, temp_.c_str(), 0);
    throw FileError((closed != 0 ? "Write error on file " : "Cannot create file ") + PathText(Target()) + ". " +
                    ErrnoText(err));
  }
}

void TSafeFile::Discard() noexcept {
  if (file_ < 0) return;
  ::close(static_cast<int>(file_));
  file_ = -1;
  ::unlinkat(static_cast<int>(dir_->handle_), temp_.c_str(), 0);
}

#else  // _WIN32: no folder descriptors; each part is checked before use.

namespace {

// A symbolic link or a junction: anything the system resolves to another
// place. (The C++ library here reads a link's status as its target's.)
bool IsLinkLike(const fs::path& systemPath) {
  const DWORD attributes = ::GetFileAttributesW(systemPath.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

TFileId FileIdOf(const fs::path& path) {
  TFileId id;
  id.path = path;
  std::error_code ec;
  id.valid = fs::exists(SystemPath(path), ec);
  return id;
}

std::shared_ptr<const TSafeDir> TSafeDir::OpenRoot(const fs::path& root, std::vector<fs::path>* created) {
  const fs::path where = SystemPath(root.empty() ? fs::path(".") : root);
  std::error_code ec;
  CreateFolders(where, created, ec);
  if (!fs::is_directory(where, ec))
    throw FileError("Cannot create folder " + PathText(root) + ". " + (ec ? ec.message() : "It is a file."));
  return std::shared_ptr<const TSafeDir>(new TSafeDir(root, 0));
}

TSafeDir::~TSafeDir() = default;

std::shared_ptr<const TSafeDir> TSafeDir::Child(const std::string& name, bool* created) const {
  const fs::path path = path_ / Utf8Path(name);
  const fs::path where = SystemPath(path_.empty() ? fs::path(".") / Utf8Path(name) : path);
  std::error_code ec;
  if (created) *created = false;
  if (!IsLinkLike(where) && !fs::exists(fs::symlink_status(where, ec))) {
    const bool made = fs::create_directory(where, ec);
    if (ec) throw FileError("Cannot create folder " + PathText(path) + ". " + ec.message());
    if (created) *created = made;
  }
  if (IsLinkLike(where)) RefuseLink(path);
  if (!fs::is_directory(fs::symlink_status(where, ec))) NotAFolder(path);
  return std::shared_ptr<const TSafeDir>(new TSafeDir(path, 0));
}

TNameState TSafeDir::Inspect(const std::string& name, const TFileId& other) const {
  TNameState state;
  const fs::path path = path_ / Utf8Path(name);
  std::error_code ec;
  const bool link = IsLinkLike(SystemPath(path));
  if (!link && !fs::exists(fs::symlink_status(SystemPath(path), ec))) return state;
  state.exists = true;
  state.link = link;
  state.sameFile = !state.link && other.valid && fs::equivalent(SystemPath(path), SystemPath(other.path), ec);
  return state;
}

void TSafeDir::RemoveChildIfEmpty(const std::string& name) const {
  const fs::path where = SystemPath(path_.empty() ? fs::path(".") / Utf8Path(name) : path_ / Utf8Path(name));
  std::error_code ec;
  if (!IsLinkLike(where) && fs::is_directory(fs::symlink_status(where, ec)) && fs::is_empty(where, ec) && !ec)
    fs::remove(where, ec);
}

void TSafeDir::RemoveStaleTemporaries() const { vld::RemoveStaleTemporaries(path_); }

bool TSafeDir::FoldsCase() const {
  std::string probe = RandomName(".vld-case-probe-", ".tmp");
  std::FILE* f = OpenFile(path_ / probe, "wbx");
  if (!f) return false;
  std::fclose(f);
  std::error_code ec;
  bool folds = fs::exists(SystemPath(path_ / UpperAscii(probe)), ec);
  fs::remove(SystemPath(path_ / probe), ec);
  return folds;
}

TSafeFile::TSafeFile(std::shared_ptr<const TSafeDir> dir, std::string name)
    : dir_(std::move(dir)), name_(std::move(name)) {
  std::FILE* f = nullptr;
  for (int attempt = 0; attempt < 16 && !f; ++attempt) {
    temp_ = TemporaryPartName();
    f = OpenFile(dir_->Path() / temp_, "wbx");
    if (!f && errno != EEXIST) break;
  }
  if (!f) throw FileError("Cannot create file " + PathText(Target()) + ". " + ErrnoText(errno));
  file_ = reinterpret_cast<std::intptr_t>(f);
}

void TSafeFile::Write(const std::uint8_t* data, std::size_t n) {
  if (file_ < 0) throw FileError("File " + PathText(Target()) + " is already closed.");
  if (n && std::fwrite(data, 1, n, reinterpret_cast<std::FILE*>(file_)) != n) {
    std::string why = ErrnoText(errno);
    Discard();
    throw FileError("Write error on file " + PathText(Target()) + ". " + why);
  }
}

void TSafeFile::Commit() {
  if (file_ < 0) throw FileError("File " + PathText(Target()) + " is already closed.");
  bool ok = std::fclose(reinterpret_cast<std::FILE*>(file_)) == 0;
  file_ = -1;
  const fs::path temp = SystemPath(dir_->Path() / temp_);
  const fs::path target = SystemPath(Target());
  std::error_code ec;
  // Renaming onto a link would replace the link on POSIX; here the link goes first.
  if (ok && IsLinkLike(target)) fs::remove(target, ec);
  if (ok) fs::rename(temp, target, ec);
  if (!ok || ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw FileError((ok ? "Cannot create file " : "Write error on file ") + PathText(Target()) + ". " +
                    (ok ? ec.message() : ErrnoText(errno)));
  }
}

void TSafeFile::Discard() noexcept {
  if (file_ < 0) return;
  std::fclose(reinterpret_cast<std::FILE*>(file_));
  file_ = -1;
  std::error_code ec;
  fs::remove(SystemPath(dir_->Path() / temp_), ec);
}

#endif

TSafeFile::~TSafeFile() { Discard(); }

fs::path TSafeFile::Target() const { return dir_->Path() / Utf8Path(name_); }

}  // namespace vld
