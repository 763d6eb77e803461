#include <cstdio>
#include <iostream>

#include "cli/CliCommon.h"
#include "core/audio/BinkData.h"
#include "core/browser/Convert.h"
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
}

}  // namespace vld::cli
