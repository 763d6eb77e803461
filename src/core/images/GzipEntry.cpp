#include "core/images/GzipEntry.h"

#include <zlib.h>
#ifdef VLD_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <atomic>
#include <cstring>
#include <string>

#include "core/common/ByteReader.h"
#include "core/common/Errors.h"

namespace vld {

namespace {

constexpr std::uint8_t kFlagHeaderCrc = 0x02;
constexpr std::uint8_t kFlagExtra = 0x04;
constexpr std::uint8_t kFlagName = 0x08;
constexpr std::uint8_t kFlagComment = 0x10;
constexpr std::size_t kFixedHeaderSize = 10;
constexpr std::size_t kTrailerSize = 8;

// Where the deflate data begins. Without the gzip signature the header is
// taken as the fixed ten bytes and not examined further.
std::size_t DeflateDataOffset(ByteSpan entry) {
  if (!IsGzipMember(entry)) return kFixedHeaderSize;
  ByteReader header(entry.first(entry.size() - kTrailerSize), "compressed entry's header");
  header.Seek(3);
  std::uint8_t flags = header.U8();
  header.Seek(kFixedHeaderSize);
  if (flags & kFlagExtra) header.Skip(header.U16LE());
  if (flags & kFlagName) header.ZString();
  if (flags & kFlagComment) header.ZString();
  if (flags & kFlagHeaderCrc) header.Skip(2);
  return header.Pos();
}

}  // namespace

bool IsGzipMember(ByteSpan entry) { return entry.size() >= 2 && entry[0] == 0x1F && entry[1] == 0x8B; }

namespace {

// Checks the member and fills in where its data begins and what it claims.
TInflateReport ExamineMember(ByteSpan entry) {
  if (entry.size() < kGzipMinimumSize)
    throw VldError("The compressed entry is only " + std::to_string(entry.size()) +
                   " bytes long, too short to hold a gzip header and trailer.");
  TInflateReport info;
  info.dataOffset = DeflateDataOffset(entry);
  info.declaredLength = ByteReader::LoadU32LE(entry.data() + entry.size() - 4);
  const std::uint64_t deflateSize = entry.size() - kTrailerSize - info.dataOffset;
  if (info.declaredLength > kMaxInflatedSize)
    throw VldError("The compressed entry claims to unpack to " + std::to_string(info.declaredLength) +
                   " bytes; entries above " + std::to_string(kMaxInflatedSize) + " bytes are refused.");
  if (info.declaredLength > (deflateSize + 1) * kMaxDeflateRatio)
    throw VldError("The compressed entry claims to unpack to " + std::to_string(info.declaredLength) +
                   " bytes, more than its " + std::to_string(deflateSize) +
                   " bytes of compressed data can hold; it is damaged.");
  return info;
}

// One raw zlib inflate call over the deflate data into out (declaredLength bytes).
void ZlibInflateInto(ByteSpan entry, std::uint8_t* out, TInflateReport& info) {
  std::uint8_t spare = 0;
  z_stream zs{};
  if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) throw VldError("Cannot start the decompressor (out of memory).");
  // The CRC-32 stays in the input, as deflate stops before it anyway.
  zs.next_in = const_cast<Bytef*>(entry.data() + info.dataOffset);
  zs.avail_in = static_cast<uInt>(entry.size() - 4 - info.dataOffset);
  zs.next_out = info.declaredLength ? out : &spare;  // zlib wants a real pointer even for no room
  zs.avail_out = info.declaredLength;
  const int result = inflate(&zs, Z_FINISH);
  info.produced = zs.total_out;
  const bool outputFull = zs.avail_out == 0;
  inflateEnd(&zs);

