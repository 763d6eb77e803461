#include "samples/Demo.h"

namespace vld::samples {

// Placeholder entries until the decoder of this family lands.
void AddLuaDemoEntries(LabWriter& lab) {
  lab.Add("scripts\\demo.lua", Bytes(64, 0));
  lab.Add("text\\strings.tab", Bytes(64, 0x41));
}

}  // namespace vld::samples
