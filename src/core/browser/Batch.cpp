#include "core/browser/Batch.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "core/browser/ExtractPaths.h"
#include "core/bundle/FileStream.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "core/common/SafeDir.h"

namespace vld {

namespace fs = std::filesystem;

namespace {

// Folder handles kept open at once; beyond it the cache starts afresh (the
// handles in use stay open until their last file is written).
constexpr std::size_t kMaxOpenFolders = 256;

struct CancelledRun {};

// Case folding as folding file systems apply it to the names written here:
// ASCII letters and the Latin-1 letters (UTF-8 C3 80 - C3 9E, without the
// multiplication sign C3 97).
std::string FoldKey(const std::string& text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      unsigned char d = static_cast<unsigned char>(out[++i]);
      if (d >= 0x80 && d <= 0x9E && d != 0x97) out[i] = static_cast<char>(d + 0x20);
    }
  }
  return out;
}

// Parts joined by '/', none of them empty, "." or "..": what the folder
// handles can follow without leaving the destination.
bool IsPlainRelative(const std::string& relative) {
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = relative.find('/', start);
    std::string_view part =
        std::string_view(relative).substr(start, slash == std::string::npos ? slash : slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

std::pair<std::string, std::string> SplitFolder(const std::string& relative) {
  std::size_t slash = relative.rfind('/');
  if (slash == std::string::npos) return {std::string(), relative};
  return {relative.substr(0, slash), relative.substr(slash + 1)};
}

// True when the stem ends in the "~" and eight hex digits that shortening a
// long name gave it: the part that keeps such names apart.
bool EndsWithHashTag(const std::string& stem) {
  constexpr std::size_t kTag = 9;
  if (stem.size() < kTag || stem[stem.size() - kTag] != '~') return false;
  for (std::size_t i = stem.size() - kTag + 1; i < stem.size(); ++i)
    if (!std::isxdigit(static_cast<unsigned char>(stem[i]))) return false;
  return true;
}

// Cuts `text` to at most `room` bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& text, std::size_t room) {
  if (text.size() <= room) return text;
  std::size_t keep = room;
  while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;
  return text.substr(0, keep);
}

// a/b.txt -> a/b~N.txt; the extension stays so the type survives, and the
// file part stays within the length a file system allows. A shortened name
// loses bytes before its hash, never the hash.
std::string Numbered(const std::string& relative, int n) {
  auto [folder, file] = SplitFolder(relative);
  std::string tag = "~" + std::to_string(n);
  std::size_t dot = file.rfind('.');
  std::string ext = dot == std::string::npos || dot == 0 ? std::string() : file.substr(dot);
  if (ext.size() + tag.size() >= kMaxPathPartBytes) ext.clear();
  std::string stem = file.substr(0, file.size() - ext.size());
  const std::size_t room = kMaxPathPartBytes - tag.size() - ext.size();
  if (stem.size() > room) {
    std::string hash;
    if (EndsWithHashTag(stem) && room > 9) {
      hash = stem.substr(stem.size() - 9);
      stem.resize(stem.size() - 9);
    }
    stem = CutUtf8(stem, room - hash.size()) + hash;
  }
  return (folder.empty() ? std::string() : folder + "/") + stem + tag + ext;
}

// Folder handles below the destination, each opened (and created) once per
// run through its checked parent. A folder part refused as a link stays
// refused for every later entry below it.
class FolderCache {
 public:
  explicit FolderCache(std::shared_ptr<const TSafeDir> root) : root_(std::move(root)) {
    root_->RemoveStaleTemporaries();
  }

  std::shared_ptr<const TSafeDir> Get(const std::string& folder) {
    if (folder.empty()) return root_;
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = open_.find(folder); it != open_.end()) return it->second;
    std::shared_ptr<const TSafeDir> dir = root_;
    std::size_t start = 0;
    for (;;) {
      std::size_t slash = folder.find('/', start);
      std::string prefix = folder.substr(0, slash);
      if (auto bad = refused_.find(prefix); bad != refused_.end()) throw bad->second;
      if (auto it = open_.find(prefix); it != open_.end()) {
        dir = it->second;
      } else {
        try {
          bool made = false;
          dir = dir->Child(prefix.substr(start), &made);
          if (made)
            created_.push_back(prefix);
          else if (scanned_.insert(prefix).second)
            dir->RemoveStaleTemporaries();
        } catch (const LinkRefusal& e) {
          refused_.emplace(prefix, e);
          throw;
        }
        if (open_.size() >= kMaxOpenFolders) open_.clear();
        open_.emplace(prefix, dir);
      }
      if (slash == std::string::npos) return dir;
      start = slash + 1;
    }
  }

  // Removes the folders this run made that stayed empty (an entry refused
  // or cancelled), innermost first. Called once the workers are done.
  void RemoveEmptyCreated() {
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
      auto [parent, name] = SplitFolder(*it);
      try {
        Get(parent)->RemoveChildIfEmpty(name);
      } catch (const std::exception&) {
        // Whatever stands in the way now is left as it is.
      }
    }
  }

 private:
  std::shared_ptr<const TSafeDir> root_;
  std::vector<std::string> created_;         // folders made by this run, in the order made
  std::unordered_set<std::string> scanned_;  // folders searched for leftovers of killed runs
  std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<const TSafeDir>> open_;
  std::unordered_map<std::string, LinkRefusal> refused_;
};

