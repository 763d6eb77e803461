#include "gui/EntryActions.h"

#include <algorithm>

#include <QPlainTextEdit>
#include <QPointer>
#include <QProcessEnvironment>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>

#include "core/audio/BinkData.h"
#include "core/browser/HexView.h"
#include "core/browser/Import.h"
#include "core/bundle/LabReader.h"
#include "core/common/EntryNames.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "core/lua/LuaDump.h"
#include "gui/GuiText.h"
#include "gui/HexViewForm.h"
#include "gui/ImageViewer.h"
#include "gui/Session.h"
#include "gui/SurfacePlayer.h"
#include "gui/TextViewer.h"
#include "gui/Work.h"

using Cancel = const std::atomic<bool>&;

TEntryActions::TEntryActions(TSession& session, QObject* parent) : QObject(parent), session_(session) {}

void TEntryActions::AttachWindows(TImageForm* image, TTextViewerForm* text, TSurfacePlayerForm* surface) {
  imageForm_ = image;
  textForm_ = text;
  surfaceForm_ = surface;
}

void TEntryActions::Run() {
  if (session_.Selected() < 0 || session_.RefuseWhileBusy()) return;
  const vld::TFormat* format = vld::FormatForAction(session_.SelectedRawName());
  lastAction_ = format ? format->contains : "";
  switch (format ? format->preview : vld::PreviewKind::None) {
    case vld::PreviewKind::Picture:
      return ShowImage(*format);
    case vld::PreviewKind::Sound:
      return PlaySound(*format);
    case vld::PreviewKind::Text:
      return ShowText();
    case vld::PreviewKind::Script:
      return ShowScript();
    case vld::PreviewKind::Surface:
      return PlaySurface();
    case vld::PreviewKind::Movie:
      return PlayMovie();
    case vld::PreviewKind::None:
      return ShowHexView();
  }
}

int TEntryActions::SelectedOfType(const vld::TFormat& format) const {
  if (!session_.File().IsBundle()) return -1;
  if (!vld::NameContains(session_.SelectedRawName(), format.contains)) return -1;
  return session_.Selected();
}

void TEntryActions::DecodeSelected(const vld::TFormat& format, std::function<void(vld::TDecoded&)> show) {
  const int index = session_.Selected();
  // The entry as edited: edits wait while the worker runs.
  const vld::TOpenFile* file = &session_.File();
  const std::string name = file->EntryName(index);
  vld::TDecodeReport report{session_.WorkerStatus(), session_.WorkerLog()};
  session_.Work().Start<vld::TDecoded>(
      "Decoding " + Latin1(name),
      [file, index, name, &format, report](Cancel) {
        vld::Bytes bytes = file->ReadEntryBytes(index);
        return vld::DecodeEntry(format, {bytes, name}, report);
      },
      [this, show](vld::TDecoded& d) {
        session_.SetStatus(1, "");
        if (d.Refused()) {
          session_.Platform().MessageBox(BoxKind::Error, QString::fromUtf8(d.refusal.c_str()));
          return;
        }
        session_.Guarded([&] { show(d); });
      },
      [this](std::exception_ptr e) {
        session_.SetStatus(1, "");
        session_.ShowError(e);
      });
}

void TEntryActions::DecodeInto(int index, const vld::TFormat& format, vld::TMemoryStream& dest) {
  if (format.loadingText) session_.SetStatus(1, format.loadingText);
  const vld::TOpenFile& file = session_.File();
  if (!file.IsBundle() || index < 0 || index >= file.EntryCount()) return;
  if (session_.RefuseEntry(index)) return;
  const std::string name = file.EntryName(index);
  vld::TDecoded d =
      vld::DecodeEntry(format, {file.ReadEntryBytes(index), name},
                       {[this](const std::string& t) { session_.SetStatus(1, QString::fromStdString(t)); }, {}});
  session_.SetStatus(1, "");
  if (d.Refused()) throw vld::VldError(d.refusal);
  dest.Write(d.picture.bmp);
  dest.Seek(0);
}

