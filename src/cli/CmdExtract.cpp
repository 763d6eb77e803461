#include "cli/CliCommon.h"

namespace vld::cli {

void RegisterExtractCommand(CLI::App& app) { (void)app; }

}  // namespace vld::cli
