#include <iostream>
#include <vector>

#include "cli/CliBatch.h"
#include "cli/CliCommon.h"
#include "core/browser/ExtractPaths.h"
#include "core/browser/OpenFile.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "core/common/ShownText.h"

namespace vld::cli {

namespace {

void Extract(const std::string& bundle, const std::string& outDir, const std::vector<std::string>& names, int jobs) {
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

  // Entries of which nothing lies in the file are not written at all.
  std::vector<int> present, missing;
  for (int index : indexes) (reader.EntryMissing(index) ? missing : present).push_back(index);

  std::filesystem::path destination = ExtractDestination(outDir, bundle);
  std::vector<TBatchItem> items = EntryItems(reader, present);
  TBatchResult result = RunCliBatch(reader, destination, items, {}, jobs, !BundleStem(bundle).empty());
  if (result.stopped) throw VldError(BatchStopText(result, static_cast<int>(items.size()), "Extraction"));

  std::cerr << "Extracted " << result.files << " entries (" << result.bytes << " bytes) into " << PathText(destination)
            << "\n";
  std::string refused = ReportBatchNotes(reader, result);
  bool damaged = !missing.empty();
  for (int index : missing)
    std::cerr << "vldtool: entry " << reader.GetName(index) << " lies past the end of the bundle; not written.\n";
  if (!missing.empty()) std::cerr << "vldtool: " << ShortBundleText(CountEntriesPastEnd(reader)) << "\n";
  if (result.CutShort()) {
    for (int index : result.cutShortIndexes)
      std::cerr << "vldtool: entry " << ShownName(reader.GetName(index)) << " runs past the end of the bundle; written "
                << "as far as it exists.\n";
    std::cerr << "vldtool: " << result.CutShort() << (result.CutShort() == 1 ? " entry was" : " entries were")
              << " cut short: the bundle is damaged.\n";
    damaged = true;
  }
  if (ReportDamage(reader)) damaged = true;
  if (damaged) throw VldError(bundle + " is damaged." + (refused.empty() ? "" : " " + refused));
  if (!refused.empty()) throw VldError(refused);
}

}  // namespace

void RegisterExtractCommand(CLI::App& app) {
  auto* extract = app.add_subcommand(
      "extract", "Write entries as raw files into DIR/<bundle name up to its first '.'>/, folders from '\\'");
  static std::string bundle, outDir = ".";
  static std::vector<std::string> names;
  static int jobs = 0;
  extract->add_option("BUNDLE", bundle, "The LAB bundle")->required();
  extract->add_option("-o,--output", outDir, "The folder to extract into (default: the current folder)");
  extract->add_option("ENTRY", names, "Entries to extract (case-insensitive); all entries when none is named");
  AddJobsOption(*extract, jobs);
  extract->callback([] { Extract(bundle, outDir, names, jobs); });
}

}  // namespace vld::cli
