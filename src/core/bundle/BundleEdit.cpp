#include "core/bundle/BundleEdit.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <unordered_map>

#include "core/bundle/FileStream.h"
#include "core/common/FileIO.h"

namespace vld {

namespace fs = std::filesystem;

namespace {

// Unchanged data is copied in pieces of this size, so that progress moves and
// a cancel is seen within a fraction of a second.
constexpr std::int64_t kSavePiece = 16 << 20;
constexpr std::int64_t kMaxBundleSize = std::numeric_limits<std::int32_t>::max();

// A name for a message: control bytes shown as \xNN.
std::string Shown(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool SameFolded(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace

// ---- contents ----------------------------------------------------------------

std::shared_ptr<const TEntryContent> TEntryContent::FromBytes(Bytes bytes) {
  auto content = std::make_shared<TEntryContent>();
  content->size_ = static_cast<std::int64_t>(bytes.size());
  content->bytes_ = std::move(bytes);
  return content;
}

std::shared_ptr<const TEntryContent> TEntryContent::FromFile(const fs::path& path) {
  TFileStream probe(path);  // throws when it cannot be read
  auto content = std::make_shared<TEntryContent>();
  content->path_ = path;
  content->size_ = probe.Size();
  return content;
}

Bytes TEntryContent::Read() const {
  if (InMemory()) return bytes_;
  Bytes data = ReadWholeFile(path_);
  if (static_cast<std::int64_t>(data.size()) != size_)
    throw FileError("File " + PathText(path_) + " changed since it was chosen; choose it again.");
  return data;
}

// ---- the edit list -----------------------------------------------------------

void CheckEntryName(std::string_view name) {
  if (name.empty()) throw VldError("An entry needs a name.");
  if (name.size() > kMaxNameLength)
    throw VldError("The name " + Shown(name.substr(0, 40)) + "... is " + std::to_string(name.size()) +
                   " bytes long; a bundle holds names of at most " + std::to_string(kMaxNameLength) + " bytes.");
  // A bundle stores every name byte XOR the mask and ends the name at a stored
  // zero: a zero byte, or the mask's own value, would cut the name there.
  for (unsigned char c : name)
    if (c == 0 || c == kNameMask)
      throw VldError("The name " + Shown(name) + " holds the byte 0x" + (c ? std::string("A5") : std::string("00")) +
                     ", which a bundle cannot store in a name; choose another name.");
}

TBundleEditList::TBundleEditList(const TLabReader& reader) : reader_(reader) {
  entries_.resize(static_cast<std::size_t>(reader.Count()));
  for (std::size_t i = 0; i < entries_.size(); ++i) entries_[i].original = static_cast<int>(i);
}

std::size_t TBundleEditList::Checked(int index) const {
  if (index < 0 || index >= Count())
    throw VldError("There is no entry " + std::to_string(index) + " (the bundle has " + std::to_string(Count()) +
                   " entries).");
  return static_cast<std::size_t>(index);
}

std::string_view TBundleEditList::Name(int index) const {
  const TEditEntry& e = Entry(index);
  return e.renamed ? std::string_view(e.name) : reader_.GetName(e.original);
}

std::int64_t TBundleEditList::Size(int index) const {
  const TEditEntry& e = Entry(index);
  return e.content ? e.content->Size() : reader_.GetSize(e.original);
}

int TBundleEditList::FindEntry(std::string_view name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameFolded(Name(i), name)) return i;
  return -1;
}

Bytes TBundleEditList::ReadBytes(int index) const {
  const TEditEntry& e = Entry(index);
  return e.content ? e.content->Read() : reader_.ReadEntryBytesAt(e.original);
}

void TBundleEditList::CheckNewName(std::string_view name, int except) const {
  CheckEntryName(name);
  const int other = FindEntry(name);
  if (other >= 0 && other != except)
    throw VldError("The bundle already has an entry named " + Shown(Name(other)) + ".");
}

TEditUndo TBundleEditList::Apply(const TBundleEdit& edit) {
  TEditUndo undo{edit.kind, edit.index, {}};
  switch (edit.kind) {
    case TBundleEdit::Kind::Replace: {
      const std::size_t i = Checked(edit.index);
      if (!edit.content) throw VldError("A replaced entry needs new bytes.");
      undo.before = entries_[i];
      entries_[i].content = edit.content;
      break;
    }
    case TBundleEdit::Kind::Add: {
      if (edit.index < 0 || edit.index > Count())
        throw VldError("An entry cannot be added at place " + std::to_string(edit.index) + ".");
      if (!edit.content) throw VldError("An added entry needs bytes.");
      CheckNewName(edit.name, -1);
      entries_.insert(entries_.begin() + edit.index, TEditEntry{-1, true, edit.name, edit.content});
      break;
    }
    case TBundleEdit::Kind::Remove: {
      const std::size_t i = Checked(edit.index);
      undo.before = std::move(entries_[i]);
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
    case TBundleEdit::Kind::Rename: {
      const std::size_t i = Checked(edit.index);
      CheckNewName(edit.name, edit.index);
      undo.before = entries_[i];
      TEditEntry& e = entries_[i];
      // Back to the name it has in the bundle: no longer a change.
      if (e.original >= 0 && reader_.GetName(e.original) == edit.name) {
        e.renamed = false;
        e.name.clear();
      } else {
        e.renamed = true;
        e.name = edit.name;
      }
      break;
    }
  }
  ++applied_;
  return undo;
}

void TBundleEditList::Revert(const TEditUndo& undo) {
  switch (undo.kind) {
    case TBundleEdit::Kind::Replace:
    case TBundleEdit::Kind::Rename:
      entries_[Checked(undo.index)] = undo.before;
      break;
    case TBundleEdit::Kind::Add:
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(Checked(undo.index)));
      break;
    case TBundleEdit::Kind::Remove:
      if (undo.index < 0 || undo.index > Count()) throw VldError("The edit to revert does not fit the list.");
      entries_.insert(entries_.begin() + undo.index, undo.before);
      break;
  }
  --applied_;
}

// ---- saving ------------------------------------------------------------------

namespace {

// Where each saved entry's data goes, and the pieces of the data area in order.
struct TLayout {
  struct Piece {
    int entry = -1;         // list index whose new content this is; -1: a range of the open bundle
    std::int64_t from = 0;  // the range's offset in the open bundle
    std::int64_t length = 0;
  };
  std::vector<std::int32_t> offsets;  // per list entry
  std::vector<Piece> pieces;
  Bytes head;  // header, directory and names
  std::int64_t total = 0;
};

TLayout PlanLayout(const TBundleEditList& list) {
  const TLabReader& reader = list.Reader();
  const std::size_t n = static_cast<std::size_t>(list.Count());
  std::int64_t namesSize = 0;
  for (int i = 0; i < list.Count(); ++i) namesSize += static_cast<std::int64_t>(list.Name(i).size()) + 1;
  const std::int64_t namesStart = 20 + 16 * static_cast<std::int64_t>(n);
  const std::int64_t dataStart = namesStart + namesSize;
  if (dataStart > kMaxBundleSize) throw VldError("A bundle cannot be larger than 2 GiB.");

  TLayout layout;
  layout.offsets.resize(n);
  // Entries of the open bundle that share their data keep sharing it.
  std::unordered_map<std::uint64_t, std::int32_t> written;
  std::int64_t at = dataStart;
  for (std::size_t i = 0; i < n; ++i) {
    const TEditEntry& e = list.Entry(static_cast<int>(i));
    if (e.content) {
      layout.offsets[i] = static_cast<std::int32_t>(at);
      layout.pieces.push_back({static_cast<int>(i), 0, e.content->Size()});
      at += e.content->Size();
    } else {
      const TFileHeader& h = reader.GetHeader(e.original);
      if (!reader.EntryComplete(e.original))
        throw VldError("The entry " + Shown(reader.GetName(e.original)) +
                       " runs past the end of the bundle; replace or remove it before saving.");
      const std::int64_t size = std::max<std::int32_t>(h.Size, 0);
      const std::uint64_t key =
          (static_cast<std::uint64_t>(static_cast<std::uint32_t>(h.Offset)) << 32) | static_cast<std::uint32_t>(h.Size);
      if (size > 0) {
        auto [it, fresh] = written.try_emplace(key, static_cast<std::int32_t>(std::min(at, kMaxBundleSize)));
        layout.offsets[i] = it->second;
        if (!fresh) continue;
      } else {
        layout.offsets[i] = static_cast<std::int32_t>(std::min(at, kMaxBundleSize));
      }
      if (size == 0) continue;
      // Neighbours in the open bundle are copied as one range.
      TLayout::Piece* last = layout.pieces.empty() ? nullptr : &layout.pieces.back();
      if (last && last->entry < 0 && last->from + last->length == h.Offset)
        last->length += size;
      else
        layout.pieces.push_back({-1, h.Offset, size});
      at += size;
    }
    if (at > kMaxBundleSize) throw VldError("A bundle cannot be larger than 2 GiB.");
  }
  layout.total = at;

  Bytes& head = layout.head;
  head.reserve(static_cast<std::size_t>(dataStart));
  PutU32LE(head, kMagicLABN);
  // Readers do not interpret the second header word: it stays as it was.
  PutU32LE(head, reader.SecondWord());
  PutU32LE(head, static_cast<std::uint32_t>(n));
  PutU32LE(head, static_cast<std::uint32_t>(namesSize));
  PutU32LE(head, static_cast<std::uint32_t>(namesStart + kNamesOffsetConstant));
  std::int64_t nameOffset = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const TEditEntry& e = list.Entry(static_cast<int>(i));
    const std::int32_t size =
        e.content ? static_cast<std::int32_t>(e.content->Size()) : list.Reader().GetHeader(e.original).Size;
    PutU32LE(head, static_cast<std::uint32_t>(nameOffset));
    PutU32LE(head, static_cast<std::uint32_t>(layout.offsets[i]));
    PutU32LE(head, static_cast<std::uint32_t>(size));
    PutU32LE(head, e.original >= 0 ? list.Reader().GetHeader(e.original).Reserved : 0u);
    nameOffset += static_cast<std::int64_t>(list.Name(static_cast<int>(i)).size()) + 1;
  }
  for (int i = 0; i < list.Count(); ++i) {
    for (char c : list.Name(i)) head.push_back(static_cast<std::uint8_t>(c) ^ kNameMask);
    head.push_back(0);
  }
  return layout;
}

}  // namespace

TSaveResult SaveBundle(const TBundleEditList& list, const fs::path& target, const TSaveOptions& options) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(SystemPath(target), ec);
  const bool exists = !ec && fs::exists(status);
  if (exists && !fs::is_regular_file(status))
    throw FileError(PathText(target) + " is not a regular file; choose another name for the bundle.");

