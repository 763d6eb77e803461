#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "core/common/Bytes.h"
#include "core/common/MemoryStream.h"

namespace vld {

// Reads a whole file; throws FileError naming the file.
Bytes ReadWholeFile(const std::filesystem::path& path);

// A whole file's bytes for reading, mapped into memory where the system
// allows (no copy: the pages come from the file cache, so a large file costs
// no memory of its own), read whole otherwise. Throws FileError naming the file.
class TFileView {
 public:
  explicit TFileView(const std::filesystem::path& path);
  ~TFileView();
  TFileView(const TFileView&) = delete;
  TFileView& operator=(const TFileView&) = delete;
  ByteSpan Data() const { return map_ ? ByteSpan(static_cast<const std::uint8_t*>(map_), size_) : ByteSpan(copy_); }

 private:
  void* map_ = nullptr;
  std::size_t size_ = 0;
  Bytes copy_;
};

// Writes a file under a temporary name beside the target and renames it into
// place on Commit(), so that a failure never leaves a half-written file where a
// good one was. Dropped without Commit(), the temporary file is removed.
class TAtomicFile : public TByteSink {
 public:
  explicit TAtomicFile(std::filesystem::path target);
  ~TAtomicFile() override;
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  void Write(const std::uint8_t* data, std::size_t n) override;
  void Write(ByteSpan bytes) { Write(bytes.data(), bytes.size()); }
  // Reads up to n bytes at a position of a source file; returns how many.
  using TReadAtFn = std::function<std::size_t(std::int64_t pos, void* dest, std::size_t n)>;
  // Copies `length` bytes at `offset` of a source file onto the end of this
  // one: in the kernel (copy_file_range) when a descriptor is given and the
  // system allows it, else through a buffer filled by `read`. Returns the
  // bytes copied, fewer when the source ends first.
  std::int64_t CopyFrom(const TReadAtFn& read, int sourceDescriptor, std::int64_t offset, std::int64_t length);
  // Asks the system to start writing what was written so far to the disk,
  // without waiting, so that a durable Commit has less left to wait for.
  void StartWriteback();
  // Renames the file into place. `durable` first flushes it to the disk, so
  // that a crash of the machine cannot leave an empty file where a good one was.
  void Commit(bool durable = false);
  const std::filesystem::path& Target() const { return target_; }
  const std::filesystem::path& TempPath() const { return temp_; }

 private:
  void Discard() noexcept;
  void Fail(const std::string& why);
  std::filesystem::path target_;
  std::filesystem::path temp_;
  std::FILE* file_ = nullptr;
};

// Throws FileError unless `target` is absent or a regular file: a device, a
// pipe, a folder or a link standing there is never replaced by a rename (run
// as root, "-o /dev/null" would replace the system's /dev/null).
void CheckReplaceable(const std::filesystem::path& target);

// True when both names lead to the same existing file (by its identity, so
// links and other names of one file count as the same).
bool IsSameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// How CopyFrom moves bytes: Auto uses copy_file_range where it exists and
// falls back to the buffer; Buffered always uses the buffer (for comparing
// the two). Process-wide.
enum class TCopyMethod { Auto, Buffered };
void SetCopyMethod(TCopyMethod method);

// The name of a temporary file of this process: ".vld-<process id>-<random>.part".
std::string TemporaryPartName();
// True when the name has the form TemporaryPartName gives, whoever made it.
bool IsTemporaryName(std::string_view name);
// True for a name TemporaryPartName gave in a process that has ended: the
// leftover of a killed run, which nothing will finish or remove.
bool IsStaleTemporary(std::string_view name);
// Removes the stale temporary files (regular files only) in `folder`; returns how many went.
int RemoveStaleTemporaries(const std::filesystem::path& folder);

// Whole-buffer convenience over TAtomicFile.
void WriteFileAtomic(const std::filesystem::path& path, ByteSpan bytes);

// A private temporary folder for this program run, removed when destroyed.
class TRunTempDir {
 public:
  TRunTempDir();
  ~TRunTempDir();
  TRunTempDir(const TRunTempDir&) = delete;
  TRunTempDir& operator=(const TRunTempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path File(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// A file path as UTF-8 text, for messages and for names that must match the
// UTF-8 names the engine builds.
std::string PathText(const std::filesystem::path& path);

// A path from UTF-8 text. Every path built from text goes through here: on
// Windows a plain std::string is read in the ANSI code page, which mangles
// accented names.
std::filesystem::path Utf8Path(std::string_view utf8);

// The path as the operating system must be handed it. On Windows a path near
// or past the classic 260-character limit becomes absolute in the "\\?\" form,
// which has no such limit; elsewhere the path is returned unchanged.
std::filesystem::path SystemPath(const std::filesystem::path& path);

// std::fopen for any path: Unicode and long paths on Windows. The mode "wbx"
// creates a new file and fails (EEXIST) when one exists.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// Creates a new, empty folder below `base` named `prefix` and six random
// characters; throws FileError when none can be made.
std::filesystem::path MakeUniqueFolder(const std::filesystem::path& base, std::string_view prefix);

}  // namespace vld
