#include <gtest/gtest.h>

#include <string>

#include "TestFiles.h"
#include "core/browser/ExtractPaths.h"

using namespace vld;

namespace {
// The mapped path as UTF-8 with '/' between folders, on every platform.
std::string Mapped(std::string_view name) {
  std::u8string text = MapEntryName(name).Relative().generic_u8string();
  return std::string(text.begin(), text.end());
}
}  // namespace

TEST(ExtractPaths, OrdinaryNamesKeepTheirShape) {
  EXPECT_EQ(Mapped("gfx\\a.til"), "gfx/a.til");
  EXPECT_EQ(Mapped("b.til"), "b.til");
  EXPECT_EQ(Mapped("models\\actors\\hero\\Hero.MESH"), "models/actors/hero/Hero.MESH");
  EXPECT_EQ(Mapped(".hidden"), ".hidden");
  EXPECT_EQ(Mapped("a..b\\c...d"), "a..b/c...d");
  TEntryPath p = MapEntryName("gfx\\sub\\a.til");
  EXPECT_EQ(p.folder, "gfx/sub");
  EXPECT_EQ(p.file, "a.til");
  EXPECT_EQ(MapEntryName("a.til").folder, "");
}

TEST(ExtractPaths, NamesThatClimbOrRootAreKeptInside) {
  EXPECT_EQ(Mapped("..\\..\\escaped.txt"), "escaped.txt");
  EXPECT_EQ(Mapped("gfx\\..\\..\\..\\up.txt"), "gfx/up.txt");
  EXPECT_EQ(Mapped("\\rooted.txt"), "rooted.txt");
  EXPECT_EQ(Mapped("/slashrooted.txt"), "slashrooted.txt");
  EXPECT_EQ(Mapped("C:\\windows\\drive.txt"), "windows/drive.txt");
  EXPECT_EQ(Mapped("d:relative.txt"), "relative.txt");
  EXPECT_EQ(Mapped("a\\\\.\\b\\.\\dots.txt"), "a/b/dots.txt");
  EXPECT_EQ(Mapped("mixed/slash\\name.txt"), "mixed/slash/name.txt");
  // A drive letter is only one at the very start (Windows has no ':' in names at all).
  if (!kWindows) {
    EXPECT_EQ(Mapped("x\\C:\\y.txt"), "x/C:/y.txt");
  }
}

TEST(ExtractPaths, NamesWithoutAFilePartGetAPlaceholder) {
  for (std::string name : {"", "\\\\\\", "..", ".", "trailing\\", "C:", "a\\..", "/"}) {
    TEntryPath p = MapEntryName(name);
    EXPECT_EQ(p.file, kUnnamedEntryFile) << name;
  }
  EXPECT_EQ(Mapped("trailing\\"), "trailing/unnamed");
}

TEST(ExtractPaths, BytesAreMadeSafeForTheFileSystem) {
  EXPECT_EQ(Mapped("ctrl\x01\x1f\x7f.txt"), "ctrl___.txt");
  EXPECT_EQ(Mapped("tab\there\x85.txt"), "tab_here_.txt");
  // Latin-1 e-acute becomes its UTF-8 form.
  EXPECT_EQ(Mapped("caf\xE9\\\xFF.til"), "caf\xC3\xA9/\xC3\xBF.til");
}

TEST(ExtractPaths, LongPartsAreShortenedButStayDistinct) {
  std::string a = std::string(300, 'a') + "1.til";
  std::string b = std::string(300, 'a') + "2.til";
  TEntryPath pa = MapEntryName("dir\\" + a);
  TEntryPath pb = MapEntryName(b);
  EXPECT_LE(pa.file.size(), kMaxPathPartBytes);
  EXPECT_NE(pa.file, pb.file);
  EXPECT_EQ(pa.file.substr(pa.file.size() - 4), ".til");
  EXPECT_EQ(pa.file.substr(0, 10), std::string(10, 'a'));
  // Deterministic, and long folder parts are shortened too.
  EXPECT_EQ(MapEntryName("dir\\" + a).file, pa.file);
  EXPECT_LE(MapEntryName(a + "\\x").folder.size(), kMaxPathPartBytes);
  // Two-byte sequences are never cut in half.
  std::string wide(200, '\xE9');
  TEntryPath pw = MapEntryName(wide);
  EXPECT_LE(pw.file.size(), kMaxPathPartBytes);
  std::size_t tilde = pw.file.find('~');
  ASSERT_NE(tilde, std::string::npos);
  EXPECT_EQ(tilde % 2, 0u);
}

