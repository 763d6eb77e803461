#include "samples/Demo.h"

namespace vld::samples {

// Placeholder entries until the decoder of this family lands.
void AddSurfaceDemoEntries(LabWriter& lab) {
  lab.Add("surfaces\\pulse.sur", Bytes(64, 0x41));
}

}  // namespace vld::samples
