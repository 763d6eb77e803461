#include "gui/Session.h"

#include <QFileInfo>
#include <QWidget>

#include "gui/GuiText.h"
#include "gui/Work.h"

TSession::TSession(IPlatform& platform, QWidget* owner)
    : QObject(owner), platform_(platform), owner_(owner), work_(new TWorkRunner(this)) {}

TSession::~TSession() { work_->Stop(); }

vld::TRunTempDir& TSession::TempDir() {
  if (!tempDir_) tempDir_ = std::make_unique<vld::TRunTempDir>();
  return *tempDir_;
}

std::string TSession::SelectedRawName() const {
  const int i = Selected();
  return i >= 0 && i < file_.EntryCount() ? file_.EntryName(i) : std::string();
}

void TSession::SetStatus(int panel, const QString& text) {
  if (panel == 1 && (statusHistory_.isEmpty() || statusHistory_.last() != text)) {
    if (statusHistory_.size() > 1000) statusHistory_.removeFirst();
    statusHistory_ << text;
  }
  emit statusChanged(panel, text);
}

vld::StatusFn TSession::WorkerStatus() {
  return [this](const std::string& text) {
    QString t = QString::fromStdString(text);
    work_->Post([this, t] { SetStatus(1, t); });
  };
}

vld::LogFn TSession::WorkerLog() {
  return [this](const std::string& line) {
    QString t = QString::fromLatin1(line.c_str());
    work_->Post([this, t] { emit logLine(t); });
  };
}

void TSession::ShowError(const std::exception& e) { platform_.MessageBox(BoxKind::Error, QString::fromUtf8(e.what())); }

void TSession::ShowError(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    ShowError(x);
  } catch (...) {
    platform_.MessageBox(BoxKind::Error, "An unexpected error occurred.");
  }
}

bool TSession::RefuseWhileBusy() {
  if (!work_->Busy()) return false;
  SetStatus(1, work_->What() + " is still running: wait for it to finish or cancel it.");
  return true;
}

bool TSession::RefuseEntry(int index, bool checkSize, bool whole) {
  const std::string why = file_.EntryRefusal(index, whole);
  if (!why.empty()) {
    SetStatus(1, "");
    platform_.MessageBox(BoxKind::Error, QString::fromStdString(why));
    return true;
  }
  if (checkSize && file_.IsBundle() && file_.EntrySize(index) < 1) {
    platform_.MessageBox(BoxKind::Error, vld::kEmptyEntryRefusal);
    return true;
  }
  return false;
}

namespace {
QString FolderKey(const QString& kind) { return "saveFolders/" + kind; }
}  // namespace

QString TSession::SaveFolder(const QString& kind) const {
  const QString kept = ViewerSettings().value(FolderKey(kind)).toString();
  if (!kept.isEmpty() && QFileInfo(kept).isDir()) return kept;
  // The first save of a kind starts beside the open file.
  return file_.IsOpen() ? QFileInfo(PathQt(file_.Path())).absolutePath() : QString();
}

std::optional<QString> TSession::RunSaveDialog(const QString& suggestedName, const QString& filter,
                                               const QString& defaultExt, const QString& kind) {
  if (!filter.isEmpty()) saveDialogFilter_ = filter;
  std::optional<QString> path =
      platform_.SaveFile(owner_, suggestedName, saveDialogFilter_, defaultExt, SaveFolder(kind));
  if (!path) return path;
  // Saving over the open file would destroy what everything here reads from.
  std::error_code ec;
  if (file_.IsOpen() && std::filesystem::equivalent(FsPath(*path), file_.Path(), ec)) {
    platform_.MessageBox(BoxKind::Error, *path +
                                             " is the file that is open here; saving over it would destroy it. "
                                             "Choose another name.");
    return std::nullopt;
  }
  ViewerSettings().setValue(FolderKey(kind), QFileInfo(*path).absolutePath());
  return path;
}
