#include "samples/Demo.h"
#include "samples/ExtractSamples.h"

namespace vld::samples {

// The Bink data of the Smush demo sits at a probe other than the first, so
// that a probe stopping early shows up.
constexpr std::size_t kDemoSmushBinkOffset = 2048;

Bytes BuildDemoBink() { return BuildBinkFile(4096, 7); }

Bytes BuildDemoSmush() {
  Bytes bink = BuildBinkFile(6000, 11);
  return BuildSmushFile(kDemoSmushBinkOffset, bink);
}

}  // namespace vld::samples
