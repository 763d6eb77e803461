#include "core/audio/AifAudio.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "core/common/ByteReader.h"
#include "core/common/Errors.h"

namespace vld {

namespace {

// The chunk walk starts behind the 12-byte FORM header.
constexpr std::size_t kFirstChunk = 12;
constexpr std::size_t kChunkHeader = 8;
constexpr std::uint32_t kCommFieldsSize = 18;
constexpr std::uint32_t kSsndFieldsSize = 8;  // offset and block size in front of the samples

struct TChunkRef {
  std::size_t payload = 0;  // entry offset of the chunk's first payload byte
  std::uint32_t size = 0;   // as the chunk header says
};

struct TAifChunks {
  std::optional<TChunkRef> comm;
  std::optional<TChunkRef> ssnd;
  std::string damage;  // why the walk had to stop early, if it did
};

std::string Quoted(ByteSpan id) {
  std::string text;
  for (std::uint8_t c : id) text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  return "\"" + text + "\"";
}

// An id made of printable ASCII, not starting with a space, with room for a chunk header.
bool PlausibleChunkAt(ByteSpan entry, std::size_t pos) {
  if (pos > entry.size() || entry.size() - pos < kChunkHeader) return false;
  if (entry[pos] == ' ') return false;
  return std::all_of(entry.begin() + pos, entry.begin() + pos + 4,
                     [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

bool IdIs(ByteSpan entry, std::size_t pos, const char* id) { return std::equal(id, id + 4, entry.begin() + pos); }

// Walks the chunks from offset 12 and remembers the first COMM and SSND chunk.
TAifChunks WalkAifChunks(ByteSpan entry) {
  TAifChunks found;
  for (const TAifChunkRef& chunk : ListAifChunks(entry, &found.damage)) {
    if (IdIs(entry, chunk.start, "COMM") && !found.comm) found.comm = TChunkRef{chunk.payload, chunk.size};
    if (IdIs(entry, chunk.start, "SSND") && !found.ssnd) found.ssnd = TChunkRef{chunk.payload, chunk.size};
  }
  return found;
}

[[noreturn]] void Refuse(const std::string& why) { throw VldError("The AIF sound cannot be converted. " + why); }

TAifFormat ParseComm(ByteSpan entry, const TAifChunks& chunks) {
  if (!chunks.comm) Refuse("It has no COMM chunk (sound format)." + (chunks.damage.empty() ? "" : " " + chunks.damage));
  if (chunks.comm->size < kCommFieldsSize)
    Refuse("Its COMM chunk holds " + std::to_string(chunks.comm->size) + " bytes, fewer than the 18 it needs.");
  ByteReader reader(entry, "AIF entry's COMM chunk");
  reader.Seek(chunks.comm->payload);
  TAifFormat format;
  format.channels = reader.U16BE();
  format.frames = reader.U32BE();
  format.bitsPerSample = reader.U16BE();
  format.sampleRate = ExtendedToHertz(reader.Take(10));
  return format;
}

void CheckWaveFormat(const TAifFormat& f) {
  if (f.channels == 0) Refuse("Its COMM chunk gives 0 channels.");
  if (f.bitsPerSample != 8 && f.bitsPerSample != 16 && f.bitsPerSample != 24 && f.bitsPerSample != 32)
    Refuse("Its samples have " + std::to_string(f.bitsPerSample) +
           " bits; only 8, 16, 24 and 32-bit samples are converted.");
  std::uint64_t blockAlign = std::uint64_t(f.channels) * (f.bitsPerSample / 8);
  if (blockAlign > 0xFFFF) Refuse("Its " + std::to_string(f.channels) + " channels are more than a WAVE file holds.");
  if (blockAlign * f.sampleRate > 0xFFFFFFFFull)
    Refuse("Its sample rate of " + std::to_string(f.sampleRate) + " Hz is more than a WAVE file holds.");
}

// AIFF samples are big-endian two's complement; WAVE wants little-endian, and unsigned
// bytes for 8-bit sound. Bytes of a trailing partial sample are copied as they are.
void ConvertSamples(ByteSpan in, std::uint16_t bits, std::uint8_t* out) {
  std::size_t n = in.size();
  if (bits == 8) {
    for (std::size_t i = 0; i < n; ++i) out[i] = in[i] ^ 0x80;
    return;
  }
  std::size_t width = bits / 8;
  std::size_t whole = n - n % width;
  if (width == 2) {
    // The common case, in a form the compiler turns into vector shuffles.
    for (std::size_t i = 0; i < whole; i += 2) {
      std::uint16_t v;
      std::memcpy(&v, in.data() + i, 2);
      v = static_cast<std::uint16_t>((v >> 8) | (v << 8));
      std::memcpy(out + i, &v, 2);
    }
  } else {
    for (std::size_t i = 0; i < whole; i += width)
      for (std::size_t k = 0; k < width; ++k) out[i + k] = in[i + width - 1 - k];
  }
  std::copy(in.begin() + whole, in.end(), out + whole);
}

}  // namespace

std::vector<TAifChunkRef> ListAifChunks(ByteSpan entry, std::string* damage) {
  // Files written with the pad byte after odd-sized chunks and files written
  // without it both walk correctly: the padded position wins unless only the
  // unpadded one holds a chunk.
  std::vector<TAifChunkRef> chunks;
  std::size_t pos = kFirstChunk;
  while (pos <= entry.size() && entry.size() - pos >= kChunkHeader) {
    ByteReader reader(entry, "AIF entry");
    reader.Seek(pos + 4);
    const std::uint32_t size = reader.U32BE();
    const std::size_t payload = pos + kChunkHeader;
    const std::size_t left = entry.size() - payload;
    if (size > left) {
      if (damage)
        *damage = "Its chunk " + Quoted(entry.subspan(pos, 4)) + " at offset " + std::to_string(pos) + " claims " +
                  std::to_string(size) + " bytes, but only " + std::to_string(left) + " are left.";
      chunks.push_back({pos, payload, size, entry.size()});
      break;
    }
    std::size_t next = payload + size;
    if (size % 2 == 1 && (PlausibleChunkAt(entry, next + 1) || !PlausibleChunkAt(entry, next))) ++next;
    chunks.push_back({pos, payload, size, std::min(next, entry.size())});
    pos = next;
  }
  return chunks;
}

std::array<std::uint8_t, 10> Extended80(std::uint64_t value) {
  std::array<std::uint8_t, 10> out{};
  if (value == 0) return out;
  const int top = 63 - std::countl_zero(value);
  const std::uint16_t exponent = static_cast<std::uint16_t>(16383 + top);
  const std::uint64_t mantissa = value << (63 - top);
  out[0] = static_cast<std::uint8_t>(exponent >> 8);
  out[1] = static_cast<std::uint8_t>(exponent);
  for (int i = 0; i < 8; ++i) out[2 + i] = static_cast<std::uint8_t>(mantissa >> (56 - 8 * i));
  return out;
}

Bytes EncodeAifLike(const TWaveSound& sound, ByteSpan like) {
  const std::size_t sampleBytes = sound.bitsPerSample / 8u;
  const std::uint32_t frames =
      static_cast<std::uint32_t>(sound.samples.size() / (std::size_t(sound.channels) * sampleBytes));
  auto putChunk = [](Bytes& out, const char* id, const Bytes& payload) {
    PutText(out, id);
    PutU32BE(out, static_cast<std::uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    if (payload.size() % 2 == 1) out.push_back(0);
  };
  auto comm = [&](ByteSpan extra) {
    Bytes c;
    PutU16BE(c, sound.channels);
    PutU32BE(c, frames);
    PutU16BE(c, sound.bitsPerSample);
    const auto rate = Extended80(sound.sampleRate);
    c.insert(c.end(), rate.begin(), rate.end());
    c.insert(c.end(), extra.begin(), extra.end());
    return c;
  };
  auto ssnd = [&](std::uint32_t offset, std::uint32_t blockSize, ByteSpan filler) {
    Bytes c;
    PutU32BE(c, offset);
    PutU32BE(c, blockSize);
    c.insert(c.end(), filler.begin(), filler.end());
    c.resize(c.size() + offset - filler.size(), 0);
    const std::size_t at = c.size();
    c.resize(at + sound.samples.size());
    ConvertSamples(sound.samples, sound.bitsPerSample, c.data() + at);
    return c;
  };

  Bytes out;
  PutText(out, "FORM");
  PutU32BE(out, 0);  // set at the end
  if (like.empty()) {
    PutText(out, "AIFF");
    putChunk(out, "COMM", comm({}));
    putChunk(out, "SSND", ssnd(0, 0, {}));
  } else {
    if (like.size() < kFirstChunk || !IdIs(like, 0, "FORM"))
      throw VldError("The sound it replaces is not an AIF file.");
    // Every chunk but the sound's format and samples stays as it was, in its place.
    out.insert(out.end(), like.begin() + 8, like.begin() + kFirstChunk);
    bool haveComm = false, haveSsnd = false;
    std::size_t end = kFirstChunk;
    for (const TAifChunkRef& chunk : ListAifChunks(like)) {
      const ByteSpan payload =
          like.subspan(chunk.payload, std::min<std::size_t>(chunk.size, like.size() - chunk.payload));
      if (IdIs(like, chunk.start, "COMM") && !haveComm) {
        haveComm = true;
        putChunk(out, "COMM", comm(payload.size() > kCommFieldsSize ? payload.subspan(kCommFieldsSize) : ByteSpan()));
      } else if (IdIs(like, chunk.start, "SSND") && !haveSsnd) {
        haveSsnd = true;
        ByteReader r(payload, "SSND chunk of the sound it replaces");
        const std::uint32_t offset = payload.size() >= kSsndFieldsSize ? r.U32BE() : 0;
        const std::uint32_t blockSize = payload.size() >= kSsndFieldsSize ? r.U32BE() : 0;
        if (offset > 0xFFFF) throw VldError("The SSND chunk of the sound it replaces is damaged.");
        const ByteSpan filler =
            payload.size() > kSsndFieldsSize
                ? payload.subspan(kSsndFieldsSize, std::min<std::size_t>(offset, payload.size() - kSsndFieldsSize))
                : ByteSpan();
        putChunk(out, "SSND", ssnd(offset, blockSize, filler));
      } else {
        out.insert(out.end(), like.begin() + static_cast<std::ptrdiff_t>(chunk.start),
                   like.begin() + static_cast<std::ptrdiff_t>(chunk.next));
      }
      end = chunk.next;
    }
    if (!haveComm) putChunk(out, "COMM", comm({}));
    if (!haveSsnd) putChunk(out, "SSND", ssnd(0, 0, {}));
    out.insert(out.end(), like.begin() + static_cast<std::ptrdiff_t>(end), like.end());
  }
  if (out.size() - 8 > 0xFFFFFFFFull) throw VldError("The sound is too long for an AIF file.");
  const std::uint32_t formSize = static_cast<std::uint32_t>(out.size() - 8);
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(formSize >> (24 - 8 * i));
  return out;
}

Bytes BuildWaveHeader(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                      std::uint32_t dataSize) {
  std::uint32_t blockAlign = channels * (bitsPerSample / 8u);
  Bytes header;
  header.reserve(kWaveHeaderSize);
  PutText(header, "RIFF");
  PutU32LE(header, 36 + dataSize);
  PutText(header, "WAVEfmt ");
  PutU32LE(header, 16);
  PutU16LE(header, 1);
  PutU16LE(header, channels);
  PutU32LE(header, sampleRate);
  PutU32LE(header, sampleRate * blockAlign);
  PutU16LE(header, blockAlign);
  PutU16LE(header, bitsPerSample);
  PutText(header, "data");
  PutU32LE(header, dataSize);
  return header;
}

std::uint32_t ExtendedToHertz(ByteSpan tenBytes) {
  ByteReader reader(tenBytes, "sample rate");
  std::uint16_t signExponent = reader.U16BE();
  std::uint64_t mantissa = (std::uint64_t(reader.U32BE()) << 32) | reader.U32BE();
  int exponent = signExponent & 0x7FFF;
  bool negative = (signExponent & 0x8000) != 0;
  double hertz = 0;
  // Exponent 0x7FFF encodes infinities and NaNs; anything at or above 2^32 is out of range anyway.
  if (exponent - 16383 >= 32)
    hertz = std::numeric_limits<double>::infinity();
  else
    hertz = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  double rounded = std::floor(hertz + 0.5);
  if (negative || !(rounded >= 1) || rounded > 0xFFFFFFFFu)
    throw VldError("The AIF sound cannot be converted. Its sample rate is not a usable number of hertz.");
  return static_cast<std::uint32_t>(rounded);
}

TAifFormat ReadAifFormat(ByteSpan entry) { return ParseComm(entry, WalkAifChunks(entry)); }

namespace {

// The WAVE header and the samples it announces, refused as the conversion refuses.
struct TWavePlan {
  Bytes header;
  ByteSpan samples;
  std::uint16_t bits = 0;
};

TWavePlan PlanWave(ByteSpan entry) {
  TAifChunks chunks = WalkAifChunks(entry);
  TAifFormat format = ParseComm(entry, chunks);
  CheckWaveFormat(format);
  if (!chunks.ssnd) Refuse("It has no SSND chunk (sound data)." + (chunks.damage.empty() ? "" : " " + chunks.damage));
  const TChunkRef& ssnd = *chunks.ssnd;
  if (ssnd.size < kSsndFieldsSize)
    Refuse("Its SSND chunk holds " + std::to_string(ssnd.size) + " bytes, fewer than its 8-byte header.");
  ByteReader reader(entry, "AIF entry's SSND chunk");
  reader.Seek(ssnd.payload);
  std::uint32_t offset = reader.U32BE();
  reader.U32BE();  // block size: alignment advice for writers, nothing to do when reading
  if (offset > ssnd.size - kSsndFieldsSize)
    Refuse("Its SSND chunk says the samples start " + std::to_string(offset) + " bytes in, past the chunk's end.");

  // A chunk cut short by the end of the entry keeps the samples that are there.
  std::uint64_t start = std::uint64_t(ssnd.payload) + kSsndFieldsSize + offset;
  std::uint64_t end = std::min<std::uint64_t>(std::uint64_t(ssnd.payload) + ssnd.size, entry.size());
  std::uint64_t dataSize = end > start ? end - start : 0;
  if (dataSize > kMaxWaveDataSize) Refuse("Its sound data is larger than a WAVE file can hold.");

  return {BuildWaveHeader(format.channels, format.sampleRate, format.bitsPerSample, std::uint32_t(dataSize)),
          entry.subspan(std::size_t(start), std::size_t(dataSize)), format.bitsPerSample};
}

}  // namespace

Bytes ConvertAifToWav(ByteSpan entry) {
  TWavePlan plan = PlanWave(entry);
  Bytes wave = std::move(plan.header);
  wave.resize(kWaveHeaderSize + plan.samples.size());
  ConvertSamples(plan.samples, plan.bits, wave.data() + kWaveHeaderSize);
  return wave;
}

void ConvertAifToWav(ByteSpan entry, TByteSink& out) {
  const TWavePlan plan = PlanWave(entry);
  out.Write(plan.header.data(), plan.header.size());
  // Pieces of whole samples of every width (1 to 4 bytes), small enough to stay in the cache.
  constexpr std::size_t kPiece = 48 * 1024;
  std::uint8_t piece[kPiece];
  for (std::size_t at = 0; at < plan.samples.size(); at += kPiece) {
    const ByteSpan part = plan.samples.subspan(at, std::min(kPiece, plan.samples.size() - at));
    ConvertSamples(part, plan.bits, piece);
    out.Write(piece, part.size());
  }
}

}  // namespace vld
