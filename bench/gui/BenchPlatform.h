#pragma once

// The platform the GUI benchmarks run the real windows on: no sound, and every
// dialog answered at once (a folder when one was given, OK to every box); and
// what the window benchmarks share besides.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "core/bundle/LabWriter.h"
#include "gui/Platform.h"

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The bundle of bench_open: `entries` entries of 8 bytes in 200 folders.
inline void WriteFolderBundle(const std::filesystem::path& path, int entries) {
  vld::LabWriter w;
  for (int i = 0; i < entries; ++i)
    w.Add("folder" + std::to_string(i % 200) + "\\entry_" + std::to_string(i) + ".til", vld::Bytes(8, 1));
  w.Write(path);
}

class TSilentPlayer : public IMediaPlayer {
 public:
  void Open(const QString&) override {}
  void Play() override {}
  void Stop() override {}
  void Close() override {}
  PlayerMode Mode() const override { return PlayerMode::NotOpen; }
  bool HasOutput() const override { return false; }
};

class TBenchPlatform : public IPlatform {
 public:
  explicit TBenchPlatform(QString folder = {}) : folder_(std::move(folder)) {}
  void MessageBox(BoxKind, const QString& text) override { std::fprintf(stderr, "box: %s\n", qPrintable(text)); }
  std::optional<QString> OpenFile(QWidget*, const QString&, const QString&) override { return std::nullopt; }
  std::optional<QString> SaveFile(QWidget*, const QString&, const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> ChooseFolder(QWidget*, const QString&) override {
    return folder_.isEmpty() ? std::nullopt : std::optional<QString>(folder_);
  }
  void ShowModal(QWidget*) override {}
  bool StartProgram(const QString&, const QStringList&, std::function<void(const QString&)>) override { return false; }
  int AskChoice(BoxKind, const QString& text, const QStringList& buttons) override {
    std::fprintf(stderr, "box: %s\n", qPrintable(text));
    return static_cast<int>(buttons.size()) - 1;
  }
  bool OpenFolder(const QString&) override { return false; }
  IMediaPlayer& Player() override { return player_; }

 private:
  QString folder_;
  TSilentPlayer player_;
};
