#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "cli/CliBatch.h"
#include "cli/CliCommon.h"
#include "core/browser/Import.h"
#include "core/bundle/BundleEdit.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"

namespace vld::cli {

namespace {

namespace fs = std::filesystem;

// One --replace, --add, --remove or --rename, in the order given.
struct TEditStep {
  TBundleEdit::Kind kind;
  std::string value;
};

struct TEditArgs {
  std::string bundle;
  std::string output;
  bool raw = false;
  std::vector<TEditStep> steps;
};

struct TImportArgs {
  std::string file;
  std::string like;
  std::string output;
};

// "A=B" split at the first '='; both sides must be there.
std::pair<std::string, std::string> SplitPair(const std::string& value, const std::string& option,
                                              const std::string& form) {
  const std::size_t eq = value.find('=');
  if (eq == std::string::npos || eq == 0 || eq + 1 == value.size())
    throw CLI::ValidationError(option, "expects " + form + ", got '" + value + "'");
  return {value.substr(0, eq), value.substr(eq + 1)};
}

int FindOrRefuse(const TBundleEditList& list, const std::string& entry, const std::string& bundle) {
  const int index = list.FindEntry(entry);
  if (index < 0) throw VldError("No entry named " + entry + " in " + bundle + ".");
  return index;
}

// The first bytes of a file, enough to tell what it holds.
Bytes FilePrefix(const fs::path& path) {
  std::FILE* f = OpenFile(path, "rb");
  if (!f) throw FileError("Cannot open file " + PathText(path) + ". " + std::strerror(errno));
  Bytes prefix(16);
  prefix.resize(std::fread(prefix.data(), 1, prefix.size(), f));
  std::fclose(f);
  return prefix;
}

TContentPtr ReplacementFor(const TBundleEditList& list, int index, const fs::path& file, bool raw) {
  const std::string fileName = PathText(file.filename());
  if (!raw && ClassifyImportSource(fileName, FilePrefix(file)) != ImportSource::Raw) {
    const Bytes source = ReadWholeFile(file);
    const TImported imported = ImportEntry(source, fileName, list.ReadBytes(index), list.Name(index));
    if (imported.Refused())
      throw VldError(PathText(file) + " cannot replace " + std::string(list.Name(index)) + ". " + imported.refusal);
    for (const std::string& w : imported.warnings) std::cerr << "vldtool: " << w << "\n";
    std::cerr << "Imported " << PathText(file) << " as " << imported.made << " for " << list.Name(index) << "\n";
    return TEntryContent::FromBytes(imported.data);
  }
  return TEntryContent::FromFile(file);
}

// A line on stderr, redrawn at most ten times a second.
class SaveProgress {
 public:
  void Show(std::int64_t done, std::int64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100) && done < total) return;
    last_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r\033[KSaving: %3d%%, %.1f of %.1f MiB", total ? static_cast<int>(done * 100 / total) : 100,
                 static_cast<double>(done) / (1 << 20), static_cast<double>(total) / (1 << 20));
    std::fflush(stderr);
  }
  ~SaveProgress() {
    if (shown_) std::fputs("\r\033[K", stderr);
  }

 private:
  std::chrono::steady_clock::time_point last_{};
  bool shown_ = false;
};

void RunEdit(const TEditArgs& a) {
  if (a.steps.empty()) throw CLI::ValidationError("edit", "nothing to do: give --replace, --add, --remove or --rename");
  const fs::path bundle = Utf8Path(a.bundle);
  if (!IsBundleFile(bundle)) throw VldError(a.bundle + " is not a LAB bundle.");
  TLabReader reader;
  reader.Open(bundle);
  if (reader.IsDamaged())
    throw VldError(a.bundle + " is damaged (its directory announces " + std::to_string(reader.DeclaredCount()) +
                   " entries, the file holds " + std::to_string(reader.Count()) + "); it was not changed.");
  TBundleEditList list(reader);
  for (const TEditStep& step : a.steps) {
    switch (step.kind) {
      case TBundleEdit::Kind::Replace: {
        auto [entry, file] = SplitPair(step.value, "--replace", "ENTRY=FILE");
        const int index = FindOrRefuse(list, entry, a.bundle);
        list.Apply(TBundleEdit::Replace(index, ReplacementFor(list, index, Utf8Path(file), a.raw)));
        break;
      }
      case TBundleEdit::Kind::Add: {
        auto [entry, file] = SplitPair(step.value, "--add", "ENTRY=FILE");
        list.Apply(TBundleEdit::Add(list.Count(), entry, TEntryContent::FromFile(Utf8Path(file))));
        break;
      }
      case TBundleEdit::Kind::Remove:
        list.Apply(TBundleEdit::Remove(FindOrRefuse(list, step.value, a.bundle)));
        break;
      case TBundleEdit::Kind::Rename: {
        auto [from, to] = SplitPair(step.value, "--rename", "OLD=NEW");
        list.Apply(TBundleEdit::Rename(FindOrRefuse(list, from, a.bundle), to));
        break;
      }
    }
  }

  // In place, the file the path leads to is updated (a link to it stays a link).
  const fs::path target = a.output.empty() ? fs::canonical(bundle) : Utf8Path(a.output);
  TInterruptScope interrupt;
  SaveProgress bar;
  TSaveOptions options;
  options.cancel = &InterruptFlag();
  options.releaseSource = [&reader] { reader.Close(); };
  if (ShowProgress()) options.progress = [&bar](std::int64_t done, std::int64_t total) { bar.Show(done, total); };
  // Test hook: the run stops itself before that write, so that a test can
  // kill it at a known point of the save.
  int stopAt = -1, writes = 0;
  if (const char* k = std::getenv("VLD_TEST_STOP_AT_WRITE")) stopAt = std::atoi(k);
  if (stopAt >= 0)
    options.beforeWrite = [&] {
#ifndef _WIN32
      if (writes++ == stopAt) std::raise(SIGSTOP);
#else
      (void)writes;
#endif
    };
  try {
    const TSaveResult saved = SaveBundle(list, target, options);
    if (saved.staleRemoved > 0)
      std::cerr << "Removed " << saved.staleRemoved << " temporary file(s) left by an earlier run that was killed.\n";
    std::cerr << "Saved " << list.Count() << " entries (" << saved.bytes << " bytes) to " << PathText(target) << "\n";
  } catch (const ESaveCancelled&) {
    std::cerr << "Interrupted: nothing was written; " << PathText(target)
              << (fs::exists(target) ? " is unchanged.\n" : " was not created.\n");
    throw TExitCode(InterruptExitCode());
  }
}