  if (result == Z_MEM_ERROR) throw VldError("Not enough memory to decompress the entry.");
  info.streamEnded = result == Z_STREAM_END;
  // A full output buffer only means the trailer asked for less than the data holds.
  info.damaged = !info.streamEnded && !(result == Z_BUF_ERROR && outputFull);
}

std::atomic<TInflater> gInflater{TInflater::Fast};

#ifdef VLD_HAVE_LIBDEFLATE
// One whole-buffer libdeflate call. True only when the stream ends within the
// trailer's length and what it yields matches the trailer's CRC-32; anything
// else (damage, a trailer that asks for less than the data holds, a stream the
// two libraries might read differently) is left to zlib, whose partial
// results are the rule.
bool FastInflateInto(ByteSpan entry, std::uint8_t* out, TInflateReport& info) {
  struct Free {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
  };
  // One decompressor per thread: not free to build, and not shareable.
  thread_local std::unique_ptr<libdeflate_decompressor, Free> decompressor(libdeflate_alloc_decompressor());
  if (!decompressor || info.declaredLength == 0) return false;
  std::size_t produced = 0;
  if (libdeflate_deflate_decompress(decompressor.get(), entry.data() + info.dataOffset,
                                    entry.size() - kTrailerSize - info.dataOffset, out, info.declaredLength,
                                    &produced) != LIBDEFLATE_SUCCESS)
    return false;
  const std::uint32_t crc = ByteReader::LoadU32LE(entry.data() + entry.size() - kTrailerSize);
  if (libdeflate_crc32(0, out, produced) != crc) return false;
  info.produced = produced;
  info.streamEnded = true;
  info.damaged = false;
  return true;
}
#endif

// Inflates the deflate data into out (declaredLength bytes, zeroed or not as
// the caller chose).
void InflateInto(ByteSpan entry, std::uint8_t* out, TInflateReport& info) {
#ifdef VLD_HAVE_LIBDEFLATE
  if (gInflater.load(std::memory_order_relaxed) == TInflater::Fast) {
    if (FastInflateInto(entry, out, info)) return;
    // A refused attempt may have written anything; zlib's partial result must
    // be followed by zeros, as without the attempt.
    // (An empty output has no buffer at all.)
    if (info.declaredLength > 0) std::memset(out, 0, info.declaredLength);
  }
#endif
  ZlibInflateInto(entry, out, info);
}

}  // namespace

Bytes GzipCompress(ByteSpan header, ByteSpan data, int level) {
  Bytes out(header.begin(), header.end());
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw VldError("Cannot start the compressor.");
  const std::size_t headerSize = out.size();
  out.resize(headerSize + deflateBound(&zs, static_cast<uLong>(data.size())));
  std::uint8_t spare = 0;
  zs.next_in = data.empty() ? &spare : const_cast<Bytef*>(data.data());
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = out.data() + headerSize;
  zs.avail_out = static_cast<uInt>(out.size() - headerSize);
  const int result = deflate(&zs, Z_FINISH);
  const std::size_t produced = zs.total_out;
  deflateEnd(&zs);
  if (result != Z_STREAM_END) throw VldError("Compression failed.");
  out.resize(headerSize + produced);
  PutU32LE(out,
           static_cast<std::uint32_t>(crc32(0, data.empty() ? &spare : data.data(), static_cast<uInt>(data.size()))));
  PutU32LE(out, static_cast<std::uint32_t>(data.size()));
  return out;
}

Bytes RewriteGzipMember(ByteSpan like, ByteSpan data) {
  if (!IsGzipMember(like) || like.size() < kGzipMinimumSize)
    throw VldError("The entry to imitate is not a gzip member.");
  const std::size_t headerSize = DeflateDataOffset(like);
  constexpr std::size_t kExtraFlags = 8;
  const int level = like[kExtraFlags] == 2 ? 9 : like[kExtraFlags] == 4 ? 1 : Z_DEFAULT_COMPRESSION;
  return GzipCompress(like.first(headerSize), data, level);
}

void SetInflater(TInflater inflater) { gInflater.store(inflater); }
TInflater CurrentInflater() { return gInflater.load(); }
bool HaveLibdeflate() {
#ifdef VLD_HAVE_LIBDEFLATE
  return true;
#else
  return false;
#endif
}

Bytes InflateGzipEntry(ByteSpan entry, TInflateReport* report) {
  TInflateReport info = ExamineMember(entry);
  // Zero-initialised, so that whatever damaged data does not yield reads as zero.
  Bytes out(info.declaredLength);
  InflateInto(entry, out.data(), info);
  if (info.streamEnded) out.resize(info.produced);
  if (report) *report = info;
  return out;
}

TInflatedBuffer InflateGzipBuffer(ByteSpan entry, TInflateReport* report) {
  TInflateReport info = ExamineMember(entry);
  TInflatedBuffer out;
  out.data.reset(new std::uint8_t[info.declaredLength]);
  InflateInto(entry, out.data.get(), info);
  out.size = info.streamEnded ? info.produced : info.declaredLength;
  if (info.produced < out.size) std::memset(out.data.get() + info.produced, 0, out.size - info.produced);
  if (report) *report = info;
  return out;
}

}  // namespace vld
