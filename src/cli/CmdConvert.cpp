#include <cstdio>
#include <iostream>
#include <set>

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
// the whole name too.
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

void ConvertAll(const std::string& bundle, const std::string& outDir) {
  if (!IsBundleFile(bundle)) throw VldError(bundle + " is not a LAB bundle.");
  TLabReader reader;
  reader.Open(bundle);
  std::set<std::filesystem::path> used;
  int converted = 0, failed = 0;
  const bool progress = ShowProgress();
  for (int i = 0; i < reader.Count(); ++i) {
    const std::string name(reader.GetName(i));
    if (!IsConvertible(name)) continue;
    if (progress) std::cerr << "\r[" << (i + 1) << "/" << reader.Count() << "] " << name << "\x1b[K" << std::flush;
    try {
      TConversion c = ConvertEntryBytes(name, reader.ReadEntryBytes(i));
      std::filesystem::path target = std::filesystem::path(outDir) / ConvertAllTarget(name, c.extension, used);
      std::filesystem::create_directories(target.parent_path());
      WriteFileAtomic(target, c.data);
      ++converted;
    } catch (const std::exception& e) {
      if (progress) std::cerr << "\n";
      std::cerr << "vldtool: " << name << ": " << e.what() << "\n";
      ++failed;
    }
  }
  if (progress) std::cerr << "\n";
  std::cerr << "Converted " << converted << " entries into " << outDir;
  if (failed) std::cerr << "; " << failed << " could not be converted";
  std::cerr << "\n";
  if (failed) throw VldError(std::to_string(failed) + " entries could not be converted.");
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
  all->add_option("BUNDLE", allBundle, "The LAB bundle")->required();
  all->add_option("-o,--output", allOut, "The folder to write into")->required();
  all->callback([] { ConvertAll(allBundle, allOut); });
}

}  // namespace vld::cli
