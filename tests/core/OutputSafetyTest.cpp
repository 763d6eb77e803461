#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "TestFiles.h"
#include "core/browser/ExtractPaths.h"
#include "core/browser/Formats.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "core/common/ShownText.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The id of a process that has ended.
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

}  // namespace

// Only a missing or regular file is replaced by a rename: a pipe, a link or
// a folder at the name is refused before anything is written, and stays.
TEST(OutputSafety, OnlyAMissingOrRegularFileIsReplaced) {
  TTempDir dir;
  dir.Write("plain", Text("old"));
  WriteFileAtomic(dir.File("plain"), Text("new"));
  EXPECT_EQ(AsString(ReadWholeFile(dir.File("plain"))), "new");
  EXPECT_NO_THROW(CheckReplaceable(dir.File("missing")));

  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
  fs::create_symlink(dir.File("plain"), dir.File("link"));
  fs::create_directory(dir.File("folder"));
  for (const char* name : {"pipe", "link", "folder"}) {
    try {
      WriteFileAtomic(dir.File(name), Text("x"));
      ADD_FAILURE() << name << " was replaced";
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find("only a missing or regular file is replaced"), std::string::npos)
          << e.what();
    }
  }
  EXPECT_TRUE(fs::is_fifo(dir.File("pipe")));
  EXPECT_TRUE(fs::is_symlink(dir.File("link")));
  EXPECT_EQ(AsString(ReadWholeFile(dir.File("plain"))), "new");
  EXPECT_THROW(CheckReplaceable("/dev/null"), FileError);
  for (auto& e : fs::directory_iterator(dir.Path()))
    EXPECT_NE(e.path().filename().string().rfind(".vld-", 0), 0u) << e.path();
}

TEST(OutputSafety, TheSameFileIsFoundUnderAnyName) {
  TTempDir dir;
  dir.Write("a", Text("a"));
  dir.Write("b", Text("a"));
  fs::create_symlink(dir.File("a"), dir.File("soft"));
  fs::create_hard_link(dir.File("a"), dir.File("hard"));
  EXPECT_TRUE(IsSameFile(dir.File("a"), dir.File("soft")));
  EXPECT_TRUE(IsSameFile(dir.File("hard"), dir.File("a")));
  EXPECT_TRUE(IsSameFile(dir.File("a"), dir.Path() / "." / "a"));
  EXPECT_FALSE(IsSameFile(dir.File("a"), dir.File("b")));
  EXPECT_FALSE(IsSameFile(dir.File("a"), dir.File("missing")));
}

// Temporary names carry the process id, so a later run can tell a killed
// run's leftover from a file another run is writing right now.
TEST(OutputSafety, TemporaryNamesTellTheirProcess) {
  const std::string own = TemporaryPartName();
  EXPECT_EQ(own.rfind(".vld-" + std::to_string(::getpid()) + "-", 0), 0u) << own;
  EXPECT_LE(own.size(), 40u);
  EXPECT_FALSE(IsStaleTemporary(own));
  const std::string ended = std::to_string(EndedProcess());
  EXPECT_TRUE(IsStaleTemporary(".vld-" + ended + "-0123456789ab.part"));
  EXPECT_FALSE(IsStaleTemporary(".vld-" + std::to_string(::getppid()) + "-0123456789ab.part"));
  EXPECT_FALSE(IsStaleTemporary(".vld-" + ended + "-0123456789ab.part.txt"));
  EXPECT_FALSE(IsStaleTemporary(".vld-" + ended + "-0123456789AB.part"));
  EXPECT_FALSE(IsStaleTemporary(".vld-0123456789abcdef.part"));  // no process id: cannot tell
  EXPECT_FALSE(IsStaleTemporary("a.part"));

  TTempDir dir;
  dir.Write(".vld-" + ended + "-0123456789ab.part", Text("half"));
  dir.Write("keep.txt", Text("k"));
  RemoveStaleTemporaries(dir.Path());
  EXPECT_FALSE(fs::exists(dir.File(".vld-" + ended + "-0123456789ab.part")));
  EXPECT_TRUE(fs::exists(dir.File("keep.txt")));
}

