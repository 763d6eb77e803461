// The bundle directory: opening, names, entry copies, lookups and the mapping
// of entry names to extraction paths.
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "FuzzCommon.h"
#include "core/browser/ExtractPaths.h"
#include "core/bundle/LabReader.h"

namespace {

// The name of record `index` as a byte-by-byte read of the file finds it.
std::string ByteWiseName(const std::uint8_t* data, std::size_t size, int index) {
  auto word = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k)
      if (at + k < size) v |= static_cast<std::uint32_t>(data[at + k]) << (8 * k);
    return v;
  };
  const std::int64_t pos =
      static_cast<std::int32_t>(word(16) - vld::kNamesOffsetConstant + word(20 + 16 * static_cast<std::size_t>(index)));
  std::string name;
  for (std::int64_t p = pos;
       p >= 0 && p < static_cast<std::int64_t>(size) && data[p] != 0 && name.size() < vld::kMaxNameLength; ++p)
    name.push_back(static_cast<char>(data[p] ^ vld::kNameMask));
  return name;
}

}  // namespace

VLD_FUZZ_TARGET({
  int fd = ::memfd_create("bundle", 0);
  if (fd < 0) return 0;
  if (size && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
    ::close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  try {
    vld::TLabReader reader;
    reader.Open(path);
    VLD_FUZZ_CHECK(reader.Count() <= static_cast<int>(size / 16 + 1));
    for (int i = 0; i < reader.Count() && i < 64; ++i) {
      std::string_view name = reader.GetName(i);
      VLD_FUZZ_CHECK(name.size() <= vld::kMaxNameLength);
      // Small inputs stay far below the cap on all names together, so every
      // name is exactly what a byte-wise read gives.
      VLD_FUZZ_CHECK(name == ByteWiseName(data, size, i));
      vld::Bytes bytes = reader.ReadEntryBytes(i);
      VLD_FUZZ_CHECK(static_cast<std::int64_t>(bytes.size()) <= std::max(0, reader.GetSize(i)));
      VLD_FUZZ_CHECK(bytes.size() <= size);
      reader.IsCompressed(i);
      VLD_FUZZ_CHECK(reader.FindEntry(name) <= i);
      // Whatever the name says, its extraction path stays inside the folder.
      std::filesystem::path rel = vld::MapEntryName(name).Relative();
      VLD_FUZZ_CHECK(rel.is_relative() && !rel.has_root_name() && !rel.empty());
      for (const auto& part : rel) VLD_FUZZ_CHECK(part != ".." && part != "." && !part.empty());
    }
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
})
