#pragma once

#include <filesystem>
#include <string>

#include "core/common/Bytes.h"
#include "core/common/FileIO.h"

namespace vld {

// Tests whose expectations differ on Windows (its path rules) test this.
#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// A scratch folder for one test, on /dev/shm when it exists (file creation
// there costs far less than on the build disk); removed afterwards.
class TTempDir {
 public:
  TTempDir() {
    std::filesystem::path base =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    path_ = MakeUniqueFolder(base, "vldtest-");
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(SystemPath(path_), ec);
  }
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path File(const std::string& name) const { return path_ / name; }
  std::filesystem::path Write(const std::string& name, ByteSpan bytes) const {
    WriteFileAtomic(path_ / name, bytes);
    return path_ / name;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace vld
