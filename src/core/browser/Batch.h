#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/bundle/LabReader.h"
#include "core/common/Bytes.h"

namespace vld {

// One file of a batch: the entry it comes from and where it goes below the
// destination ('/'-joined parts, already made safe, e.g. by MapEntryName).
struct TBatchItem {
  int index = 0;
  std::string relative;
};

// Makes the bytes of one file from the entry's bytes; throws (VldError) to
// refuse the entry, which is counted in `failed` and the run goes on. No
// producer at all means a raw copy of the entry, streamed in chunks.
using TBatchProduce = std::function<Bytes(int index, ByteSpan entryBytes)>;

struct TBatchProgress {
  int done = 0;                 // files finished (written, refused or failed)
  int total = 0;                // items in the batch
  std::int64_t bytesDone = 0;   // entry bytes read so far
  std::int64_t bytesTotal = 0;  // all entries' sizes
  std::string current;          // final relative path of the entry this call is about
  bool started = false;         // true on the one call made as that entry starts
};

struct TBatchOptions {
  int jobs = 1;  // worker threads; 0 = one per core
  // Called as each entry starts and after each copied chunk; calls never
  // overlap, but may come from any worker thread. An exception thrown from
  // it cancels the run, as `cancel` does.
  std::function<void(const TBatchProgress&)> progress;
  // Polled between entries and between copied chunks; set, the run ends with
  // the finished files in place and none half-written.
  const std::atomic<bool>* cancel = nullptr;
  // Whether the destination's file system folds case; unset, a probe file in
  // the destination decides. Tests use it to emulate a folding file system.
  std::function<bool(const std::filesystem::path& destination)> foldsCase;
  // The destination's last part is a folder this program names, not the
  // user (extraction's folder named after the bundle): it is opened as the
  // entries' folders are, so a symbolic link standing there is refused.
  bool lastFolderIsOurs = false;
};

struct TBatchIssue {
  int index = 0;
  std::string path;     // where it happened (the link, or the file's relative path)
  std::string message;  // for the user
};

struct TBatchRename {
  int index = 0;
  std::string from;  // the relative path the entry mapped to
  std::string to;    // the relative path it was written to
};

struct TBatchResult {
  int files = 0;                           // files written
  std::int64_t bytes = 0;                  // bytes written to those files
  std::vector<int> cutShortIndexes;        // entries whose data runs past the end of the bundle
  std::vector<TBatchIssue> refused;        // entries not written because a link stands in their folder path
  std::vector<TBatchIssue> replacedLinks;  // links found at a file's place, replaced by the file
  std::vector<TBatchRename> renamed;       // entries whose name was already taken in this run
  std::vector<TBatchIssue> failed;         // entries the producer refused
  std::optional<TBatchIssue> stopped;      // the I/O error that stopped the run
  int stoppedAt = -1;                      // its position among the items
  int filesBeforeStop = 0;                 // of `files`, those of items before stoppedAt
  bool cancelled = false;
  bool foldsCase = false;  // how names were compared

  int CutShort() const { return static_cast<int>(cutShortIndexes.size()); }
};

// Writes every item below `destination` (created when missing), each file
// under a temporary name renamed into place, every folder and file created
// through a checked handle on its parent, so no symbolic link in the tree is
// followed. Names are decided in item order before anything is written:
// an item whose path is already taken in this run (exactly, or in another
// case where the file system folds case) gets "~2", "~3", ... before its
// extension; a folder whose place a file of this run holds is numbered the
// same way (and so is a file where a folder of this run stands). A folder
// named in another case on a folding file system is the first spelling's.
// Output is the same whatever the number of jobs. Lists are in item order.
// Throws only before anything is written: VldError for an item path that is
// not plain (empty, ".", ".." parts), FileError when the destination itself
// cannot be made; every later problem is in the result.
TBatchResult RunBatch(const TLabReader& reader, const std::filesystem::path& destination,
                      std::span<const TBatchItem> items, const TBatchProduce& produce = {},
                      const TBatchOptions& options = {});

// The final relative path of every item, and the renames, as RunBatch decides them.
std::vector<std::string> PlanBatchNames(std::span<const TBatchItem> items, bool foldsCase,
                                        std::vector<TBatchRename>* renamed = nullptr);

// Items for raw extraction of the given entries at the paths MapEntryName gives.
std::vector<TBatchItem> EntryItems(const TLabReader& reader, std::span<const int> indexes);

// "<why>. <what> stopped at entry K of N; the F files written before it are in place."
std::string BatchStopText(const TBatchResult& result, int total, const std::string& what);

}  // namespace vld
