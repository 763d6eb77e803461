#pragma once

#include <functional>

#include <QString>
#include <QStringList>

// Starts another program (a movie player) that runs on its own, and watches
// it for its first `watchMs` milliseconds: if it exits with an error or
// crashes in that time, `onFailure` gets a text saying how it ended followed
// by the first lines it printed (standard output and error, kept in
// `outputFile`). Returns false when the program could not be started at all.
// A program still running when the watch ends is left to itself: it goes on
// running when this program exits.
bool StartWatchedProgram(const QString& program, const QStringList& arguments, const QString& outputFile, int watchMs,
                         std::function<void(const QString& failure)> onFailure);

// How long a started player is watched for an early failure.
constexpr int kPlayerWatchMs = 5000;

// The first lines of a program's output, at most `maxLines` lines and about
// `maxBytes` bytes, for a message box; "(it printed nothing)" when empty.
QString FirstOutputLines(const QByteArray& output, int maxLines = 8, int maxBytes = 2000);
