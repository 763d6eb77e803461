#include "core/browser/OpenFile.h"

#include <algorithm>
#include <climits>

#include "core/audio/BinkData.h"
#include "core/common/FileIO.h"

namespace vld {

namespace {

std::string ListedName(const std::filesystem::path& path) {
  // Either separator ends a folder: names typed on Windows reach us with '\'.
  const std::string text = PathText(path);
  const std::size_t slash = text.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
  const std::size_t dot = name.find('.');
  return (dot == std::string::npos ? std::string() : name.substr(0, dot)) + ".bik";
}

}  // namespace

FileKind TOpenFile::Open(const std::filesystem::path& path) {
  Close();
  path_ = path;
  kind_ = IdentifyFile(path);
  if (kind_ == FileKind::SingleBink || kind_ == FileKind::SingleSmush) {
    single_.Open(path);
    singleSize_ = static_cast<std::int32_t>(std::min<std::int64_t>(single_.Size(), INT32_MAX));
    displayName_ = ListedName(path);
  } else if (kind_ == FileKind::Bundle) {
    auto reader = std::make_unique<TLabReader>();
    reader->Open(path);
    pastEnd_ = CountEntriesPastEnd(*reader);
    bundle_ = std::move(reader);
    edits_ = std::make_unique<TBundleEditList>(*bundle_);
  }
  return kind_;
}

void TOpenFile::Close() {
  edits_.reset();
  if (bundle_) bundle_->Close();
  bundle_.reset();
  single_.Close();
  singleSize_ = 0;
  displayName_.clear();
  pastEnd_ = 0;
  kind_ = FileKind::Other;
}

int TOpenFile::EntryCount() const {
  if (edits_) return edits_->Count();
  return IsSingle() ? 1 : 0;
}

std::string TOpenFile::EntryName(int index) const {
  if (edits_) return std::string(edits_->Name(index));
  return displayName_;
}

std::int32_t TOpenFile::EntryOffset(int index) const {
  if (!edits_) return 0;
  const int original = edits_->Entry(index).original;
  return original >= 0 ? bundle_->GetOffset(original) : 0;
}

std::int32_t TOpenFile::EntrySize(int index) const {
  if (!edits_) return singleSize_;
  // An entry with new bytes holds less than 2 GiB: a bundle cannot hold more.
  return static_cast<std::int32_t>(std::min<std::int64_t>(edits_->Size(index), INT32_MAX));
}

Bytes TOpenFile::ReadEntryBytes(int index) const {
  if (!edits_) throw VldError("No bundle is open.");
  return edits_->ReadBytes(index);
}

std::string TOpenFile::EntryTypeText(int index) const {
  const std::string name = EntryName(index);
  return bundle_ ? vld::EntryTypeText(name) : TypeText(name, SingleBink(), SingleSmush());
}

std::string TOpenFile::EntryRefusal(int index, bool whole) const {
  if (!edits_ || EntryHasNewBytes(index)) return {};
  const int i = OriginalIndex(index);
  if (whole ? !bundle_->EntryComplete(i) : bundle_->EntryMissing(i)) return kPastEndRefusal;
  return {};
}

std::string TOpenFile::ShortBundleText() const { return vld::ShortBundleText(pastEnd_); }

int CountEntriesPastEnd(const TLabReader& reader) {
  int n = 0;
  for (int i = 0; i < reader.Count(); ++i)
    if (!reader.EntryComplete(i)) ++n;
  return n;
}

std::string ShortBundleText(int entriesPastEnd) {
  if (entriesPastEnd == 0) return {};
  return "This bundle is shorter than its directory says: " + std::to_string(entriesPastEnd) +
         " entries cannot be read.";
}

std::string TOpenFile::DamagedDirectoryText() const {
  if (!bundle_ || !bundle_->IsDamaged()) return {};
  // The reasons vldtool gives, one a line.
  std::string text = "The bundle is damaged:";
  for (const std::string& reason : DamageReport(*bundle_)) text += "\n- " + reason;
  return text + "\nThe entries that could be read are listed.";
}

std::optional<TOpenFile::TRawRange> TOpenFile::RawRange(int index) {
  if (edits_) {
    if (EntryHasNewBytes(index)) return std::nullopt;
    const int i = OriginalIndex(index);
    return TRawRange{&bundle_->Stream(), bundle_->GetOffset(i), bundle_->GetSize(i)};
  }
  if (!IsSingle()) return std::nullopt;
  std::int64_t from = 0;
  if (SingleSmush()) {
    std::optional<std::int64_t> offset = FindBinkOffset(single_);
    if (!offset) return std::nullopt;
    from = *offset;
  }
  // As the file was when it was opened.
  return TRawRange{&single_, from, single_.Size() - from};
}

std::string RejectionText(FileKind kind) {
  std::string msg = "This is not a LAB bundle.\r\n";
  if (kind == FileKind::Mp3) msg += "This an MP3 file used for music. You need an external MP3 player to play it.";
  return msg + "\r\nSee the readme.txt for more information about this.";
}

}  // namespace vld
