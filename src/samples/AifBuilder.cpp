#include "samples/AifBuilder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace vld::samples {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Scales float samples so that the loudest reaches `peak` of full scale.
std::vector<std::int16_t> ToPcm16(const std::vector<double>& in, double peak) {
  double loudest = 0;
  for (double v : in) loudest = std::max(loudest, std::abs(v));
  double gain = loudest > 0 ? peak * 32767 / loudest : 0;
  std::vector<std::int16_t> out(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) out[i] = static_cast<std::int16_t>(std::lround(in[i] * gain));
  return out;
}

double Fade(double t, double seconds, double fade) { return std::clamp(std::min(t, seconds - t) / fade, 0.0, 1.0); }

// A two-pole resonator, the classic formant filter.
struct TResonator {
  double y1 = 0, y2 = 0;
  double Run(double x, double hertz, double bandwidth, double rate) {
    double r = std::exp(-std::numbers::pi * bandwidth / rate);
    double b = 2 * r * std::cos(kTwoPi * hertz / rate);
    double c = -r * r;
    double y = (1 - b - c) * x + b * y1 + c * y2;
    y2 = y1;
    y1 = y;
    return y;
  }
};

// The glottal flow over one pitch period: a smooth opening, a quicker closing, then rest.
double GlottalFlow(double phase) {
  constexpr double kOpen = 0.4, kClose = 0.16;
  if (phase < kOpen) return 0.5 * (1 - std::cos(std::numbers::pi * phase / kOpen));
  if (phase < kOpen + kClose) return std::cos(std::numbers::pi / 2 * (phase - kOpen) / kClose);
  return 0;
}

void PutChunk(Bytes& out, const std::string& id, std::uint32_t size, ByteSpan payload, bool pad) {
  PutText(out, id.substr(0, 4));
  PutU32BE(out, size);
  out.insert(out.end(), payload.begin(), payload.end());
  if (pad && payload.size() % 2 == 1) out.push_back(0);
}

void PutChunk(Bytes& out, const TAifChunk& chunk, bool pad) {
  PutChunk(out, chunk.id, static_cast<std::uint32_t>(chunk.payload.size()), chunk.payload, pad);
}

}  // namespace

TPcm16 ChordSound(std::uint32_t sampleRate, std::uint16_t channels, double seconds, const std::vector<double>& hertz) {
  std::size_t frames = static_cast<std::size_t>(seconds * sampleRate);
  std::vector<double> mix(frames * channels, 0.0);
  for (std::size_t v = 0; v < hertz.size(); ++v) {
    double pan = (v + 0.5) / hertz.size() * std::numbers::pi / 2;
    double gains[2] = {channels == 2 ? std::cos(pan) : 1.0, std::sin(pan)};
    for (std::size_t i = 0; i < frames; ++i) {
      double t = double(i) / sampleRate;
      double envelope = std::min(1.0, t / 0.02) * std::exp(-3 * t / seconds) * Fade(t, seconds, 0.05);
      // A few harmonics make it sound like a plucked instrument rather than test tones.
      double x = 0;
      for (int h = 1; h <= 4; ++h) x += std::sin(kTwoPi * hertz[v] * h * t) / (h * h);
      for (std::uint16_t c = 0; c < channels; ++c) mix[i * channels + c] += gains[c] * envelope * x;
    }
  }
  return TPcm16{channels, sampleRate, ToPcm16(mix, 0.7)};
}

TPcm16 SweepSound(std::uint32_t sampleRate, double seconds, double fromHertz, double toHertz) {
  std::size_t frames = static_cast<std::size_t>(seconds * sampleRate);
  double ratio = std::log(toHertz / fromHertz);
  std::vector<double> out(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    double t = double(i) / sampleRate;
    double phase = kTwoPi * fromHertz * seconds / ratio * (std::exp(ratio * t / seconds) - 1);
    out[i] = std::sin(phase) * Fade(t, seconds, 0.03);
  }
  return TPcm16{1, sampleRate, ToPcm16(out, 0.6)};
}

