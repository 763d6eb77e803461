// Surface descriptions.
#include "FuzzCommon.h"
#include "core/audio/SurfaceDescription.h"

VLD_FUZZ_TARGET({
  vld::TSurfaceFrames frames = vld::ParseSurfaceDescription(input);
  VLD_FUZZ_CHECK(frames.items.size() <= vld::kMaxSurfaceItems);
})
