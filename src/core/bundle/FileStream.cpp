#include "core/bundle/FileStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "core/common/Throttle.h"

#ifdef _WIN32
// 64-bit offsets: the C runtime's off_t is 32 bits wide.
#define fseeko _fseeki64
#define ftello _ftelli64
#endif

namespace vld {

void TFileStream::Open(const std::filesystem::path& path) {
  Close();
  std::FILE* f = OpenFile(path, "rb");
  if (!f) throw FileError("Cannot open file " + PathText(path) + ". " + std::strerror(errno));
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    std::fclose(f);
    throw FileError("Cannot open file " + PathText(path) + ". It is a folder.");
  }
  if (::fseeko(f, 0, SEEK_END) != 0) {
    std::fclose(f);
    throw FileError("Cannot read file " + PathText(path) + ".");
  }
  size_ = ::ftello(f);
  ::fseeko(f, 0, SEEK_SET);
  file_ = f;
  path_ = path;
  pos_ = 0;
  osPos_ = 0;
}

void TFileStream::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
  pos_ = 0;
  osPos_ = -1;
}

void TFileStream::Release() {
#ifdef _WIN32
  std::lock_guard<std::mutex> lock(readLock_);
#endif
  if (file_) std::fclose(file_);
  file_ = nullptr;
  osPos_ = -1;
}

void TFileStream::Reacquire() {
  if (file_ || path_.empty()) return;
  const std::filesystem::path path = path_;
  const std::int64_t size = size_;
  Open(path);
  if (size_ != size) {
    Close();
    throw FileError("File " + PathText(path) + " changed while it was let go; open it again.");
  }
}

int TFileStream::Descriptor() const {
#ifdef _WIN32
  return -1;
#else
  return file_ ? ::fileno(file_) : -1;
#endif
}

std::size_t TFileStream::Read(void* dest, std::size_t n) {
  if (!file_ || n == 0 || pos_ < 0 || pos_ >= size_) return 0;
  if (osPos_ != pos_) {
    if (::fseeko(file_, pos_, SEEK_SET) != 0) return 0;
    osPos_ = pos_;
  }
  std::size_t got = std::fread(dest, 1, n, file_);
  pos_ += static_cast<std::int64_t>(got);
  osPos_ = pos_;
  if (got < n) std::clearerr(file_);
  return got;
}

std::size_t TFileStream::ReadAtZeroFilled(std::int64_t pos, void* dest, std::size_t n) {
  Seek(pos);
  std::size_t got = Read(dest, n);
  if (got < n) std::memset(static_cast<std::uint8_t*>(dest) + got, 0, n - got);
  return got;
}

std::size_t TFileStream::ReadAt(std::int64_t pos, void* dest, std::size_t n) const {
#ifdef _WIN32
  // No pread here: the C stream is moved under a lock and Read learns where it
  // stands. The lock is taken first, as Release may close the file meanwhile.
  std::lock_guard<std::mutex> lock(readLock_);
#endif
  if (!file_ || n == 0 || pos < 0 || pos >= size_) return 0;
  n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(n), size_ - pos));
#ifdef _WIN32
  if (::fseeko(file_, pos, SEEK_SET) != 0) {
    osPos_ = -1;
    return 0;
  }
  std::size_t got = std::fread(dest, 1, n, file_);
  if (got < n) std::clearerr(file_);
  osPos_ = pos + static_cast<std::int64_t>(got);
  return got;
#else
  // pread leaves the descriptor's offset alone, so the C stream's view stays valid.
  int fd = ::fileno(file_);
  std::size_t done = 0;
  while (done < n) {
    ssize_t got = ::pread(fd, static_cast<std::uint8_t*>(dest) + done, n - done,
                          static_cast<off_t>(pos + static_cast<std::int64_t>(done)));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
#endif
}

std::int64_t CopyFileRangeAt(const TFileStream& file, std::int64_t offset, std::int64_t length, TByteSink& out,
                             const std::atomic<bool>* cancel) {
  if (length <= 0) return 0;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(length, kCopyChunk)));
  std::int64_t copied = 0;
  while (copied < length) {
    if (cancel && cancel->load(std::memory_order_relaxed)) break;
    std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(length - copied, kCopyChunk));
    std::size_t got = file.ReadAt(offset + copied, buffer.data(), chunk);
    if (got) out.Write(buffer.data(), got);
    copied += static_cast<std::int64_t>(got);
    if (got < chunk) break;  // the file ends inside the range
  }
  return copied;
}

TRangeCopy CopyRangeToFile(const TFileStream& file, std::int64_t offset, std::int64_t length,
                           const std::filesystem::path& target, const CopyProgressFn& progress,
                           const std::atomic<bool>* cancel) {
  // Counts what passes on its way into the file, for the progress.
  struct TCountingSink : TByteSink {
    TAtomicFile out;
    const CopyProgressFn& progress;
    TThrottle throttle;
    std::int64_t copied = 0;
    TCountingSink(const std::filesystem::path& t, const CopyProgressFn& p) : out(t), progress(p) {}
    void Write(const std::uint8_t* data, std::size_t n) override {
      out.Write(data, n);
      copied += static_cast<std::int64_t>(n);
      if (progress && throttle.Due()) progress(copied);
    }
  };
  TCountingSink sink(target, progress);
  TRangeCopy result;
  result.written = CopyFileRangeAt(file, offset, length, sink, cancel);
  if (cancel && cancel->load()) {
    result.cancelled = true;  // the temporary file goes with the sink
    return result;
  }
  sink.out.Commit();
  if (progress) progress(result.written);
  return result;
}

std::int64_t CopyFileRange(TFileStream& file, std::int64_t offset, std::int64_t length, TByteSink& out) {
  if (length <= 0) return 0;
  std::int64_t copied = CopyFileRangeAt(file, offset, length, out);
  file.Seek(offset + copied);
  return copied;
}

}  // namespace vld
