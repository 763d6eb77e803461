#include <QLabel>

#include "core/browser/ExtractPaths.h"
#include "core/browser/FileTypes.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "gui/EntryList.h"
#include "gui/ExtractAll.h"
#include "gui/GuiText.h"
#include "gui/ImageViewer.h"
#include "gui/Main.h"
#include "gui/Work.h"

bool TMainForm::ValidEntryIndex(int index) const {
  return FBundleOpen && FReader && index >= 0 && index < FileBox->count() && index < FReader->Count();
}

void TMainForm::DecodeSelected(const vld::TFormat& format, std::function<void(vld::TDecoded&)> show) {
  const int index = SelectedIndex();
  const std::string name(FReader->GetName(index));
  vld::TLabReader* reader = FReader.get();
  vld::TDecodeReport report{WorkerStatus(), WorkerMemo()};
  work_->Start<vld::TDecoded>(
      "Decoding " + Latin1(name),
      [reader, index, name, &format, report](Cancel) {
        vld::Bytes bytes = reader->ReadEntryBytesAt(index);
        return vld::DecodeEntry(format, {bytes, name}, report);
      },
      [this, show](vld::TDecoded& d) {
        SetStatus(1, "");
        if (d.Refused()) {
          platform_.MessageBox(BoxKind::Error, QString::fromUtf8(d.refusal.c_str()));
          return;
        }
        Guarded([&] { show(d); });
      },
      [this](std::exception_ptr e) {
        SetStatus(1, "");
        ShowError(e);
      });
}

void TMainForm::DecodeInto(int index, const char* extension, vld::TMemoryStream& dest) {
  if (!ValidEntryIndex(index)) return;
  if (RefuseEmptyEntry(index)) return;
  const std::string name(FReader->GetName(index));
  vld::TDecoded d = vld::DecodeEntry(vld::FormatForType(extension), {FReader->ReadEntryBytes(index), name},
                                     {[this](const std::string& t) { SetStatus(1, QString::fromStdString(t)); }, {}});
  SetStatus(1, "");
  if (d.Refused()) throw vld::VldError(d.refusal);
  dest.Write(d.picture.bmp);
  dest.Seek(0);
}

void TMainForm::DecodeTileEntry(int index, vld::TMemoryStream& dest) { DecodeInto(index, ".til", dest); }

void TMainForm::DecodeTGAEntry(int index, vld::TMemoryStream& dest) {
  SetStatus(1, "Loading TGA image...");
  DecodeInto(index, ".tga", dest);
}

void TMainForm::RenderKFNFont(int index, vld::TMemoryStream& dest) {
  SetStatus(1, "Loading KFN font...");
  DecodeInto(index, ".kfn", dest);
}

void TMainForm::LoadBMPEntry(int index, vld::TMemoryStream& dest) {
  SetStatus(1, "Loading bitmap...");
  if (!ValidEntryIndex(index)) return;
  if (RefuseEmptyEntry(index)) return;
  FReader->ReadEntry(index, dest);
  dest.Seek(0);
  SetStatus(1, "");
}

void TMainForm::ShowPicture(const vld::TImageFile& picture, const std::string& entryName) {
  imageForm_->LoadPicture(picture.bmp);  // an unreadable bitmap is reported and not shown
  // A BMP entry is sized from the loaded picture, the decoded images from the decoder's size.
  const QImage& loaded = imageForm_->Picture();
  if (picture.width > 0 || loaded.isNull())
    imageForm_->SizeFor(picture.width, picture.height);
  else
    imageForm_->SizeFor(loaded.width(), loaded.height());
  imageForm_->SetEntryName(Latin1(entryName));
  platform_.ShowModal(imageForm_);
}

void TMainForm::ShowImage(const char* extension) {
  if (EntryCount() == 0 || !FBundleOpen) return;
  if (!vld::NameContains(SelectedRawName(), extension)) return;
  const int index = SelectedIndex();
  const vld::TFormat& format = vld::FormatForType(extension);
  // The view commands set their first status text before the size check.
  if (format.dispatch == vld::EntryAction::ShowTGA) SetStatus(1, "Loading TGA image...");
  if (format.dispatch == vld::EntryAction::ShowKFN) SetStatus(1, "Loading KFN font...");
  if (format.dispatch == vld::EntryAction::ShowBMP) SetStatus(1, "Loading bitmap...");
  if (RefuseEmptyEntry(index)) {
    // The viewer still opens, with an empty picture.
    imageForm_->LoadPicture({});
    if (format.dispatch == vld::EntryAction::ShowBMP) imageForm_->SizeFor(0, 0);
    platform_.ShowModal(imageForm_);
    return;
  }
  const std::string name(FReader->GetName(index));
  DecodeSelected(format, [this, name](vld::TDecoded& d) { ShowPicture(d.picture, name); });
}