  const bool overSource = exists && IsSameFile(target, list.Reader().FileName());
  TLayout layout = PlanLayout(list);
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  TSaveResult result;
  result.staleRemoved = RemoveStaleTemporaries(folder);

  const TLabReader& reader = list.Reader();
  const TFileStream& source = reader.Stream();
  const auto readSource = [&source](std::int64_t pos, void* dest, std::size_t n) {
    return source.ReadAt(pos, dest, n);
  };
  std::int64_t done = 0;
  auto step = [&] {
    if (options.cancel && options.cancel->load(std::memory_order_relaxed)) throw ESaveCancelled();
    if (options.beforeWrite) options.beforeWrite();
  };
  TAtomicFile out(target);
  auto advance = [&](std::int64_t n) {
    if (options.durable) out.StartWriteback();
    done += n;
    if (options.progress) options.progress(done, layout.total);
  };

  step();
  out.Write(layout.head);
  advance(static_cast<std::int64_t>(layout.head.size()));
  for (const TLayout::Piece& piece : layout.pieces) {
    if (piece.entry >= 0) {
      const TEntryContent& content = *list.Entry(piece.entry).content;
      if (content.InMemory()) {
        step();
        out.Write(content.Data());
        advance(content.Size());
        continue;
      }
      TFileStream file(content.Path());
      if (file.Size() != content.Size())
        throw FileError("File " + PathText(content.Path()) + " changed since it was chosen; choose it again.");
      const auto readFile = [&file](std::int64_t pos, void* dest, std::size_t n) { return file.ReadAt(pos, dest, n); };
      for (std::int64_t at = 0; at < content.Size(); at += kSavePiece) {
        const std::int64_t length = std::min(kSavePiece, content.Size() - at);
        step();
        if (out.CopyFrom(readFile, file.Descriptor(), at, length) != length)
          throw FileError("File " + PathText(content.Path()) + " changed since it was chosen; choose it again.");
        advance(length);
      }
      continue;
    }
    for (std::int64_t at = 0; at < piece.length; at += kSavePiece) {
      const std::int64_t length = std::min(kSavePiece, piece.length - at);
      step();
      if (out.CopyFrom(readSource, source.Descriptor(), piece.from + at, length) != length)
        throw FileError("Bundle " + PathText(reader.FileName()) + " got shorter while it was being saved.");
      advance(length);
    }
  }
  step();
  // A replaced bundle keeps who may read and write it.
  if (exists) fs::permissions(SystemPath(out.TempPath()), status.permissions(), ec);
  if (overSource && options.releaseSource) options.releaseSource();
  out.Commit(options.durable);
  result.bytes = layout.total;
  return result;
}

}  // namespace vld
