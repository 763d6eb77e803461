#include "core/images/BMPTools.h"
#include "samples/Demo.h"
#include "samples/ImageSamples.h"

namespace vld::samples {

void AddImageDemoEntries(LabWriter& lab) {
  // Stored with its file name in the gzip header, as a gzip tool writes a named file.
  TGzipOptions named;
  named.fileName = "beach.til";
  TTgaOptions runLength32;
  runLength32.depth = 32;
  runLength32.runLength = true;
  TTgaOptions flipped;
  flipped.flipped = true;

  lab.Add("gfx\\backgrounds\\beach.til", BuildTileEntry(BeachPicture(), named));
  lab.Add("gfx\\Title.BMP", WriteBMP32(TitlePicture()));
  lab.Add("textures\\wall.tga", BuildTGA(BrickPicture()));
  lab.Add("textures\\sign.tga", BuildTGA(SignPicture(), runLength32));
  lab.Add("textures\\water.tga", GzipMember(BuildTGA(WaterPicture())));
  lab.Add("textures\\flag.tga", BuildTGA(FlagPicture(), flipped));
  lab.Add("fonts\\small.kfn", BuildDemoFont());
}

}  // namespace vld::samples
