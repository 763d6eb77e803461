#include "core/bundle/LabReader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/common/ByteReader.h"
#include "core/common/EntryNames.h"
#include "core/common/FileIO.h"

namespace vld {

namespace {

constexpr std::size_t kNameChunk = 256 * 1024;
// A names table up to this long (plus one longest name) is read in one piece;
// a directory whose names are spread wider is read in chunks as it goes.
constexpr std::int64_t kNameWindowLimit = static_cast<std::int64_t>(kMaxNamesTotal);
// A names table that starts at most this far after the directory is read
// together with it.
constexpr std::int64_t kNamesGapLimit = 64 * 1024;

// Removes the name mask in place, 16 bytes at a time.
void Unmask(char* p, std::size_t n) {
  using TBytes = std::uint8_t __attribute__((vector_size(16)));
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    TBytes w;
    std::memcpy(&w, p + i, 16);
    w ^= kNameMask;
    std::memcpy(p + i, &w, 16);
  }
  constexpr std::uint64_t kMask8 = 0x0101010101010101ull * kNameMask;
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
// the end of the file when `avail` reaches it. `how` tells which.
std::size_t UnmaskedNameLength(const char* name, std::size_t avail, NameEnd& how) {
  const std::size_t scan = std::min(avail, kMaxNameLength + 1);
  const char* end = static_cast<const char*>(std::memchr(name, static_cast<char>(kNameMask), scan));
  how = end ? NameEnd::Ended : scan > kMaxNameLength ? NameEnd::Cut : NameEnd::Open;
  if (how == NameEnd::Cut) return kMaxNameLength;
  return end ? static_cast<std::size_t>(end - name) : scan;
}

// Where the first 0x00 byte of the n bytes at p is, or n; `room` bytes (at
// least n) may be read at p. Names are short: the first 32 bytes are looked
// at in one go, with no branch on where the name ends, then eight at a time.
std::size_t FindZeroByte(const char* p, std::size_t n, std::size_t room) {
  std::size_t i = 0;
#ifdef __SSE2__
  if (room >= 32) {
    const __m128i zero = _mm_setzero_si128();
    const unsigned low = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), zero)));
    const unsigned high = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), zero)));
    const std::uint32_t found = low | (high << 16);
    if (found || n <= 32) return std::min<std::size_t>(found ? std::countr_zero(found) : 32, n);
    i = 32;
  }
#endif
  constexpr std::uint64_t kLow = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    const std::uint64_t zeros = (w - kLow) & ~w & kHigh;
    if (zeros) {
      if constexpr (std::endian::native == std::endian::little) return i + std::countr_zero(zeros) / 8;
      break;
    }
  }
  for (; i < n; ++i)
    if (p[i] == 0) return i;
  return n;
}

// Marks the 0x00 bytes among the 64 at p (bit i for p[i]) and removes the
// name mask from those 64 bytes in place.
inline std::uint64_t ZerosThenUnmask64(char* p) {
  std::uint64_t found = 0;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  const __m128i key = _mm_set1_epi8(static_cast<char>(kNameMask));
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    found |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)))) << (16 * k);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16 * k), _mm_xor_si128(v, key));
  }
#else
  for (int i = 0; i < 64; ++i) {
    found |= static_cast<std::uint64_t>(p[i] == 0) << i;
    p[i] = static_cast<char>(p[i] ^ kNameMask);
  }
#endif
  return found;
}

// Serves masked names for directories whose names lie too far apart to read
// at once: large buffered reads, each name unmasked onto the end of one block.
class NameSource {
 public:
  explicit NameSource(TFileStream& stream) : stream_(stream) {}

