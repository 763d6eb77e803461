#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

#include "core/browser/Batch.h"
#include "core/bundle/LabReader.h"

namespace vld {

// Called before each entry is written: `done` of `count` entries are finished
// and `target` is the file about to be written.
using ExtractProgressFn = std::function<void(int done, int count, const std::filesystem::path& target)>;

using TExtractResult = TBatchResult;

// Writes the given entries, in the given order, on one thread, below
// `destination` (created if missing) at the paths MapEntryName gives, with
// RunBatch's rules: temporary name then rename, no link followed (refusals
// listed, the run goes on), repeated names numbered. An entry of size 0 or
// less becomes an empty file; an entry cut short by the end of the bundle is
// written as far as it exists and counted. An I/O error stops at the failing
// entry (VldError saying which) and leaves the files written before it. A
// progress callback that throws cancels the run: the file being written is
// removed and VldError says how many were written.
TExtractResult ExtractEntries(TLabReader& reader, const std::filesystem::path& destination,
                              std::span<const int> indexes, const ExtractProgressFn& progress = {});

// Every entry of the bundle, in directory order.
TExtractResult ExtractAllEntries(TLabReader& reader, const std::filesystem::path& destination,
                                 const ExtractProgressFn& progress = {});

}  // namespace vld
