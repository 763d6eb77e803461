#pragma once

#include <atomic>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

#include "core/browser/Batch.h"

namespace vld::cli {

// Ends vldtool with this exit code; what had to be said is printed already.
class TExitCode : public std::exception {
 public:
  explicit TExitCode(int code) : code_(code) {}
  int Code() const { return code_; }
  const char* what() const noexcept override { return "exit"; }

 private:
  int code_;
};

constexpr int kInterruptedExitCode = 130;  // Ctrl+C
constexpr int kTerminatedExitCode = 143;   // SIGTERM

// While one lives, Ctrl+C and SIGTERM raise InterruptFlag() instead of ending the tool.
class TInterruptScope {
 public:
  TInterruptScope();
  ~TInterruptScope();
  TInterruptScope(const TInterruptScope&) = delete;
  TInterruptScope& operator=(const TInterruptScope&) = delete;

 private:
  void (*previous_[2])(int);  // SIGINT, SIGTERM
};
const std::atomic<bool>& InterruptFlag();
// The exit code for the signal that raised the flag: 130 (Ctrl+C) or 143 (SIGTERM).
int InterruptExitCode();

// Runs a batch for a command: `jobs` workers (0: one per core), a progress
// bar on stderr when it is a terminal, and Ctrl+C or SIGTERM stopping it
// cleanly (the finished files stay, a line says how many, exit code 130 or 143).
// `lastFolderIsOurs` as in TBatchOptions.
TBatchResult RunCliBatch(const TLabReader& reader, const std::filesystem::path& destination,
                         std::span<const TBatchItem> items, const TBatchProduce& produce, int jobs,
                         bool lastFolderIsOurs = false);

// Prints what a user must know beyond the summary line: entries written under
// other names, links replaced, entries refused because of a link. Returns an
// error text when entries were refused (the command then ends with exit 1),
// empty otherwise.
std::string ReportBatchNotes(const TLabReader& reader, const TBatchResult& result);

// Adds the --jobs option to a command.
void AddJobsOption(CLI::App& command, int& jobs);

}  // namespace vld::cli
