#pragma once

// The ADPCM encoder is product code now; the samples and their tests keep
// reaching it under their own names.
#include "core/audio/WvcEncoder.h"
#include "samples/AifBuilder.h"

namespace vld::samples {

using vld::BuildWvcEntry;
using vld::EncodeWvc;
using vld::EncodeWvcAdpcmBlock;
using vld::EncodeWvcBlocks;
using vld::StoredWvcBlock;
using vld::TWvcBitWriter;
using vld::TWvcBlock;
using vld::TWvcEncodeOptions;
using vld::TWvcEncodeStats;
using vld::WvcBlockHeader;

}  // namespace vld::samples
