#include <gtest/gtest.h>

#include <set>
#include <string>

#include "TestFiles.h"
#include "core/browser/ExtractPaths.h"
#include "core/browser/Extractor.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "samples/ExtractSamples.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

// The names of the files in `folder` as UTF-8, as the file system holds them.
std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) out.insert(PathText(e.path().filename()));
  return out;
}

}  // namespace

TEST(PlatformPaths, Utf8TextAndPathsConvertBothWays) {
  const std::string name = "caf\xC3\xA9 \xC3\xBF.til";
  EXPECT_EQ(PathText(Utf8Path(name)), name);
  EXPECT_EQ(PathText(Utf8Path("a/b") / Utf8Path(name)).substr(4), name);
  // The file system holds the accented name, not its bytes read as another code page.
  TTempDir dir;
  WriteFileAtomic(dir.Path() / Utf8Path(name), Bytes{1, 2, 3});
  EXPECT_EQ(Names(dir.Path()), std::set<std::string>{name});
  EXPECT_EQ(ReadWholeFile(dir.Path() / Utf8Path(name)), (Bytes{1, 2, 3}));
}

TEST(PlatformPaths, LongPathsCanBeWrittenReplacedAndRead) {
  TTempDir dir;
  fs::path deep = dir.Path();
  for (int i = 0; i < 4; ++i) deep /= std::string(90, static_cast<char>('a' + i));
  fs::create_directories(SystemPath(deep));
  fs::path file = deep / "entry.dat";
  ASSERT_GT(file.native().size(), 360u);
  WriteFileAtomic(file, Bytes{1});
  WriteFileAtomic(file, Bytes{2, 3});
  EXPECT_EQ(ReadWholeFile(file), (Bytes{2, 3}));
  EXPECT_EQ(fs::file_size(SystemPath(file)), 2u);
  if (kWindows) {
    EXPECT_EQ(SystemPath(file).native().substr(0, 4), fs::path("\\\\?\\").native());
    EXPECT_EQ(SystemPath("short.txt"), fs::path("short.txt"));
  } else {
    EXPECT_EQ(SystemPath(file), file);
  }
}

TEST(PlatformPaths, ExtractionWritesAccentedReservedAndLongNames) {
  TTempDir dir;
  const std::string longName = std::string(120, 'l') + "\\" + std::string(120, 'm') + "\\" + std::string(60, 'n');
  samples::TextBundle(
      {{"caf\xE9.txt", "accent"}, {"con.txt", "device"}, {"aux\\nul", "folder"}, {std::string_view(longName), "long"}})
      .Write(dir.File("names.lab"));
  TLabReader reader;
  reader.Open(dir.File("names.lab"));
  fs::path out = dir.Path() / "names";
  TExtractResult result = ExtractAllEntries(reader, out);
  EXPECT_EQ(result.files, 4);
  const std::string device = kWindows ? "con_.txt" : "con.txt";
  const std::string folder = kWindows ? "aux_" : "aux";
  EXPECT_EQ(Names(out), (std::set<std::string>{"caf\xC3\xA9.txt", device, folder, std::string(120, 'l')}));
  EXPECT_EQ(ReadWholeFile(out / Utf8Path(device)), (Bytes{'d', 'e', 'v', 'i', 'c', 'e'}));
  EXPECT_EQ(ReadWholeFile(out / folder / (kWindows ? "nul_" : "nul")), (Bytes{'f', 'o', 'l', 'd', 'e', 'r'}));
  EXPECT_EQ(ReadWholeFile(out / MapEntryName(longName).Relative()), (Bytes{'l', 'o', 'n', 'g'}));
}

TEST(PlatformPaths, UniqueFoldersAreNewAndDistinct) {
  TTempDir dir;
  fs::path a = MakeUniqueFolder(dir.Path(), "run-");
  fs::path b = MakeUniqueFolder(dir.Path(), "run-");
  EXPECT_NE(a, b);
  EXPECT_TRUE(fs::is_directory(a));
  EXPECT_TRUE(fs::is_empty(a));
  EXPECT_EQ(PathText(a.filename()).substr(0, 4), "run-");
  EXPECT_THROW(MakeUniqueFolder(dir.Path() / "missing", "x-"), FileError);
}

// A file name of the longest length allowed is written and replaced whole,
// with no temporary file left beside it.
TEST(PlatformPaths, TheLongestFileNameIsWrittenAndReplaced) {
  TTempDir dir;
  const std::string name = std::string(251, 'n') + ".bmp";
  WriteFileAtomic(dir.Path() / name, Bytes{1, 2});
  WriteFileAtomic(dir.Path() / name, Bytes{3});
  EXPECT_EQ(Names(dir.Path()), std::set<std::string>{name});
  EXPECT_EQ(ReadWholeFile(dir.Path() / name), Bytes{3});
}
