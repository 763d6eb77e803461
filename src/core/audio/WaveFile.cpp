#include "core/audio/WaveFile.h"

#include <string>

#include "core/common/ByteReader.h"
#include "core/common/Errors.h"

namespace vld {

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

bool IdIs(ByteSpan id, const char* text) { return std::equal(text, text + 4, id.begin()); }

}  // namespace

TWaveSound ReadWaveFile(ByteSpan wav) {
  if (wav.size() < 12 || !IdIs(wav.first(4), "RIFF") || !IdIs(wav.subspan(8, 4), "WAVE"))
    throw VldError("This is not a WAV file (it does not start with RIFF....WAVE).");
  ByteReader r(wav, "WAV file");
  r.Seek(12);
  TWaveSound sound;
  bool haveFormat = false, haveData = false;
  while (r.Remaining() >= 8 && !(haveFormat && haveData)) {
    const ByteSpan id = r.Take(4);
    const std::uint32_t size = r.U32LE();
    // A data chunk cut short by the end of the file keeps what is there.
    const ByteSpan body = r.Take(std::min<std::size_t>(size, r.Remaining()));
    if (IdIs(id, "fmt ")) {
      ByteReader f(body, "WAV file's format chunk");
      std::uint16_t format = f.U16LE();
      sound.channels = f.U16LE();
      sound.sampleRate = f.U32LE();
      f.Skip(6);  // byte rate, block align
      sound.bitsPerSample = f.U16LE();
      if (format == kFormatExtensible && body.size() >= 26) {
        f.Seek(24);
        format = f.U16LE();  // the sub-format's first two bytes
      }
      if (format != kFormatPcm)
        throw VldError("The WAV file is compressed (format " + std::to_string(format) +
                       "); save it as uncompressed PCM and try again.");
      haveFormat = true;
    } else if (IdIs(id, "data")) {
      sound.samples.assign(body.begin(), body.end());
      haveData = true;
    }
    if (size % 2 == 1 && r.Remaining() > 0) r.Skip(1);
  }
  if (!haveFormat) throw VldError("The WAV file has no format chunk.");
  if (!haveData) throw VldError("The WAV file has no data chunk.");
  if (sound.channels == 0) throw VldError("The WAV file says it has no channels.");
  if (sound.sampleRate == 0) throw VldError("The WAV file says its sample rate is 0 Hz.");
  if (sound.bitsPerSample != 8 && sound.bitsPerSample != 16 && sound.bitsPerSample != 24 && sound.bitsPerSample != 32)
    throw VldError("The WAV file has " + std::to_string(sound.bitsPerSample) +
                   "-bit samples; save it with 16-bit samples and try again.");
  return sound;
}

TPcm16 WaveToPcm16(const TWaveSound& sound) {
  if (sound.bitsPerSample != 16)
    throw VldError("Compressed voice holds 16-bit samples, and the WAV file has " +
                   std::to_string(sound.bitsPerSample) + "-bit samples; save it with 16-bit samples and try again.");
  if (sound.channels > 2)
    throw VldError("Compressed voice holds one or two channels, and the WAV file has " +
                   std::to_string(sound.channels) + "; save it as mono or stereo and try again.");
  TPcm16 pcm;
  pcm.channels = sound.channels;
  pcm.sampleRate = sound.sampleRate;
  const std::size_t frames = sound.samples.size() / (2u * sound.channels);
  pcm.samples.resize(frames * sound.channels);
  for (std::size_t i = 0; i < pcm.samples.size(); ++i)
    pcm.samples[i] = static_cast<std::int16_t>(sound.samples[2 * i] | (sound.samples[2 * i + 1] << 8));
  return pcm;
}

}  // namespace vld
