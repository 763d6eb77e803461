#include "samples/Demo.h"

namespace vld::samples {

namespace {
Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }
}  // namespace

// Entries the viewer lists and saves but does not decode, several folders
// deep so that extraction has a tree to build.
void AddModelDemoEntries(LabWriter& lab) {
  lab.Add("models\\actors\\hero\\hero.anim", Text("ANIM demo animation data\n"));
  lab.Add("models\\actors\\hero\\hero.cos", Text("COST demo costume\n"));
  lab.Add("models\\actors\\hero\\Hero.MESH", Text("MESH demo mesh\n"));
  lab.Add("models\\actors\\hero\\hero.skl", Text("SKEL demo skeleton\n"));
  lab.Add("models\\actors\\guard\\guard.cos", Text("COST demo costume of the guard\n"));
  lab.Add("models\\props\\lantern.mesh", Text("MESH demo lantern\n"));
  lab.Add("sprites\\spark.spr", Text("SPR demo sprite\n"));
  lab.Add("voices\\hello.lip", Text("LIP demo lip sync\n"));
  lab.Add("movies\\inside.bik", Text("BIKi a Bink entry inside a bundle\n"));
  lab.Add("readme.nfo", Text("An entry of no known type.\n"));
  lab.Add("empty.dat", {});
}

}  // namespace vld::samples
