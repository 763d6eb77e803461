#include "cli/CliBatch.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <iterator>

#include "cli/CliCommon.h"
#include "core/common/FileIO.h"
#include "core/common/ShownText.h"

namespace vld::cli {

namespace {

std::atomic<bool> gInterrupted{false};
std::atomic<int> gSignal{0};

extern "C" void OnInterrupt(int signal) {
  gSignal.store(signal);
  gInterrupted.store(true);
}

constexpr int kSignals[] = {SIGINT, SIGTERM};

}  // namespace

// Ctrl+C, and SIGTERM (what `timeout` and `kill` send), ask the work to stop
// for as long as a scope lives. A tool started with a signal ignored (a
// background job of a script) keeps ignoring it: the Ctrl+C is meant for the
// job in the foreground.
TInterruptScope::TInterruptScope() {
  gInterrupted = false;
  gSignal = 0;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    previous_[i] = std::signal(kSignals[i], OnInterrupt);
    if (previous_[i] == SIG_IGN) std::signal(kSignals[i], SIG_IGN);
  }
}

TInterruptScope::~TInterruptScope() {
  for (std::size_t i = 0; i < std::size(kSignals); ++i)
    std::signal(kSignals[i], previous_[i] == SIG_ERR ? SIG_DFL : previous_[i]);
}

const std::atomic<bool>& InterruptFlag() { return gInterrupted; }

int InterruptExitCode() { return gSignal.load() == SIGTERM ? kTerminatedExitCode : kInterruptedExitCode; }

namespace {

constexpr int kBarWidth = 24;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

double MiB(std::int64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// One line, rewritten at most ten times a second.
class ProgressBar {
 public:
  void Show(const TBatchProgress& p, bool force = false) {
    auto now = std::chrono::steady_clock::now();
    if (!force && shown_ && now - last_ < kRedrawInterval) return;
    last_ = now;
    shown_ = true;
    double seconds = std::chrono::duration<double>(now - start_).count();
    double part = p.bytesTotal > 0 ? static_cast<double>(p.bytesDone) / static_cast<double>(p.bytesTotal)
                                   : (p.total > 0 ? static_cast<double>(p.done) / p.total : 1.0);
    int filled = static_cast<int>(part * kBarWidth + 0.5);
    std::string bar(static_cast<std::size_t>(std::clamp(filled, 0, kBarWidth)), '#');
    bar.resize(kBarWidth, '.');
    std::fprintf(stderr, "\r\033[K[%s] %d/%d files, %.1f/%.1f MiB, %.1f MiB/s", bar.c_str(), p.done, p.total,
                 MiB(p.bytesDone), MiB(p.bytesTotal), seconds > 0 ? MiB(p.bytesDone) / seconds : 0.0);
    std::fflush(stderr);
  }
  void Clear() {
    if (shown_) std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_;
  bool shown_ = false;
};

}  // namespace

TBatchResult RunCliBatch(const TLabReader& reader, const std::filesystem::path& destination,
                         std::span<const TBatchItem> items, const TBatchProduce& produce, int jobs,
                         bool lastFolderIsOurs) {
  TInterruptScope interrupt;
  ProgressBar bar;
  TBatchOptions options;
  options.jobs = jobs;
  options.lastFolderIsOurs = lastFolderIsOurs;
  options.cancel = &gInterrupted;
  if (ShowProgress()) options.progress = [&bar](const TBatchProgress& p) { bar.Show(p); };
  TBatchResult result;
  try {
    result = RunBatch(reader, destination, items, produce, options);
  } catch (...) {
    bar.Clear();
    throw;
  }
  bar.Clear();
  if (result.cancelled) {
    std::cerr << "Interrupted: " << result.files << " of " << items.size() << " files were written into "
              << PathText(destination) << "; none is left half-written.\n";
    // 128 + the signal, as a shell reports a program the signal ended.
    throw TExitCode(InterruptExitCode());
  }
  return result;
}

std::string ReportBatchNotes(const TLabReader& reader, const TBatchResult& result) {
  if (!result.renamed.empty()) {
    std::size_t n = result.renamed.size();
    std::cerr << "vldtool: " << n << (n == 1 ? " entry" : " entries") << " had a name already written in this run"
              << (result.foldsCase ? " (this file system ignores case)" : "") << " and went to another name:\n";
    for (const TBatchRename& r : result.renamed)
      std::cerr << "  " << ShownName(reader.GetName(r.index)) << " -> " << r.to << "\n";
  }
  for (const TBatchIssue& link : result.replacedLinks) std::cerr << "vldtool: " << ShownMessage(link.message) << "\n";
  for (const TBatchIssue& refusal : result.refused)
    std::cerr << "vldtool: entry " << ShownName(reader.GetName(refusal.index))
              << " was not written: " << ShownMessage(refusal.message) << "\n";
  if (result.refused.empty()) return {};
  std::size_t n = result.refused.size();
  return std::to_string(n) + (n == 1 ? " entry was" : " entries were") +
         " not written because a symbolic link stands in the destination.";
}

void AddJobsOption(CLI::App& command, int& jobs) {
  command.add_option("-j,--jobs", jobs, "Worker threads (default: one per core)")->check(CLI::NonNegativeNumber);
}

}  // namespace vld::cli
