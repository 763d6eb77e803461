#pragma once

#include <cstdint>
#include <vector>

#include "core/common/Bytes.h"

namespace vld {

// Interleaved signed 16-bit sound.
struct TPcm16 {
  std::uint16_t channels = 1;
  std::uint32_t sampleRate = 22050;
  std::vector<std::int16_t> samples;  // frame by frame, channel 0 first
  std::size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

// The PCM sound of a RIFF/WAVE file.
struct TWaveSound {
  std::uint16_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint16_t bitsPerSample = 0;  // 8, 16, 24 or 32
  Bytes samples;                    // as the file stores them: little-endian, 8-bit unsigned
};

// Reads an uncompressed PCM WAVE file (format 1, or the extensible format
// holding PCM). Throws VldError naming what to change for anything else.
TWaveSound ReadWaveFile(ByteSpan wav);
// The sound as 16-bit samples of one or two channels, as WVC voice holds
// them. Throws VldError for other sample sizes and channel counts.
TPcm16 WaveToPcm16(const TWaveSound& sound);

}  // namespace vld
