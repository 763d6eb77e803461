#include "gui/Main.h"

// Saving, extracting and animations: filled in when extraction lands.
void TMainForm::btnSaveFile() {}
void TMainForm::btnExtractAll() {}
std::optional<QString> TMainForm::BrowseForFolder(const QString& title) { return platform_.ChooseFolder(this, title); }
void TMainForm::btnPlayAnim() {}
bool TMainForm::ExtractBinkData(const QString&) { return false; }
