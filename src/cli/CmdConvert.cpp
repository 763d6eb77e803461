#include <cstdio>
#include <iostream>

#include "cli/CliBatch.h"
#include "cli/CliCommon.h"
#include "core/audio/BinkData.h"
#include "core/browser/ConvertBatch.h"
#include "core/browser/Formats.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "core/common/ShownText.h"
#include "core/images/PngImage.h"

namespace vld::cli {

namespace {

class StdoutSink : public TByteSink {
 public:
  void Write(const std::uint8_t* data, std::size_t n) override {
    if (n && std::fwrite(data, 1, n, stdout) != n) throw FileError("Write error on standard output.");
  }
};

// --format names what pictures become; values other than these are refused
// by the parser with its usual message.
void AddImageFormatOption(CLI::App& command, std::string& format) {
  command.add_option("--format", format, "What pictures are converted to: bmp (the default) or png")
      ->check(CLI::IsMember({"bmp", "png"}))
      ->option_text("bmp|png");
}

// The format --format named; PNG is refused, before anything is read or
// written, when this build has no writer for it.
ImageFormat ChosenImageFormat(const std::string& format) {
  if (format != "png") return ImageFormat::Bmp;
  if (!HavePngWriter())
    throw VldError("This build of vldtool cannot write PNG files (it was built without libpng); use --format bmp.");
  return ImageFormat::Png;
}

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
    if (std::fflush(stdout) != 0) throw FileError("Write error on standard output.");
  } else {
    CheckOutput(target, input);
    written = magic == kMagicBIKi ? SaveSingleBink(file, file.Size(), target) : ExtractBinkData(file, target);
  }
  if (!written) throw VldError(std::string(kNonStandardSmushText));
  if (target != "-") std::cerr << "Wrote " << target << "\n";
  return true;
}

void ConvertAll(const std::string& bundle, const std::string& outDir, const std::string& format, int jobs) {
  const ImageFormat images = ChosenImageFormat(format);
  if (!IsBundleFile(bundle)) throw VldError(bundle + " is not a LAB bundle.");
  TLabReader reader;
  reader.Open(bundle);
  std::vector<int> convertible;
  for (int i = 0; i < reader.Count(); ++i)
    if (IsConvertible(reader.GetName(i))) convertible.push_back(i);
  const std::vector<TBatchItem> items = ConvertedItems(reader, convertible, images);
  TBatchResult result = RunCliBatch(reader, outDir, items, ConvertedProduce(reader, images), jobs);

  for (const TBatchIssue& f : result.failed)
    std::cerr << "vldtool: " << ShownName(reader.GetName(f.index)) << ": " << ShownMessage(f.message) << "\n";
  if (result.stopped)
    std::cerr << "vldtool: " << ShownName(reader.GetName(result.stopped->index)) << ": "
              << ShownMessage(result.stopped->message) << "\n";
  const int failed = static_cast<int>(result.failed.size()) + (result.stopped ? 1 : 0);
  std::cerr << "Converted " << result.files << " entries into " << outDir;
  if (failed) std::cerr << "; " << failed << " could not be converted";
  std::cerr << "\n";
  std::string refused = ReportBatchNotes(reader, result);
  if (result.stopped) throw VldError(BatchStopText(result, static_cast<int>(items.size()), "Conversion"));
  if (ReportDamage(reader)) throw VldError(bundle + " is damaged." + (refused.empty() ? "" : " " + refused));
  if (failed)
    throw VldError(std::to_string(failed) + " entries could not be converted." +
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
  static std::string format = "bmp";
  AddImageFormatOption(*convert, format);
  convert->callback([] {
    const ImageFormat images = ChosenImageFormat(format);
    if (entry.empty() && ConvertStandaloneAnimation(input, out)) return;
    // Refusals that the name, the size and the first bytes decide come before
    // the input is read; the output is checked before anything is converted.
    std::string target;
    TInputEntry in = LoadInput(
        input, entry,
        [&](std::string_view name, ByteSpan head, std::int64_t size) {
          CheckConversionStart(name, head, size);
          target = out.empty() ? OutputStem(name) + ConvertedExtension(name, images) : out;
          CheckOutput(target, input);
        },
        true);
    if (target == "-") {
      StdoutSink sink;
      ConvertEntryTo(in.name, in.Data(), images, sink);
      if (std::fflush(stdout) != 0) throw FileError("Write error on standard output.");
    } else {
      TAtomicFile file(target);
      ConvertEntryTo(in.name, in.Data(), images, file);
      file.Commit();
    }
    if (target != "-") std::cerr << "Wrote " << target << "\n";
  });

  auto* all = app.add_subcommand("convert-all", "Convert every convertible entry of a bundle, folder tree kept");
  static std::string allBundle, allOut;
  static int allJobs = 0;
  all->add_option("BUNDLE", allBundle, "The LAB bundle")->required();
  all->add_option("-o,--output", allOut, "The folder to write into")->required();
  static std::string allFormat = "bmp";
  AddImageFormatOption(*all, allFormat);
  AddJobsOption(*all, allJobs);
  all->callback([] { ConvertAll(allBundle, allOut, allFormat, allJobs); });
}

}  // namespace vld::cli
