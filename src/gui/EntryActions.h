#pragma once

#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>

#include "core/browser/Formats.h"
#include "core/bundle/BundleEdit.h"
#include "core/common/MemoryStream.h"
#include "core/lua/LuaCompiler.h"

class TSession;
class TImageForm;
class TTextViewerForm;
class TSurfacePlayerForm;
class THexViewForm;

// What can be done with one entry: its preview, chosen by one switch on its
// type's preview kind (a type without one shows its bytes in a hex view),
// and its conversions to BMP, PNG and WAV. Decoding runs on the worker; the
// secondary windows are handed the result.
class TEntryActions : public QObject {
  Q_OBJECT

 public:
  explicit TEntryActions(TSession& session, QObject* parent = nullptr);

  void AttachWindows(TImageForm* image, TTextViewerForm* text, TSurfacePlayerForm* surface);

  // The action of the selected entry: the first type of the dispatch order
  // its name contains. The enabled state of the action button is not asked.
  void Run();
  // The extension of the type whose action ran last; empty for the hex view.
  const QString& LastAction() const { return lastAction_; }

  // The views; each does nothing unless the selected name contains its type's extension.
  void ShowImage(const vld::TFormat& format);
  void PlaySound(const vld::TFormat& format);
  void ShowText();
  void ShowScript();
  void PlaySurface();
  void PlayMovie();
  void ShowHexView();
  const std::vector<QPointer<THexViewForm>>& HexViews() const { return hexViews_; }
  void CloseHexViews();
  // The entries were edited: a hex view of an entry that got new bytes is
  // replaced by a view of them, in its place.
  void RefreshHexViews();
  // Another file (or the saved bundle) is open: the views no longer follow edits.
  void ForgetHexOrigins();

  // A complete BMP file in dest (positioned at 0), or dest left empty for an
  // invalid index or an empty entry (after the box).
  void DecodeInto(int index, const vld::TFormat& format, vld::TMemoryStream& dest);
  void LoadBMPEntry(int index, vld::TMemoryStream& dest);

  void SavePicture(bool png);
  void SaveWave();
  void SavePictureFromViewer(const vld::Bytes& bmp, bool png);
  void SaveTextFromViewer(const QString& suggestedName, const vld::Bytes& text);
  // "Compile to file..." of the script view: a chunk from the shown text, or
  // the compiler's error in a box with its line selected in the text.
  void CompileFromViewer(const QString& suggestedName, const vld::Bytes& text, vld::TLuaCompileOptions options);
  // The text viewer's script compiled; nullopt after the compiler's error was
  // shown in a box with its line selected in the text.
  std::optional<vld::Bytes> CompileScriptText(const vld::Bytes& text, const vld::TLuaCompileOptions& options);

  // The sound player (the hidden media player).
  bool PlayerOpen() const { return playerOpen_; }
  void ClosePlayer();
  void PlayerNotified();

  // Writes the open Smush file's Bink data to path; false (after a notice) when it has none.
  bool ExtractBinkData(const QString& path);
  // The external player: VLD_BINK_PLAYER, else the platform's default; empty when none is found.
  static QString BinkPlayerProgram();

 private:
  // Decodes the selected entry as `format` on the worker, then hands the
  // result to `show` (refusals go to an error box instead).
  void DecodeSelected(const vld::TFormat& format, std::function<void(vld::TDecoded&)> show);
  void ShowPicture(const vld::TImageFile& picture, const std::string& entryName);
  void PlayWave(const vld::Bytes& wave);
  THexViewForm* MakeHexView(int entry);
  // The selected entry when a bundle is open and its name contains the type's extension; -1 otherwise.
  int SelectedOfType(const vld::TFormat& format) const;

  TSession& session_;
  TImageForm* imageForm_ = nullptr;
  TTextViewerForm* textForm_ = nullptr;
  TSurfacePlayerForm* surfaceForm_ = nullptr;
  std::vector<QPointer<THexViewForm>> hexViews_;  // open hex views; each closes with the main window
  // What each hex view of the open bundle shows: the entry's index in the
  // file (-1 for an added one) and its new bytes (null: the file's).
  struct THexOrigin {
    int original = -1;
    vld::TContentPtr content;
  };
  std::unordered_map<const QObject*, THexOrigin> hexOrigins_;
  QString lastAction_;
  bool playerOpen_ = false;
};