TEST(ShownText, ControlBytesAreShownEscaped) {
  EXPECT_EQ(ShownName("a\x1b]0;t\x07\r\n\tb\\c.txt"), "a\\x1b]0;t\\x07\\r\\n\\tb\\c.txt");
  EXPECT_EQ(ShownName("\x7f\x9b\xa0\xe9"), "\\x7f\\x9b\xa0\xe9");
  // In UTF-8 text bytes from 0x80 up are parts of characters.
  EXPECT_EQ(ShownMessage("caf\xC3\xA9 \x1b[2J"), "caf\xC3\xA9 \\x1b[2J");
}

// The bundle's own name becomes a folder with the rules entry names follow;
// Windows' rules can be asked for anywhere.
TEST(BundleStemRule, TheStemIsMadeSafeAsEntryNamesAre) {
  EXPECT_EQ(SafeStem("sp ", true), "sp_");
  EXPECT_EQ(SafeStem("con", true), "con_");
  EXPECT_EQ(SafeStem("sp ", false), "sp ");
  EXPECT_EQ(SafeStem("a\x01"
                     "b",
                     false),
            "a_b");
  const std::string longStem = SafeStem(std::string(300, 'x'), false);
  EXPECT_EQ(longStem.size(), 255u);
  EXPECT_EQ(longStem.substr(0, 200), std::string(200, 'x'));
  EXPECT_EQ(BundleStem("/x/a\x01"
                       "b.lab"),
            "a_b");
  EXPECT_EQ(BundleStem("/x/data001.lab"), "data001");
  EXPECT_EQ(BundleStem("/x/noext"), "");
#ifdef _WIN32
  EXPECT_EQ(BundleStem("C:\\x\\sp .lab"), "sp_");
#endif
}

// What the name, the size and the first bytes decide is refused before the
// rest of an input is read.
TEST(ConversionStart, RefusesWhatTheFirstBytesDecide) {
  const Bytes lua{0x1B, 'L', 'u', 'a', 0x31};
  const Bytes junk{'n', 'o', 'p', 'e'};
  EXPECT_NO_THROW(CheckConversionStart("a.lua", lua, 3LL << 10));
  EXPECT_NO_THROW(CheckConversionStart("a.tab", junk, 3LL << 20));
  EXPECT_NO_THROW(CheckConversionStart("a.lua", {}, 0));  // the loader says what is missing
  auto message = [](std::string_view name, ByteSpan head, std::int64_t size) {
    try {
      CheckConversionStart(name, head, size);
    } catch (const VldError& e) {
      return std::string(e.what());
    }
    return std::string("passed");
  };
  EXPECT_EQ(message("big.lua", junk, 3LL << 30),
            "big.lua holds 3221225472 bytes; a Lua script of more than 67108864 "
            "bytes is refused (the input is damaged or of another kind).");
  EXPECT_EQ(message("a.lua", junk, 100), "Bad signature in file a.lua");
  EXPECT_EQ(message("big.xyz", junk, 3LL << 30), "Entries of type \"unknown\" have no conversion: big.xyz");
  EXPECT_NE(message("x.til", junk, kMaxPictureInput + 1).find("a Tile of more than"), std::string::npos);
  EXPECT_EQ(message("x.til", junk, kMaxPictureInput), "passed");
}

// A file view holds the file's bytes, mapped or read, for any size.
TEST(OutputSafety, AFileViewHoldsTheFilesBytes) {
  TTempDir dir;
  Bytes big(300000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  dir.Write("big", big);
  dir.Write("empty", {});
  EXPECT_TRUE(std::ranges::equal(TFileView(dir.File("big")).Data(), big));
  EXPECT_TRUE(TFileView(dir.File("empty")).Data().empty());
  EXPECT_THROW(TFileView(dir.File("missing")), FileError);
}