class Run;

// Passes bytes on to the file, checking for a cancel before every chunk.
class ChunkSink : public TByteSink {
 public:
  ChunkSink(TByteSink& out, Run& run, const std::string& current, bool countsRead)
      : out_(out), run_(run), current_(current), countsRead_(countsRead) {}
  void Write(const std::uint8_t* data, std::size_t n) override;

 private:
  TByteSink& out_;
  Run& run_;
  const std::string& current_;
  bool countsRead_;
};

class Run {
 public:
  Run(const TLabReader& reader, std::span<const TBatchItem> items, std::vector<std::string> finals,
      const TBatchProduce& produce, const TBatchOptions& options, std::shared_ptr<const TSafeDir> root,
      TBatchResult& result)
      : reader_(reader),
        items_(items),
        finals_(std::move(finals)),
        produce_(produce),
        options_(options),
        folders_(std::move(root)),
        bundleId_(FileIdOf(reader.FileName())),
        result_(result) {
    for (const TBatchItem& item : items_) bytesTotal_ += std::max<std::int64_t>(0, reader_.GetSize(item.index));
  }

  // This thread works too, beside jobs - 1 others.
  void Execute(int jobs) {
    std::vector<std::thread> threads;
    try {
      for (int i = 1; i < jobs; ++i) threads.emplace_back([this] { Work(); });
    } catch (const std::exception&) {
      // No more threads to be had (a limit of the system's, or memory): the
      // ones that started and this one share the work.
    }
    Work();
    for (std::thread& t : threads) t.join();
    folders_.RemoveEmptyCreated();
    Finish();
  }

  void PollCancel() {
    if (options_.cancel && options_.cancel->load(std::memory_order_relaxed)) {
      cancelled_ = true;
      throw CancelledRun{};
    }
  }

  void AddRead(std::size_t n, const std::string& current) {
    bytesDone_ += static_cast<std::int64_t>(n);
    Report(current, false);
  }

 private:
  struct Positioned {
    std::size_t pos;
    TBatchIssue issue;
  };

  void Work() {
    const std::size_t count = items_.size();
    while (!stop_.load() && !cancelled_.load()) {
      if (options_.cancel && options_.cancel->load()) {
        cancelled_ = true;
        break;
      }
      std::size_t pos = next_.fetch_add(1);
      if (pos >= count) break;
      One(pos);
      ++done_;
    }
  }

