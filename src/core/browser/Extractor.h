#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

#include "core/bundle/LabReader.h"

namespace vld {

// Called before each entry is written: `done` of `count` entries are finished
// and `target` is the file about to be written.
using ExtractProgressFn = std::function<void(int done, int count, const std::filesystem::path& target)>;

struct TExtractResult {
  int files = 0;                     // files written
  std::int64_t bytes = 0;            // bytes written
  std::vector<int> cutShortIndexes;  // entries whose data runs past the end of the bundle

  int CutShort() const { return static_cast<int>(cutShortIndexes.size()); }
};

// Writes the given entries, in the given order, below `destination` (created
// if missing) at the paths MapEntryName gives. Each file is written under a
// temporary name beside its target and renamed into place; an entry of size 0
// or less becomes an empty file; an entry cut short by the end of the bundle
// is written as far as it exists and counted. An error stops at the failing
// entry (VldError saying which) and leaves the files written before it.
TExtractResult ExtractEntries(TLabReader& reader, const std::filesystem::path& destination,
                              std::span<const int> indexes, const ExtractProgressFn& progress = {});

// Every entry of the bundle, in directory order.
TExtractResult ExtractAllEntries(TLabReader& reader, const std::filesystem::path& destination,
                                 const ExtractProgressFn& progress = {});

}  // namespace vld
