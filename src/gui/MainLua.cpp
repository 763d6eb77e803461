#include "gui/Main.h"

// Text and script actions: filled in when the text viewer and the Lua loader land.
void TMainForm::btnViewText() {}
void TMainForm::btnShowLua() {}