void TMainForm::btnViewTil() { ShowImage(".til"); }
void TMainForm::btnShowTGA() { ShowImage(".tga"); }
void TMainForm::btnShowKFN() { ShowImage(".kfn"); }
void TMainForm::btnShowBMP() { ShowImage(".bmp"); }

void TMainForm::btSaveBMPClick() {
  if (EntryCount() == 0 || !FBundleOpen) return;
  if (RefuseWhileBusy()) return;
  const int index = SelectedIndex();
  const std::string name = SelectedRawName();
  std::optional<QString> path = RunSaveDialog(Latin1(vld::BmpSuggestion(name)), "Bitmap images (*.bmp)|*.bmp", "bmp");
  if (!path) return;
  const vld::TFormat* format = vld::FormatForSaveBmp(name);
  if (!format) return;
  // A refused entry (size 0 or less) has shown its box; no file is written for it.
  if (RefuseEmptyEntry(index)) return;
  const std::filesystem::path target = FsPath(*path);
  DecodeSelected(*format, [target](vld::TDecoded& d) { vld::WriteFileAtomic(target, d.picture.bmp); });
}

void TMainForm::btSavePNGClick() {
  if (EntryCount() == 0 || !FBundleOpen) return;
  if (RefuseWhileBusy()) return;
  const int index = SelectedIndex();
  const std::string name = SelectedRawName();
  const vld::TFormat* format = vld::FormatForSaveBmp(name);
  if (!format) return;
  std::optional<QString> path =
      RunSaveDialog(Latin1(vld::SaveSuggestion(name, ".png")), "PNG images (*.png)|*.png", "png");
  if (!path) return;
  if (RefuseEmptyEntry(index)) return;
  const std::filesystem::path target = FsPath(*path);
  DecodeSelected(*format, [target](vld::TDecoded& d) { vld::WriteFileAtomic(target, vld::BmpToPng(d.picture.bmp)); });
}

void TMainForm::SavePictureFromViewer(const vld::Bytes& bmp, bool png) {
  if (png) {
    std::optional<QString> path =
        RunSaveDialog(Latin1(vld::SaveSuggestion(SelectedRawName(), ".png")), "PNG images (*.png)|*.png", "png");
    if (path) vld::WriteFileAtomic(FsPath(*path), vld::BmpToPng(bmp));
    return;
  }
  // The dialog keeps whatever filter the last save command set.
  std::optional<QString> path = RunSaveDialog(Latin1(vld::BmpSuggestion(SelectedRawName())), QString(), "bmp");
  if (!path) return;
  vld::WriteFileAtomic(FsPath(*path), bmp);
}

void TMainForm::SavealltilesasBMPs1Click() {
  if (EntryCount() == 0 || !FBundleOpen) {
    platform_.MessageBox(BoxKind::Information, "You have to open a bundle first!");
    return;
  }
  if (RefuseWhileBusy()) return;
  std::optional<QString> folder = BrowseForFolder("Select the folder to save the tiles to.");
  if (!folder) return;
  TBatchJob job;
  job.title = "Saving all tiles as BMPs";
  job.what = "Saving the tiles";
  job.noun = "tiles";
  job.destination = FsPath(*folder);
  for (int i = 0; i < FReader->Count(); ++i) {
    const std::string name(FReader->GetName(i));
    if (!vld::NameContains(name, ".til")) continue;
    // sets\beach.til -> FOLDER/sets/beach.bmp, with the folder part kept
    // inside FOLDER whatever the name holds.
    std::size_t slash = name.rfind('\\');
    std::string dirPart = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    vld::TEntryPath mapped = vld::MapEntryName(dirPart + vld::SaveSuggestion(name, ".bmp"));
    job.items.push_back({i, mapped.Joined()});
  }
  if (!job.items.empty())
    Label5->setText(Latin1(vld::SaveSuggestion(FReader->GetName(job.items.back().index), ".bmp")));
  const vld::TLabReader* reader = FReader.get();
  job.produce = [reader](int index, vld::ByteSpan bytes) {
    if (reader->GetSize(index) < 1) throw vld::VldError(vld::kEmptyEntryRefusal);
    vld::TDecoded d = vld::DecodeEntry(vld::FormatForType(".til"), {bytes, reader->GetName(index)});
    if (d.Refused()) throw vld::VldError(d.refusal);
    return std::move(d.picture.bmp);
  };
  StartBatch(std::move(job));
}
