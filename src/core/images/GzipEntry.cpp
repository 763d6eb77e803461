#include "core/images/GzipEntry.h"

#include <zlib.h>

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

Bytes InflateGzipEntry(ByteSpan entry, TInflateReport* report) {
  if (entry.size() < kGzipMinimumSize)
    throw VldError("The compressed entry is only " + std::to_string(entry.size()) +
                   " bytes long, too short to hold a gzip header and trailer.");
  TInflateReport info;
  info.dataOffset = DeflateDataOffset(entry);
  info.declaredLength = ByteReader::LoadU32LE(entry.data() + entry.size() - 4);

  // The CRC-32 stays in the input, as deflate stops before it anyway.
  const std::size_t inputSize = entry.size() - 4 - info.dataOffset;
  const std::uint64_t deflateSize = entry.size() - kTrailerSize - info.dataOffset;
  if (info.declaredLength > kMaxInflatedSize)
    throw VldError("The compressed entry claims to unpack to " + std::to_string(info.declaredLength) +
                   " bytes; entries above " + std::to_string(kMaxInflatedSize) + " bytes are refused.");
  if (info.declaredLength > (deflateSize + 1) * kMaxDeflateRatio)
    throw VldError("The compressed entry claims to unpack to " + std::to_string(info.declaredLength) +
                   " bytes, more than its " + std::to_string(deflateSize) +
                   " bytes of compressed data can hold; it is damaged.");

  // Zero-initialised, so that whatever damaged data does not yield reads as zero.
  Bytes out(info.declaredLength);
  std::uint8_t spare = 0;
  z_stream zs{};
  if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) throw VldError("Cannot start the decompressor (out of memory).");
  zs.next_in = const_cast<Bytef*>(entry.data() + info.dataOffset);
  zs.avail_in = static_cast<uInt>(inputSize);
  zs.next_out = out.empty() ? &spare : out.data();  // zlib wants a real pointer even for no room
  zs.avail_out = static_cast<uInt>(out.size());
  int result = inflate(&zs, Z_FINISH);
  const uLong produced = zs.total_out;
  const bool outputFull = zs.avail_out == 0;
  inflateEnd(&zs);

  if (result == Z_MEM_ERROR) throw VldError("Not enough memory to decompress the entry.");
  info.produced = produced;
  info.streamEnded = result == Z_STREAM_END;
  // A full output buffer only means the trailer asked for less than the data holds.
  info.damaged = !info.streamEnded && !(result == Z_BUF_ERROR && outputFull);
  if (info.streamEnded) out.resize(produced);
  if (report) *report = info;
  return out;
}

}  // namespace vld
