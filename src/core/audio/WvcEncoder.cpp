#include "samples/WvcEncoder.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "core/audio/AifAudio.h"

namespace vld::samples {

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
                    std::optional<std::uint16_t> nameListSize) {
  Bytes entry;
  PutText(entry, "WVC ");
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
  return BuildWvcEntry(EncodeWvcBlocks(pcm, options, stats), options.codecNames);
}

}  // namespace vld::samples
