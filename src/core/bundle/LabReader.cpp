#include "core/bundle/LabReader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "core/common/ByteReader.h"
#include "core/common/FileIO.h"

namespace vld {

namespace {

constexpr std::size_t kNameChunk = 256 * 1024;
// A names table up to this long (plus one longest name) is read in one piece;
// a directory whose names are spread wider is read in chunks as it goes.
constexpr std::int64_t kNameWindowLimit = static_cast<std::int64_t>(kMaxNamesTotal);

// Serves masked names from large buffered reads and unmasks them onto the end
// of one block. Names usually lie one after another, so after one read of the
// whole table (or a chunk of it) each name costs a scan and a copy.
class NameSource {
 public:
  explicit NameSource(TFileStream& stream) : stream_(stream) {}

  // Reads [first, last) of the file at once when the span is modest, so that
  // the names inside come from one read.
  void Preload(std::int64_t first, std::int64_t last) {
    first = std::max<std::int64_t>(first, 0);
    last = std::min(last, stream_.Size());
    if (first < last && last - first <= kNameWindowLimit) Load(first, last - first);
  }

  // Appends the name at pos to `block` exactly as a byte-wise read would find
  // it: up to the first raw 0x00 or the end of the file. Returns its length;
  // sets `cut` when the length limit hit.
  std::size_t Read(std::int64_t pos, std::string& block, bool& cut) {
    const std::size_t start = block.size();
    cut = false;
    if (pos < 0) return 0;
    while (pos < stream_.Size()) {
      if (pos < bufStart_ || pos >= bufStart_ + static_cast<std::int64_t>(buf_.size()))
        Load(pos, static_cast<std::int64_t>(kNameChunk));
      if (buf_.empty()) break;
      const std::uint8_t* begin = buf_.data() + (pos - bufStart_);
      const std::uint8_t* end = buf_.data() + buf_.size();
      // No need to look further than one byte past the limit.
      const std::size_t room = kMaxNameLength + 1 - (block.size() - start);
      if (static_cast<std::size_t>(end - begin) > room) end = begin + room;
      const std::uint8_t* zero = static_cast<const std::uint8_t*>(std::memchr(begin, 0, end - begin));
      const std::uint8_t* stop = zero ? zero : end;
      const std::size_t old = block.size();
      block.resize(old + static_cast<std::size_t>(stop - begin));
      char* out = block.data() + old;
      for (const std::uint8_t* p = begin; p < stop; ++p) *out++ = static_cast<char>(*p ^ kNameMask);
      if (block.size() - start > kMaxNameLength) {
        block.resize(start + kMaxNameLength);
        cut = true;
        break;
      }
      if (zero) break;
      pos += stop - begin;
    }
    return block.size() - start;
  }

 private:
  void Load(std::int64_t pos, std::int64_t length) {
    std::int64_t left = stream_.Size() - pos;
    buf_.resize(static_cast<std::size_t>(std::min<std::int64_t>(left, length)));
    buf_.resize(stream_.ReadAt(pos, buf_.data(), buf_.size()));
    bufStart_ = pos;
  }

