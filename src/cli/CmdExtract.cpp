#include <chrono>
#include <cstdio>
#include <iostream>
#include <vector>

#include "cli/CliCommon.h"
#include "core/browser/ExtractPaths.h"
#include "core/browser/Extractor.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"

namespace vld::cli {

namespace {

void Extract(const std::string& bundle, const std::string& outDir, const std::vector<std::string>& names) {
  if (!IsBundleFile(bundle)) throw VldError(bundle + " is not a LAB bundle.");
  TLabReader reader;
  reader.Open(bundle);

  // Every named entry must exist before anything is written.
  std::vector<int> indexes;
  if (names.empty()) {
    for (int i = 0; i < reader.Count(); ++i) indexes.push_back(i);
  } else {
    for (const std::string& name : names) {
      int index = reader.FindEntry(name);
      if (index < 0) throw VldError("No entry named " + name + " in " + bundle + ".");
      indexes.push_back(index);
    }
  }

  std::filesystem::path destination = ExtractDestination(outDir, bundle);
  // On a terminal one line is rewritten, a few times a second at most.
  ExtractProgressFn progress;
  bool shown = false;
  if (ShowProgress()) {
    auto last = std::chrono::steady_clock::now();
    progress = [&shown, last](int done, int count, const std::filesystem::path& target) mutable {
      auto now = std::chrono::steady_clock::now();
      if (shown && now - last < std::chrono::milliseconds(100) && done + 1 < count) return;
      last = now;
      shown = true;
      std::fprintf(stderr, "\r\033[K[%d/%d] Extracting %s", done + 1, count, PathText(target).c_str());
      std::fflush(stderr);
    };
  }
  TExtractResult result;
  try {
    result = ExtractEntries(reader, destination, indexes, progress);
  } catch (...) {
    if (shown) std::fputs("\r\033[K", stderr);
    throw;
  }
  if (shown) std::fputs("\r\033[K", stderr);

  std::cerr << "Extracted " << result.files << " entries (" << result.bytes << " bytes) into " << PathText(destination)
            << "\n";
  bool damaged = false;
  if (result.CutShort()) {
    for (int index : result.cutShortIndexes)
      std::cerr << "vldtool: entry " << reader.GetName(index) << " runs past the end of the bundle; written "
                << "as far as it exists.\n";
    std::cerr << "vldtool: " << result.CutShort() << (result.CutShort() == 1 ? " entry was" : " entries were")
              << " cut short: the bundle is damaged.\n";
    damaged = true;
  }
  if (reader.IsDamaged()) {
    std::cerr << "vldtool: its directory announces " << reader.DeclaredCount() << " entries, the file holds "
              << reader.Count() << ".\n";
    damaged = true;
  }
  if (damaged) throw VldError(bundle + " is damaged.");
}

}  // namespace

void RegisterExtractCommand(CLI::App& app) {
  auto* extract = app.add_subcommand(
      "extract", "Write entries as raw files into DIR/<bundle name up to its first '.'>/, folders from '\\'");
  static std::string bundle, outDir = ".";
  static std::vector<std::string> names;
  extract->add_option("BUNDLE", bundle, "The LAB bundle")->required();
  extract->add_option("-o,--output", outDir, "The folder to extract into (default: the current folder)");
  extract->add_option("ENTRY", names, "Entries to extract (case-insensitive); all entries when none is named");
  extract->callback([] { Extract(bundle, outDir, names); });
}

}  // namespace vld::cli
