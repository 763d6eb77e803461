#pragma once

#include <cstdint>

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

// Converts the bytes of an AIFF sound into a complete RIFF/WAVE file. Samples of 8 bits
// become WAVE's unsigned bytes, 16/24/32-bit samples are byte-reversed per sample; the
// SSND chunk's offset and block-size fields are not part of the samples. Throws VldError
// for entries that are not convertible (no COMM or SSND chunk, unsupported sample size,
// damaged sizes).
Bytes ConvertAifToWav(ByteSpan entry);
// The same WAVE file written into `out` piece by piece, never whole in memory.
void ConvertAifToWav(ByteSpan entry, TByteSink& out);

}  // namespace vld
