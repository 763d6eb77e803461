#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#ifdef _WIN32
#include <mutex>
#endif

#include "core/common/MemoryStream.h"

namespace vld {

// Entries and files are copied in pieces of this size through one buffer.
constexpr std::size_t kCopyChunk = 65535;

// A file opened for reading with a shared position, as the bundle reader and
// the stand-alone animation mode hold it. Reads past the end deliver fewer
// bytes and raise no error; a negative position reads nothing.
class TFileStream {
 public:
  TFileStream() = default;
  explicit TFileStream(const std::filesystem::path& path) { Open(path); }
  ~TFileStream() { Close(); }
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  void Open(const std::filesystem::path& path);  // throws FileError naming the file
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // Lets go of the file but keeps its name and size, so that another file can
  // take its name (Windows replaces no file that is open); reads then give
  // nothing. Safe while other threads read on Windows, where saving over the
  // open bundle needs it. Reacquire opens the same file again and refuses one
  // whose size changed meanwhile.
  void Release();
  void Reacquire();

  std::int64_t Size() const { return size_; }
  std::int64_t Position() const { return pos_; }
  void Seek(std::int64_t pos) { pos_ = pos; }
  // Reads up to n bytes at the position and advances it by what was read.
  std::size_t Read(void* dest, std::size_t n);
  // Reads exactly n bytes at pos; missing bytes are zero. Returns how many were real.
  std::size_t ReadAtZeroFilled(std::int64_t pos, void* dest, std::size_t n);
  // Reads up to n bytes at pos without touching the position, so several
  // threads may read one open file at once. Returns how many were read.
  std::size_t ReadAt(std::int64_t pos, void* dest, std::size_t n) const;
  const std::filesystem::path& Path() const { return path_; }
  // The system's descriptor of the open file, for copies the kernel makes;
  // -1 where there is none to use (Windows, or nothing open).
  int Descriptor() const;

 private:
  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  std::int64_t size_ = 0;
  std::int64_t pos_ = 0;
  // Where the C stream stands, to skip needless seeks. Mutable because the
  // Windows positioned read moves the C stream too.
  mutable std::int64_t osPos_ = -1;
#ifdef _WIN32
  mutable std::mutex readLock_;
#endif
};

// Copies `length` bytes of `file` from `offset` to `out` in pieces of
// kCopyChunk bytes. Returns the bytes copied: fewer when the file ends first,
// 0 for a length of zero or less; nothing is invented for missing bytes.
// Leaves the file's position after the last byte copied.
std::int64_t CopyFileRange(TFileStream& file, std::int64_t offset, std::int64_t length, TByteSink& out);
// The same copy by positioned reads: the position stays where it was, and
// threads may copy from one file at once. A raised `cancel` flag stops the
// copy before the next piece; the return value then counts what was written.
std::int64_t CopyFileRangeAt(const TFileStream& file, std::int64_t offset, std::int64_t length, TByteSink& out,
                             const std::atomic<bool>* cancel = nullptr);

// How a copy into a file ended.
struct TRangeCopy {
  std::int64_t written = 0;  // bytes in the target (fewer than asked when the file ended first)
  bool cancelled = false;    // the target was left as it was
};
// Called after each piece with the bytes copied so far; at most every 30 ms,
// and once more at the end. May come from any thread the copy runs on.
using CopyProgressFn = std::function<void(std::int64_t copied)>;
// Copies `length` bytes of `file` from `offset` into `target` through a
// temporary file that replaces the target only when the copy is complete.
// A raised `cancel` stops before the next piece and leaves the target alone.
// Throws FileError when the target cannot be written.
TRangeCopy CopyRangeToFile(const TFileStream& file, std::int64_t offset, std::int64_t length,
                           const std::filesystem::path& target, const CopyProgressFn& progress = {},
                           const std::atomic<bool>* cancel = nullptr);

}  // namespace vld
