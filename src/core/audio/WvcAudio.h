#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/common/ByteReader.h"
#include "core/common/Bytes.h"
#include "core/common/EntryNames.h"

namespace vld {

// Container limits: a WVC entry lists 1..1024 blocks and 1..3 codec names.
inline constexpr std::size_t kMaxWvcBlocks = 1024;
inline constexpr std::size_t kMaxWvcNames = 3;
// Each codec name is counted as 5 bytes of the name list's size field.
inline constexpr std::size_t kWvcNameListUnit = 5;
// Codes are at least 4 bits for 2 output bytes, so no ADPCM block can honestly produce
// more than 4 output bytes per stored byte; larger claims are damage, refused before
// anything is allocated.
inline constexpr std::uint64_t kMaxWvcExpansion = 4;
// The assembled WAVE file of one entry is capped at 1 GiB.
inline constexpr std::uint64_t kMaxWvcOutput = 1ull << 30;

inline constexpr int kWvcMaxIndex = 88;
inline constexpr std::uint8_t kWvcCodecStored = 0;
inline constexpr std::uint8_t kWvcCodecAdpcm = 1;

// The decoder's fixed tables, built once for the program.
struct TWvcTables {
  std::array<std::uint16_t, kWvcMaxIndex + 1> step;                   // the IMA ADPCM step sizes
  std::array<std::uint8_t, kWvcMaxIndex + 1> width;                   // code width (4..7) by step index
  std::array<std::array<std::uint16_t, 64>, kWvcMaxIndex + 1> delta;  // sums of shifted steps by 6-bit pattern
  std::array<std::array<std::int8_t, 64>, 8> indexChange;             // [code width][magnitude]
};
const TWvcTables& WvcTables();

// One channel's decoder state, and what one code does to it. The sample encoder runs
// the same functions, so that its predictions match the decoder exactly.
struct TWvcChannel {
  int index = 0;  // 0..88
  int value = 0;  // -32768..32767

  static bool IsEscape(int width, unsigned code) {
    unsigned mask = (1u << (width - 1)) - 1;
    return (code & mask) == mask;
  }
  // The signed change an ordinary (non-escape) code of `width` bits makes at `index`.
  static int Delta(const TWvcTables& t, int index, int width, unsigned code) {
    unsigned magnitude = code & ((1u << (width - 1)) - 1);
    int delta = t.delta[index][magnitude << (7 - width)];
    if (magnitude != 0) delta += t.step[index] >> (width - 1);
    return code & (1u << (width - 1)) ? -delta : delta;
  }
  // The step index after any code, the escape included.
  static int NextIndex(const TWvcTables& t, int index, int width, unsigned code) {
    return std::clamp(index + t.indexChange[width][code & ((1u << (width - 1)) - 1)], 0, kWvcMaxIndex);
  }
  void Apply(const TWvcTables& t, int width, unsigned code) {
    value = std::clamp(value + Delta(t, index, width, code), -32768, 32767);
    index = NextIndex(t, index, width, code);
  }
  // The escape code: the 16-bit value behind it replaces the value.
  void Escape(const TWvcTables& t, int width, std::int16_t newValue) {
    value = newValue;
    index = NextIndex(t, index, width, (1u << (width - 1)) - 1);
  }
};

// Reads a 4-byte big-endian block-table field; echoes its bytes as "%02X. %02X. %02X. %02X"
// to `memo` (the viewer's hidden memo) when one is given.
std::uint32_t ReadBigEndian32(ByteReader& reader, const LogFn& memo);
// Reads bytes up to and including a zero byte and returns them without it.
std::string ReadZString(ByteReader& reader);

// Decodes one ADPCM block into `output`, frames of interleaved signed 16-bit little-endian
// samples; bytes after the last whole frame are set to zero. Code bits read past the end of
// `stored` are zero. Throws VldError for a block shorter than its header or with a start
// index above 88.
void DecodeWvcBlock(ByteSpan stored, std::span<std::uint8_t> output);

// Reassembles the WAVE file held in a WVC entry's blocks. Stored blocks are copied as
// stored (their stored size counts), ADPCM blocks decoded to their output size, blocks of
// other codecs dropped. Throws VldError for an empty entry (kEmptyEntryRefusal) and for
// damaged or out-of-limit containers.
Bytes ConvertWvcToWav(ByteSpan entry, const LogFn& memo = {});

}  // namespace vld
