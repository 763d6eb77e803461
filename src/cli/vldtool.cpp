#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include "cli/CliBatch.h"
#include "cli/CliCommon.h"

namespace {

int RunTool(int argc, char** argv) {
  CLI::App app{"vldtool: list, extract and convert the entries of LAB resource bundles"};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "Show the help of every command");
  app.set_version_flag("--version", std::string("vldtool ") + VLD_VERSION, "Show the version and exit");
  vld::cli::RegisterBundleCommands(app);
  vld::cli::RegisterConvertCommands(app);
  vld::cli::RegisterExtractCommand(app);
  vld::cli::RegisterListingCommand(app);
  vld::cli::RegisterCompileCommand(app);
  vld::cli::RegisterEditCommands(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
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

// What went to standard output must have got there: a full disk behind it is
// a failed run, not a quiet success. (A run that failed has said why.)
int Finished(int code) {
  std::cout.flush();
  const bool lost = std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout;
  if (!lost || code != 0) return code;
  std::cerr << "vldtool: Write error on standard output.\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Output is bytes, the same as on Linux: no "\r\n" for "\n" (converted files
  // go to standard output too), and names are UTF-8.
  ::_setmode(_fileno(stdout), _O_BINARY);
  ::_setmode(_fileno(stderr), _O_BINARY);
  ::SetConsoleOutputCP(CP_UTF8);
#endif
  return Finished(RunTool(argc, argv));
}
