#include "samples/Demo.h"

#include "core/common/Errors.h"
#include "core/common/FileIO.h"

namespace vld::samples {

LabWriter BuildDemoBundle() {
  LabWriter lab;
  AddImageDemoEntries(lab);
  AddAudioDemoEntries(lab);
  AddLuaDemoEntries(lab);
  AddSurfaceDemoEntries(lab);
  AddModelDemoEntries(lab);
  return lab;
}

DemoFiles WriteDemo(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw FileError("Cannot create folder " + PathText(dir) + ". " + ec.message());
  DemoFiles files{dir / "demo.lab", dir / "intro.bik", dir / "outro.smush.bik"};
  BuildDemoBundle().Write(files.bundle);
  WriteFileAtomic(files.bink, BuildDemoBink());
  WriteFileAtomic(files.smush, BuildDemoSmush());
  return files;
}

}  // namespace vld::samples
