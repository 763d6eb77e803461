#include "core/common/FileIO.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <random>
#include <set>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
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
  // Read straight into a buffer of the file's size (and one byte more, to
  // find the end in the same read); a file that grows meanwhile still reads whole.
  std::error_code ec;
  const std::uintmax_t hint = fs::file_size(SystemPath(path), ec);
  Bytes data(ec || hint > (std::uintmax_t{1} << 40) ? 65536 : static_cast<std::size_t>(hint) + 1);
  std::size_t have = 0;
  for (;;) {
    have += std::fread(data.data() + have, 1, data.size() - have, f);
    if (have < data.size()) break;
    data.resize(data.size() * 2);
  }
  data.resize(have);
  bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) throw FileError("Read error on file " + PathText(path) + ".");
  return data;
}

namespace {

constexpr std::string_view kPartPrefix = ".vld-";
constexpr std::string_view kPartSuffix = ".part";

#ifdef _WIN32
unsigned long ThisProcessId() { return ::GetCurrentProcessId(); }

bool ProcessIsGone(unsigned long pid) {
  HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!h) return ::GetLastError() == ERROR_INVALID_PARAMETER;
  DWORD code = 0;
  const bool gone = ::GetExitCodeProcess(h, &code) && code != STILL_ACTIVE;
  ::CloseHandle(h);
  return gone;
}

// A link or junction: the library here reads its status as its target's.
bool IsReparsePoint(const fs::path& path) {
  const DWORD attributes = ::GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
#else
unsigned long ThisProcessId() { return static_cast<unsigned long>(::getpid()); }

// A process of another user answers EPERM: it is there.
bool ProcessIsGone(unsigned long pid) {
  return pid > 0 && pid <= 0x7FFFFFFF && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}
#endif

}  // namespace

std::string TemporaryPartName() {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  // Short and independent of the target's name, so that a target name of
  // the longest length the file system allows still has a temporary name.
  char name[64];
  std::snprintf(name, sizeof name, ".vld-%lu-%012llx.part", ThisProcessId(),
                static_cast<unsigned long long>(rng() & 0xFFFFFFFFFFFFull));
  return name;
}

namespace {

// The process id in a temporary's name, 0 when the name is not one.
unsigned long TemporaryOwner(std::string_view name) {
  if (!name.starts_with(kPartPrefix) || !name.ends_with(kPartSuffix)) return 0;
  name = name.substr(kPartPrefix.size(), name.size() - kPartPrefix.size() - kPartSuffix.size());
  const std::size_t dash = name.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 10) return 0;
  const std::size_t digits = name.size() - dash - 1;
  if (digits < 12 || digits > 16) return 0;
  unsigned long pid = 0;
  for (char c : name.substr(0, dash)) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + static_cast<unsigned long>(c - '0');
  }
  for (char c : name.substr(dash + 1))
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return 0;
  return pid;
}

}  // namespace

bool IsTemporaryName(std::string_view name) { return TemporaryOwner(name) != 0; }

bool IsStaleTemporary(std::string_view name) {
  const unsigned long pid = TemporaryOwner(name);
  return pid != 0 && pid != ThisProcessId() && ProcessIsGone(pid);
}

int RemoveStaleTemporaries(const fs::path& folder) {
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(SystemPath(folder.empty() ? fs::path(".") : folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = PathText(it->path().filename());
    if (!IsStaleTemporary(name)) continue;
    std::error_code statusError;
    if (!fs::is_regular_file(fs::symlink_status(it->path(), statusError))) continue;
#ifdef _WIN32
    if (IsReparsePoint(it->path())) continue;
#endif
    std::error_code ignored;
    if (fs::remove(it->path(), ignored)) ++removed;
  }
  return removed;
}

void CheckReplaceable(const fs::path& target) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(SystemPath(target), ec);
  if (!fs::exists(status)) return;
  bool regular = fs::is_regular_file(status);
#ifdef _WIN32
  regular = regular && !IsReparsePoint(target);
#endif
  if (regular) return;
  const char* what = fs::is_symlink(status)                                       ? "a symbolic link"
                     : fs::is_directory(status)                                   ? "a folder"
                     : fs::is_fifo(status)                                        ? "a pipe"
                     : fs::is_character_file(status) || fs::is_block_file(status) ? "a device"
                                                                                  : "not a regular file";
  throw FileError("Cannot write " + PathText(target) + ": it is " + what +
                  ", and only a missing or regular file is replaced. Name another output.");
}

bool IsSameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(SystemPath(a), SystemPath(b), ec) && !ec;
}

