#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/audio/WaveFile.h"
#include "core/audio/WvcAudio.h"
#include "core/common/Bytes.h"

namespace vld {

// Writes codes most significant bit first, the order the decoder reads them in.
class TWvcBitWriter {
 public:
  void Put(std::uint32_t bits, int width);
  std::size_t BitCount() const { return bitCount_; }
  // The bytes written so far; a last partial byte is filled with zero bits.
  Bytes Take();

 private:
  Bytes bytes_;
  std::size_t bitCount_ = 0;
};

// The header of an ADPCM block: start index and value of each channel (1 or 2).
Bytes WvcBlockHeader(std::span<const TWvcChannel> start);

struct TWvcEncodeOptions {
  std::size_t framesPerBlock = 4096;
  // An escape code (the exact value in 16 bits) replaces the best ordinary code when that
  // one would miss the sample by more than this.
  int escapeAbove = 2048;
  int firstStartIndex = 0;  // step index of the first block; later blocks go on from the previous one
  std::vector<std::string> codecNames = {"STOR", "ADPC"};
  // The name-list size field; 5 per name when not given.
  std::optional<std::uint16_t> nameListSize = std::nullopt;
  std::string signature = "WVC ";  // 4 bytes
};

// What the encoder did, for tests that want to see escapes happen.
struct TWvcEncodeStats {
  std::size_t codes = 0;
  std::size_t escapes = 0;
};

// One ADPCM block for interleaved frames, starting from `state` (one entry per channel);
// on return `state` holds what the decoder reaches at the block's end. For every sample
// the code is the one the decoder turns into the value closest to the sample.
Bytes EncodeWvcAdpcmBlock(std::span<const std::int16_t> interleaved, std::span<TWvcChannel> state,
                          const TWvcEncodeOptions& options = {}, TWvcEncodeStats* stats = nullptr);

// One record of a WVC block table with its stored bytes.
struct TWvcBlock {
  std::uint8_t codec = kWvcCodecStored;
  std::uint32_t outputSize = 0;
  Bytes stored;
};
TWvcBlock StoredWvcBlock(Bytes bytes);

// The WVC container around the blocks. The name-list size field is 5 per name unless given.
Bytes BuildWvcEntry(const std::vector<TWvcBlock>& blocks, const std::vector<std::string>& names = {"STOR", "ADPC"},
                    std::optional<std::uint16_t> nameListSize = std::nullopt, std::string_view signature = "WVC ");

// The blocks of a complete sound: a stored block with the 44-byte WAVE header, then
// ADPCM blocks of options.framesPerBlock frames.
std::vector<TWvcBlock> EncodeWvcBlocks(const TPcm16& pcm, const TWvcEncodeOptions& options = {},
                                       TWvcEncodeStats* stats = nullptr);
// The same as a WVC entry, which converts to a complete WAVE file.
Bytes EncodeWvc(const TPcm16& pcm, const TWvcEncodeOptions& options = {}, TWvcEncodeStats* stats = nullptr);

// The options that give a new sound the layout of an existing WVC entry: its
// signature, codec names and name-list size field, frames per ADPCM block
// and the first block's start index. Throws VldError for a damaged entry.
TWvcEncodeOptions WvcLayoutOf(ByteSpan entry);
// Encodes a sound in the layout of `like` (a WVC entry; default layout when
// empty). A sound too long for the block table at that block size gets
// larger blocks. Throws VldError for more than two channels.
Bytes EncodeWvcLike(const TPcm16& pcm, ByteSpan like);

}  // namespace vld
