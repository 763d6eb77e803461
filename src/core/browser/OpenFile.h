#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/browser/Formats.h"
#include "core/bundle/BundleEdit.h"
#include "core/bundle/FileStream.h"
#include "core/bundle/LabReader.h"

namespace vld {

// What the viewer has open: nothing, a LAB bundle (its reader and the edits
// made to it) or a stand-alone animation file (kept open for reading). It
// decides everything about the bytes: the kind by the first four bytes, the
// one listed name of a stand-alone file, which entries can be read and what a
// raw save copies. A bundle's entries are listed as edited: indexes, names,
// sizes and bytes are those of the edit list, which is what a save writes.
class TOpenFile {
 public:
  TOpenFile() = default;
  TOpenFile(const TOpenFile&) = delete;
  TOpenFile& operator=(const TOpenFile&) = delete;

  // Releases what was open, then opens `path` as its first bytes say. A file
  // of another kind (Mp3, Other) leaves nothing open; RejectionText says why.
  // Throws FileError when the file cannot be read.
  FileKind Open(const std::filesystem::path& path);
  void Close();

  bool IsOpen() const { return bundle_ || single_.IsOpen(); }
  bool IsBundle() const { return bundle_ != nullptr; }
  bool IsSingle() const { return single_.IsOpen(); }
  bool SingleBink() const { return IsSingle() && kind_ == FileKind::SingleBink; }
  bool SingleSmush() const { return IsSingle() && kind_ == FileKind::SingleSmush; }
  FileKind Kind() const { return kind_; }
  const std::filesystem::path& Path() const { return path_; }

  // The bundle's reader; nullptr unless a bundle is open.
  TLabReader* Reader() { return bundle_.get(); }
  const TLabReader* Reader() const { return bundle_.get(); }
  // The stand-alone file, its size as opened (up to 2 GiB, as the list shows
  // it) and the name it is listed under: the file name cut before its first
  // "." with ".bik" appended (intro.smush.bik -> intro.bik, noext -> .bik).
  const TFileStream& SingleFile() const { return single_; }
  TFileStream& SingleFile() { return single_; }
  std::int32_t SingleSize() const { return singleSize_; }
  const std::string& DisplayName() const { return displayName_; }

  // The edits to the open bundle; nullptr unless a bundle is open.
  TBundleEditList* Edits() { return edits_.get(); }
  const TBundleEditList* Edits() const { return edits_.get(); }
  bool HasChanges() const { return edits_ && edits_->HasChanges(); }
  // The entry was added, renamed or given new bytes since the bundle was opened.
  bool EntryChanged(int index) const { return edits_ && edits_->IsChanged(index); }
  // Its bytes are new: they are not in the open file (and have no offset there yet).
  bool EntryHasNewBytes(int index) const { return edits_ && edits_->Entry(index).content != nullptr; }
  // The entry's index in the open file; -1 for an added one.
  int OriginalIndex(int index) const { return edits_ ? edits_->Entry(index).original : index; }
  // The entry's bytes as edited (a bundle only). Positioned reads: a worker
  // may call it while the edit list stays unchanged.
  Bytes ReadEntryBytes(int index) const;

  // Entries listed: the bundle's, or the one stand-alone file; 0 when nothing is open.
  int EntryCount() const;
  // The 8-bit name as stored (the display name of a stand-alone file).
  std::string EntryName(int index) const;
  // Offset in the open file (that of the original entry for a renamed one);
  // meaningless for an entry with new bytes.
  std::int32_t EntryOffset(int index) const;
  std::int32_t EntrySize(int index) const;
  // The type text shown for an entry: a movie says what it is (a movie inside
  // a bundle is a Bink animation too).
  std::string EntryTypeText(int index) const;

  // Entries of the bundle whose data does not lie wholly inside the file.
  int EntriesPastEnd() const { return pastEnd_; }
  // Why an entry cannot be read; empty when it can. A raw copy (`whole`
  // false) takes what exists of an entry cut short; a view needs all of it.
  std::string EntryRefusal(int index, bool whole = true) const;
  // "This bundle is shorter than its directory says: N entries cannot be read."; empty when none.
  std::string ShortBundleText() const;
  // The warning for a bundle whose directory itself is damaged; empty when it is not.
  std::string DamagedDirectoryText() const;

  // What "Save file..." copies: from where and how much. For a Smush-wrapped
  // file that is its Bink data; nullopt when it has none, and for an entry
  // with new bytes (ReadEntryBytes has them).
  struct TRawRange {
    const TFileStream* file = nullptr;
    std::int64_t from = 0;
    std::int64_t size = 0;
  };
  std::optional<TRawRange> RawRange(int index);

 private:
  FileKind kind_ = FileKind::Other;
  std::filesystem::path path_;
  std::unique_ptr<TLabReader> bundle_;
  std::unique_ptr<TBundleEditList> edits_;  // over *bundle_, released before it
  TFileStream single_;
  std::int32_t singleSize_ = 0;
  std::string displayName_;
  int pastEnd_ = 0;
};

// Entries of a bundle whose data does not lie wholly inside the file.
int CountEntriesPastEnd(const TLabReader& reader);
// "This bundle is shorter than its directory says: N entries cannot be read."; empty for 0.
std::string ShortBundleText(int entriesPastEnd);

// The box text for a file that is neither a bundle nor a stand-alone animation.
std::string RejectionText(FileKind kind);

// An entry that lies past the end of a short bundle is refused with this.
inline constexpr const char* kPastEndRefusal =
    "This entry lies past the end of the bundle, which is shorter than its directory says: it cannot be read.";

}  // namespace vld
