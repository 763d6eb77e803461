#include "samples/Demo.h"

namespace vld::samples {

namespace {
Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }
}  // namespace

// Entries the viewer lists and saves but does not decode.
void AddModelDemoEntries(LabWriter& lab) {
  lab.Add("models\\actors\\hero.anim", Text("ANIM demo animation data\n"));
  lab.Add("models\\actors\\hero.cos", Text("COST demo costume\n"));
  lab.Add("models\\actors\\Hero.MESH", Text("MESH demo mesh\n"));
  lab.Add("models\\actors\\hero.skl", Text("SKEL demo skeleton\n"));
  lab.Add("sprites\\spark.spr", Text("SPR demo sprite\n"));
  lab.Add("voices\\hello.lip", Text("LIP demo lip sync\n"));
  lab.Add("movies\\inside.bik", Text("BIKi a Bink entry inside a bundle\n"));
  lab.Add("readme.nfo", Text("An entry of no known type.\n"));
  lab.Add("empty.dat", {});
}

}  // namespace vld::samples
