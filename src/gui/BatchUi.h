#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include "core/browser/Batch.h"
#include "core/browser/Formats.h"
#include "core/browser/OpenFile.h"

class TExtractForm;

inline const char* kUnsavedBatchRefusal =
    "The bundle has changes that are not saved yet. Save them first (File > Save), so that what is written is "
    "what the list shows.";
class TSession;

// Writing entries to disk from the viewer: "Save file..." of one entry (or
// the stand-alone file), Extract all, the saves of the selection, the tiles
// as BMPs and the files a drag carries. Everything runs on the worker with
// the progress window and its Cancel, and writes only whole files.
class TBatchUi : public QObject {
  Q_OBJECT

 public:
  explicit TBatchUi(TSession& session, QObject* parent = nullptr);
  // The window that shows a run's progress and offers Cancel.
  void SetProgressWindow(TExtractForm* progress) { progress_ = progress; }

  void SaveFile();
  void ExtractAll();
  // Writes the entries below a chosen folder: raw, or converted (pictures in the given format).
  void SaveSelected(const std::vector<int>& entries, std::optional<vld::ImageFormat> convert);
  void SaveAllTiles();
  // The files a drag of these entries hands over (written raw into a folder
  // of this run's temporary folder, which lives until the program ends).
  QList<QUrl> DragFiles(const std::vector<int>& entries);
  std::optional<QString> BrowseForFolder(const QString& title);

  // Entries from this size on are saved with the progress window and Cancel.
  static constexpr std::int64_t kLargeSave = 8 * 1024 * 1024;

 signals:
  // The window takes no input while a batch writes (false), and again after (true).
  void inputEnabled(bool enabled);
  // The batch tile command names its last file (the hidden label shows it).
  void tileNameChosen(const QString& name);

 private:
  // Batch work below one folder, on the worker, with the progress window.
  struct TBatchJob {
    TBatchJob(QString t, QString w, QString n) : title(std::move(t)), what(std::move(w)), noun(std::move(n)) {}
    QString title;   // the progress window's caption
    QString what;    // "Extraction", for the texts at the end
    QString noun;    // "entries", "tiles"
    QString notice;  // a plain box shown as the run starts; empty for none
    std::filesystem::path destination;
    bool lastFolderIsOurs = false;  // as in vld::TBatchOptions
    std::vector<vld::TBatchItem> items;
    vld::TBatchProduce produce;  // none: raw copies
    std::vector<int> missing;    // entries past the end of the bundle, left out
  };
  // A bundle is open, it has no unsaved changes and no other work runs;
  // otherwise says why and returns false.
  bool CanStart();
  bool RefuseUnsaved();
  void StartBatch(TBatchJob job);
  void ReportBatch(const TBatchJob& job, const vld::TBatchResult& result, int total);
  void ReportIssues(const TBatchJob& job, const vld::TBatchResult& result, int total);
  // Leaves out the entries of which nothing lies in the file.
  std::vector<int> Present(const std::vector<int>& entries, std::vector<int>& missing) const;
  void CopyRaw(const std::filesystem::path& target, const vld::TOpenFile::TRawRange& range, const QString& shortText);

  TSession& session_;
  TExtractForm* progress_ = nullptr;
  int drags_ = 0;
  // The file a raw save of a replaced entry copies from; kept until the next one (the worker reads it).
  std::unique_ptr<vld::TFileStream> copySource_;
};
