#include "core/audio/WvcEncoder.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "core/audio/AifAudio.h"
#include "core/common/ByteReader.h"
#include "core/common/Errors.h"

namespace vld {

void TWvcBitWriter::Put(std::uint32_t bits, int width) {
  for (int i = width - 1; i >= 0; --i) {
    if (bitCount_ % 8 == 0) bytes_.push_back(0);
    if ((bits >> i) & 1) bytes_.back() |= static_cast<std::uint8_t>(0x80 >> (bitCount_ % 8));
    ++bitCount_;
  }
}

Bytes TWvcBitWriter::Take() {
  bitCount_ = 0;
  return std::move(bytes_);
}

Bytes WvcBlockHeader(std::span<const TWvcChannel> start) {
  Bytes header;
  for (std::size_t c = 0; c < start.size(); ++c) {
    // The first byte's top bit marks a stereo block; the index is then stored complemented.
    std::uint8_t index = static_cast<std::uint8_t>(start[c].index);
    header.push_back(c == 0 && start.size() == 2 ? static_cast<std::uint8_t>(~index) : index);
    PutU16BE(header, static_cast<std::uint16_t>(start[c].value));
  }
  return header;
}

Bytes EncodeWvcAdpcmBlock(std::span<const std::int16_t> interleaved, std::span<TWvcChannel> state,
                          const TWvcEncodeOptions& options, TWvcEncodeStats* stats) {
  const TWvcTables& tables = WvcTables();
  std::size_t channels = state.size();
  std::size_t frames = interleaved.size() / channels;
  Bytes block = WvcBlockHeader(state);
  TWvcBitWriter bits;
  TWvcEncodeStats counts;
  // The decoder reads all of channel 0's codes, then channel 1's, with no gap between.
  for (std::size_t c = 0; c < channels; ++c) {
    TWvcChannel& s = state[c];
    for (std::size_t k = 0; k < frames; ++k) {
      int target = interleaved[k * channels + c];
      int width = tables.width[s.index];
      unsigned signBit = 1u << (width - 1);
      unsigned escape = signBit - 1;
      TWvcChannel best = s;
      unsigned bestCode = 0;
      int bestError = INT_MAX;
      for (unsigned magnitude = 0; magnitude < escape; ++magnitude) {
        for (unsigned sign : {0u, signBit}) {
          if (magnitude == 0 && sign) continue;  // the same as +0
          TWvcChannel trial = s;
          trial.Apply(tables, width, sign | magnitude);
          int error = std::abs(trial.value - target);
          if (error < bestError) {
            bestError = error;
            bestCode = sign | magnitude;
            best = trial;
          }
        }
      }
      ++counts.codes;
      if (bestError > options.escapeAbove) {
        bits.Put(escape, width);
        bits.Put(static_cast<std::uint16_t>(target), 16);
        s.Escape(tables, width, static_cast<std::int16_t>(target));
        ++counts.escapes;
      } else {
        bits.Put(bestCode, width);
        s = best;
      }
    }
  }
  Bytes codes = bits.Take();
  block.insert(block.end(), codes.begin(), codes.end());
  if (stats) {
    stats->codes += counts.codes;
    stats->escapes += counts.escapes;
  }
  return block;
}

TWvcBlock StoredWvcBlock(Bytes bytes) {
  std::uint32_t size = static_cast<std::uint32_t>(bytes.size());
  return TWvcBlock{kWvcCodecStored, size, std::move(bytes)};
}

Bytes BuildWvcEntry(const std::vector<TWvcBlock>& blocks, const std::vector<std::string>& names,
                    std::optional<std::uint16_t> nameListSize, std::string_view signature) {
  Bytes entry;
  PutText(entry, signature.substr(0, 4));
  entry.resize(4, ' ');
  PutU16BE(entry, static_cast<std::uint32_t>(blocks.size()));
  for (const TWvcBlock& block : blocks) {
    entry.push_back(block.codec);
    PutU32BE(entry, block.outputSize);
    PutU32BE(entry, static_cast<std::uint32_t>(block.stored.size()));
  }
  PutU16BE(entry, nameListSize.value_or(static_cast<std::uint16_t>(kWvcNameListUnit * names.size())));
  for (const std::string& name : names) {
    PutText(entry, name);
    entry.push_back(0);
  }
  for (const TWvcBlock& block : blocks) entry.insert(entry.end(), block.stored.begin(), block.stored.end());
  return entry;
}

std::vector<TWvcBlock> EncodeWvcBlocks(const TPcm16& pcm, const TWvcEncodeOptions& options, TWvcEncodeStats* stats) {
  std::vector<TWvcBlock> blocks;
  std::uint32_t dataSize = static_cast<std::uint32_t>(pcm.Frames() * pcm.channels * 2);
  blocks.push_back(StoredWvcBlock(BuildWaveHeader(pcm.channels, pcm.sampleRate, 16, dataSize)));
  std::vector<TWvcChannel> state(pcm.channels);
  for (std::size_t c = 0; c < state.size(); ++c) {
    state[c].index = options.firstStartIndex;
    state[c].value = pcm.Frames() ? pcm.samples[c] : 0;
  }
  std::size_t perBlock = std::max<std::size_t>(1, options.framesPerBlock);
  for (std::size_t first = 0; first < pcm.Frames(); first += perBlock) {
    std::size_t frames = std::min(perBlock, pcm.Frames() - first);
    std::span<const std::int16_t> part(pcm.samples.data() + first * pcm.channels, frames * pcm.channels);
    Bytes stored = EncodeWvcAdpcmBlock(part, state, options, stats);
    blocks.push_back(TWvcBlock{kWvcCodecAdpcm, static_cast<std::uint32_t>(part.size() * 2), std::move(stored)});
  }
  return blocks;
}

Bytes EncodeWvc(const TPcm16& pcm, const TWvcEncodeOptions& options, TWvcEncodeStats* stats) {
  return BuildWvcEntry(EncodeWvcBlocks(pcm, options, stats), options.codecNames, options.nameListSize,
                       options.signature);
}

TWvcEncodeOptions WvcLayoutOf(ByteSpan entry) {
  ByteReader r(entry, "WVC entry it replaces");
  TWvcEncodeOptions options;
  options.signature = AsString(r.Take(4));
  const std::size_t count = r.U16BE();
  if (count == 0 || count > kMaxWvcBlocks) throw VldError("The WVC entry it replaces has a damaged block table.");
  bool found = false;
  std::vector<std::uint32_t> storedSizes;
  std::size_t firstAdpcm = 0, firstAdpcmOutput = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t codec = r.U8();
    const std::uint32_t output = r.U32BE();
    storedSizes.push_back(r.U32BE());
    if (codec == kWvcCodecAdpcm && !found) {
      found = true;
      firstAdpcm = i;
      firstAdpcmOutput = output;
    }
  }
  const std::uint16_t nameListSize = r.U16BE();
  const std::size_t names = nameListSize / kWvcNameListUnit;
  if (names == 0 || names > kMaxWvcNames) throw VldError("The WVC entry it replaces has a damaged codec-name list.");
  options.nameListSize = nameListSize;
  options.codecNames.clear();
  for (std::size_t i = 0; i < names; ++i) options.codecNames.push_back(r.ZString());
  if (!found) return options;
  for (std::size_t i = 0; i < firstAdpcm; ++i) r.Skip(storedSizes[i]);
  const ByteSpan block = r.Take(std::min<std::size_t>(storedSizes[firstAdpcm], r.Remaining()));
  if (block.empty()) return options;
  const bool stereo = block[0] & 0x80;
  options.firstStartIndex = std::min<int>(stereo ? static_cast<std::uint8_t>(~block[0]) : block[0], kWvcMaxIndex);
  options.framesPerBlock = std::max<std::size_t>(1, firstAdpcmOutput / (stereo ? 4 : 2));
  return options;
}

Bytes EncodeWvcLike(const TPcm16& pcm, ByteSpan like) {
  if (pcm.channels < 1 || pcm.channels > 2) throw VldError("Compressed voice holds one or two channels.");
  TWvcEncodeOptions options = like.empty() ? TWvcEncodeOptions{} : WvcLayoutOf(like);
  // One stored block for the WAVE header, the rest ADPCM.
  const std::size_t fit = (pcm.Frames() + kMaxWvcBlocks - 2) / (kMaxWvcBlocks - 1);
  options.framesPerBlock = std::max(options.framesPerBlock, fit);
  // An output size is 32 bits wide; no real voice line comes near.
  if (options.framesPerBlock * pcm.channels * 2 > 0xFFFFFFFFull)
    throw VldError("The sound is too long for compressed voice.");
  return EncodeWvc(pcm, options);
}

}  // namespace vld
