#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>

#include "cli/CliBatch.h"
#include "cli/CliCommon.h"

int main(int argc, char** argv) {
  CLI::App app{"vldtool: list, extract and convert the entries of LAB resource bundles"};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "Show the help of every command");
  vld::cli::RegisterBundleCommands(app);
  vld::cli::RegisterConvertCommands(app);
  vld::cli::RegisterExtractCommand(app);
  vld::cli::RegisterListingCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  } catch (const vld::cli::TExitCode& e) {
    return e.Code();
  } catch (const std::exception& e) {
    std::cerr << "vldtool: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
