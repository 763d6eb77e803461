#include "samples/Demo.h"

#include "core/common/Bytes.h"

namespace vld::samples {

Bytes BuildDemoBink() {
  Bytes b;
  PutText(b, "BIKi");
  PutU32LE(b, 4096 - 8);
  for (int i = 0; b.size() < 4096; ++i) b.push_back(static_cast<std::uint8_t>(i * 7));
  return b;
}

Bytes BuildDemoSmush() {
  Bytes s;
  PutText(s, "SMUS");
  while (s.size() < 1024) s.push_back(0);
  Bytes bink = BuildDemoBink();
  s.insert(s.end(), bink.begin(), bink.end());
  return s;
}

}  // namespace vld::samples
