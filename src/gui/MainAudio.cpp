#include "gui/Main.h"

// Sound actions: filled in when the sound converters land.
void TMainForm::btnPlayAif() {}
void TMainForm::btnPlayWvc() {}
void TMainForm::MediaPlayerNotify() {}
void TMainForm::btSaveWavClick() {}
