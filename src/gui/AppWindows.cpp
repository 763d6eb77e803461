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
  w.image = new TImageForm(w.main.get());
  w.text = new TTextViewerForm(w.main.get());
  w.extract = new TExtractForm(w.main.get());
  w.surface = new TSurfacePlayerForm(w.main.get());
  w.debug = new TDebugForm(w.main.get());
  w.main->AttachWindows(w.image, w.text, w.extract, w.surface, w.debug);
  return w;
}
