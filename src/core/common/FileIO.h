#pragma once

#include <cstdio>
#include <filesystem>
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
  void Commit();
  const std::filesystem::path& Target() const { return target_; }

 private:
  void Discard() noexcept;
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

// The name of a temporary file of this process: ".vld-<process id>-<random>.part".
std::string TemporaryPartName();
// True for a name TemporaryPartName gave in a process that has ended: the
// leftover of a killed run, which nothing will finish or remove.
bool IsStaleTemporary(std::string_view name);
// Removes the stale temporary files (regular files only) in `folder`.
void RemoveStaleTemporaries(const std::filesystem::path& folder);

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
