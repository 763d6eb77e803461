#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/bundle/LabReader.h"
#include "core/common/Bytes.h"
#include "core/common/Errors.h"

namespace vld {

// New bytes for an entry: held in memory, or a file read when the bundle is
// saved (so that large files are never held whole). The file's size is taken
// when the content is made; a file that changed size by the save fails it.
class TEntryContent {
 public:
  static std::shared_ptr<const TEntryContent> FromBytes(Bytes bytes);
  // Throws FileError when the file cannot be read.
  static std::shared_ptr<const TEntryContent> FromFile(const std::filesystem::path& path);

  std::int64_t Size() const { return size_; }
  bool InMemory() const { return path_.empty(); }
  const Bytes& Data() const { return bytes_; }
  const std::filesystem::path& Path() const { return path_; }
  // The bytes, read from the file when they live there.
  Bytes Read() const;

 private:
  Bytes bytes_;
  std::filesystem::path path_;
  std::int64_t size_ = 0;
};
using TContentPtr = std::shared_ptr<const TEntryContent>;

// One change to a bundle, as a value: the viewer's undo stack keeps these.
struct TBundleEdit {
  enum class Kind { Replace, Add, Remove, Rename };
  Kind kind = Kind::Replace;
  int index = 0;        // the entry's place in the list as it will be saved; Add: where the new one goes
  std::string name;     // Add: the new entry's name; Rename: the new name
  TContentPtr content;  // Replace, Add

  static TBundleEdit Replace(int index, TContentPtr content) { return {Kind::Replace, index, {}, std::move(content)}; }
  static TBundleEdit Add(int index, std::string name, TContentPtr content) {
    return {Kind::Add, index, std::move(name), std::move(content)};
  }
  static TBundleEdit Remove(int index) { return {Kind::Remove, index, {}, nullptr}; }
  static TBundleEdit Rename(int index, std::string name) { return {Kind::Rename, index, std::move(name), nullptr}; }
};

// One entry of the bundle as it will be saved.
struct TEditEntry {
  int original = -1;     // index in the open bundle; -1 for an added entry
  bool renamed = false;  // `name` holds the name (always so for an added entry)
  std::string name;
  TContentPtr content;  // new bytes; null: the original entry's bytes
};

// What undoes one applied edit: the entry that stood at `index` before it.
struct TEditUndo {
  TBundleEdit::Kind kind = TBundleEdit::Kind::Replace;
  int index = 0;
  TEditEntry before;
};

// Progress of a save in bytes, and a flag that stops it.
struct TSaveOptions {
  std::function<void(std::int64_t done, std::int64_t total)> progress;
  const std::atomic<bool>* cancel = nullptr;
  // Flush the new bundle to the disk before it replaces anything, so that a
  // crash of the machine cannot leave an empty bundle behind.
  bool durable = true;
  // Called before every write the save makes; a test throws from it to fail
  // the save at any write.
  std::function<void()> beforeWrite;
  // Saving over the bundle being read: called once everything is written and
  // the source is no longer needed, just before the new file takes the
  // bundle's name. The caller closes its reader here, because Windows does not
  // let a file that is open be replaced (the caller reopens it afterwards,
  // whether the save then succeeded or not).
  std::function<void()> releaseSource;
};

// A save stopped by its cancel flag; nothing was written.
class ESaveCancelled : public VldError {
 public:
  ESaveCancelled() : VldError("The save was cancelled; nothing was written.") {}
};

// The edits made to an open bundle, and the list of entries as they will be
// saved. Applying or reverting one edit touches one place of the list (a
// removal or an addition moves the entries behind it, nothing is copied
// whole). The reader must stay open, and its file unchanged, while the list
// is used; after saving over the open bundle the caller reopens it and starts
// a new list.
class TBundleEditList {
 public:
  explicit TBundleEditList(const TLabReader& reader);

  int Count() const { return static_cast<int>(entries_.size()); }
  const TEditEntry& Entry(int index) const { return entries_[Checked(index)]; }
  std::string_view Name(int index) const;
  // The size the entry will have (the original entry's when unchanged).
  std::int64_t Size(int index) const;
  bool IsAdded(int index) const { return Entry(index).original < 0; }
  // Its bytes or its name differ from the open bundle's (added entries included).
  bool IsChanged(int index) const {
    const TEditEntry& e = Entry(index);
    return e.original < 0 || e.renamed || e.content;
  }
  // Some edit is applied that was not reverted.
  bool HasChanges() const { return applied_ != 0; }
  // First entry whose name equals `name` with A-Z folded; -1 if none.
  int FindEntry(std::string_view name) const;
  // The entry's bytes as they will be saved.
  Bytes ReadBytes(int index) const;

  // Applies the edit and returns what reverts it. Throws VldError, changing
  // nothing, for an index out of range, a name a bundle cannot hold, or a
  // name another entry already has.
  TEditUndo Apply(const TBundleEdit& edit);
  // Reverts the last applied edit not yet reverted (undo in reverse order).
  void Revert(const TEditUndo& undo);

  const TLabReader& Reader() const { return reader_; }

 private:
  std::size_t Checked(int index) const;
  void CheckNewName(std::string_view name, int except) const;

  const TLabReader& reader_;
  std::vector<TEditEntry> entries_;
  int applied_ = 0;
};

// Throws VldError when a bundle cannot store the name: empty, too long, or
// holding a byte that would end it early once masked.
void CheckEntryName(std::string_view name);

// What a save did.
struct TSaveResult {
  std::int64_t bytes = 0;  // size of the bundle written
  int staleRemoved = 0;    // temporaries of killed runs cleaned from the folder
};

// Saves the list as a bundle at `target`: header words and every record's
// fourth value kept, entries in list order, names masked, unchanged entries
// copied from the open bundle range by range. The bundle is written under a
// temporary name beside the target and renamed into place only when whole,
// so a failed or cancelled save leaves the target as it was and no file
// behind; saving over the open bundle itself is allowed (the file being
// read is never written). Refuses a target that exists and is no regular
// file, an entry of the open bundle that runs past its end, and bundles of
// 2 GiB or more. May run on a worker thread (the bundle is read by position);
// the list must not change while it runs.
TSaveResult SaveBundle(const TBundleEditList& list, const std::filesystem::path& target,
                       const TSaveOptions& options = {});

}  // namespace vld
