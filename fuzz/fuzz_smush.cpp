// The search for Bink data inside stand-alone animation files.
#include "FuzzCommon.h"
#include "core/audio/BinkData.h"

VLD_FUZZ_TARGET({
  std::optional<std::int64_t> offset = vld::FindBinkOffset(input);
  if (offset) VLD_FUZZ_CHECK(*offset % 512 == 0 && *offset >= 512 && *offset <= 15872);
  std::optional<vld::Bytes> bink = vld::BinkDataFromBytes(input);
  if (bink) VLD_FUZZ_CHECK(bink->size() <= input.size());
})
