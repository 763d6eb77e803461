#include "core/bundle/LabReader.h"

#include <algorithm>
#include <bit>
#include <type_traits>
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

// Removes the name mask in place, eight bytes at a time.
void Unmask(char* p, std::size_t n) {
  constexpr std::uint64_t kMask8 = 0x0101010101010101ull * kNameMask;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    w ^= kMask8;
    std::memcpy(p + i, &w, 8);
  }
  for (; i < n; ++i) p[i] = static_cast<char>(p[i] ^ kNameMask);
}

// Length of the name at `name` within `avail` unmasked bytes, as a byte-wise
// read finds it: up to the first stored 0x00 (unmasked: the mask itself), or
// the end of the file when `avail` reaches it. Sets `cut` past the limit.
std::size_t UnmaskedNameLength(const char* name, std::size_t avail, bool& cut) {
  const std::size_t scan = std::min(avail, kMaxNameLength + 1);
  const char* end = static_cast<const char*>(std::memchr(name, static_cast<char>(kNameMask), scan));
  cut = !end && scan > kMaxNameLength;
  if (cut) return kMaxNameLength;
  return end ? static_cast<std::size_t>(end - name) : scan;
}

// Serves masked names for directories whose names lie too far apart to read
// at once: large buffered reads, each name unmasked onto the end of one block.
class NameSource {
 public:
  explicit NameSource(TFileStream& stream) : stream_(stream) {}

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
      std::memcpy(block.data() + old, begin, static_cast<std::size_t>(stop - begin));
      Unmask(block.data() + old, static_cast<std::size_t>(stop - begin));
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

  static_assert(sizeof(TFileHeader) == 16 && std::is_trivially_copyable_v<TFileHeader>);
  headers_.resize(static_cast<std::size_t>(n));
  names_.resize(static_cast<std::size_t>(n));
  stream_.ReadAtZeroFilled(20, headers_.data(), headers_.size() * 16);
  std::int64_t firstName = std::numeric_limits<std::int64_t>::max(), lastName = -1;
  for (TFileHeader& h : headers_) {
    if constexpr (std::endian::native == std::endian::big) {
      std::uint8_t* rec = reinterpret_cast<std::uint8_t*>(&h);
      h = TFileHeader{static_cast<std::int32_t>(ByteReader::LoadU32LE(rec)),
                      static_cast<std::int32_t>(ByteReader::LoadU32LE(rec + 4)),
                      static_cast<std::int32_t>(ByteReader::LoadU32LE(rec + 8)), ByteReader::LoadU32LE(rec + 12)};
    }
    std::int64_t pos = NamePosition(h);
    if (pos < 0 || pos >= stream_.Size()) continue;  // such names read as empty
    firstName = std::min(firstName, pos);
    lastName = std::max(lastName, pos);
  }

  // Usually every name lies in one modest span (the names table): read it in
  // one piece, unmask it in one pass and point the names into it.
  const std::int64_t windowEnd =
      std::min(stream_.Size(), lastName + static_cast<std::int64_t>(kMaxNameLength) + 1);
  if (lastName >= 0 && windowEnd - firstName <= kNameWindowLimit) {
    nameBlock_.resize(static_cast<std::size_t>(windowEnd - firstName));
    nameBlock_.resize(stream_.ReadAt(firstName, nameBlock_.data(), nameBlock_.size()));
    Unmask(nameBlock_.data(), nameBlock_.size());
    std::size_t nameBytes = 0;
    for (std::size_t i = 0; i < headers_.size(); ++i) {
      NameSpan& e = names_[i];
      if (nameBytes >= kMaxNamesTotal) {
        damaged_ = true;
        continue;
      }
      const std::int64_t pos = NamePosition(headers_[i]);
      if (pos < firstName || pos >= firstName + static_cast<std::int64_t>(nameBlock_.size())) continue;
      bool cut = false;
      e.start = static_cast<std::uint32_t>(pos - firstName);
      e.length = static_cast<std::uint32_t>(
          UnmaskedNameLength(nameBlock_.data() + e.start, nameBlock_.size() - e.start, cut));
      if (cut) damaged_ = true;
      nameBytes += e.length;
    }
  } else if (lastName >= 0) {
    NameSource names(stream_);
    for (std::size_t i = 0; i < headers_.size(); ++i) {
      NameSpan& e = names_[i];
      e.start = static_cast<std::uint32_t>(nameBlock_.size());
      if (nameBlock_.size() >= kMaxNamesTotal) {
        damaged_ = true;
        continue;
      }
      bool cut = false;
      e.length = static_cast<std::uint32_t>(names.Read(NamePosition(headers_[i]), nameBlock_, cut));
      if (cut) damaged_ = true;
    }
  }
  // The position after opening is just past the directory, as a record-by-record read leaves it.
  stream_.Seek(20 + n * 16);
}

