#include "gui/ProgramWatch.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

QString FirstOutputLines(const QByteArray& output, int maxLines, int maxBytes) {
  QStringList lines = QString::fromLocal8Bit(output.left(maxBytes)).split('\n');
  while (!lines.isEmpty() && lines.last().trimmed().isEmpty()) lines.removeLast();
  if (lines.isEmpty()) return "(it printed nothing)";
  const bool more = lines.size() > maxLines || output.size() > maxBytes;
  if (lines.size() > maxLines) lines = lines.mid(0, maxLines);
  for (QString& line : lines) {
    if (line.endsWith('\r')) line.chop(1);
  }
  return lines.join('\n') + (more ? "\n..." : "");
}

bool StartWatchedProgram(const QString& program, const QStringList& arguments, const QString& outputFile, int watchMs,
                         std::function<void(const QString& failure)> onFailure) {
  // No parent: destroying a QProcess stops its program, and the player must
  // outlive this window (and this program) if the user keeps watching. The
  // object goes away when the program ends while we still run.
  auto* process = new QProcess;
  process->setProcessChannelMode(QProcess::MergedChannels);
  // A file rather than a pipe: a player that goes on printing after this
  // program has exited must not be stopped by a broken pipe.
  if (!outputFile.isEmpty()) process->setStandardOutputFile(outputFile);
  process->setStandardInputFile(QProcess::nullDevice());
  process->start(program, arguments);
  if (!process->waitForStarted(10000)) {
    delete process;
    return false;
  }
  QElapsedTimer sinceStart;
  sinceStart.start();
  QObject::connect(process, &QProcess::finished, process,
                   [process, sinceStart, watchMs, outputFile, onFailure](int exitCode, QProcess::ExitStatus status) {
                     const bool failed = status == QProcess::CrashExit || exitCode != 0;
                     if (sinceStart.elapsed() < watchMs && failed && onFailure) {
                       QByteArray output;
                       QFile file(outputFile);
                       if (file.open(QIODevice::ReadOnly)) output = file.read(4096);
                       const QString how = status == QProcess::CrashExit
                                               ? QString("crashed")
                                               : QString("stopped with exit code %1").arg(exitCode);
                       onFailure(how + " right after it was started. What it printed:\n" + FirstOutputLines(output));
                     }
                     process->deleteLater();
                   });
  return true;
}
