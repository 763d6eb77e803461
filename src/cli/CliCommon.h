#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

#include "core/common/Bytes.h"
#include "core/common/FileIO.h"

namespace vld {
class TLabReader;
}

namespace vld::cli {

// An entry picked from a bundle, or a loose file standing for one.
struct TInputEntry {
  std::string name;  // entry name (bundle) or the file's own name (loose file)
  Bytes bytes;
  std::unique_ptr<TFileView> file;  // a loose file, when LoadInput was asked to map it
  bool truncated = false;           // the entry runs past the end of the bundle

  ByteSpan Data() const { return file ? file->Data() : ByteSpan(bytes); }
};

bool IsBundleFile(const std::filesystem::path& path);
// Looks at an input before it is read whole: its name, first bytes (up to
// kConversionHeadBytes) and size; throws to refuse it.
using TInputCheck = std::function<void(std::string_view name, ByteSpan head, std::int64_t size)>;

// INPUT is a bundle (ENTRY names an entry, matched case-insensitively) or a loose file.
// With `mapFile` a loose file is mapped (in `file`) instead of read into `bytes`.
TInputEntry LoadInput(const std::filesystem::path& input, const std::string& entry, const TInputCheck& check = {},
                      bool mapFile = false);
// Refuses an output that would replace the input (by file identity: another
// name or a link of it counts), or that stands where only a missing or regular
// file may be replaced. "-" (standard output) passes.
void CheckOutput(const std::string& out, const std::filesystem::path& input);
// Writes bytes to OUT (atomically, never over what is not a regular file), or
// to stdout when OUT is "-".
void WriteOutput(const std::string& out, ByteSpan bytes);
// Prints why the bundle is damaged, a line a reason ("vldtool: " + prefix +
// reason); false, printing nothing, when it is not.
bool ReportDamage(const TLabReader& reader, const std::string& prefix = "");
// True when progress lines should go to stderr (it is a terminal).
bool ShowProgress();

// Command registration; each lives in its own file.
void RegisterBundleCommands(CLI::App& app);   // list, pack, demo
void RegisterConvertCommands(CLI::App& app);  // convert, convert-all
void RegisterExtractCommand(CLI::App& app);   // extract
void RegisterListingCommand(CLI::App& app);   // listing
void RegisterEditCommands(CLI::App& app);     // edit, import
void RegisterCompileCommand(CLI::App& app);   // compile

}  // namespace vld::cli
