#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>

#include <QFile>
#include <QString>

// Entry names and 8-bit texts are Latin-1; file paths go through Qt's file-name encoding.
inline QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string Bytes8(const QString& text) { return text.toLatin1().toStdString(); }
// On Windows through the wide-character form: the narrow one goes through the
// ANSI code page, which cannot hold every name (CJK folders on a Western system).
inline std::filesystem::path FsPath(const QString& path) {
#ifdef _WIN32
  return std::filesystem::path(path.toStdWString());
#else
  return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}
// The last part of a path, whichever of '\\' and '/' separates it.
inline QString FileNamePart(const QString& path) {
  return path.mid(std::max(path.lastIndexOf('\\'), path.lastIndexOf('/')) + 1);
}
inline QString PathQt(const std::filesystem::path& path) {
#ifdef _WIN32
  return QString::fromStdWString(path.wstring());
#else
  return QFile::decodeName(path.string().c_str());
#endif
}