  // Entries are read with positioned reads on the reader's own handle, so
  // workers never share a file position.
  void One(std::size_t pos) {
    const TBatchItem& item = items_[pos];
    const std::string& relative = finals_[pos];
    try {
      Report(relative, true);
      const TFileHeader& header = reader_.GetHeader(item.index);
      auto [folder, file] = SplitFolder(relative);
      std::shared_ptr<const TSafeDir> dir = folders_.Get(folder);
      TNameState state = dir->Inspect(file, bundleId_);
      if (state.sameFile)
        throw VldError("Entry " + std::string(reader_.GetName(item.index)) + " would replace the bundle being read, " +
                       PathText(reader_.FileName()) + ".");
      std::int64_t read = 0, written = 0;
      if (!produce_) {
        TSafeFile out(dir, file);
        ChunkSink sink(out, *this, relative, true);
        read = written = reader_.CopyEntryTo(item.index, sink);
        out.Commit();
      } else {
        PollCancel();
        Bytes entry = reader_.ReadEntryBytesAt(item.index);
        read = static_cast<std::int64_t>(entry.size());
        AddRead(entry.size(), relative);
        Bytes data;
        try {
          data = produce_(item.index, entry);
        } catch (const std::exception& e) {
          Record(failed_, pos, {item.index, relative, e.what()});
          return;
        }
        PollCancel();
        TSafeFile out(dir, file);
        ChunkSink sink(out, *this, relative, false);
        for (std::size_t at = 0; at < data.size(); at += kCopyChunk)
          sink.Write(data.data() + at, std::min(kCopyChunk, data.size() - at));
        out.Commit();
        written = static_cast<std::int64_t>(data.size());
      }
      std::lock_guard<std::mutex> lock(mutex_);
      ++result_.files;
      result_.bytes += written;
      writtenAt_.push_back(pos);
      if (read < header.Size) cutShort_.push_back({pos, {item.index, relative, {}}});
      if (state.link)
        replaced_.push_back({pos,
                             {item.index, relative,
                              PathText(dir->Path() / Utf8Path(file)) +
                                  " was a symbolic link; it was replaced by the file, its target is untouched."}});
    } catch (const CancelledRun&) {
      // The file being written is removed with its temporary name.
    } catch (const LinkRefusal& e) {
      Record(refused_, pos, {item.index, PathText(e.Link()), e.what()});
    } catch (const std::exception& e) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!stopIssue_ || pos < stopIssue_->pos) stopIssue_ = Positioned{pos, {item.index, relative, e.what()}};
      stop_ = true;
    }
  }

  void Record(std::vector<Positioned>& list, std::size_t pos, TBatchIssue issue) {
    std::lock_guard<std::mutex> lock(mutex_);
    list.push_back({pos, std::move(issue)});
  }

  void Report(const std::string& current, bool started) {
    if (!options_.progress) return;
    std::lock_guard<std::mutex> lock(progressMutex_);
    TBatchProgress p;
    p.done = done_.load();
    p.total = static_cast<int>(items_.size());
    p.bytesDone = bytesDone_.load();
    p.bytesTotal = bytesTotal_;
    p.current = current;
    p.started = started;
    try {
      options_.progress(p);
    } catch (...) {
      cancelled_ = true;
      throw CancelledRun{};
    }
  }

  static std::vector<TBatchIssue> InOrder(std::vector<Positioned>& list) {
    std::sort(list.begin(), list.end(), [](const Positioned& a, const Positioned& b) { return a.pos < b.pos; });
    std::vector<TBatchIssue> out;
    for (Positioned& p : list) out.push_back(std::move(p.issue));
    return out;
  }

  void Finish() {
    for (const TBatchIssue& cut : InOrder(cutShort_)) result_.cutShortIndexes.push_back(cut.index);
    result_.refused = InOrder(refused_);
    result_.replacedLinks = InOrder(replaced_);
    result_.failed = InOrder(failed_);
    if (stopIssue_) {
      result_.stopped = stopIssue_->issue;
      result_.stoppedAt = static_cast<int>(stopIssue_->pos);
      result_.filesBeforeStop = static_cast<int>(std::count_if(
          writtenAt_.begin(), writtenAt_.end(), [this](std::size_t pos) { return pos < stopIssue_->pos; }));
    }
    result_.cancelled = cancelled_.load();
  }

  const TLabReader& reader_;
  std::span<const TBatchItem> items_;
  std::vector<std::string> finals_;
  const TBatchProduce& produce_;
  const TBatchOptions& options_;
  FolderCache folders_;
  TFileId bundleId_;
  TBatchResult& result_;

  std::atomic<std::size_t> next_{0};
  std::atomic<int> done_{0};
  std::atomic<std::int64_t> bytesDone_{0};
  std::int64_t bytesTotal_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  std::mutex progressMutex_;
  std::vector<Positioned> cutShort_, refused_, replaced_, failed_;
  std::vector<std::size_t> writtenAt_;  // positions of the files written
  std::optional<Positioned> stopIssue_;
};

void ChunkSink::Write(const std::uint8_t* data, std::size_t n) {
  run_.PollCancel();
  out_.Write(data, n);
  if (countsRead_) run_.AddRead(n, current_);
}

}  // namespace