void TEntryActions::LoadBMPEntry(int index, vld::TMemoryStream& dest) {
  session_.SetStatus(1, "Loading bitmap...");
  const vld::TOpenFile& file = session_.File();
  if (!file.IsBundle() || index < 0 || index >= file.EntryCount()) return;
  if (session_.RefuseEntry(index)) return;
  dest.Write(file.ReadEntryBytes(index));
  dest.Seek(0);
  session_.SetStatus(1, "");
}

void TEntryActions::ShowPicture(const vld::TImageFile& picture, const std::string& entryName) {
  imageForm_->LoadPicture(picture.bmp);  // an unreadable bitmap is reported and not shown
  // A BMP entry is sized from the loaded picture, the decoded images from the decoder's size.
  const QImage& loaded = imageForm_->Picture();
  if (picture.width > 0 || loaded.isNull())
    imageForm_->SizeFor(picture.width, picture.height);
  else
    imageForm_->SizeFor(loaded.width(), loaded.height());
  imageForm_->SetEntryName(Latin1(entryName));
  session_.Platform().ShowModal(imageForm_);
}

void TEntryActions::ShowImage(const vld::TFormat& format) {
  const int index = SelectedOfType(format);
  if (index < 0) return;
  // The view commands set their first status text before the size check.
  if (format.loadingText) session_.SetStatus(1, format.loadingText);
  // An entry past the end of the bundle is refused before any window opens.
  if (session_.RefuseEntry(index, false)) return;
  if (session_.RefuseEntry(index)) {
    // An empty entry still opens the viewer, with an empty picture; a BMP
    // entry sizes it from that picture.
    imageForm_->LoadPicture({});
    if (&format == &vld::FormatOf(".bmp")) imageForm_->SizeFor(0, 0);
    session_.Platform().ShowModal(imageForm_);
    return;
  }
  const std::string name = session_.SelectedRawName();
  DecodeSelected(format, [this, name](vld::TDecoded& d) { ShowPicture(d.picture, name); });
}

void TEntryActions::SavePicture(bool png) {
  if (session_.Selected() < 0 || !session_.File().IsBundle() || session_.RefuseWhileBusy()) return;
  const int index = session_.Selected();
  const std::string name = session_.SelectedRawName();
  const vld::TFormat* format = vld::FormatForSaveBmp(name);
  if (png && !format) return;
  const QString ext = png ? ".png" : ".bmp";
  std::optional<QString> path =
      session_.RunSaveDialog(Latin1(vld::SaveSuggestion(name, ext.toStdString())),
                             png ? "PNG images (*.png)|*.png" : "Bitmap images (*.bmp)|*.bmp", ext.mid(1), ext.mid(1));
  if (!path || !format) return;
  // A refused entry (size 0 or less) has shown its box; no file is written for it.
  if (session_.RefuseEntry(index)) return;
  const std::filesystem::path target = FsPath(*path);
  DecodeSelected(*format, [target, png](vld::TDecoded& d) {
    vld::WriteFileAtomic(target, png ? vld::BmpToPng(d.picture.bmp) : d.picture.bmp);
  });
}

void TEntryActions::SavePictureFromViewer(const vld::Bytes& bmp, bool png) {
  const std::string name = session_.SelectedRawName();
  // The BMP save keeps whatever filter the last save command set.
  std::optional<QString> path =
      png ? session_.RunSaveDialog(Latin1(vld::SaveSuggestion(name, ".png")), "PNG images (*.png)|*.png", "png", "png")
          : session_.RunSaveDialog(Latin1(vld::BmpSuggestion(name)), QString(), "bmp", "bmp");
  if (path) vld::WriteFileAtomic(FsPath(*path), png ? vld::BmpToPng(bmp) : bmp);
}

void TEntryActions::SaveTextFromViewer(const QString& suggestedName, const vld::Bytes& text) {
  std::optional<QString> path = session_.RunSaveDialog(suggestedName, "Text files (*.txt)|*.txt", "txt", "txt");
  if (path) vld::WriteFileAtomic(FsPath(*path), text);
}

