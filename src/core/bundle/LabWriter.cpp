#include "core/bundle/LabWriter.h"

#include <algorithm>
#include <limits>

#include "core/bundle/BundleEdit.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"

namespace vld {

Bytes LabWriter::Build() const {
  const std::size_t n = entries_.size();
  std::size_t namesSize = 0;
  for (const auto& e : entries_) {
    // A stored zero ends a name: a name byte 0x00, or 0xA5 (the mask), would
    // cut the name there and run the names together. (Empty names are kept:
    // a bundle can hold one.)
    if (!e.name.empty()) CheckEntryName(e.name);
    namesSize += e.name.size() + 1;
  }
  const std::size_t namesStart = 20 + 16 * n;
  std::size_t dataStart = namesStart + namesSize;
  std::size_t total = dataStart;
  for (const auto& e : entries_) total += e.data.size();
  if (total > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw VldError("A bundle cannot be larger than 2 GiB.");

  Bytes out;
  out.reserve(total);
  PutU32LE(out, kMagicLABN);
  PutU32LE(out, 0x10000);
  PutU32LE(out, static_cast<std::uint32_t>(n));
  PutU32LE(out, static_cast<std::uint32_t>(namesSize));
  PutU32LE(out, static_cast<std::uint32_t>(namesStart + kNamesOffsetConstant));
  std::size_t nameOffset = 0;
  std::size_t dataOffset = dataStart;
  for (const auto& e : entries_) {
    PutU32LE(out, static_cast<std::uint32_t>(nameOffset));
    PutU32LE(out, static_cast<std::uint32_t>(dataOffset));
    PutU32LE(out, static_cast<std::uint32_t>(e.data.size()));
    PutU32LE(out, 0);
    nameOffset += e.name.size() + 1;
    dataOffset += e.data.size();
  }
  for (const auto& e : entries_) {
    for (char c : e.name) out.push_back(static_cast<std::uint8_t>(c) ^ kNameMask);
    out.push_back(0);
  }
  for (const auto& e : entries_) out.insert(out.end(), e.data.begin(), e.data.end());
  return out;
}

void LabWriter::Write(const std::filesystem::path& path) const { WriteFileAtomic(path, Build()); }

std::size_t PackFolder(const std::filesystem::path& dir, const std::filesystem::path& out) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw FileError("Folder " + PathText(dir) + " does not exist.");
  std::vector<fs::path> files;
  // The bundle being written may lie in the folder, left by an earlier pack
  // or as a temporary of this one: it is never packed into itself.
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it)
    if (it->is_regular_file() && !IsTemporaryName(it->path().filename().string()) && !IsSameFile(it->path(), out))
      files.push_back(it->path());
  std::sort(files.begin(), files.end());
  LabWriter writer;
  for (const auto& f : files) {
    std::string name = fs::relative(f, dir).generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    writer.Add(std::move(name), ReadWholeFile(f));
  }
  writer.Write(out);
  return writer.Count();
}

}  // namespace vld
