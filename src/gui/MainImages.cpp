#include "gui/Main.h"

// Image actions: filled in when the image decoders land.
void TMainForm::btnViewTil() {}
void TMainForm::btnShowTGA() {}
void TMainForm::btnShowKFN() {}
void TMainForm::btnShowBMP() {}
void TMainForm::DecodeTileEntry(int, vld::TMemoryStream&) {}
void TMainForm::DecodeTGAEntry(int, vld::TMemoryStream&) {}
void TMainForm::RenderKFNFont(int, vld::TMemoryStream&) {}
void TMainForm::LoadBMPEntry(int, vld::TMemoryStream&) {}
void TMainForm::btSaveBMPClick() {}
void TMainForm::SavealltilesasBMPs1Click() {}
