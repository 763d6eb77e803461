#include <iostream>
#include <sstream>

#include "cli/CliCommon.h"
#include "core/lua/LuaDump.h"

namespace vld::cli {

void RegisterListingCommand(CLI::App& app) {
  auto* listing = app.add_subcommand("listing", "Print the dump header and bytecode listing of a compiled script");
  static std::string input, entry;
  listing->add_option("INPUT", input, "A LAB bundle or a loose compiled script")->required();
  listing->add_option("ENTRY", entry, "The script entry of the bundle");
  listing->callback([] {
    TInputEntry in = LoadInput(input, entry);
    TLuaFile file(std::move(in.bytes), in.name);
    // Collected first, so a refused chunk prints nothing on stdout.
    std::ostringstream out;
    file.DumpListing([&out](const std::string& line) { out << line << "\n"; });
    std::cout << out.str();
    std::cout.flush();
  });
}

}  // namespace vld::cli