  // Appends the name at pos to `block` exactly as a byte-wise read would find
  // it: up to the first raw 0x00 or the end of the file. Returns its length;
  // `how` tells how it ended.
  std::size_t Read(std::int64_t pos, std::string& block, NameEnd& how) {
    const std::size_t start = block.size();
    how = NameEnd::Ended;
    if (pos < 0 || pos >= stream_.Size()) return 0;  // such names read as empty
    how = NameEnd::Open;
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
        how = NameEnd::Cut;
        break;
      }
      if (zero) {
        how = NameEnd::Ended;
        break;
      }
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

namespace {

// "the name of entry 3 ...", "the names of entries 3, 7 and 9 ...", at most a
// few indexes and then how many more.
std::string EntriesText(const std::vector<int>& indexes) {
  constexpr std::size_t kShown = 5;
  std::string text = indexes.size() == 1 ? "the name of entry " : "the names of entries ";
  const std::size_t shown = std::min(indexes.size(), kShown);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i) text += i + 1 == shown && indexes.size() <= kShown ? " and " : ", ";
    text += std::to_string(indexes[i]);
  }
  if (indexes.size() > kShown) text += " and " + std::to_string(indexes.size() - kShown) + " more";
  return text;
}

}  // namespace

std::vector<std::string> DamageReport(const TLabReader& r) {
  std::vector<std::string> lines;
  if (r.HeaderShort())
    lines.push_back("the file is " + std::to_string(r.FileSize()) +
                    " bytes long, shorter than the 20-byte header of a bundle.");
  if (r.DeclaredCount() < 0)
    lines.push_back("its directory announces a negative number of entries (" + std::to_string(r.DeclaredCount()) +
                    ").");
  else if (r.DeclaredCount() > r.Count())
    lines.push_back("its directory announces " + std::to_string(r.DeclaredCount()) + " entries, the file holds " +
                    std::to_string(r.Count()) + ".");
  const bool one = r.CutNames().size() == 1;
  if (!r.CutNames().empty())
    lines.push_back(EntriesText(r.CutNames()) + (one ? " is" : " are") + " longer than " +
                    std::to_string(kMaxNameLength) + " bytes; " + (one ? "it was" : "they were") + " cut there.");
  if (!r.OpenNames().empty())
    lines.push_back(EntriesText(r.OpenNames()) + (r.OpenNames().size() == 1 ? " runs" : " run") +
                    " to the end of the file without an end mark.");
  if (r.NamesCapped())
    lines.push_back("its names together exceed " + std::to_string(kMaxNamesTotal >> 20) +
                    " MiB; the names past that read as empty.");
  return lines;
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
  const std::size_t headBytes = stream_.ReadAt(0, head, sizeof head);
  std::memset(head + headBytes, 0, sizeof head - headBytes);
  for (int i = 0; i < 5; ++i) header_[i] = ByteReader::LoadU32LE(head + 4 * i);
  namesBase_ = static_cast<std::int32_t>(header_[4] - kNamesOffsetConstant);

  // A header cut short, or a negative count, is not an empty bundle but a damaged one.
  headerShort_ = headBytes < sizeof head;
  std::int32_t count = static_cast<std::int32_t>(header_[2]);
  if (headerShort_ || count < 0) damaged_ = true;
  if (count <= 0) return;

  // Only records that lie at least partly inside the file exist; a count
  // beyond that marks the bundle as damaged instead of inventing records.
  std::int64_t afterHeader = std::max<std::int64_t>(0, stream_.Size() - 20);
  std::int64_t available = (afterHeader + 15) / 16;
  std::int64_t n = std::min<std::int64_t>(count, available);
  if (n < count) damaged_ = true;

  // The directory, and the names table with it where the header places the
  // table just after the directory (its fourth word is the table's length in
  // bundles as they are written): one read for both, into a block that is
  // not cleared first. Only a guess of how much to read: where the records
  // put the names is checked before the block is used for them.
  static_assert(sizeof(TFileHeader) == 16 && std::is_trivially_copyable_v<TFileHeader>);
  const std::int64_t recordsEnd = 20 + n * 16;
  std::int64_t readEnd = recordsEnd;
  const std::int64_t namesTable = namesBase_;
  const std::int64_t namesLength = header_[3];
  if (namesTable >= recordsEnd && namesTable - recordsEnd <= kNamesGapLimit && namesLength <= kNameWindowLimit)
    readEnd = std::max(
        recordsEnd, std::min(stream_.Size(), namesTable + namesLength + static_cast<std::int64_t>(kMaxNameLength) + 1));
  const std::size_t recordBytes = static_cast<std::size_t>(n) * 16;
  block_.reset(new std::uint8_t[static_cast<std::size_t>(readEnd - 20)]);
  const std::size_t got = stream_.ReadAt(20, block_.get(), static_cast<std::size_t>(readEnd - 20));
  // A record cut short by the end of the file reads as zeros where it ends.
  if (got < recordBytes) std::memset(block_.get() + got, 0, recordBytes - got);
  TFileHeader* records = std::launder(reinterpret_cast<TFileHeader*>(block_.get()));
  records_ = records;
  count_ = static_cast<std::size_t>(n);
  if constexpr (std::endian::native == std::endian::big) {
    for (std::size_t i = 0; i < count_; ++i) {
      const std::uint8_t* rec = block_.get() + 16 * i;
      records[i] =
          TFileHeader{static_cast<std::int32_t>(ByteReader::LoadU32LE(rec)),
                      static_cast<std::int32_t>(ByteReader::LoadU32LE(rec + 4)),
                      static_cast<std::int32_t>(ByteReader::LoadU32LE(rec + 8)), ByteReader::LoadU32LE(rec + 12)};
    }
  }
  FindNames(20 + static_cast<std::int64_t>(std::max(got, recordBytes)));
  // The position after opening is just past the directory, as a record-by-record read leaves it.
  stream_.Seek(recordsEnd);
}

