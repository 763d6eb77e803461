#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/browser/Import.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/images/BMPTools.h"
#include "core/images/TGAImage.h"
#include "core/images/TileImage.h"
#include "samples/ImageSamples.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

std::string ReadText(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::pair<std::string, Bytes>> Entries(const fs::path& bundle) {
  TLabReader r;
  r.Open(bundle);
  std::vector<std::pair<std::string, Bytes>> out;
  for (int i = 0; i < r.Count(); ++i) out.emplace_back(std::string(r.GetName(i)), r.ReadEntryBytes(i));
  return out;
}

std::vector<std::string> FolderNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class EditCommand : public ::testing::Test {
 protected:
  TTempDir dir;
  fs::path bundle;
  void SetUp() override {
    LabWriter w;
    w.Add("gfx\\beach.til", samples::BuildTileEntry(samples::BeachPicture()));
    w.Add("textures\\wall.tga", samples::BuildTGA(samples::BrickPicture(), {32, true, false}));
    w.Add("texts\\a.tab", Text("old text"));
    w.Add("old.lua", Text("\x1bLua chunk"));
    bundle = dir.Path() / "game.lab";
    w.Write(bundle);
  }
  std::string B() const { return Quote(bundle.string()); }
};

}  // namespace

TEST_F(EditCommand, AppliesEveryChangeInOrderInPlace) {
  dir.Write("new.txt", Text("new text"));
  dir.Write("extra.bin", Text("extra"));
  const std::string err = dir.File("err.txt").string();
  TToolRun run = RunTool("edit " + B() + " --replace 'texts\\a.tab'=" + Quote(dir.File("new.txt").string()) +
                             " --add 'more\\extra.bin'=" + Quote(dir.File("extra.bin").string()) +
                             " --remove OLD.LUA --rename 'more\\extra.bin=more\\renamed.bin'",
                         err);
  EXPECT_EQ(run.exitCode, 0) << ReadText(err);
  const auto entries = Entries(bundle);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].first, "gfx\\beach.til");
  EXPECT_EQ(entries[2], (std::pair<std::string, Bytes>{"texts\\a.tab", Text("new text")}));
  EXPECT_EQ(entries[3], (std::pair<std::string, Bytes>{"more\\renamed.bin", Text("extra")}));
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"err.txt", "extra.bin", "game.lab", "new.txt"}));
}

TEST_F(EditCommand, OutputLeavesTheBundleAndRefusalsChangeNothing) {
  const Bytes original = ReadWholeFile(bundle);
  const fs::path out = dir.File("out.lab");
  EXPECT_EQ(RunTool("edit " + B() + " -o " + Quote(out.string()) + " --remove old.lua").exitCode, 0);
  EXPECT_EQ(Entries(out).size(), 3u);
  EXPECT_EQ(ReadWholeFile(bundle), original);

  const std::string err = dir.File("err.txt").string();
  EXPECT_EQ(RunTool("edit " + B() + " --remove missing.tab", err).exitCode, 1);
  EXPECT_NE(ReadText(err).find("No entry named missing.tab"), std::string::npos);
  EXPECT_EQ(RunTool("edit " + B() + " --rename old.lua=TEXTS\\\\A.TAB", err).exitCode, 1);
  EXPECT_NE(ReadText(err).find("already has an entry"), std::string::npos);
  EXPECT_EQ(RunTool("edit " + B() + " --rename nothing-to-split").exitCode, 2);
  EXPECT_EQ(RunTool("edit " + B()).exitCode, 2);
  EXPECT_EQ(ReadWholeFile(bundle), original);
  EXPECT_EQ(RunTool("edit --help").exitCode, 0);
  EXPECT_EQ(RunTool("import --help").exitCode, 0);
}

TEST_F(EditCommand, ReplaceImportsPicturesByTheEntrysTypeUnlessRaw) {
  TPixelImage picture = samples::BeachPicture();
  samples::FillRect(picture, 100, 100, 50, 50, {0, 255, 0, 255});
  const fs::path bmp = dir.Write("beach.bmp", WriteBMP32(picture));
  const std::string err = dir.File("err.txt").string();
  EXPECT_EQ(RunTool("edit " + B() + " --replace 'gfx\\beach.til'=" + Quote(bmp.string()), err).exitCode, 0)
      << ReadText(err);
  EXPECT_EQ(samples::ReadBMP32(DecodeTileImage(Entries(bundle)[0].second).bmp).Pixels, picture.Pixels);

  // The wrong size for a TGA is refused, and nothing is written.
  const Bytes before = ReadWholeFile(bundle);
  EXPECT_EQ(RunTool("edit " + B() + " --replace 'textures\\wall.tga'=" + Quote(bmp.string()), err).exitCode, 1);
  EXPECT_NE(ReadText(err).find("Resize it to 128 x 128"), std::string::npos) << ReadText(err);
  EXPECT_EQ(ReadWholeFile(bundle), before);

  EXPECT_EQ(RunTool("edit " + B() + " --raw --replace 'textures\\wall.tga'=" + Quote(bmp.string())).exitCode, 0);
  EXPECT_EQ(Entries(bundle)[1].second, ReadWholeFile(bmp));
}

