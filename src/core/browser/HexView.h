#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "core/bundle/FileStream.h"
#include "core/common/Bytes.h"

namespace vld {

class TLabReader;

constexpr int kHexBytesPerLine = 16;
// Find reads this much at a time (plus the pattern's length less one, so that
// a match across the border of two pieces is found).
constexpr std::size_t kFindChunk = 1u << 20;

// What a hex view shows: the bytes that exist and a thread-safe way to read
// them by offset within the region.
struct THexSource {
  std::int64_t size = 0;          // bytes that can be shown
  std::int64_t declaredSize = 0;  // what the directory announces (more when the file ends first)
  std::function<std::size_t(std::int64_t offset, void* dest, std::size_t n)> read;
};

// Reads up to n bytes at `offset` within the region [base, base + size) of
// the file, clipped to the region and to the file; returns how many were read.
// Positioned reads only, so any thread may call it.
std::size_t ReadRegionAt(const TFileStream& file, std::int64_t base, std::int64_t size, std::int64_t offset, void* dest,
                         std::size_t n);
// A region of a file read through a handle of its own, so the source stays
// valid when the caller closes or replaces what it has open.
THexSource FileRegionSource(const std::filesystem::path& path, std::int64_t base, std::int64_t size);
// An entry of an open bundle (a negative offset or size shows nothing).
THexSource EntryHexSource(const TLabReader& reader, int index);
// A whole file (a stand-alone animation file).
THexSource WholeFileSource(const std::filesystem::path& path);
// Bytes held in memory (an entry edited but not saved yet).
THexSource BytesHexSource(Bytes bytes);
// Up to n bytes at offset, clipped to the source.
Bytes ReadHexRange(const THexSource& source, std::int64_t offset, std::size_t n);

// Hex digits of the offset column: 8, more when the last offset needs them.
int HexOffsetDigits(std::int64_t size);
// "00000010  4C 41 42 4E 00 ...  01 02 ...  LABN...." : offset, up to 16
// bytes as hex (a gap after the eighth), then the bytes as Latin-1 text with
// unprintable ones as '.'. A short last line keeps the columns aligned. The
// result is Latin-1.
std::string FormatHexLine(std::int64_t offset, ByteSpan bytes, int offsetDigits);

struct TFindResult {
  std::int64_t offset = -1;  // where the match starts; -1 when none
  bool cancelled = false;
};
// Searches [from, end) of the source for the pattern (it must lie wholly
// inside; end < 0 means the source's size). `reached`, when given, follows
// the search; a raised `cancel` stops it before the next piece.
TFindResult FindInSource(const THexSource& source, ByteSpan pattern, std::int64_t from, std::int64_t end = -1,
                         const std::atomic<bool>* cancel = nullptr, std::atomic<std::int64_t>* reached = nullptr,
                         std::size_t chunk = kFindChunk);

enum class FindMode { Text, Bytes };
// The user's Find text as bytes: Latin-1 text as it stands, or hex bytes
// ("4C 41 42 4E", "4c414b4e", "0x4C 0x41"). Throws VldError with a message
// for the user on an empty or malformed text.
Bytes ParseFindPattern(std::string_view text, FindMode mode);
// "0x1F0", "1F0h" (hex) or "496" (decimal); throws VldError otherwise.
std::int64_t ParseOffset(std::string_view text);

}  // namespace vld
