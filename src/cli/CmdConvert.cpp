#include <cstdio>
#include <iostream>
#include <set>

#include "cli/CliBatch.h"
#include "cli/CliCommon.h"
#include "core/audio/BinkData.h"
#include "core/browser/Formats.h"
#include "core/browser/ExtractPaths.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"

namespace vld::cli {

namespace {

class StdoutSink : public TByteSink {
 public:
  void Write(const std::uint8_t* data, std::size_t n) override {
    if (n && std::fwrite(data, 1, n, stdout) != n) throw FileError("Write error on standard output.");
  }
};

// A stand-alone Bink or Smush-wrapped file becomes its Bink data, streamed
// rather than held in memory.
bool ConvertStandaloneAnimation(const std::string& input, const std::string& out) {
  std::uint32_t magic = static_cast<std::uint32_t>(ReadMagic(input));
  if (magic != kMagicBIKi && magic != kMagicSMUS) return false;
  TFileStream file(input);
  std::string target = out.empty() ? OutputStem(std::filesystem::path(input).filename().string()) + ".bik" : out;
  std::optional<std::int64_t> written;
  if (target == "-") {
    StdoutSink sink;
    written = magic == kMagicBIKi ? SaveSingleBink(file, file.Size(), sink) : ExtractBinkData(file, sink);
    std::fflush(stdout);
  } else {
    std::error_code ec;
    if (std::filesystem::equivalent(input, target, ec))
      throw VldError("Writing " + target + " would replace the input file; name another output with -o.");
    written = magic == kMagicBIKi ? SaveSingleBink(file, file.Size(), target) : ExtractBinkData(file, target);
  }
  if (!written) throw VldError(std::string(kNonStandardSmushText));
  if (target != "-") std::cerr << "Wrote " << target << "\n";
  return true;
}

// Where convert-all writes an entry: its folder tree kept (safely inside the
// output folder), the file named as the viewer suggests (sets\beach.til ->
// sets/beach.bmp); scripts and text tables keep their whole name
// (demo.lua -> demo.lua.txt). A name already used in this run falls back to
// the whole name too, then to a number; names that still collide (another
// case on a folding file system) are numbered by the batch itself.
std::filesystem::path ConvertAllTarget(const std::string& name, const std::string& extension,
                                       std::set<std::filesystem::path>& used) {
  std::size_t slash = name.rfind('\\');
  std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
  std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
  std::string stem = extension == ".txt" ? file : OutputStem(file);
  std::filesystem::path target = MapEntryName(folder + stem + extension).Relative();
  if (!used.insert(target).second) {
    target = MapEntryName(folder + file + extension).Relative();
    for (int n = 2; !used.insert(target).second; ++n)
      target = MapEntryName(folder + file + "." + std::to_string(n) + extension).Relative();
  }
  return target;
}

// The extension ConvertEntryBytes gives a name, known before converting so
// that every name of the run can be decided up front.
std::string ConvertedExtension(std::string_view name) {
  const TFormat* format = FormatForAction(name);
  return format && format->convertExtension ? format->convertExtension : "";
}

void ConvertAll(const std::string& bundle, const std::string& outDir, int jobs) {
  if (!IsBundleFile(bundle)) throw VldError(bundle + " is not a LAB bundle.");
  TLabReader reader;
  reader.Open(bundle);
  std::set<std::filesystem::path> used;
  std::vector<TBatchItem> items;
  for (int i = 0; i < reader.Count(); ++i) {
    const std::string name(reader.GetName(i));
    if (!IsConvertible(name)) continue;
    items.push_back({i, ConvertAllTarget(name, ConvertedExtension(name), used).generic_string()});
  }
  TBatchProduce convert = [&reader](int index, ByteSpan bytes) {
    std::string_view name = reader.GetName(index);
    TConversion c = ConvertEntryBytes(name, bytes);
    if (c.extension != ConvertedExtension(name))
      throw VldError("converts to a " + c.extension + " file, not to the " + ConvertedExtension(name) + " expected.");
    return std::move(c.data);
  };
  TBatchResult result = RunCliBatch(reader, outDir, items, convert, jobs);

  for (const TBatchIssue& f : result.failed) std::cerr << "vldtool: " << reader.GetName(f.index) << ": " << f.message << "\n";
  if (result.stopped)
    std::cerr << "vldtool: " << reader.GetName(result.stopped->index) << ": " << result.stopped->message << "\n";
  const int failed = static_cast<int>(result.failed.size()) + (result.stopped ? 1 : 0);
  std::cerr << "Converted " << result.files << " entries into " << outDir;
  if (failed) std::cerr << "; " << failed << " could not be converted";
  std::cerr << "\n";
  std::string refused = ReportBatchNotes(reader, result);
  if (result.stopped) throw VldError(BatchStopText(result, static_cast<int>(items.size()), "Conversion"));
  if (failed) throw VldError(std::to_string(failed) + " entries could not be converted." +
                             (refused.empty() ? "" : " " + refused));
  if (!refused.empty()) throw VldError(refused);
}

}  // namespace

void RegisterConvertCommands(CLI::App& app) {
  auto* convert = app.add_subcommand("convert", "Convert one entry (or a loose file) by its type");
  static std::string input, entry, out;
  convert->add_option("INPUT", input, "A LAB bundle or a loose file")->required();
  convert->add_option("ENTRY", entry, "The entry of the bundle to convert");
  convert->add_option("-o,--output", out, "The file to write; '-' for standard output");
  convert->callback([] {
    if (entry.empty() && ConvertStandaloneAnimation(input, out)) return;
    TInputEntry in = LoadInput(input, entry);
    TConversion c = ConvertEntryBytes(in.name, in.bytes);
    std::string target = out.empty() ? OutputStem(in.name) + c.extension : out;
    WriteOutput(target, c.data);
    if (target != "-") std::cerr << "Wrote " << target << "\n";
  });

  auto* all = app.add_subcommand("convert-all", "Convert every convertible entry of a bundle, folder tree kept");
  static std::string allBundle, allOut;
  static int allJobs = 0;
  all->add_option("BUNDLE", allBundle, "The LAB bundle")->required();
  all->add_option("-o,--output", allOut, "The folder to write into")->required();
  AddJobsOption(*all, allJobs);
  all->callback([] { ConvertAll(allBundle, allOut, allJobs); });
}

}  // namespace vld::cli
