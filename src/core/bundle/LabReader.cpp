#include "core/bundle/LabReader.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "core/common/ByteReader.h"
#include "core/common/FileIO.h"

namespace vld {

namespace {

constexpr std::size_t kNameChunk = 256 * 1024;

// Serves masked names from large buffered reads. Names usually lie one after
// another, so a sequential walk costs one read per chunk.
class NameSource {
 public:
  explicit NameSource(TFileStream& stream) : stream_(stream) {}

  // Reads the name at pos exactly as a byte-wise read would: up to the first
  // raw 0x00 or the end of the file. Sets `cut` when the length limit hit.
  std::string Read(std::int64_t pos, bool& cut) {
    std::string name;
    cut = false;
    if (pos < 0) return name;
    while (pos < stream_.Size()) {
      if (pos < bufStart_ || pos >= bufStart_ + static_cast<std::int64_t>(buf_.size())) Load(pos);
      if (buf_.empty()) break;
      const std::uint8_t* begin = buf_.data() + (pos - bufStart_);
      const std::uint8_t* end = buf_.data() + buf_.size();
      const std::uint8_t* zero = static_cast<const std::uint8_t*>(std::memchr(begin, 0, end - begin));
      const std::uint8_t* stop = zero ? zero : end;
      for (const std::uint8_t* p = begin; p < stop; ++p) name.push_back(static_cast<char>(*p ^ kNameMask));
      if (name.size() > kMaxNameLength) {
        name.resize(kMaxNameLength);
        cut = true;
        break;
      }
      if (zero) break;
      pos = bufStart_ + static_cast<std::int64_t>(buf_.size());
    }
    return name;
  }

 private:
  void Load(std::int64_t pos) {
    std::int64_t left = stream_.Size() - pos;
    buf_.resize(static_cast<std::size_t>(std::min<std::int64_t>(left, kNameChunk)));
    stream_.Seek(pos);
    buf_.resize(stream_.Read(buf_.data(), buf_.size()));
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
  NameSource names(stream_);
  std::size_t nameBytes = 0;
  for (std::int64_t i = 0; i < n; ++i) {
    const std::uint8_t* rec = dir.data() + i * 16;
    Entry& e = entries_[static_cast<std::size_t>(i)];
    e.header.NameOffset = static_cast<std::int32_t>(ByteReader::LoadU32LE(rec));
    e.header.Offset = static_cast<std::int32_t>(ByteReader::LoadU32LE(rec + 4));
    e.header.Size = static_cast<std::int32_t>(ByteReader::LoadU32LE(rec + 8));
    e.header.Reserved = ByteReader::LoadU32LE(rec + 12);
    // 32-bit arithmetic, as the directory's own fields are.
    std::int32_t namePos = static_cast<std::int32_t>(static_cast<std::uint32_t>(namesBase_) +
                                                     static_cast<std::uint32_t>(e.header.NameOffset));
    if (nameBytes >= kMaxNamesTotal) {
      damaged_ = true;
      continue;
    }
    bool cut = false;
    e.name = names.Read(namePos, cut);
    if (cut) damaged_ = true;
    nameBytes += e.name.size();
  }
  // The position after opening is just past the directory, as a record-by-record read leaves it.
  stream_.Seek(20 + n * 16);
}

void TLabReader::Close() {
  stream_.Close();
  entries_.clear();
  entries_.shrink_to_fit();
  std::fill(std::begin(header_), std::end(header_), 0u);
  namesBase_ = 0;
  damaged_ = false;
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
  std::string wanted = FoldLower(name);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const std::string& n = entries_[i].name;
    if (n.size() == wanted.size() && FoldLower(n) == wanted) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace vld