TPcm16 VoiceSound(std::uint32_t sampleRate, double seconds) {
  struct TVowel {
    double f1, f2, f3;
  };
  static const TVowel kVowels[] = {
      {730, 1090, 2440}, {530, 1840, 2480}, {270, 2290, 3010}, {570, 840, 2410}, {300, 870, 2240}};
  constexpr double kSyllable = 0.3;
  std::size_t frames = static_cast<std::size_t>(seconds * sampleRate);
  std::vector<double> out(frames);
  TResonator formants[3];
  double phase = 0, previousFlow = 0;
  std::uint32_t noise = 12345;
  for (std::size_t i = 0; i < frames; ++i) {
    double t = double(i) / sampleRate;
    int syllable = static_cast<int>(t / kSyllable);
    double within = t / kSyllable - syllable;
    // Vowels glide into the next one over the last third of a syllable.
    const TVowel& a = kVowels[syllable % 5];
    const TVowel& b = kVowels[(syllable + 1) % 5];
    double glide = std::clamp((within - 0.67) / 0.33, 0.0, 1.0);
    double f[3] = {a.f1 + (b.f1 - a.f1) * glide, a.f2 + (b.f2 - a.f2) * glide, a.f3 + (b.f3 - a.f3) * glide};
    // Falling declination with a rise on every stressed syllable.
    double pitch = 150 - 40 * t / seconds + 18 * std::sin(std::numbers::pi * within) * (syllable % 2 == 0);
    phase += pitch / sampleRate;
    phase -= std::floor(phase);
    double flow = GlottalFlow(phase);
    noise = noise * 1664525u + 1013904223u;
    double breath = (double(noise >> 8) / double(1u << 24) - 0.5) * 0.03;
    double x = (flow - previousFlow) + breath;  // lip radiation differentiates the flow
    previousFlow = flow;
    static const double kBandwidths[3] = {70, 100, 130};
    for (int k = 0; k < 3; ++k) x = formants[k].Run(x, f[k], kBandwidths[k], sampleRate);
    double envelope = std::pow(std::sin(std::numbers::pi * std::min(within / 0.9, 1.0)), 0.5);
    out[i] = x * envelope * Fade(t, seconds, 0.02);
  }
  return TPcm16{1, sampleRate, ToPcm16(out, 0.6)};
}

TAifChunk MarkerChunk(std::uint32_t frame, const std::string& name) {
  TAifChunk chunk{"MARK", {}};
  PutU16BE(chunk.payload, 1);  // number of markers
  PutU16BE(chunk.payload, 1);  // marker id
  PutU32BE(chunk.payload, frame);
  // Pascal string, padded to an even total length.
  chunk.payload.push_back(static_cast<std::uint8_t>(name.size()));
  PutText(chunk.payload, name);
  if (name.size() % 2 == 0) chunk.payload.push_back(0);
  return chunk;
}

TAifChunk TextChunk(const std::string& id, const std::string& text) {
  return TAifChunk{id, Bytes(text.begin(), text.end())};
}

Bytes BuildAif(const TAifSpec& layout) {
  Bytes body;
  PutText(body, "AIFF");
  for (const TAifChunk& chunk : layout.beforeComm) PutChunk(body, chunk, layout.padOddChunks);
  if (!layout.omitComm) {
    std::uint32_t frameBytes = layout.channels * ((layout.bitsPerSample + 7u) / 8u);
    Bytes comm;
    PutU16BE(comm, layout.channels);
    PutU32BE(comm, layout.frames ? layout.frames
                   : frameBytes  ? std::uint32_t(layout.sampleBytes.size() / frameBytes)
                                 : 0);
    PutU16BE(comm, layout.bitsPerSample);
    auto rate = layout.rawRate ? *layout.rawRate : Extended80(layout.sampleRate);
    comm.insert(comm.end(), rate.begin(), rate.end());
    PutChunk(body, "COMM", static_cast<std::uint32_t>(comm.size()), comm, layout.padOddChunks);
  }
  for (const TAifChunk& chunk : layout.beforeSsnd) PutChunk(body, chunk, layout.padOddChunks);
  if (!layout.omitSsnd) {
    Bytes ssnd;
    PutU32BE(ssnd, layout.ssndOffset);
    PutU32BE(ssnd, layout.ssndBlockSize);
    ssnd.insert(ssnd.end(), layout.ssndOffset, 0xA5);  // filler a reader must skip, not play
    ssnd.insert(ssnd.end(), layout.sampleBytes.begin(), layout.sampleBytes.end());
    PutChunk(body, "SSND", layout.ssndSize.value_or(static_cast<std::uint32_t>(ssnd.size())), ssnd,
             layout.padOddChunks);
  }
  for (const TAifChunk& chunk : layout.afterSsnd) PutChunk(body, chunk, layout.padOddChunks);

  Bytes file;
  PutText(file, "FORM");
  PutU32BE(file, static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

TAifSpec AifSpecFor(const TPcm16& pcm) {
  TAifSpec layout;
  layout.channels = pcm.channels;
  layout.sampleRate = pcm.sampleRate;
  layout.bitsPerSample = 16;
  layout.sampleBytes = AifSamples16(pcm.samples);
  return layout;
}

Bytes BuildAif(const TPcm16& pcm) { return BuildAif(AifSpecFor(pcm)); }

Bytes AifSamples8(std::span<const std::int8_t> samples) {
  return Bytes(reinterpret_cast<const std::uint8_t*>(samples.data()),
               reinterpret_cast<const std::uint8_t*>(samples.data()) + samples.size());
}

Bytes AifSamples16(std::span<const std::int16_t> samples) {
  Bytes out;
  out.reserve(samples.size() * 2);
  for (std::int16_t s : samples) PutU16BE(out, static_cast<std::uint16_t>(s));
  return out;
}

Bytes AifSamples24(std::span<const std::int32_t> samples) {
  Bytes out;
  out.reserve(samples.size() * 3);
  for (std::int32_t s : samples)
    for (int shift = 16; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(std::uint32_t(s) >> shift));
  return out;
}

}  // namespace vld::samples
