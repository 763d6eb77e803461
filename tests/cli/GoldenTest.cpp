// Pins what vldtool prints and writes for the demo files: every command's
// standard output, standard error and exit code, and every file tree it
// writes, as sizes and hashes in tests/cli/data/golden_demo.txt. Any change
// to an output shows up here as a line-by-line difference.
//
// After a deliberate change of output, regenerate the file with
//   VLD_UPDATE_GOLDEN=1 build/tests/cli_GoldenTest
// and review the difference before committing it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/bundle/LabReader.h"
#include "samples/Demo.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string Digest(const std::string& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%zu:%016llx", bytes.size(), static_cast<unsigned long long>(h));
  return buf;
}

// Replaces every occurrence of the scratch folder's path so the record does
// not depend on where the test ran.
std::string Normalise(std::string text, const std::string& dir) {
  for (std::size_t p; (p = text.find(dir)) != std::string::npos;) text.replace(p, dir.size(), "$DIR");
  return text;
}

class GoldenRecorder {
 public:
  explicit GoldenRecorder(const TTempDir& dir) : dir_(dir) {}

  // One command: its exit code, its output (in full when it is short text,
  // otherwise as a digest) and its error output in full.
  void Command(const std::string& args) {
    const std::string err = dir_.File("stderr.txt").string();
    TToolRun run = RunTool(args, err);
    record_ << "$ vldtool " << Normalise(args, dir_.Path().string()) << "\n";
    record_ << "exit " << run.exitCode << "\n";
    if (run.out.size() <= 4096 && std::none_of(run.out.begin(), run.out.end(), [](char c) { return c == 0; }))
      record_ << "stdout:\n" << run.out << (run.out.empty() || run.out.back() == '\n' ? "" : "\n[no newline]\n");
    else
      record_ << "stdout " << Digest(run.out) << "\n";
    record_ << "stderr:\n" << Normalise(ReadText(err), dir_.Path().string()) << "\n";
  }

  // Every file below `root`, in name order, with its size and hash.
  void Tree(const fs::path& root) {
    std::vector<std::string> lines;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      std::string rel = fs::relative(e.path(), root).generic_string();
      if (e.is_directory())
        lines.push_back(rel + "/");
      else
        lines.push_back(rel + " " + Digest(ReadText(e.path())));
    }
    std::sort(lines.begin(), lines.end());
    record_ << "tree " << Normalise(root.string(), dir_.Path().string()) << "\n";
    for (const auto& l : lines) record_ << "  " << l << "\n";
  }

  std::string Text() const { return record_.str(); }

 private:
  const TTempDir& dir_;
  std::ostringstream record_;
};

// From the source folder: __FILE__ may be relative (ccache's base_dir), and tests run elsewhere.
fs::path GoldenFile() { return fs::path(VLD_SOURCE_DIR) / "tests" / "cli" / "data" / "golden_demo.txt"; }

}  // namespace

TEST(GoldenOutputs, DemoFilesGiveTheRecordedOutputs) {
  TTempDir dir;
  samples::DemoFiles demo = samples::WriteDemo(dir.File("in"));
  const std::string lab = Quote(demo.bundle.string());
  GoldenRecorder rec(dir);

  rec.Command("list " + lab);
  rec.Command("list " + lab + " --json");

  TLabReader reader;
  reader.Open(demo.bundle);
  for (int i = 0; i < reader.Count(); ++i) {
    const std::string name(reader.GetName(i));
    rec.Command("convert " + lab + " " + Quote(name) + " -o -");
    rec.Command("listing " + lab + " " + Quote(name));
  }
  rec.Command("convert " + Quote(demo.bink.string()) + " -o -");
  rec.Command("convert " + Quote(demo.smush.string()) + " -o -");
  rec.Command("convert " + lab + " no-such-entry -o -");
  rec.Command("convert " + lab);

  rec.Command("extract " + lab + " -o " + Quote(dir.File("x").string()));
  rec.Tree(dir.File("x"));
  rec.Command("extract " + lab + " -o " + Quote(dir.File("one").string()) + " 'GFX\\TITLE.BMP' 'text\\strings.tab'");
  rec.Tree(dir.File("one"));
  rec.Command("convert-all " + lab + " -o " + Quote(dir.File("c").string()));
  rec.Tree(dir.File("c"));

  // Loose files: their type follows from their own name.
  rec.Command("convert " + Quote(dir.File("x/demo/textures/wall.tga").string()) + " -o " +
              Quote(dir.File("wall.bmp").string()));
  rec.Command("convert " + Quote(dir.File("x/demo/voices/line001.wvc").string()) + " -o -");
  rec.Command("listing " + Quote(dir.File("x/demo/scripts/demo.lua").string()));

  rec.Command("pack " + Quote(dir.File("x/demo").string()) + " -o " + Quote(dir.File("repacked.lab").string()));
  rec.Command("list " + Quote(dir.File("repacked.lab").string()));

  const std::string actual = rec.Text();
  if (std::getenv("VLD_UPDATE_GOLDEN")) {
    std::ofstream(GoldenFile(), std::ios::binary) << actual;
    GTEST_SKIP() << "golden file rewritten: " << GoldenFile();
  }
  const std::string expected = ReadText(GoldenFile());
  ASSERT_FALSE(expected.empty()) << "missing " << GoldenFile();
  // Compare line by line so that a failure names the first line that moved.
  std::istringstream a(actual), e(expected);
  std::string la, le;
  int line = 0;
  while (true) {
    bool moreA = static_cast<bool>(std::getline(a, la));
    bool moreE = static_cast<bool>(std::getline(e, le));
    ++line;
    if (!moreA && !moreE) break;
    ASSERT_EQ(moreA ? la : "<end>", moreE ? le : "<end>") << "first difference at line " << line;
  }
}