std::optional<vld::Bytes> TEntryActions::CompileScriptText(const vld::Bytes& text,
                                                           const vld::TLuaCompileOptions& options) {
  const vld::TLuaCompiled compiled =
      vld::CompileLua(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), options);
  if (compiled.Failed) {
    textForm_->SelectLine(compiled.Error.Line);
    session_.Platform().MessageBox(BoxKind::Error, Latin1(compiled.Error.Text()));
    return std::nullopt;
  }
  return compiled.Chunk;
}

void TEntryActions::CompileFromViewer(const QString& suggestedName, const vld::Bytes& text,
                                      vld::TLuaCompileOptions options) {
  // Compiled before anything is asked: a mistake is shown at once, on its line.
  const std::optional<vld::Bytes> chunk = CompileScriptText(text, options);
  if (!chunk) return;
  std::optional<QString> path = session_.RunSaveDialog(suggestedName, "Compiled scripts (*.lua)|*.lua", "lua", "chunk");
  if (!path) return;
  vld::WriteFileAtomic(FsPath(*path), *chunk);
  session_.SetStatus(1, "Compiled to " + *path);
}

void TEntryActions::ShowText() {
  const int i = session_.Selected();
  if (i < 0 || !session_.File().IsBundle()) return;
  if (session_.RefuseEntry(i)) return;
  const std::string name = session_.SelectedRawName();
  DecodeSelected(vld::FormatOf(".tab"), [this, name, i](vld::TDecoded& d) {
    textForm_->LoadText(vld::AsSpan(d.text), name);
    textForm_->SetSourceEntry(i);
    if (textForm_->isVisible()) {
      // Already open without blocking (a script's text): the new text replaces
      // the old and the viewer comes to the front.
      textForm_->ShowNonModal();
      return;
    }
    session_.Platform().ShowModal(textForm_);
  });
}

void TEntryActions::ShowScript() {
  const int i = session_.Selected();
  if (i < 0 || !session_.File().IsBundle() || session_.RefuseWhileBusy()) return;
  // No size check: an empty or short chunk is reported by the loader.
  if (session_.RefuseEntry(i, false)) return;
  const std::string name = session_.SelectedRawName();
  const vld::TOpenFile* file = &session_.File();
  DecodeSelected(vld::FormatOf(".lua"), [this, name, file, i](vld::TDecoded& d) {
    // Compiling the shown text again keeps the chunk's own number format,
    // source name and choice of line information.
    const vld::TLuaCompileOptions options =
        vld::ScriptOptionsOf(file->ReadEntryBytes(i), vld::NameAfterLastBackslash(name));
    textForm_->LoadScript(vld::AsSpan(d.text), name, options);
    textForm_->SetSourceEntry(i);
    textForm_->ShowNonModal();
  });
}

void TEntryActions::PlaySurface() {
  const int i = session_.Selected();
  if (i < 0 || !session_.File().IsBundle()) return;
  if (session_.RefuseEntry(i)) return;
  const vld::TOpenFile* file = &session_.File();
  const std::string name = file->EntryName(i);
  vld::StatusFn status = session_.WorkerStatus();
  session_.Work().Start<vld::TSurfaceLoad>(
      "Loading the surface",
      // The description and its textures as edited.
      [file, i, status](Cancel) {
        vld::Bytes description = file->ReadEntryBytes(i);
        return vld::LoadSurfaceFrames(*file->Edits(), description, status);
      },
      [this, name](vld::TSurfaceLoad& load) {
        session_.SetStatus(1, "");
        // An empty texture is refused as its own view would be.
        for (int k = 0; k < load.emptyFrames; ++k)
          session_.Platform().MessageBox(BoxKind::Error, vld::kEmptyEntryRefusal);
        surfaceForm_->LoadSurface(load, Latin1(name));
        if (load.list.cut || load.skipped > 0) {
          session_.Platform().MessageBox(
              BoxKind::Warning,
              QString("Not every frame of this surface could be loaded: %1 textures were damaged or too large%2.")
                  .arg(load.skipped)
                  .arg(load.list.cut ? QString(", and only the first %1 lines are listed").arg(vld::kMaxSurfaceItems)
                                     : QString()));
        }
        session_.Platform().ShowModal(surfaceForm_);
      },
      [this](std::exception_ptr e) {
        session_.SetStatus(1, "");
        session_.ShowError(e);
      });
}

