#pragma once

#include <filesystem>
#include <string>

#include <CLI/CLI.hpp>

#include "core/common/Bytes.h"

namespace vld::cli {

// An entry picked from a bundle, or a loose file standing for one.
struct TInputEntry {
  std::string name;  // entry name (bundle) or the file's own name (loose file)
  Bytes bytes;
  bool truncated = false;  // the entry runs past the end of the bundle
};

bool IsBundleFile(const std::filesystem::path& path);
// INPUT is a bundle (ENTRY names an entry, matched case-insensitively) or a loose file.
TInputEntry LoadInput(const std::filesystem::path& input, const std::string& entry);
// Writes bytes to OUT, or to stdout when OUT is "-".
void WriteOutput(const std::string& out, ByteSpan bytes);
// True when progress lines should go to stderr (it is a terminal).
bool ShowProgress();

// Command registration; each lives in its own file.
void RegisterBundleCommands(CLI::App& app);   // list, pack, demo
void RegisterConvertCommands(CLI::App& app);  // convert, convert-all
void RegisterExtractCommand(CLI::App& app);   // extract
void RegisterListingCommand(CLI::App& app);   // listing
void RegisterCompileCommand(CLI::App& app);   // compile
void RegisterEditCommands(CLI::App& app);     // edit, import

}  // namespace vld::cli