void TLabReader::Close() {
  stream_.Close();
  headers_.clear();
  headers_.shrink_to_fit();
  names_.clear();
  names_.shrink_to_fit();
  nameBlock_.clear();
  nameBlock_.shrink_to_fit();
  std::fill(std::begin(header_), std::end(header_), 0u);
  namesBase_ = 0;
  damaged_ = false;
}

std::int64_t TLabReader::NamePosition(const TFileHeader& h) const {
  // 32-bit arithmetic, as the directory's own fields are.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(namesBase_) + static_cast<std::uint32_t>(h.NameOffset));
}

std::size_t TLabReader::Checked(int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  return static_cast<std::size_t>(index);
}

bool TLabReader::IsCompressed(int index) {
  const TFileHeader& h = GetHeader(index);
  std::uint8_t b[2] = {0, 0};
  stream_.Seek(h.Offset);
  std::size_t got = stream_.Read(b, 2);
  stream_.Seek(static_cast<std::int64_t>(h.Offset) + 2);
  return got == 2 && b[0] == 0x1F && b[1] == 0x8B;
}

std::int64_t TLabReader::ReadEntry(int index, TByteSink& dest) {
  const TFileHeader& h = GetHeader(index);
  return CopyFileRange(stream_, h.Offset, h.Size, dest);
}

Bytes TLabReader::ReadEntryBytes(int index) {
  TMemoryStream ms;
  ReadEntry(index, ms);
  return ms.Take();
}

std::int64_t TLabReader::CopyEntryTo(int index, TByteSink& sink, const std::atomic<bool>* cancel) const {
  const TFileHeader& h = GetHeader(index);
  return CopyFileRangeAt(stream_, h.Offset, h.Size, sink, cancel);
}

Bytes TLabReader::ReadEntryBytesAt(int index) const {
  // One read into a buffer of the size that exists in the file.
  const TFileHeader& h = GetHeader(index);
  if (h.Size <= 0 || h.Offset < 0 || h.Offset >= FileSize()) return {};
  Bytes out(static_cast<std::size_t>(std::min<std::int64_t>(h.Size, FileSize() - h.Offset)));
  out.resize(stream_.ReadAt(h.Offset, out.data(), out.size()));
  return out;
}

bool TLabReader::EntryComplete(int index) const {
  const TFileHeader& h = GetHeader(index);
  if (h.Size <= 0) return true;
  return h.Offset >= 0 && static_cast<std::int64_t>(h.Offset) + h.Size <= stream_.Size();
}

std::int64_t TLabReader::ExtractEntry(int index, const std::filesystem::path& target) {
  Checked(index);
  TAtomicFile out(target);
  std::int64_t n = ReadEntry(index, out);
  out.Commit();
  return n;
}

int TLabReader::FindEntry(std::string_view name) const {
  const std::string wanted = FoldLower(name);
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < names_.size(); ++i) {
    const NameSpan& e = names_[i];
    if (e.length != wanted.size()) continue;
    const char* n = nameBlock_.data() + e.start;
    if (std::equal(wanted.begin(), wanted.end(), n, [&](char w, char c) { return w == fold(c); }))
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace vld