TEST(ExtractPaths, DestinationIsTheFolderPlusTheBundleStem) {
  EXPECT_EQ(ExtractDestination("/out", "/games/data001.lab"), "/out/data001");
  EXPECT_EQ(ExtractDestination("/out/", "/games/data001.lab"), "/out/data001");
  EXPECT_EQ(ExtractDestination("/out//", "data001.lab"), "/out/data001");
  // The stem ends at the first dot.
  EXPECT_EQ(ExtractDestination("/out", "/games/data.001.lab"), "/out/data");
  // A root folder gets no second separator.
  EXPECT_EQ(ExtractDestination("/", "/games/data001.lab"), "/data001");
  // A bundle name without "." (or starting with one) extracts straight into the folder.
  EXPECT_EQ(ExtractDestination("/out", "/games/data001"), "/out");
  EXPECT_EQ(ExtractDestination("/out/", "/games/.lab"), "/out");
  EXPECT_EQ(ExtractDestination("/", "/games/data001"), "/");
  // A relative folder works as well.
  EXPECT_EQ(ExtractDestination("", "data001.lab"), "data001");
  EXPECT_EQ(ExtractDestination("", "data001"), ".");
  EXPECT_EQ(BundleStem("/a.b/data001.lab"), "data001");
}

TEST(ExtractPaths, PathTextHasNoTrailingSeparator) {
  EXPECT_EQ(ExtractPathText(ExtractDestination("/out", "data001.lab")),
            kWindows ? "path = /out\\data001" : "path = /out/data001");
  EXPECT_EQ(ExtractPathText("/out/data001/"), "path = /out/data001");
  EXPECT_EQ(ExtractPathText(ExtractDestination("/out/", "data001")), "path = /out");
  EXPECT_EQ(ExtractPathText("/"), "path = /");
}

TEST(WindowsSafePart, DeviceNamesGetAMarkWhateverTheirCaseAndExtension) {
  EXPECT_EQ(WindowsSafePart("con"), "con_");
  EXPECT_EQ(WindowsSafePart("CON.txt"), "CON_.txt");
  EXPECT_EQ(WindowsSafePart("nul.tar.gz"), "nul_.tar.gz");
  EXPECT_EQ(WindowsSafePart("Aux"), "Aux_");
  EXPECT_EQ(WindowsSafePart("prn.til"), "prn_.til");
  EXPECT_EQ(WindowsSafePart("com1.dat"), "com1_.dat");
  EXPECT_EQ(WindowsSafePart("LPT9"), "LPT9_");
  EXPECT_EQ(WindowsSafePart("com0"), "com0_");
  EXPECT_EQ(WindowsSafePart("conout$.x"), "conout$_.x");
  EXPECT_EQ(WindowsSafePart("nul .txt"), "nul _.txt");
  // COM and LPT with a superscript digit (Latin-1 read as UTF-8).
  EXPECT_EQ(WindowsSafePart("com\xC2\xB9.dat"), "com\xC2\xB9_.dat");
  EXPECT_EQ(WindowsSafePart("lpt\xC2\xB3"), "lpt\xC2\xB3_");
  // Names that only look alike stay as they are.
  for (std::string name :
       {"console.txt", "com10", "lpt", "com", "nul_", "xcon.txt", "a.con", "com\xC2\xB4", "coma.txt", "auxiliary"})
    EXPECT_EQ(WindowsSafePart(name), name) << name;
}

TEST(WindowsSafePart, TrailingDotsAndSpacesAndForbiddenCharactersBecomeUnderscores) {
  EXPECT_EQ(WindowsSafePart("name."), "name_");
  EXPECT_EQ(WindowsSafePart("name. . "), "name____");
  EXPECT_EQ(WindowsSafePart(".. "), "___");
  EXPECT_EQ(WindowsSafePart("a.b c"), "a.b c");
  EXPECT_EQ(WindowsSafePart("what?<now>|\"x\"*:y"), "what__now___x___y");
  // Trailing dots go before the device test: "nul." is no longer a device.
  EXPECT_EQ(WindowsSafePart("nul."), "nul_");
  EXPECT_EQ(WindowsSafePart("caf\xC3\xA9.til"), "caf\xC3\xA9.til");
}

TEST(PlatformPaths, EntryNamesFollowTheRulesOfThePlatform) {
  // Both platforms: '\' and '/' separate, drives and climbing are dropped.
  EXPECT_EQ(Mapped("gfx/sub\\a.til"), "gfx/sub/a.til");
  EXPECT_EQ(Mapped("C:\\..\\x.til"), "x.til");
  if (kWindows) {
    EXPECT_EQ(Mapped("\\\\server\\share\\unc.txt"), "unc.txt");
    EXPECT_EQ(Mapped("\\\\?\\C:\\long\\x.txt"), "long/x.txt");
    EXPECT_EQ(Mapped("\\\\.\\COM1"), "COM1_");
    EXPECT_EQ(Mapped("\\\\server\\only.txt"), "only.txt");
    EXPECT_EQ(Mapped("sound\\con.wav"), "sound/con_.wav");
    EXPECT_EQ(Mapped("aux\\a.txt"), "aux_/a.txt");
    EXPECT_EQ(Mapped("dir. \\x "), "dir__/x_");
    EXPECT_EQ(Mapped("x\\C:\\y.txt"), "x/C_/y.txt");
  } else {
    // Elsewhere these are ordinary names and keep their shape.
    EXPECT_EQ(Mapped("\\\\server\\share\\unc.txt"), "server/share/unc.txt");
    EXPECT_EQ(Mapped("sound\\con.wav"), "sound/con.wav");
    EXPECT_EQ(Mapped("dir. \\x "), "dir. /x ");
  }
}