void TEntryActions::ClosePlayer() {
  if (!playerOpen_) return;
  session_.Platform().Player().Stop();
  session_.Platform().Player().Close();
  playerOpen_ = false;
}

void TEntryActions::PlayWave(const vld::Bytes& wave) {
  const std::filesystem::path temp = session_.TempDir().File("temp.wav");
  vld::WriteFileAtomic(temp, wave);
  IMediaPlayer& player = session_.Platform().Player();
  // Open throws with the device's own message when it refuses the file (or
  // there is no output device); the player then stays closed.
  player.Open(PathQt(temp));
  playerOpen_ = true;
  player.Play();
}

void TEntryActions::PlaySound(const vld::TFormat& format) {
  // A second play stops and closes the first, whatever follows.
  ClosePlayer();
  const int index = SelectedOfType(format);
  if (index < 0 || session_.RefuseEntry(index)) return;
  DecodeSelected(format, [this](vld::TDecoded& d) { PlayWave(d.wave); });
}

void TEntryActions::PlayerNotified() {
  IMediaPlayer& player = session_.Platform().Player();
  if (playerOpen_ && player.Mode() != PlayerMode::Playing) {
    player.Close();
    playerOpen_ = false;
  }
}

void TEntryActions::SaveWave() {
  if (session_.Selected() < 0 || !session_.File().IsBundle() || session_.RefuseWhileBusy()) return;
  const int i = session_.Selected();
  const std::string name = vld::NameAfterLastBackslash(session_.SelectedRawName());
  std::optional<QString> path =
      session_.RunSaveDialog(Latin1(vld::SaveSuggestion(name, ".wav")), "Wave audio files (*.wav)|*.wav", "wav", "wav");
  if (!path) return;
  // The save never touches the player.
  const vld::TFormat* source = vld::FormatForSaveWav(name);
  if (!source || session_.RefuseEntry(i)) return;
  const std::filesystem::path target = FsPath(*path);
  DecodeSelected(*source, [target](vld::TDecoded& d) { vld::WriteFileAtomic(target, d.wave); });
}

bool TEntryActions::ExtractBinkData(const QString& path) {
  if (!vld::ExtractBinkData(session_.File().SingleFile(), FsPath(path))) {
    session_.Platform().MessageBox(BoxKind::Information, QString::fromLatin1(vld::kNonStandardSmushText.data()));
    return false;
  }
  return true;
}

QString TEntryActions::BinkPlayerProgram() {
  QString configured = QProcessEnvironment::systemEnvironment().value("VLD_BINK_PLAYER");
  if (!configured.isEmpty()) return configured;
#ifdef Q_OS_WIN
  return "c:\\binkplay.exe";
#else
  for (const char* candidate : {"ffplay", "mpv"}) {
    QString found = QStandardPaths::findExecutable(candidate);
    if (!found.isEmpty()) return found;
  }
  return QString();
#endif
}

void TEntryActions::PlayMovie() {
  const vld::TOpenFile& file = session_.File();
  QString path;
  if (file.SingleSmush()) {
    path = PathQt(session_.TempDir().File("temp.bik"));
    // Without Bink data there is nothing to play.
    if (!ExtractBinkData(path)) return;
  } else if (file.SingleBink()) {
    path = PathQt(file.Path());
  } else {
    // A ".bik" entry inside a bundle is not played from the bundle.
    session_.SetStatus(1, "Save the movie (Save file...) and open the saved file to play it.");
    return;
  }
  IPlatform& platform = session_.Platform();
  const QString player = BinkPlayerProgram();
  if (player.isEmpty()) {
    platform.MessageBox(BoxKind::Error,
                        "No Bink player was found (looked for ffplay and mpv on the PATH). Set the environment "
                        "variable VLD_BINK_PLAYER to the player program you want to use.");
    return;
  }
  QPointer<TEntryActions> self(this);
  auto onFailure = [self, player](const QString& failure) {
    if (self) self->session_.Platform().MessageBox(BoxKind::Error, "The Bink player " + player + " " + failure);
  };
  if (!platform.StartProgram(player, {path}, onFailure)) {
    platform.MessageBox(BoxKind::Error, "The Bink player " + player +
                                            " could not be started. Set the environment variable VLD_BINK_PLAYER "
                                            "to the player program you want to use.");
    return;
  }
  session_.SetStatus(1, "Started " + player);
}

