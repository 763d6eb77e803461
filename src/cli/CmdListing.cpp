#include "cli/CliCommon.h"

namespace vld::cli {

void RegisterListingCommand(CLI::App& app) { (void)app; }

}  // namespace vld::cli
