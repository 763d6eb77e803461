#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/audio/AifAudio.h"
#include "core/audio/WaveFile.h"
#include "core/common/Bytes.h"

namespace vld::samples {

// Interleaved signed 16-bit sound, the material of the sound samples.
using TPcm16 = vld::TPcm16;

// Sounds that are recognisable by ear (and by their spectrum in tests).
// A chord of the given frequencies with a soft attack and a long decay; in stereo the
// voices are spread from left to right.
TPcm16 ChordSound(std::uint32_t sampleRate, std::uint16_t channels, double seconds, const std::vector<double>& hertz);
// A sine gliding exponentially from `fromHertz` to `toHertz`, faded in and out.
TPcm16 SweepSound(std::uint32_t sampleRate, double seconds, double fromHertz, double toHertz);
// A buzzing glottal pulse train with a falling pitch contour, shaped by vowel formants
// that move from syllable to syllable: it sounds like someone speaking a short line.
TPcm16 VoiceSound(std::uint32_t sampleRate, double seconds);

// A chunk of an AIFF file other than COMM and SSND.
struct TAifChunk {
  std::string id;  // 4 characters
  Bytes payload;
};
// A MARK chunk with one marker at `frame` called `name`.
TAifChunk MarkerChunk(std::uint32_t frame, const std::string& name);
// A text chunk ("NAME", "AUTH", "ANNO" or "(c) "); odd-length text gives an odd chunk size.
TAifChunk TextChunk(const std::string& id, const std::string& text);

// Everything an AIFF file built here says.
struct TAifSpec {
  std::uint16_t channels = 1;
  std::uint32_t frames = 0;  // 0: computed from the sample bytes
  std::uint16_t bitsPerSample = 16;
  std::uint32_t sampleRate = 22050;
  std::optional<std::array<std::uint8_t, 10>> rawRate;  // overrides sampleRate (bad values)
  Bytes sampleBytes;                                    // big-endian samples, exactly as the SSND chunk stores them
  std::uint32_t ssndOffset = 0;                         // filler bytes in front of the samples inside SSND
  std::uint32_t ssndBlockSize = 0;
  std::optional<std::uint32_t> ssndSize;  // overrides the SSND size field (damaged files)
  std::vector<TAifChunk> beforeComm, beforeSsnd, afterSsnd;
  bool padOddChunks = true;  // write the standard pad byte after odd-sized chunks
  bool omitComm = false;
  bool omitSsnd = false;
};

// The AIFF file: FORM header, the chunks before COMM, COMM, the chunks before SSND,
// SSND, the chunks after it.
Bytes BuildAif(const TAifSpec& layout);
// A 16-bit AIFF file of the sound, COMM first and SSND right behind it.
Bytes BuildAif(const TPcm16& pcm);
// Spec for a 16-bit sound (for tests that then add chunks or damage).
TAifSpec AifSpecFor(const TPcm16& pcm);

// Big-endian sample bytes as an AIFF file stores them.
Bytes AifSamples8(std::span<const std::int8_t> samples);
Bytes AifSamples16(std::span<const std::int16_t> samples);
Bytes AifSamples24(std::span<const std::int32_t> samples);  // each in -2^23 .. 2^23-1

using vld::Extended80;

}  // namespace vld::samples