void TEntryActions::ShowHexView() {
  const int i = session_.Selected();
  const vld::TOpenFile& file = session_.File();
  if (i < 0 || !file.IsOpen()) return;
  std::erase_if(hexViews_, [](const QPointer<THexViewForm>& w) { return w.isNull(); });
  THexViewForm* view = MakeHexView(i);
  QWidget* owner = session_.Owner();
  // Centred on the main window, each further view a step down and right, so
  // none hides another (the steps start over after a few); never larger than
  // most of the screen, and wholly on it.
  const int step = 24 * static_cast<int>(hexViews_.size() % 8);
  QRect place(QPoint(), view->size());
  if (QScreen* screen = owner->screen()) {
    const QRect a = screen->availableGeometry();
    place.setSize(place.size().boundedTo(a.size() * 4 / 5).expandedTo(view->minimumSizeHint()));
    place.moveCenter(owner->frameGeometry().center());
    auto onScreen = [&a, &place](QPoint at) {
      return QPoint(std::clamp(at.x(), a.left(), std::max(a.left(), a.right() - place.width())),
                    std::clamp(at.y(), a.top(), std::max(a.top(), a.bottom() - place.height())));
    };
    // The step goes down and right, or up and left where the screen ends.
    const QPoint base = onScreen(place.topLeft());
    const QPoint down = base + QPoint(step, step);
    place.moveTopLeft(onScreen(down) == down ? down : onScreen(base - QPoint(step, step)));
  }
  view->setGeometry(place);
  hexViews_.emplace_back(view);
  view->show();
  view->raise();
  view->activateWindow();
}

THexViewForm* TEntryActions::MakeHexView(int i) {
  const vld::TOpenFile& file = session_.File();
  // Each view reads through a handle of its own (or a copy of new bytes), so
  // it may stay open while another entry or another file is looked at.
  vld::THexSource source = !file.IsBundle()           ? vld::WholeFileSource(file.Path())
                           : file.EntryHasNewBytes(i) ? vld::BytesHexSource(file.ReadEntryBytes(i))
                                                      : vld::EntryHexSource(*file.Reader(), file.OriginalIndex(i));
  const QString title = file.IsBundle() ? Latin1(file.EntryName(i)) : FileNamePart(PathQt(file.Path()));
  auto* view = new THexViewForm(std::move(source), title, session_.Owner());
  view->setAttribute(Qt::WA_DeleteOnClose);
  view->SetPlatform(&session_.Platform());
  if (const vld::TBundleEditList* edits = file.Edits()) {
    hexOrigins_[view] = {edits->Entry(i).original, edits->Entry(i).content};
    connect(view, &QObject::destroyed, this, [this](QObject* gone) { hexOrigins_.erase(gone); });
  }
  return view;
}

void TEntryActions::RefreshHexViews() {
  const vld::TBundleEditList* edits = session_.File().Edits();
  if (!edits) return;
  for (QPointer<THexViewForm>& w : hexViews_) {
    auto origin = w ? hexOrigins_.find(w.data()) : hexOrigins_.end();
    if (origin == hexOrigins_.end()) continue;
    // The entry the view shows: the same entry of the file, or the same added bytes.
    const THexOrigin was = origin->second;
    int now = -1;
    for (int j = 0; j < edits->Count() && now < 0; ++j) {
      const vld::TEditEntry& e = edits->Entry(j);
      if (was.original >= 0 ? e.original == was.original : e.original < 0 && e.content == was.content) now = j;
    }
    // Gone, or its bytes are those shown.
    if (now < 0 || edits->Entry(now).content == was.content) continue;
    THexViewForm* fresh = MakeHexView(now);
    fresh->setGeometry(w->geometry());
    fresh->show();
    w->close();
    w = fresh;
  }
}

void TEntryActions::ForgetHexOrigins() { hexOrigins_.clear(); }

void TEntryActions::CloseHexViews() {
  for (const QPointer<THexViewForm>& w : hexViews_)
    if (w) w->close();
}