  TFileStream& stream_;
  Bytes buf_;
  std::int64_t bufStart_ = -1;
};

}  // namespace

std::string FoldLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::int32_t ReadMagic(const std::filesystem::path& path) {
  TFileStream file(path);
  std::uint8_t b[4];
  file.ReadAtZeroFilled(0, b, 4);
  return static_cast<std::int32_t>(ByteReader::LoadU32LE(b));
}

void TLabReader::Open(const std::filesystem::path& path) {
  Close();
  stream_.Open(path);

  std::uint8_t head[20];
  stream_.ReadAtZeroFilled(0, head, sizeof head);
  for (int i = 0; i < 5; ++i) header_[i] = ByteReader::LoadU32LE(head + 4 * i);
  namesBase_ = static_cast<std::int32_t>(header_[4] - kNamesOffsetConstant);

  std::int32_t count = static_cast<std::int32_t>(header_[2]);
  if (count <= 0) return;

  // Only records that lie at least partly inside the file exist; a count
  // beyond that marks the bundle as damaged instead of inventing records.
  std::int64_t afterHeader = std::max<std::int64_t>(0, stream_.Size() - 20);
  std::int64_t available = (afterHeader + 15) / 16;
  std::int64_t n = std::min<std::int64_t>(count, available);
  if (n < count) damaged_ = true;

  Bytes dir(static_cast<std::size_t>(n) * 16);
  stream_.ReadAtZeroFilled(20, dir.data(), dir.size());

  entries_.resize(static_cast<std::size_t>(n));
  std::int64_t firstName = std::numeric_limits<std::int64_t>::max(), lastName = -1;
  for (std::int64_t i = 0; i < n; ++i) {
    const std::uint8_t* rec = dir.data() + i * 16;
    TFileHeader& h = entries_[static_cast<std::size_t>(i)].header;
    h.NameOffset = static_cast<std::int32_t>(ByteReader::LoadU32LE(rec));
    h.Offset = static_cast<std::int32_t>(ByteReader::LoadU32LE(rec + 4));
    h.Size = static_cast<std::int32_t>(ByteReader::LoadU32LE(rec + 8));
    h.Reserved = ByteReader::LoadU32LE(rec + 12);
    std::int64_t pos = NamePosition(h);
    if (pos < 0) continue;
    firstName = std::min(firstName, pos);
    lastName = std::max(lastName, pos);
  }

  NameSource names(stream_);
  if (lastName >= 0) names.Preload(firstName, lastName + static_cast<std::int64_t>(kMaxNameLength) + 1);
  // Most names are short; one guess at the total saves regrowing the block.
  names_.reserve(std::min<std::size_t>(static_cast<std::size_t>(n) * 24, kMaxNamesTotal));
  for (Entry& e : entries_) {
    e.nameStart = static_cast<std::uint32_t>(names_.size());
    if (names_.size() >= kMaxNamesTotal) {
      damaged_ = true;
      continue;
    }
    bool cut = false;
    e.nameLength = static_cast<std::uint32_t>(names.Read(NamePosition(e.header), names_, cut));
    if (cut) damaged_ = true;
  }
  // The position after opening is just past the directory, as a record-by-record read leaves it.
  stream_.Seek(20 + n * 16);
}

void TLabReader::Close() {
  stream_.Close();
  entries_.clear();
  entries_.shrink_to_fit();
  names_.clear();
  names_.shrink_to_fit();
  std::fill(std::begin(header_), std::end(header_), 0u);
  namesBase_ = 0;
  damaged_ = false;
}

std::int64_t TLabReader::NamePosition(const TFileHeader& h) const {
  // 32-bit arithmetic, as the directory's own fields are.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(namesBase_) + static_cast<std::uint32_t>(h.NameOffset));
}

const TLabReader::Entry& TLabReader::At(int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  return entries_[static_cast<std::size_t>(index)];
}

bool TLabReader::IsCompressed(int index) {
  const TFileHeader& h = At(index).header;
  std::uint8_t b[2] = {0, 0};
  stream_.Seek(h.Offset);
  std::size_t got = stream_.Read(b, 2);
  stream_.Seek(static_cast<std::int64_t>(h.Offset) + 2);
  return got == 2 && b[0] == 0x1F && b[1] == 0x8B;
}

std::int64_t TLabReader::ReadEntry(int index, TByteSink& dest) {
  const TFileHeader& h = At(index).header;
  return CopyFileRange(stream_, h.Offset, h.Size, dest);
}

Bytes TLabReader::ReadEntryBytes(int index) {
  TMemoryStream ms;
  ReadEntry(index, ms);
  return ms.Take();
}

std::int64_t TLabReader::CopyEntryTo(int index, TByteSink& sink, const std::atomic<bool>* cancel) const {
  const TFileHeader& h = At(index).header;
  return CopyFileRangeAt(stream_, h.Offset, h.Size, sink, cancel);
}

Bytes TLabReader::ReadEntryBytesAt(int index) const {
  // One read into a buffer of the size that exists in the file.
  const TFileHeader& h = At(index).header;
  if (h.Size <= 0 || h.Offset < 0 || h.Offset >= FileSize()) return {};
  Bytes out(static_cast<std::size_t>(std::min<std::int64_t>(h.Size, FileSize() - h.Offset)));
  out.resize(stream_.ReadAt(h.Offset, out.data(), out.size()));
  return out;
}

bool TLabReader::EntryComplete(int index) const {
  const TFileHeader& h = At(index).header;
  if (h.Size <= 0) return true;
  return h.Offset >= 0 && static_cast<std::int64_t>(h.Offset) + h.Size <= stream_.Size();
}

std::int64_t TLabReader::ExtractEntry(int index, const std::filesystem::path& target) {
  At(index);
  TAtomicFile out(target);
  std::int64_t n = ReadEntry(index, out);
  out.Commit();
  return n;
}

int TLabReader::FindEntry(std::string_view name) const {
  const std::string wanted = FoldLower(name);
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    if (e.nameLength != wanted.size()) continue;
    const char* n = names_.data() + e.nameStart;
    if (std::equal(wanted.begin(), wanted.end(), n, [&](char w, char c) { return w == fold(c); }))
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace vld
