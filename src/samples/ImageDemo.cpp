#include "samples/Demo.h"

namespace vld::samples {

// Placeholder entries until the decoder of this family lands.
void AddImageDemoEntries(LabWriter& lab) {
  lab.Add("gfx\\backgrounds\\beach.til", Bytes(64, 0));
  lab.Add("gfx\\Title.BMP", Bytes(64, 0));
  lab.Add("textures\\wall.tga", Bytes(64, 0));
  lab.Add("fonts\\small.kfn", Bytes(64, 0));
}

}  // namespace vld::samples
