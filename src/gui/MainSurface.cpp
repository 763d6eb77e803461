#include "gui/Main.h"

// Surface player action: filled in when the surface player lands.
void TMainForm::btnPlaySurface() {}