std::vector<std::string> PlanBatchNames(std::span<const TBatchItem> items, bool foldsCase,
                                        std::vector<TBatchRename>* renamed) {
  auto key = [foldsCase](const std::string& path) { return foldsCase ? FoldKey(path) : path; };
  // Every path an entry carries itself, folders included: a numbered name
  // goes around them, so it never displaces a later entry from its own name.
  std::unordered_set<std::string> carried;
  for (const TBatchItem& item : items) {
    carried.insert(key(item.relative));
    for (std::size_t slash = item.relative.find('/'); slash != std::string::npos;
         slash = item.relative.find('/', slash + 1))
      carried.insert(key(item.relative.substr(0, slash)));
  }
  std::unordered_set<std::string> files, folders;         // final paths taken in this run
  std::unordered_map<std::string, std::string> folderOf;  // a folder as entries name it -> where it went
  // Per path, the first number not yet found taken: taken names stay taken,
  // so a name repeated many times never walks the numbers again.
  std::unordered_map<std::string, int> nextNumber;
  auto freeName = [&](const std::string& path) {
    int& n = nextNumber.try_emplace(key(path), 2).first->second;
    for (;; ++n) {
      std::string candidate = Numbered(path, n);
      std::string k = key(candidate);
      if (!files.count(k) && !folders.count(k) && !carried.count(k)) {
        ++n;
        return candidate;
      }
    }
  };

  std::vector<std::string> finals(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string& relative = items[i].relative;
    std::string folder;
    std::size_t start = 0;
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', start)) {
      std::string named = key(relative.substr(0, slash));
      auto it = folderOf.find(named);
      if (it == folderOf.end()) {
        std::string candidate = (folder.empty() ? "" : folder + "/") + relative.substr(start, slash - start);
        // A file this run writes stands where the folder would go.
        if (files.count(key(candidate))) candidate = freeName(candidate);
        folders.insert(key(candidate));
        it = folderOf.emplace(named, candidate).first;
      }
      folder = it->second;
      start = slash + 1;
    }
    std::string candidate = (folder.empty() ? "" : folder + "/") + relative.substr(start);
    if (files.count(key(candidate)) || folders.count(key(candidate))) candidate = freeName(candidate);
    files.insert(key(candidate));
    if (renamed && candidate != relative) renamed->push_back({items[i].index, relative, candidate});
    finals[i] = std::move(candidate);
  }
  return finals;
}

std::vector<TBatchItem> EntryItems(const TLabReader& reader, std::span<const int> indexes) {
  std::vector<TBatchItem> items;
  items.reserve(indexes.size());
  for (int index : indexes) {
    TEntryPath mapped = MapEntryName(reader.GetName(index));
    items.push_back({index, mapped.Joined()});
  }
  return items;
}

TBatchResult RunBatch(const TLabReader& reader, const fs::path& destination, std::span<const TBatchItem> items,
                      const TBatchProduce& produce, const TBatchOptions& options) {
  TBatchResult result;
  if (items.empty()) return result;
  for (const TBatchItem& item : items)
    if (!IsPlainRelative(item.relative))
      throw VldError("The path " + item.relative + " would not stay inside " + PathText(destination) + ".");
  // The folders this run makes for the destination go again if it writes
  // nothing into them.
  std::vector<fs::path> made;
  std::shared_ptr<const TSafeDir> parent;
  std::string ours;
  bool oursMade = false;
  auto removeMade = [&] {
    if (oursMade) parent->RemoveChildIfEmpty(ours);
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
      std::error_code ec;
      if (fs::is_empty(SystemPath(*it), ec) && !ec) fs::remove(SystemPath(*it), ec);
    }
  };
  std::shared_ptr<const TSafeDir> root;
  try {
    if (options.lastFolderIsOurs && destination.has_filename()) {
      parent = TSafeDir::OpenRoot(destination.parent_path(), &made);
      ours = PathText(destination.filename());
      root = parent->Child(ours, &oursMade);
    } else {
      root = TSafeDir::OpenRoot(destination, &made);
    }
  } catch (...) {
    removeMade();
    throw;
  }
  result.foldsCase = options.foldsCase ? options.foldsCase(destination) : root->FoldsCase();
  std::vector<std::string> finals = PlanBatchNames(items, result.foldsCase, &result.renamed);
  int jobs = options.jobs > 0 ? options.jobs : static_cast<int>(std::thread::hardware_concurrency());
  jobs = std::clamp(jobs, 1, static_cast<int>(std::min<std::size_t>(items.size(), 256)));
  {
    Run run(reader, items, std::move(finals), produce, options, std::move(root), result);
    run.Execute(jobs);
  }
  removeMade();
  return result;
}

std::string BatchStopText(const TBatchResult& result, int total, const std::string& what) {
  std::string why = result.stopped ? result.stopped->message : std::string();
  if (!why.empty() && why.back() != '.') why += '.';
  std::string text = why + " " + what + " stopped at entry " + std::to_string(result.stoppedAt + 1) + " of " +
                     std::to_string(total) + "; the " + std::to_string(result.filesBeforeStop) +
                     " files written before it are in place";
  // Other workers finish the entries after it that they had begun.
  if (const int after = result.files - result.filesBeforeStop; after > 0)
    text += ", and the " + std::to_string(after) + " after it that had begun";
  return text + ".";
}

}  // namespace vld