#ifdef _WIN32
TFileView::TFileView(const fs::path& path) : copy_(ReadWholeFile(path)) {}
TFileView::~TFileView() = default;
#else
TFileView::TFileView(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw FileError("Cannot open file " + PathText(path) + ". " + ErrnoText());
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      static_cast<std::uintmax_t>(st.st_size) <= SIZE_MAX) {
    void* map = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (map != MAP_FAILED) {
      map_ = map;
      size_ = static_cast<std::size_t>(st.st_size);
      ::madvise(map_, size_, MADV_SEQUENTIAL);
    }
  }
  ::close(fd);
  if (!map_) copy_ = ReadWholeFile(path);  // a pipe, an empty file, or no mapping to be had
}

TFileView::~TFileView() {
  if (map_) ::munmap(map_, size_);
}
#endif

TAtomicFile::TAtomicFile(fs::path target) : target_(std::move(target)) {
  CheckReplaceable(target_);
  {
    // Once per folder and run: a folder saved into again and again is not searched each time.
    static std::mutex mutex;
    static std::set<fs::path> searched;
    std::lock_guard<std::mutex> lock(mutex);
    if (searched.insert(target_.parent_path()).second) RemoveStaleTemporaries(target_.parent_path());
  }
  for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
    temp_ = target_.parent_path() / TemporaryPartName();
    file_ = OpenFile(temp_, "wbx");
    if (!file_ && errno != EEXIST) break;
  }
  if (!file_) throw FileError("Cannot create file " + PathText(target_) + ". " + ErrnoText());
}

TAtomicFile::~TAtomicFile() { Discard(); }

namespace {

std::atomic<TCopyMethod> gCopyMethod{TCopyMethod::Auto};
constexpr std::size_t kCopyBuffer = 1 << 20;

}  // namespace

void SetCopyMethod(TCopyMethod method) { gCopyMethod.store(method); }

void TAtomicFile::Fail(const std::string& why) {
  Discard();
  throw FileError("Write error on file " + PathText(target_) + ". " + why);
}

void TAtomicFile::Write(const std::uint8_t* data, std::size_t n) {
  if (!file_) throw FileError("File " + PathText(target_) + " is already closed.");
  if (n && std::fwrite(data, 1, n, file_) != n) Fail(ErrnoText());
}

std::int64_t TAtomicFile::CopyFrom(const TReadAtFn& read, int sourceDescriptor, std::int64_t offset,
                                   std::int64_t length) {
  if (!file_) throw FileError("File " + PathText(target_) + " is already closed.");
  if (length <= 0 || offset < 0) return 0;
  std::int64_t done = 0;
#ifdef __linux__
  if (sourceDescriptor >= 0 && gCopyMethod.load(std::memory_order_relaxed) == TCopyMethod::Auto) {
    if (std::fflush(file_) != 0) Fail(ErrnoText());
    const int in = sourceDescriptor, out = ::fileno(file_);
    off_t from = static_cast<off_t>(offset);
    bool kernel = true;
    while (done < length) {
      const std::size_t piece = static_cast<std::size_t>(std::min<std::int64_t>(length - done, 1 << 30));
      const ssize_t n = ::copy_file_range(in, &from, out, nullptr, piece, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        // File systems and kernels that cannot copy between these files say
        // so at once; anything else (a full disk) is a real failure.
        const bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                                 errno == EBADF || errno == ETXTBSY;
        if (done == 0 && unsupported) {
          kernel = false;
          break;
        }
        Fail(ErrnoText());
      }
      if (n == 0) break;
      done += n;
    }
    if (kernel) {
      // The stream writes on after what the kernel appended.
      if (::fseeko(file_, 0, SEEK_END) != 0) Fail(ErrnoText());
      return done;
    }
  }
#else
  (void)sourceDescriptor;
#endif
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(length, kCopyBuffer)));
  while (done < length) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::int64_t>(length - done, kCopyBuffer));
    const std::size_t got = read(offset + done, buffer.data(), piece);
    Write(buffer.data(), got);
    done += static_cast<std::int64_t>(got);
    if (got < piece) break;
  }
  return done;
}

void TAtomicFile::StartWriteback() {
#ifdef __linux__
  if (file_ && std::fflush(file_) == 0) ::sync_file_range(::fileno(file_), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void TAtomicFile::Commit(bool durable) {
  if (!file_) throw FileError("File " + PathText(target_) + " is already closed.");
  bool ok = std::fflush(file_) == 0;
#ifdef _WIN32
  if (ok && durable) ok = ::_commit(::_fileno(file_)) == 0;
#else
  if (ok && durable) ok = ::fsync(::fileno(file_)) == 0;
#endif
  std::string why = ok ? std::string() : ErrnoText();
  ok = (std::fclose(file_) == 0) && ok;
  if (why.empty() && !ok) why = ErrnoText();
  file_ = nullptr;
  if (!ok) {
    std::error_code ec;
    fs::remove(SystemPath(temp_), ec);
    throw FileError("Write error on file " + PathText(target_) + ". " + why);
  }
  std::error_code ec;
  try {
    CheckReplaceable(target_);  // something may have been put there meanwhile
  } catch (...) {
    fs::remove(SystemPath(temp_), ec);
    throw;
  }
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
