#include "core/common/FileIO.h"

#include <cerrno>
#include <cstring>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "core/common/Errors.h"

namespace vld {

namespace fs = std::filesystem;

std::string PathText(const fs::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

fs::path Utf8Path(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

#ifdef _WIN32
// Folders need room for an 8.3 file name below them, hence less than 260.
constexpr std::size_t kClassicPathLimit = 248;

fs::path SystemPath(const fs::path& path) {
  const std::wstring& text = path.native();
  if (text.size() < kClassicPathLimit || text.starts_with(L"\\\\?\\")) return path;
  std::error_code ec;
  fs::path full = fs::absolute(path, ec);
  if (ec) return path;
  std::wstring native = full.lexically_normal().make_preferred().native();
  if (native.starts_with(L"\\\\")) return fs::path(L"\\\\?\\UNC\\" + native.substr(2));
  return fs::path(L"\\\\?\\" + native);
}

std::FILE* OpenFile(const fs::path& path, const char* mode) {
  const fs::path system = SystemPath(path);
  if (std::string_view(mode) == "wbx") {
    int fd = ::_wopen(system.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* f = ::_fdopen(fd, "wb");
    if (!f) ::_close(fd);
    return f;
  }
  if (std::string_view(mode) == "rb") {
    // Shared for deletion as well, as on Linux: a bundle being read can still
    // be replaced or removed.
    HANDLE h = ::CreateFileW(system.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD error = ::GetLastError();
      errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND     ? ENOENT
              : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
                                                                                 : EIO;
      return nullptr;
    }
    int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
      ::CloseHandle(h);
      return nullptr;
    }
    std::FILE* f = ::_fdopen(fd, "rb");
    if (!f) ::_close(fd);
    return f;
  }
  std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return ::_wfopen(system.c_str(), wideMode.c_str());
}
#else
fs::path SystemPath(const fs::path& path) { return path; }

std::FILE* OpenFile(const fs::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }
#endif

static std::string ErrnoText() { return std::strerror(errno); }

// Creates a folder only this user may enter; false with errno set when it fails.
static bool MakePrivateFolder(const fs::path& folder) {
#ifdef _WIN32
  return ::_wmkdir(SystemPath(folder).c_str()) == 0;
#else
  return ::mkdir(folder.c_str(), 0700) == 0;
#endif
}

fs::path MakeUniqueFolder(const fs::path& base, std::string_view prefix) {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 32; ++attempt) {
    std::string name(prefix);
    for (int i = 0; i < 6; ++i) name += kLetters[rng() % (sizeof kLetters - 1)];
    fs::path folder = base / Utf8Path(name);
    if (MakePrivateFolder(folder)) return folder;
    if (errno != EEXIST) break;
  }
  throw FileError("Cannot create a temporary folder in " + PathText(base) + ". " + ErrnoText());
}

Bytes ReadWholeFile(const fs::path& path) {
  std::FILE* f = OpenFile(path, "rb");
  if (!f) throw FileError("Cannot open file " + PathText(path) + ". " + ErrnoText());
  Bytes data;
  std::uint8_t buf[65536];
  for (;;) {
    std::size_t got = std::fread(buf, 1, sizeof buf, f);
    data.insert(data.end(), buf, buf + got);
    if (got < sizeof buf) break;
  }
  bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) throw FileError("Read error on file " + PathText(path) + ".");
  return data;
}

TAtomicFile::TAtomicFile(fs::path target) : target_(std::move(target)) {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
    // Short and independent of the target's name, so that a target name of
    // the longest length the file system allows still has a temporary name.
    char name[48];
    std::snprintf(name, sizeof name, ".vld-%016llx.part", static_cast<unsigned long long>(rng()));
    temp_ = target_.parent_path() / name;
    file_ = OpenFile(temp_, "wbx");
    if (!file_ && errno != EEXIST) break;
  }
  if (!file_) throw FileError("Cannot create file " + PathText(target_) + ". " + ErrnoText());
}

TAtomicFile::~TAtomicFile() { Discard(); }

void TAtomicFile::Write(const std::uint8_t* data, std::size_t n) {
  if (!file_) throw FileError("File " + PathText(target_) + " is already closed.");
  if (n && std::fwrite(data, 1, n, file_) != n) {
    std::string why = ErrnoText();
    Discard();
    throw FileError("Write error on file " + PathText(target_) + ". " + why);
  }
}

void TAtomicFile::Commit() {
  if (!file_) throw FileError("File " + PathText(target_) + " is already closed.");
  bool ok = std::fflush(file_) == 0;
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok) {
    std::string why = ErrnoText();
    std::error_code ec;
    fs::remove(SystemPath(temp_), ec);
    throw FileError("Write error on file " + PathText(target_) + ". " + why);
  }
  std::error_code ec;
  fs::rename(SystemPath(temp_), SystemPath(target_), ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(SystemPath(temp_), ignored);
    throw FileError("Cannot create file " + PathText(target_) + ". " + ec.message());
  }
}

void TAtomicFile::Discard() noexcept {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
    std::error_code ec;
    fs::remove(SystemPath(temp_), ec);
  }
}

void WriteFileAtomic(const fs::path& path, ByteSpan bytes) {
  TAtomicFile out(path);
  out.Write(bytes);
  out.Commit();
}

TRunTempDir::TRunTempDir() : path_(MakeUniqueFolder(fs::temp_directory_path(), "vldviewer-")) {}

TRunTempDir::~TRunTempDir() {
  std::error_code ec;
  fs::remove_all(SystemPath(path_), ec);
}

}  // namespace vld