void RunImport(const TImportArgs& a) {
  const fs::path file = Utf8Path(a.file), like = Utf8Path(a.like);
  std::error_code ec;
  if (a.output != "-" && (fs::equivalent(Utf8Path(a.output), file, ec) || fs::equivalent(Utf8Path(a.output), like, ec)))
    throw VldError(a.output + " is one of the files being read; choose another name for the output.");
  const Bytes source = ReadWholeFile(file);
  const Bytes original = ReadWholeFile(like);
  const TImported imported = ImportEntry(source, PathText(file.filename()), original, PathText(like.filename()));
  if (imported.Refused()) throw VldError(a.file + " cannot be imported like " + a.like + ". " + imported.refusal);
  for (const std::string& w : imported.warnings) std::cerr << "vldtool: " << w << "\n";
  WriteOutput(a.output, imported.data);
  if (a.output != "-") std::cerr << "Wrote " << imported.made << " " << a.output << "\n";
}

}  // namespace

void RegisterEditCommands(CLI::App& app) {
  static TEditArgs edit;
  auto* e = app.add_subcommand("edit", "Change a bundle: replace, add, remove and rename entries, safely");
  e->footer(
      "The changes are applied in the order given. Without -o the bundle is updated in place: the new bundle is\n"
      "written beside it and renamed over it only when whole, so a failure or Ctrl+C leaves it as it was.\n"
      "--replace imports a PNG or BMP picture, a WAV sound or Lua source in the format of the entry it replaces\n"
      "(tile, TGA, WVC, AIF, script); other files, and every file with --raw, go in as they are.");
  e->add_option("BUNDLE", edit.bundle, "The LAB bundle to change")->required();
  e->add_option("-o,--output", edit.output, "Write the changed bundle here instead of updating BUNDLE");
  e->add_flag("--raw", edit.raw, "Put every --replace file in as it is, without importing it");
  auto step = [&](const char* name, TBundleEdit::Kind kind, const char* help) {
    e->add_option_function<std::string>(
         name,
         [kind](const std::string& v) {
           edit.steps.push_back({kind, v});
         },
         help)
        ->trigger_on_parse()
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  };
  step("--replace", TBundleEdit::Kind::Replace, "ENTRY=FILE: new bytes for an entry (repeatable)");
  step("--add", TBundleEdit::Kind::Add, "ENTRY=FILE: a new entry at the end, the file as it is (repeatable)");
  step("--remove", TBundleEdit::Kind::Remove, "ENTRY: remove an entry (repeatable)");
  step("--rename", TBundleEdit::Kind::Rename, "OLD=NEW: rename an entry (repeatable)");
  e->callback([] { RunEdit(edit); });

  static TImportArgs import;
  auto* i = app.add_subcommand("import", "Turn a picture, sound or script into the game's format of an original");
  i->footer(
      "ORIGINAL is a file in the game's format, for example the extracted entry FILE will replace: its type\n"
      "decides what is made (PNG/BMP -> tile or TGA, WAV -> WVC or AIF, Lua source -> script, text -> text\n"
      "table), and its flavour and everything its readers ignore are kept.");
  i->add_option("FILE", import.file, "The PNG, BMP, WAV, Lua source or text file")->required();
  i->add_option("--like", import.like, "ORIGINAL: the file in the game's format to imitate")->required();
  i->add_option("-o,--output", import.output, "The file to write ('-' for standard output)")->required();
  i->callback([] { RunImport(import); });
}

}  // namespace vld::cli
