#include "core/common/FileIO.h"

#include <cerrno>
#include <cstring>
#include <random>

#include <unistd.h>

#include "core/common/Errors.h"

namespace vld {

namespace fs = std::filesystem;

std::string PathText(const fs::path& path) { return path.string(); }

static std::string ErrnoText() { return std::strerror(errno); }

Bytes ReadWholeFile(const fs::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
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
  fs::path dir = target_.parent_path();
  std::string base = target_.filename().string();
  for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08llx.part", static_cast<unsigned long long>(rng() & 0xFFFFFFFFu));
    temp_ = dir / ("." + base + suffix);
    file_ = std::fopen(temp_.c_str(), "wbx");
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
    fs::remove(temp_, ec);
    throw FileError("Write error on file " + PathText(target_) + ". " + why);
  }
  std::error_code ec;
  fs::rename(temp_, target_, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp_, ignored);
    throw FileError("Cannot create file " + PathText(target_) + ". " + ec.message());
  }
}

void TAtomicFile::Discard() noexcept {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
    std::error_code ec;
    fs::remove(temp_, ec);
  }
}

void WriteFileAtomic(const fs::path& path, ByteSpan bytes) {
  TAtomicFile out(path);
  out.Write(bytes);
  out.Commit();
}

TRunTempDir::TRunTempDir() {
  std::string pattern = (fs::temp_directory_path() / "vldviewer-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw FileError("Cannot create a temporary folder. " + ErrnoText());
  path_ = pattern;
}

TRunTempDir::~TRunTempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace vld
