#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>

#include "core/browser/ExtractPaths.h"
#include "core/browser/FileTypes.h"
#include "core/common/Errors.h"
#include "core/images/BMPTools.h"
#include "core/images/KFNFont.h"
#include "core/images/TGAImage.h"
#include "core/images/TileImage.h"
#include "gui/ImageViewer.h"
#include "gui/Main.h"


bool TMainForm::ValidEntryIndex(int index) const {
  return FBundleOpen && FReader && index >= 0 && index < FileBox->count() && index < FReader->Count();
}

void TMainForm::DeliverImage(const vld::TImageFile& image, vld::TMemoryStream& dest) {
  dest.Write(image.bmp);
  dest.Seek(0);
  imageForm_->SizeFor(image.width, image.height);
}

void TMainForm::DecodeTileEntry(int index, vld::TMemoryStream& dest) {
  if (!ValidEntryIndex(index)) return;
  if (RefuseEmptyEntry(index)) return;
  StatusGuard status(*this);
  // Tile entries are always inflated; IsCompressed is not consulted.
  vld::TImageFile image = vld::DecodeTileImage(FReader->ReadEntryBytes(index), status.Fn());
  DeliverImage(image, dest);
}

void TMainForm::DecodeTGAEntry(int index, vld::TMemoryStream& dest) {
  SetStatus(1, "Loading TGA image...");
  if (!ValidEntryIndex(index)) return;
  if (RefuseEmptyEntry(index)) return;
  StatusGuard status(*this);
  const bool compressed = FReader->IsCompressed(index);
  vld::TImageFile image = vld::DecodeTGAImage(FReader->ReadEntryBytes(index), compressed, status.Fn());
  DeliverImage(image, dest);
}

void TMainForm::RenderKFNFont(int index, vld::TMemoryStream& dest) {
  SetStatus(1, "Loading KFN font...");
  if (!ValidEntryIndex(index)) return;
  if (RefuseEmptyEntry(index)) return;
  StatusGuard status(*this);
  vld::TImageFile image = vld::RenderKFNImage(FReader->ReadEntryBytes(index), status.Fn());
  DeliverImage(image, dest);
}

void TMainForm::LoadBMPEntry(int index, vld::TMemoryStream& dest) {
  SetStatus(1, "Loading bitmap...");
  if (!ValidEntryIndex(index)) return;
  if (RefuseEmptyEntry(index)) return;
  FReader->ReadEntry(index, dest);
  dest.Seek(0);
  SetStatus(1, "");
}

void TMainForm::ShowImage(const char* extension, void (TMainForm::*decoder)(int, vld::TMemoryStream&)) {
  if (EntryCount() == 0) return;
  if (!vld::NameContains(SelectedRawName(), extension)) return;
  vld::TMemoryStream stream;
  (this->*decoder)(SelectedIndex(), stream);
  imageForm_->LoadPicture(stream.Data());
  platform_.ShowModal(imageForm_);
}

void TMainForm::btnViewTil() { ShowImage(".til", &TMainForm::DecodeTileEntry); }
void TMainForm::btnShowTGA() { ShowImage(".tga", &TMainForm::DecodeTGAEntry); }
void TMainForm::btnShowKFN() { ShowImage(".kfn", &TMainForm::RenderKFNFont); }

void TMainForm::btnShowBMP() {
  if (EntryCount() == 0) return;
  if (!vld::NameContains(SelectedRawName(), ".bmp")) return;
  vld::TMemoryStream stream;
  LoadBMPEntry(SelectedIndex(), stream);
  imageForm_->LoadPicture(stream.Data());  // an unreadable bitmap is reported and not shown
  const QImage& picture = imageForm_->Picture();
  imageForm_->SizeFor(picture.width(), picture.height());
  platform_.ShowModal(imageForm_);
}

bool TMainForm::DecodeForSave(int index, const std::string& name, vld::TMemoryStream& dest) {
  const vld::TFormat* f = vld::FormatForSaveBmp(name);
  switch (f ? f->dispatch : vld::EntryAction::None) {
    case vld::EntryAction::ViewTil: DecodeTileEntry(index, dest); break;
    case vld::EntryAction::ShowTGA: DecodeTGAEntry(index, dest); break;
    case vld::EntryAction::ShowKFN: RenderKFNFont(index, dest); break;
    case vld::EntryAction::ShowBMP: LoadBMPEntry(index, dest); break;
    default: break;
  }
  return !dest.Empty();
}

void TMainForm::btSaveBMPClick() {
  if (EntryCount() == 0) return;
  const int index = SelectedIndex();
  const std::string name = SelectedRawName();
  std::optional<QString> path = RunSaveDialog(Latin1(vld::BmpSuggestion(name)), "Bitmap images (*.bmp)|*.bmp", "bmp");
  if (!path) return;
  vld::TMemoryStream stream;
  // A refused entry (size 0 or less) has shown its box; no file is written for it.
  if (!DecodeForSave(index, name, stream)) return;
  vld::WriteFileAtomic(FsPath(*path), stream.Data());
}

void TMainForm::SavealltilesasBMPs1Click() {
  if (EntryCount() == 0 || !FBundleOpen) {
    platform_.MessageBox(BoxKind::Information, "You have to open a bundle first!");
    return;
  }
  std::optional<QString> folder = BrowseForFolder("Select the folder to save the tiles to.");
  if (!folder) return;
  const std::filesystem::path root = FsPath(*folder);
  QStringList failed;
  vld::TMemoryStream stream;
  for (int i = 0; i < FReader->Count(); ++i) {
    const std::string& name = FReader->GetName(i);
    if (!vld::NameContains(name, ".til")) continue;
    // sets\beach.til -> FOLDER/sets/beach.bmp, with the folder part kept
    // inside FOLDER whatever the name holds.
    std::string file = vld::SaveSuggestion(name, ".bmp");
    std::size_t slash = name.rfind('\\');
    std::string dirPart = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    Label5->setText(Latin1(file));
    Label5->repaint();
    stream.Clear();
    try {
      DecodeTileEntry(i, stream);
      if (!stream.Empty()) {
        std::filesystem::path target = root / vld::MapEntryName(dirPart + file).Relative();
        std::filesystem::create_directories(target.parent_path());
        vld::WriteFileAtomic(target, stream.Data());
      }
    } catch (const vld::VldError& e) {
      failed << Latin1(name) + ": " + QString::fromUtf8(e.what());
    } catch (const std::filesystem::filesystem_error& e) {
      failed << Latin1(name) + ": " + QString::fromUtf8(e.what());
    }
    QCoreApplication::processEvents();
  }
  if (!failed.isEmpty()) {
    platform_.MessageBox(BoxKind::Warning,
                         QString("%1 tile entries could not be converted:\n").arg(failed.size()) +
                             failed.mid(0, 10).join("\n"));
  }
}
