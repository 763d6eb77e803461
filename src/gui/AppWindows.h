#pragma once

#include <memory>

#include "gui/Platform.h"

class TMainForm;
class TImageForm;
class TTextViewerForm;
class TExtractForm;
class TSurfacePlayerForm;
class TDebugForm;

// The six windows of a program run, created in start-up order: the main
// window, the image viewer, the text viewer, the extract window, the surface
// player and the debug window. The secondary windows belong to the main one.
struct TAppWindows {
  std::unique_ptr<TMainForm> main;
  TImageForm* image = nullptr;
  TTextViewerForm* text = nullptr;
  TExtractForm* extract = nullptr;
  TSurfacePlayerForm* surface = nullptr;
  TDebugForm* debug = nullptr;
};

TAppWindows CreateAppWindows(IPlatform& platform);
