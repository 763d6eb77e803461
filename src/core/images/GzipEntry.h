#pragma once

#include <cstdint>
#include <memory>

#include "core/common/Bytes.h"

namespace vld {

// A gzip member needs at least its 10-byte header and 8-byte trailer.
constexpr std::size_t kGzipMinimumSize = 18;
// Largest uncompressed length accepted from a trailer (128 MiB): more than
// any picture this program builds (see kMaxImagePixels) could need.
constexpr std::uint32_t kMaxInflatedSize = 128u << 20;
// Deflate cannot expand one byte of input into more than 1,032 bytes, so a
// trailer claiming more than that is not real.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// True when the bytes begin with the gzip signature 1F 8B.
bool IsGzipMember(ByteSpan entry);

// What InflateGzipEntry found, for callers that want to tell a clean member
// from a damaged one.
struct TInflateReport {
  std::size_t dataOffset = 0;        // where the deflate data begins in the entry
  std::uint32_t declaredLength = 0;  // the trailer's uncompressed length
  std::size_t produced = 0;          // bytes the deflate data yielded
  bool streamEnded = false;          // the deflate data ended properly
  bool damaged = false;              // the deflate data broke off or was corrupt
};

// Inflates an entry stored as a gzip member (raw deflate between the header and
// the trailer). The result is as long as the data turned out to be when the
// deflate stream ends, otherwise as long as the trailer says: a trailer shorter
// than the data cuts it there, and what damaged data did not yield is zero.
// Optional header fields (extra field, file name, comment, header CRC) are
// skipped. Throws VldError for an entry shorter than 18 bytes, a header running
// into the trailer, or a trailer length above kMaxInflatedSize or above what
// the compressed bytes could possibly hold.
Bytes InflateGzipEntry(ByteSpan entry, TInflateReport* report = nullptr);

// The same result in a buffer that is not zeroed first (only what the data
// does not yield is), for decoders that read the bytes once and drop them.
struct TInflatedBuffer {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size = 0;
  ByteSpan Span() const { return {data.get(), size}; }
};
TInflatedBuffer InflateGzipBuffer(ByteSpan entry, TInflateReport* report = nullptr);

// A gzip member of `data` behind the given header bytes (a complete gzip
// header): raw deflate at `level` (zlib's, with its largest hash memory),
// then CRC-32 and length.
Bytes GzipCompress(ByteSpan header, ByteSpan data, int level);
// `data` compressed as a member with the same header as `like` (name, time,
// flags, extra field and comment all kept), at the level its header's
// extra-flags byte names (2: best, 4: fastest). Throws VldError when `like`
// is not a gzip member.
Bytes RewriteGzipMember(ByteSpan like, ByteSpan data);

// Which inflater the two functions above use. Fast tries libdeflate first (when
// the build has it) and leaves every member it does not decode cleanly to zlib,
// so both give the same bytes; Zlib skips libdeflate, for tests and benchmarks
// that compare the two. Process-wide; the default is Fast.
enum class TInflater { Fast, Zlib };
void SetInflater(TInflater inflater);
TInflater CurrentInflater();
// True when this build can use libdeflate at all.
bool HaveLibdeflate();

}  // namespace vld
