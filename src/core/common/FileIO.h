#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/common/Bytes.h"
#include "core/common/MemoryStream.h"

namespace vld {

// Reads a whole file; throws FileError naming the file.
Bytes ReadWholeFile(const std::filesystem::path& path);

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

// A file path as UTF-8 text, for messages.
std::string PathText(const std::filesystem::path& path);

}  // namespace vld