// The names table as bundles are written: the first record's name lies in
// block_ after the records and every further name starts right after the
// previous one's stored 0x00. Then one walk over the table, 64 bytes at a
// time, finds the terminators and unmasks the bytes as it goes, with the
// records checked against it in step. False, with the block as it was, for
// anything else (the general walk decides those).
bool TLabReader::FindNamesInOrder(std::int64_t blockEnd) {
  const std::size_t count = count_;
  if (count == 0) return false;
  const TFileHeader* const records = records_;
  const std::int64_t first = NamePosition(records[0]);
  if (first < 20 + static_cast<std::int64_t>(count) * 16 || first >= blockEnd) return false;
  NameSpan* const spans = names_.get();
  char* const block = reinterpret_cast<char*>(block_.get());
  const std::size_t blockLength = static_cast<std::size_t>(blockEnd - 20);
  const std::size_t start = static_cast<std::size_t>(first - 20);
  std::size_t chunk = start;     // the 64 bytes whose 0x00 bytes not yet taken are in `zeros`
  std::size_t unmasked = start;  // the block is unmasked from `start` to here
  std::uint64_t zeros = 0;
  auto take = [&](std::size_t at) {
    chunk = at;
    if (at + 64 <= blockLength) {
      zeros = ZerosThenUnmask64(block + at);
      unmasked = at + 64;
      return;
    }
    // The last bytes of the block, padded with bytes that are not 0x00.
    char tail[64];
    const std::size_t left = blockLength - at;
    std::memset(tail, 0x7F, sizeof tail);
    std::memcpy(tail, block + at, left);
    zeros = ZerosThenUnmask64(tail);
    std::memcpy(block + at, tail, left);
    unmasked = blockLength;
  };
  take(start);
  std::size_t cursor = start;  // where the next name must begin
  bool ok = true;
  for (std::size_t i = 0; i < count; ++i) {
    while (zeros == 0 && unmasked < blockLength) take(chunk + 64);
    // A name running past the block (where it ends is for the general walk
    // to find), or a record naming anything but the next name.
    if (zeros == 0 || NamePosition(records[i]) != static_cast<std::int64_t>(cursor) + 20) {
      ok = false;
      break;
    }
    const std::size_t end = chunk + static_cast<std::size_t>(std::countr_zero(zeros));
    zeros &= zeros - 1;
    if (end - cursor > kMaxNameLength) {
      ok = false;
      break;
    }
    spans[i] = NameSpan{static_cast<std::uint32_t>(cursor), static_cast<std::uint32_t>(end - cursor)};
    cursor = end + 1;
  }
  // Beyond the cap on all names together later names read as empty: the
  // general walk does that too.
  if (ok && cursor - start - count < kMaxNamesTotal) {
    nameBase_ = block;
    return true;
  }
  Unmask(block + start, unmasked - start);  // the mask is its own inverse
  return false;
}

