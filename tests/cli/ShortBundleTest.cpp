#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/bundle/LabReader.h"
#include "core/common/FileIO.h"
#include "samples/ExtractSamples.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

// A bundle whose file ends one byte into its third entry: the third is cut
// short, the fourth lies wholly past the end.
fs::path ShortBundle(const TTempDir& dir) {
  const fs::path path = dir.File("short.lab");
  samples::TextBundle({{"a.txt", "first"}, {"b.txt", "second"}, {"c.txt", "third"}, {"d.txt", "fourth"}}).Write(path);
  TLabReader reader;
  reader.Open(path);
  const std::int64_t end = reader.GetOffset(2) + 1;
  reader.Close();
  fs::resize_file(path, static_cast<std::uintmax_t>(end));
  return path;
}

std::string Read(const fs::path& path) { return AsString(ReadWholeFile(path)); }

}  // namespace

TEST(ShortBundle, ListWarnsOnceAndStillListsEveryEntry) {
  TTempDir dir;
  const fs::path bundle = ShortBundle(dir);
  TToolRun run = RunTool("list " + Quote(bundle.string()), dir.File("err").string());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("d.txt"), std::string::npos);
  EXPECT_EQ(Read(dir.File("err")), "vldtool: warning: " + bundle.string() +
                                       ": This bundle is shorter than its directory says: 2 entries cannot be read.\n");

  run = RunTool("list --json " + Quote(bundle.string()), dir.File("err").string());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(Read(dir.File("err")).find("2 entries cannot be read"), std::string::npos);
}

TEST(ShortBundle, ExtractWritesWhatExistsAndFailsForTheRest) {
  TTempDir dir;
  const fs::path bundle = ShortBundle(dir);
  TToolRun run =
      RunTool("extract " + Quote(bundle.string()) + " -o " + Quote(dir.File("out").string()), dir.File("err").string());
  const std::string err = Read(dir.File("err"));
  EXPECT_EQ(run.exitCode, 1) << err;
  EXPECT_EQ(Read(dir.File("out/short/a.txt")), "first");
  EXPECT_EQ(Read(dir.File("out/short/c.txt")), "t");  // written as far as it exists, as before
  EXPECT_FALSE(fs::exists(dir.File("out/short/d.txt")));
  EXPECT_NE(err.find("entry d.txt lies past the end of the bundle; not written."), std::string::npos) << err;
  EXPECT_NE(err.find("2 entries cannot be read"), std::string::npos) << err;
  EXPECT_NE(err.find("Extracted 3 entries"), std::string::npos) << err;
}
