#include "core/audio/WvcAudio.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/audio/AifAudio.h"
#include "core/common/Errors.h"

namespace vld {

namespace {

constexpr std::array<std::uint16_t, kWvcMaxIndex + 1> kSteps = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

struct TRun {
  std::int8_t change;
  int count;
};

// The upper half of an index-change row: runs of (change, count).
void FillIndexRow(std::array<std::int8_t, 64>& row, int width, std::initializer_list<TRun> upper) {
  int half = 1 << (width - 1);
  int m = 0;
  for (; m < half / 2; ++m) row[m] = -1;
  for (const TRun& run : upper)
    for (int k = 0; k < run.count; ++k) row[m++] = run.change;
}

TWvcTables BuildTables() {
  TWvcTables t{};
  t.step = kSteps;
  for (int j = 0; j <= kWvcMaxIndex; ++j) {
    t.width[j] = j <= 44 ? 4 : j <= 58 ? 5 : j <= 73 ? 6 : 7;
    for (int i = 0; i < 64; ++i) {
      unsigned sum = 0;
      for (int bit = 0; bit < 6; ++bit)
        if (i & (1 << bit)) sum += unsigned(kSteps[j]) >> (5 - bit);
      t.delta[j][i] = static_cast<std::uint16_t>(sum);
    }
  }
  FillIndexRow(t.indexChange[4], 4, {{1, 1}, {2, 1}, {4, 1}, {6, 1}});
  FillIndexRow(t.indexChange[5], 5, {{1, 3}, {2, 2}, {4, 1}, {5, 1}, {6, 1}});
  FillIndexRow(t.indexChange[6], 6, {{1, 5}, {2, 4}, {4, 3}, {5, 2}, {6, 2}});
  FillIndexRow(t.indexChange[7], 7, {{1, 10}, {2, 8}, {4, 6}, {5, 4}, {6, 4}});
  return t;
}

// What every code does at every step index, with the width of the next code, so that
// the chain from one code to the next is a single table look-up.
struct TCodeEffect {
  std::int32_t delta;
  std::uint8_t next;
  std::uint8_t nextWidth;
  bool escape;
};

struct TCodeEffects {
  std::array<std::array<TCodeEffect, 128>, kWvcMaxIndex + 1> at{};
  TCodeEffects() {
    const TWvcTables& t = WvcTables();
    for (int index = 0; index <= kWvcMaxIndex; ++index) {
      int width = t.width[index];
      for (unsigned code = 0; code < (1u << width); ++code) {
        TCodeEffect& e = at[index][code];
        e.escape = TWvcChannel::IsEscape(width, code);
        e.delta = e.escape ? 0 : TWvcChannel::Delta(t, index, width, code);
        e.next = static_cast<std::uint8_t>(TWvcChannel::NextIndex(t, index, width, code));
        e.nextWidth = t.width[e.next];
      }
    }
  }
};

const TCodeEffects& CodeEffects() {
  static const TCodeEffects effects;
  return effects;
}

// The code stream, most significant bit first. Reads past the end of the block yield
// zero bits: the stream is taken to run on in zeros, so a code that ends in the block's
// last byte decodes whatever follows it.
class TWvcBitReader {
 public:
  TWvcBitReader(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  unsigned Code(int width) {
    if (count_ < width) Refill();
    unsigned code = static_cast<unsigned>(bits_ >> (64 - width));
    bits_ <<= width;
    count_ -= width;
    return code;
  }
  // The 16 bits behind an escape code.
  std::int16_t Value16() { return static_cast<std::int16_t>(Code(16)); }

 private:
  // Tops the buffer up to at least 57 bits. The fast path also ORs in the leading bits of
  // the byte after the last one counted; the next refill ORs in the very same bits.
  void Refill() {
    if (end_ - p_ >= 8) {
      std::uint64_t next = 0;
      for (int i = 0; i < 8; ++i) next = (next << 8) | p_[i];
      bits_ |= next >> count_;
      int bytes = (63 - count_) >> 3;
      p_ += bytes;
      count_ += 8 * bytes;
      return;
    }
    for (; count_ <= 56; count_ += 8) bits_ |= std::uint64_t(p_ < end_ ? *p_++ : 0) << (56 - count_);
  }

  const std::uint8_t* p_;
  const std::uint8_t* end_;
  std::uint64_t bits_ = 0;  // unread bits, left-aligned
  int count_ = 0;
};

void DecodeChannel(const TCodeEffects& effects, TWvcBitReader& bits, TWvcChannel start, std::uint8_t* out,
                   std::size_t frames, std::size_t stride) {
  int index = start.index;
  int value = start.value;
  int width = WvcTables().width[index];
  for (std::size_t k = 0; k < frames; ++k, out += stride) {
    const TCodeEffect& e = effects.at[index][bits.Code(width)];
    if (e.escape) [[unlikely]]
      value = bits.Value16();
    else
      value = std::clamp(value + e.delta, -32768, 32767);
    index = e.next;
    width = e.nextWidth;
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
  }
}

struct TBlockRecord {
  std::uint8_t codec;
  std::uint32_t outputSize;
  std::uint32_t storedSize;
};

std::string BlockLabel(std::size_t i, std::size_t count) {
  return "block " + std::to_string(i + 1) + " of " + std::to_string(count);
}

[[noreturn]] void Refuse(const std::string& why) { throw VldError("The WVC entry cannot be converted. " + why); }

}  // namespace

const TWvcTables& WvcTables() {
  static const TWvcTables tables = BuildTables();
  return tables;
}

std::uint32_t ReadBigEndian32(ByteReader& reader, const LogFn& memo) {
  std::uint8_t b[4];
  reader.Read(b, 4);
  if (memo) {
    char line[32];
    std::snprintf(line, sizeof line, "%02X. %02X. %02X. %02X", b[0], b[1], b[2], b[3]);
    memo(line);
  }
  return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

std::string ReadZString(ByteReader& reader) { return reader.ZString(); }

void DecodeWvcBlock(ByteSpan stored, std::span<std::uint8_t> output) {
  int channels = !stored.empty() && (stored[0] & 0x80) ? 2 : 1;
  std::size_t headerSize = channels == 2 ? 6 : 3;
  if (stored.size() < headerSize)
    throw VldError("The ADPCM block holds " + std::to_string(stored.size()) + " bytes, fewer than its " +
                   std::to_string(headerSize) + "-byte header.");
  ByteReader header(stored, "ADPCM block");
  TWvcChannel start[2];
  for (int c = 0; c < channels; ++c) {
    std::uint8_t index = header.U8();
    start[c].index = c == 0 && channels == 2 ? std::uint8_t(~index) : index;
    start[c].value = header.I16BE();
  }
  for (int c = 0; c < channels; ++c)
    if (start[c].index > kWvcMaxIndex)
      throw VldError("The ADPCM block's channel " + std::to_string(c) + " starts at step index " +
                     std::to_string(start[c].index) + "; the highest is 88.");

  const TCodeEffects& effects = CodeEffects();
  std::size_t stride = 2 * std::size_t(channels);
  std::size_t frames = output.size() / stride;
  TWvcBitReader bits(stored.data() + headerSize, stored.size() - headerSize);
  if (frames > 0)
    for (int c = 0; c < channels; ++c) DecodeChannel(effects, bits, start[c], output.data() + 2 * c, frames, stride);
  // No code covers the bytes of a trailing partial frame: they are silence.
  if (output.size() > frames * stride) std::memset(output.data() + frames * stride, 0, output.size() - frames * stride);
}

Bytes ConvertWvcToWav(ByteSpan entry, const LogFn& memo) {
  if (entry.empty()) throw VldError(kEmptyEntryRefusal);
  ByteReader reader(entry, "WVC entry");
  reader.Skip(4);  // signature
  std::size_t count = reader.U16BE();
  if (count == 0) Refuse("Its block table is empty.");
  if (count > kMaxWvcBlocks)
    Refuse("Its block table lists " + std::to_string(count) + " blocks; at most " + std::to_string(kMaxWvcBlocks) +
           " are allowed.");
  std::vector<TBlockRecord> blocks(count);
  for (TBlockRecord& block : blocks) {
    block.codec = reader.U8();
    block.outputSize = ReadBigEndian32(reader, memo);
    block.storedSize = ReadBigEndian32(reader, memo);
  }
  std::size_t names = reader.U16BE() / kWvcNameListUnit;
  if (names == 0) Refuse("Its codec-name list is empty.");
  if (names > kMaxWvcNames)
    Refuse("Its codec-name list counts " + std::to_string(names) + " names; at most " + std::to_string(kMaxWvcNames) +
           " are allowed.");
  for (std::size_t i = 0; i < names; ++i) ReadZString(reader);

  // Check every size against the data before anything is allocated.
  std::uint64_t left = reader.Remaining();
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const TBlockRecord& block = blocks[i];
    if (block.storedSize > left)
      Refuse("It is truncated: " + BlockLabel(i, count) + " needs " + std::to_string(block.storedSize) +
             " bytes, but only " + std::to_string(left) + " are left.");
    left -= block.storedSize;
    if (block.codec == kWvcCodecAdpcm && block.outputSize > kMaxWvcExpansion * block.storedSize)
      Refuse("Its " + BlockLabel(i, count) + " claims " + std::to_string(block.outputSize) + " bytes of sound from " +
             std::to_string(block.storedSize) + " stored bytes, more than its codes can hold.");
    total += block.codec == kWvcCodecStored ? block.storedSize : block.codec == kWvcCodecAdpcm ? block.outputSize : 0;
  }
  if (total > kMaxWvcOutput) Refuse("Its sound would take more than 1 GiB.");

  Bytes wave;
  wave.reserve(total);
  for (std::size_t i = 0; i < count; ++i) {
    const TBlockRecord& block = blocks[i];
    ByteSpan stored = reader.Take(block.storedSize);
    if (block.codec == kWvcCodecStored) {
      wave.insert(wave.end(), stored.begin(), stored.end());
    } else if (block.codec == kWvcCodecAdpcm) {
      std::size_t at = wave.size();
      wave.resize(at + block.outputSize);
      try {
        DecodeWvcBlock(stored, std::span<std::uint8_t>(wave.data() + at, block.outputSize));
      } catch (const VldError& e) {
        Refuse("Its " + BlockLabel(i, count) + " is damaged. " + e.what());
      }
    }
  }
  return wave;
}

}  // namespace vld