// The usual case in one pass: every name lies in block_ after the records.
// Each name ends at its stored 0x00 (found before unmasking), and the span
// of all names is unmasked once at the end. False, with nothing kept, when a
// name lies elsewhere or may reach past the block.
bool TLabReader::FindNamesInBlock(std::int64_t blockEnd) {
  // Locals, so that the stores into the spans do not make the compiler read
  // the members again for every name.
  const std::int64_t recordsEnd = 20 + static_cast<std::int64_t>(count_) * 16;
  const std::int64_t fileSize = stream_.Size();
  const std::size_t count = count_;
  const TFileHeader* const records = records_;
  NameSpan* const spans = names_.get();
  char* const block = reinterpret_cast<char*>(block_.get());
  bool damaged = false;
  std::vector<int> cut, open;
  std::size_t nameBytes = 0, lo = std::numeric_limits<std::size_t>::max(), hi = 0;
  for (std::size_t i = 0; i < count; ++i) {
    spans[i] = NameSpan{0, 0};
    if (nameBytes >= kMaxNamesTotal) {
      damaged = true;
      continue;
    }
    const std::int64_t pos = NamePosition(records[i]);
    if (pos < 0 || pos >= fileSize) continue;  // such names read as empty
    if (pos < recordsEnd || pos >= blockEnd) return false;
    // As far as a byte-wise read would look: one byte past the length limit, or the end of the file.
    const std::size_t scan = static_cast<std::size_t>(std::min<std::int64_t>(fileSize - pos, kMaxNameLength + 1));
    const std::size_t inBlock = static_cast<std::size_t>(std::min<std::int64_t>(blockEnd - pos, scan));
    const std::size_t start = static_cast<std::size_t>(pos - 20);
    std::size_t length = FindZeroByte(block + start, inBlock, static_cast<std::size_t>(blockEnd - pos));
    if (length == inBlock && inBlock < scan) return false;
    if (length > kMaxNameLength) {
      length = kMaxNameLength;
      cut.push_back(static_cast<int>(i));
    } else if (length == scan) {
      open.push_back(static_cast<int>(i));  // no end mark before the end of the file
    }
    spans[i] = NameSpan{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(length)};
    nameBytes += length;
    lo = std::min(lo, start);
    hi = std::max(hi, start + length);
  }
  if (hi > lo) Unmask(block + lo, hi - lo);
  nameBase_ = block;
  namesCapped_ = damaged;
  cutNames_ = std::move(cut);
  openNames_ = std::move(open);
  damaged_ = damaged_ || damaged || !cutNames_.empty() || !openNames_.empty();
  return true;
}

