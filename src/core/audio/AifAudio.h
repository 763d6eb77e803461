#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/audio/WaveFile.h"

#include "core/common/Bytes.h"
#include "core/common/MemoryStream.h"

namespace vld {

// Size of the RIFF/WAVE header written in front of PCM data.
inline constexpr std::size_t kWaveHeaderSize = 44;

// Largest data chunk a WAVE file can describe: its RIFF size field (36 + N) is 32 bits.
inline constexpr std::uint64_t kMaxWaveDataSize = 0xFFFFFFFFull - 36;

// The 44-byte PCM WAVE header for `dataSize` bytes of samples.
Bytes BuildWaveHeader(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                      std::uint32_t dataSize);

// What an AIFF COMM chunk says about the sound.
struct TAifFormat {
  std::uint16_t channels = 0;
  std::uint32_t frames = 0;  // informative only; the SSND chunk decides how much is converted
  std::uint16_t bitsPerSample = 0;
  std::uint32_t sampleRate = 0;  // whole hertz
};

// An IEEE 754 80-bit extended number (10 bytes, big-endian) rounded to whole hertz.
// Throws VldError for values that are no usable sample rate (negative, zero, infinite,
// not a number, or beyond 32 bits).
std::uint32_t ExtendedToHertz(ByteSpan tenBytes);

// The COMM chunk of an AIFF file, found by walking its chunks.
TAifFormat ReadAifFormat(ByteSpan entry);

// One chunk of an AIFF file: where its id is, where its payload starts, the
// size it claims, and where the next chunk starts.
struct TAifChunkRef {
  std::size_t start = 0;
  std::size_t payload = 0;
  std::uint32_t size = 0;
  std::size_t next = 0;
};
// The chunks from offset 12 on, as the converter walks them; a chunk claiming
// more than is left ends the list and its description goes to `damage`.
std::vector<TAifChunkRef> ListAifChunks(ByteSpan entry, std::string* damage = nullptr);

// The IEEE 754 80-bit extended form of a whole, positive number.
std::array<std::uint8_t, 10> Extended80(std::uint64_t value);

// The sound as an AIFF file in the layout of `like`, the AIF sound it replaces:
// its form type, every other chunk in its place, the SSND chunk's offset,
// block size and filler, and whatever follows the last chunk; extra COMM
// fields are kept behind the four this writes. Without `like`, COMM and SSND
// alone. Throws VldError when `like` is not an AIFF file.
Bytes EncodeAifLike(const TWaveSound& sound, ByteSpan like);

// Converts the bytes of an AIFF sound into a complete RIFF/WAVE file. Samples of 8 bits
// become WAVE's unsigned bytes, 16/24/32-bit samples are byte-reversed per sample; the
// SSND chunk's offset and block-size fields are not part of the samples. Throws VldError
// for entries that are not convertible (no COMM or SSND chunk, unsupported sample size,
// damaged sizes).
Bytes ConvertAifToWav(ByteSpan entry);
// The same WAVE file written into `out` piece by piece, never whole in memory.
void ConvertAifToWav(ByteSpan entry, TByteSink& out);

}  // namespace vld