TEST_F(EditCommand, ReplaceCompilesLuaSourceOrSaysWhichLineIsWrong) {
  const Bytes before = ReadWholeFile(bundle);
  const fs::path bad = dir.Write("bad.lua", Text("x = 1\nif x then\n"));
  const std::string err = dir.File("err.txt").string();
  EXPECT_EQ(RunTool("edit " + B() + " --replace old.lua=" + Quote(bad.string()), err).exitCode, 1);
  EXPECT_NE(ReadText(err).find("does not compile"), std::string::npos) << ReadText(err);
  EXPECT_EQ(ReadWholeFile(bundle), before);

  const fs::path good = dir.Write("good.lua", Text("x = 1\nprint(x)\n"));
  EXPECT_EQ(RunTool("edit " + B() + " --replace old.lua=" + Quote(good.string()), err).exitCode, 0) << ReadText(err);
  const Bytes chunk = Entries(bundle)[3].second;
  EXPECT_EQ(Bytes(chunk.begin(), chunk.begin() + 5), Text("\x1bLua\x31"));
}

TEST_F(EditCommand, ImportWritesOneFileInTheFormatOfTheOriginal) {
  const Bytes wall = Entries(bundle)[1].second;
  const fs::path like = dir.Write("wall.tga", wall);
  const fs::path bmp = dir.Write("wall.bmp", WriteBMP32(samples::PatternPicture(128, 128, true)));
  const fs::path out = dir.File("out.tga");
  EXPECT_EQ(RunTool("import " + Quote(bmp.string()) + " --like " + Quote(like.string()) + " -o " + Quote(out.string()))
                .exitCode,
            0);
  EXPECT_EQ(ReadWholeFile(out), ImportEntry(ReadWholeFile(bmp), "wall.bmp", wall, "wall.tga").data);
  EXPECT_EQ(samples::ReadBMP32(DecodeTGAImage(ReadWholeFile(out)).bmp).Pixels,
            samples::PatternPicture(128, 128, true).Pixels);

  const fs::path big = dir.Write("big.bmp", WriteBMP32(samples::BeachPicture()));
  const fs::path refused = dir.File("refused.tga");
  EXPECT_EQ(
      RunTool("import " + Quote(big.string()) + " --like " + Quote(like.string()) + " -o " + Quote(refused.string()))
          .exitCode,
      1);
  EXPECT_FALSE(fs::exists(refused));
}

namespace {

// Starts `vldtool edit BUNDLE --replace REPLACE --remove old.lua` that stops
// itself before write k of its save; returns its pid, or -1 when it finished.
pid_t StartStoppedEdit(const fs::path& bundle, const std::string& replace, int k, int& status) {
  const pid_t child = fork();
  if (child == 0) {
    const std::string stop = std::to_string(k);
    ::setenv("VLD_TEST_STOP_AT_WRITE", stop.c_str(), 1);
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 2);
    ::execl(VLDTOOL_PATH, VLDTOOL_PATH, "edit", bundle.c_str(), "--replace", replace.c_str(), "--remove", "old.lua",
            static_cast<char*>(nullptr));
    _exit(127);
  }
  if (child < 0 || waitpid(child, &status, WUNTRACED) != child) return -1;
  return WIFSTOPPED(status) ? child : -1;
}

}  // namespace

TEST_F(EditCommand, CtrlCDuringTheSaveLeavesTheBundleAndNoTemporary) {
  const Bytes original = ReadWholeFile(bundle);
  const fs::path file = dir.Write("t.txt", Text("replacement"));
  int status = 0;
  const pid_t child = StartStoppedEdit(bundle, "texts\\a.tab=" + file.string(), 2, status);
  ASSERT_GT(child, 0);
  kill(child, SIGINT);
  kill(child, SIGCONT);
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_EQ(ReadWholeFile(bundle), original);
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"game.lab", "t.txt"}));
}

TEST_F(EditCommand, AnInPlaceUpdateKilledAtAnyWriteLeavesTheBundleIntact) {
  const Bytes original = ReadWholeFile(bundle);
  const fs::path file = dir.Write("t.txt", Text("replacement"));
  const std::string replace = "texts\\a.tab=" + file.string();
  bool finished = false;
  for (int k = 0; !finished && k < 50; ++k) {
    int status = 0;
    const pid_t child = StartStoppedEdit(bundle, replace, k, status);
    if (child < 0) {
      // Fewer writes than k: the save ran to its end.
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 0);
      finished = true;
      break;
    }
    // Stopped inside the save, with its temporary beside the bundle.
    EXPECT_EQ(FolderNames(dir.Path()).size(), 3u) << k;
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    EXPECT_EQ(ReadWholeFile(bundle), original) << "killed before write " << k;
  }
  EXPECT_TRUE(finished);
  // The finished run cleaned what the killed ones left.
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"game.lab", "t.txt"}));
  EXPECT_EQ(Entries(bundle)[2].second, Text("replacement"));
  EXPECT_EQ(Entries(bundle).size(), 3u);
}
