#include <iostream>

#include "cli/CliCommon.h"
#include "core/browser/Convert.h"
#include "core/common/Errors.h"

namespace vld::cli {

void RegisterConvertCommands(CLI::App& app) {
  auto* convert = app.add_subcommand("convert", "Convert one entry (or a loose file) by its type");
  static std::string input, entry, out;
  convert->add_option("INPUT", input, "A LAB bundle or a loose file")->required();
  convert->add_option("ENTRY", entry, "The entry of the bundle to convert");
  convert->add_option("-o,--output", out, "The file to write; '-' for standard output");
  convert->callback([] {
    TInputEntry in = LoadInput(input, entry);
    TConversion c = ConvertEntryBytes(in.name, in.bytes);
    std::string target = out.empty() ? OutputStem(in.name) + c.extension : out;
    WriteOutput(target, c.data);
    if (target != "-") std::cerr << "Wrote " << target << "\n";
  });
}

}  // namespace vld::cli
