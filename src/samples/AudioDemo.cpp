#include "samples/Demo.h"

namespace vld::samples {

// Placeholder entries until the decoder of this family lands.
void AddAudioDemoEntries(LabWriter& lab) {
  lab.Add("sound\\chord.aif", Bytes(64, 0));
  lab.Add("voices\\line001.wvc", Bytes(64, 0));
}

}  // namespace vld::samples
