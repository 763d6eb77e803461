#include "gui/AppWindows.h"

#include "gui/DebugWindow.h"
#include "gui/ExtractAll.h"
#include "gui/ImageViewer.h"
#include "gui/Main.h"
#include "gui/SurfacePlayer.h"
#include "gui/TextViewer.h"

TAppWindows CreateAppWindows(IPlatform& platform) {
  TAppWindows w;
  w.main = std::make_unique<TMainForm>(platform);
  w.image = new TImageForm(*w.main);
  w.text = new TTextViewerForm(*w.main);
  w.extract = new TExtractForm(*w.main);
  w.surface = new TSurfacePlayerForm(*w.main);
  w.debug = new TDebugForm(*w.main);
  w.main->AttachWindows(w.image, w.text, w.extract, w.surface, w.debug);
  return w;
}
