#pragma once

#include <filesystem>

#include "core/bundle/LabWriter.h"

namespace vld::samples {

struct DemoFiles {
  std::filesystem::path bundle;  // demo.lab
  std::filesystem::path bink;    // a stand-alone Bink file
  std::filesystem::path smush;   // a stand-alone Smush-wrapped Bink file
};

// Writes the demo bundle and the stand-alone files into dir (created if missing).
DemoFiles WriteDemo(const std::filesystem::path& dir);

// The demo bundle's entries, one or more for every row of the file-type table.
LabWriter BuildDemoBundle();

// Each subsystem adds its own sample entries.
void AddImageDemoEntries(LabWriter& lab);    // tiles, TGA, font, BMP
void AddAudioDemoEntries(LabWriter& lab);    // AIF, WVC
void AddLuaDemoEntries(LabWriter& lab);      // compiled script, text table
void AddSurfaceDemoEntries(LabWriter& lab);  // surface description and its frames
void AddModelDemoEntries(LabWriter& lab);    // the types that are listed but not decoded

// Stand-alone animation files.
Bytes BuildDemoBink();
Bytes BuildDemoSmush();

}  // namespace vld::samples