// Points every entry's name span at its unmasked name; `blockEnd` is the file
// position where block_ (from position 20) ends.
void TLabReader::FindNames(std::int64_t blockEnd) {
  names_.reset(new NameSpan[count_]);
  if (FindNamesInOrder(blockEnd) || FindNamesInBlock(blockEnd)) return;
  cutNames_.clear();
  openNames_.clear();
  std::int64_t firstName = std::numeric_limits<std::int64_t>::max(), lastName = -1;
  for (std::size_t i = 0; i < count_; ++i) {
    names_[i] = NameSpan{0, 0};
    const std::int64_t pos = NamePosition(records_[i]);
    if (pos < 0 || pos >= stream_.Size()) continue;  // such names read as empty
    firstName = std::min(firstName, pos);
    lastName = std::max(lastName, pos);
  }
  if (lastName < 0) return;

  // Usually every name lies in one modest span (the names table), read with
  // the directory or else in one piece of its own, unmasked in one pass.
  const std::int64_t recordsEnd = 20 + static_cast<std::int64_t>(count_) * 16;
  const std::int64_t windowEnd = std::min(stream_.Size(), lastName + static_cast<std::int64_t>(kMaxNameLength) + 1);
  char* window = nullptr;
  std::size_t windowSize = 0;
  if (firstName >= recordsEnd && windowEnd <= blockEnd) {
    window = reinterpret_cast<char*>(block_.get() + (firstName - 20));
    windowSize = static_cast<std::size_t>(windowEnd - firstName);
  } else if (windowEnd - firstName <= kNameWindowLimit) {
    nameWindow_.reset(new char[static_cast<std::size_t>(windowEnd - firstName)]);
    window = nameWindow_.get();
    windowSize = stream_.ReadAt(firstName, window, static_cast<std::size_t>(windowEnd - firstName));
  }
  if (window) {
    Unmask(window, windowSize);
    nameBase_ = window;
    std::size_t nameBytes = 0;
    for (std::size_t i = 0; i < count_; ++i) {
      if (nameBytes >= kMaxNamesTotal) {
        NoteCapped();
        continue;
      }
      const std::int64_t pos = NamePosition(records_[i]);
      if (pos < firstName || pos >= firstName + static_cast<std::int64_t>(windowSize)) continue;
      NameEnd how = NameEnd::Ended;
      NameSpan& e = names_[i];
      e.start = static_cast<std::uint32_t>(pos - firstName);
      e.length = static_cast<std::uint32_t>(UnmaskedNameLength(window + e.start, windowSize - e.start, how));
      NoteName(i, how);
      nameBytes += e.length;
    }
    return;
  }
  NameSource names(stream_);
  for (std::size_t i = 0; i < count_; ++i) {
    NameSpan& e = names_[i];
    e.start = static_cast<std::uint32_t>(nameBlock_.size());
    if (nameBlock_.size() >= kMaxNamesTotal) {
      NoteCapped();
      continue;
    }
    NameEnd how = NameEnd::Ended;
    e.length = static_cast<std::uint32_t>(names.Read(NamePosition(records_[i]), nameBlock_, how));
    NoteName(i, how);
  }
  nameBase_ = nameBlock_.data();
}

void TLabReader::Close() {
  stream_.Close();
  block_.reset();
  records_ = nullptr;
  count_ = 0;
  names_.reset();
  nameWindow_.reset();
  nameBlock_.clear();
  nameBlock_.shrink_to_fit();
  nameBase_ = "";
  std::fill(std::begin(header_), std::end(header_), 0u);
  namesBase_ = 0;
  damaged_ = false;
  headerShort_ = false;
  namesCapped_ = false;
  cutNames_.clear();
  openNames_.clear();
}

void TLabReader::NoteName(std::size_t index, NameEnd how) {
  if (how == NameEnd::Ended) return;
  (how == NameEnd::Cut ? cutNames_ : openNames_).push_back(static_cast<int>(index));
  damaged_ = true;
}

void TLabReader::NoteCapped() {
  namesCapped_ = true;
  damaged_ = true;
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

bool TLabReader::EntryMissing(int index) const {
  const TFileHeader& h = GetHeader(index);
  return h.Size > 0 && (h.Offset < 0 || h.Offset >= stream_.Size());
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
  for (std::size_t i = 0; i < count_; ++i) {
    const NameSpan& e = names_[i];
    if (e.length != wanted.size()) continue;
    const char* n = nameBase_ + e.start;
    if (std::equal(wanted.begin(), wanted.end(), n, [&](char w, char c) { return w == fold(c); }))
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace vld
