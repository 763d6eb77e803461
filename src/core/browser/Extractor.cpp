#include "core/browser/Extractor.h"

#include <numeric>

#include "core/common/Errors.h"
#include "core/common/FileIO.h"

namespace vld {

namespace fs = std::filesystem;

TExtractResult ExtractEntries(TLabReader& reader, const fs::path& destination, std::span<const int> indexes,
                              const ExtractProgressFn& progress) {
  std::vector<TBatchItem> items = EntryItems(reader, indexes);
  TBatchOptions options;
  if (progress)
    options.progress = [&](const TBatchProgress& p) {
      if (p.started) progress(p.done, p.total, destination / Utf8Path(p.current));
    };
  TBatchResult result = RunBatch(reader, destination, items, {}, options);
  if (result.stopped) throw VldError(BatchStopText(result, static_cast<int>(items.size()), "Extraction"));
  // Only a progress callback that throws cancels here; its caller expects the throw.
  if (result.cancelled)
    throw VldError("Extraction cancelled: " + std::to_string(result.files) + " of " + std::to_string(items.size()) +
                   " files were written.");
  return result;
}

TExtractResult ExtractAllEntries(TLabReader& reader, const fs::path& destination, const ExtractProgressFn& progress) {
  std::vector<int> all(static_cast<std::size_t>(reader.Count()));
  std::iota(all.begin(), all.end(), 0);
  return ExtractEntries(reader, destination, all, progress);
}

}  // namespace vld
