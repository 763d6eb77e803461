#include <cstdio>
#include <iostream>
#include <sstream>

#include "cli/CliCommon.h"
#include "core/browser/Formats.h"
#include "core/browser/OpenFile.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "core/common/ShownText.h"
#include "samples/Demo.h"

namespace vld::cli {

namespace {

// An 8-bit name read as Latin-1, written as a JSON string.
std::string JsonLatin1(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {  // C1 controls act on terminals too
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out + "\"";
}

void List(const std::string& bundle, bool json) {
  if (!IsBundleFile(bundle)) throw VldError(bundle + " is not a LAB bundle.");
  TLabReader reader;
  reader.Open(bundle);
  std::ostringstream out;
  if (json) {
    out << "[";
    for (int i = 0; i < reader.Count(); ++i) {
      out << (i ? ",\n " : "\n ") << "{\"index\": " << i << ", \"name\": " << JsonLatin1(reader.GetName(i))
          << ", \"offset\": " << reader.GetOffset(i) << ", \"size\": " << reader.GetSize(i)
          << ", \"type\": " << JsonLatin1(EntryTypeText(reader.GetName(i))) << "}";
    }
    out << (reader.Count() ? "\n]\n" : "]\n");
  } else {
    for (int i = 0; i < reader.Count(); ++i) {
      char line[160];
      std::snprintf(line, sizeof line, "%6d  %s  %11d  %-28s  ", i, FormatOffset(reader.GetOffset(i)).c_str(),
                    reader.GetSize(i), EntryTypeText(reader.GetName(i)).c_str());
      out << line << ShownName(reader.GetName(i)) << "\n";
    }
  }
  std::cout << out.str();
  std::cout.flush();
  if (const std::string shorter = ShortBundleText(CountEntriesPastEnd(reader)); !shorter.empty())
    std::cerr << "vldtool: warning: " << bundle << ": " << shorter << "\n";
  if (ReportDamage(reader, bundle + " is damaged: ")) throw VldError("The bundle is damaged.");
}

}  // namespace

void RegisterBundleCommands(CLI::App& app) {
  auto* list = app.add_subcommand("list", "List the entries of a bundle: index, offset, size, type, name");
  static std::string listBundle;
  static bool listJson = false;
  list->add_option("BUNDLE", listBundle, "The LAB bundle")->required();
  list->add_flag("--json", listJson, "Print a JSON array of {index, name, offset, size, type}");
  list->callback([] { List(listBundle, listJson); });

  auto* pack = app.add_subcommand("pack", "Make a LAB bundle from a folder tree");
  static std::string packDir, packOut;
  pack->add_option("DIR", packDir, "The folder to pack")->required();
  pack->add_option("-o,--output", packOut, "The bundle to write")->required();
  pack->callback([] {
    std::size_t n = PackFolder(packDir, packOut);
    std::cerr << "Packed " << n << " files into " << packOut << "\n";
  });

  auto* demo = app.add_subcommand("demo", "Write the demo bundle and the demo stand-alone files");
  static std::string demoDir;
  demo->add_option("-o,--output", demoDir, "The folder to write into")->required();
  demo->callback([] {
    samples::DemoFiles files = samples::WriteDemo(demoDir);
    std::cout << PathText(files.bundle) << "\n" << PathText(files.bink) << "\n" << PathText(files.smush) << "\n";
  });
}

}  // namespace vld::cli
