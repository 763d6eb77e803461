// What vldtool does with inputs made to hurt: outputs that would replace the
// input or something that is not a file, names that would drive the
// terminal, damaged directories, inputs too large to be what they claim.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"
#include "samples/LabSamples.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

// Runs vldtool in the scratch folder; `limit` is shell run first (a ulimit).
TToolResult Tool(const TTempDir& dir, const std::vector<std::string>& args, const std::string& limit = "") {
  return RunToolIn(dir.Path(), dir.Path(), args, limit);
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

fs::path TextBundle(const TTempDir& dir, const std::string& name) {
  LabWriter w;
  w.Add("text\\strings.tab", Text("hello\tworld\n"));
  w.Add("other.tab", Text("other\n"));
  w.Write(dir.File(name));
  return dir.File(name);
}

bool HasControlByte(const std::string& text) {
  for (unsigned char c : text)
    if ((c < 0x20 && c != '\n') || c == 0x7F) return true;
  return false;
}

}  // namespace

// Writing over the input, by its name, a link to it or another name of it,
// is refused with exit 1 and nothing written.
TEST(CliHostile, ConvertNeverWritesOverItsInput) {
  TTempDir dir;
  const Bytes bundle = ReadWholeFile(TextBundle(dir, "d.lab"));
  dir.Write("s.tab", Text("loose\n"));
  fs::create_symlink("d.lab", dir.File("link.lab"));
  fs::create_hard_link(dir.File("d.lab"), dir.File("hard.lab"));
  const std::vector<std::vector<std::string>> runs = {
      {"convert", "d.lab", "text\\strings.tab", "-o", "d.lab"},
      {"convert", "d.lab", "text\\strings.tab", "-o", "link.lab"},
      {"convert", "link.lab", "text\\strings.tab", "-o", "d.lab"},
      {"convert", "d.lab", "text\\strings.tab", "-o", "hard.lab"},
      {"convert", "s.tab", "-o", "s.tab"},
  };
  for (const auto& args : runs) {
    TToolResult r = Tool(dir, args);
    EXPECT_EQ(r.code, 1) << args[4];
    EXPECT_NE(r.err.find("would replace the input file; name another output with -o."), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Wrote"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(ReadWholeFile(dir.File("d.lab")) == bundle) << "the bundle was changed";
  EXPECT_TRUE(fs::is_symlink(dir.File("link.lab")));
  EXPECT_EQ(AsString(ReadWholeFile(dir.File("s.tab"))), "loose\n");
}

// A pipe, a device or a link at the output name is not replaced by a file.
TEST(CliHostile, OutputGoesOnlyOverAMissingOrRegularFile) {
  TTempDir dir;
  dir.Write("s.tab", Text("loose\n"));
  dir.Write("target.txt", Text("keep"));
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
  fs::create_symlink("target.txt", dir.File("link.txt"));
  for (const char* out : {"pipe", "link.txt"}) {
    TToolResult r = Tool(dir, {"convert", "s.tab", "-o", out});
    EXPECT_EQ(r.code, 1) << out;
    EXPECT_NE(r.err.find("only a missing or regular file is replaced"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(fs::is_fifo(dir.File("pipe")));
  EXPECT_TRUE(fs::is_symlink(dir.File("link.txt")));
  EXPECT_EQ(AsString(ReadWholeFile(dir.File("target.txt"))), "keep");
  TToolResult toStdout = Tool(dir, {"convert", "s.tab", "-o", "-"});
  EXPECT_EQ(toStdout.code, 0);
  EXPECT_EQ(toStdout.out, "loose\n");
  TToolResult regular = Tool(dir, {"convert", "s.tab", "-o", "target.txt"});
  EXPECT_EQ(regular.code, 0) << regular.err;
  EXPECT_EQ(AsString(ReadWholeFile(dir.File("target.txt"))), "loose\n");
}

// Escape, bell and carriage-return bytes in names reach the terminal escaped.
TEST(CliHostile, ControlBytesInNamesAreShownEscaped) {
  TTempDir dir;
  LabWriter w;
  const std::string title = "\x1b]0;pwned\x07.txt";
  const std::string forged = "a\r\x1b[2Kfake: OK\n.txt";
  w.Add(title, Text("1"));
  w.Add(forged, Text("2"));
  w.Add(forged, Text("3"));
  w.Write(dir.File("evil.lab"));

  TToolResult list = Tool(dir, {"list", "evil.lab"});
  EXPECT_EQ(list.code, 0) << list.err;
  EXPECT_FALSE(HasControlByte(list.out)) << list.out;
  EXPECT_NE(list.out.find("\\x1b]0;pwned\\x07.txt"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("a\\r\\x1b[2Kfake: OK\\n.txt\n"), std::string::npos) << list.out;

  TToolResult json = Tool(dir, {"list", "evil.lab", "--json"});
  EXPECT_FALSE(HasControlByte(json.out)) << json.out;
  EXPECT_NE(json.out.find("\"\\u001b]0;pwned\\u0007.txt\""), std::string::npos) << json.out;

  TToolResult extract = Tool(dir, {"extract", "evil.lab", "-o", "out"});
  EXPECT_EQ(extract.code, 0) << extract.err;
  EXPECT_FALSE(HasControlByte(extract.err)) << extract.err;
  EXPECT_NE(extract.err.find("  a\\r\\x1b[2Kfake: OK\\n.txt -> "), std::string::npos) << extract.err;
}

// A damaged bundle says what is damaged, and every command that reads its
// directory ends with exit 1.
TEST(CliHostile, DamagedBundlesAreReportedByEveryCommand) {
  TTempDir dir;
  samples::TRawLab cut;
  cut.count = 1;
  cut.namesPosition = kNamesOffsetConstant + 36;
  cut.records = {{0, 0, 0}};
  cut.tail.assign(kMaxNameLength + 50, static_cast<std::uint8_t>('a' ^ kNameMask));
  dir.Write("cut.lab", cut.Build());
  for (const char* command : {"list", "extract", "convert-all"}) {
    std::vector<std::string> args{command, "cut.lab"};
    if (std::string(command) != "list") args.insert(args.end(), {"-o", "out"});
    TToolResult r = Tool(dir, args);
    EXPECT_EQ(r.code, 1) << command;
    EXPECT_NE(r.err.find("the name of entry 0 is longer than 4096 bytes; it was cut there."), std::string::npos)
        << command << ": " << r.err;
    EXPECT_EQ(r.err.find("announces"), std::string::npos) << r.err;
  }

  Bytes more = ReadWholeFile(TextBundle(dir, "more.lab"));
  more[8] = 9;  // nine records announced, two there
  dir.Write("more.lab", more);
  TToolResult all = Tool(dir, {"convert-all", "more.lab", "-o", "conv"});
  EXPECT_EQ(all.code, 1) << all.err;
  EXPECT_NE(all.err.find("its directory announces 9 entries, the file holds"), std::string::npos) << all.err;

  dir.Write("tiny.lab", Bytes{'L', 'A', 'B', 'N'});
  TToolResult tiny = Tool(dir, {"list", "tiny.lab"});
  EXPECT_EQ(tiny.code, 1);
  EXPECT_NE(tiny.err.find("is damaged: the file is 4 bytes long, shorter than the 20-byte header of a bundle."),
            std::string::npos)
      << tiny.err;

  samples::TRawLab negative;
  negative.count = -1;
  dir.Write("neg.lab", negative.Build());
  TToolResult neg = Tool(dir, {"extract", "neg.lab", "-o", "negout"});
  EXPECT_EQ(neg.code, 1);
  EXPECT_NE(neg.err.find("a negative number of entries (-1)"), std::string::npos) << neg.err;
}

// A huge input whose name, size or first bytes already refuse it is refused
// before it is read: under a 400 MB memory limit a 3 GiB file and a 2 GiB
// entry get their refusal, not an allocation failure.
TEST(CliHostile, HugeInputsAreRefusedBeforeTheyAreRead) {
  TTempDir dir;
  for (const char* name : {"big.lua", "big.dat"}) {
    std::FILE* f = std::fopen(dir.File(name).c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("junk", f);
    std::fclose(f);
    fs::resize_file(dir.File(name), 3ull << 30);  // sparse: takes no room
  }
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer reserves its shadow memory up front, far above any such
  // limit: the refusals are checked without it.
  const std::string limit;
#else
  const std::string limit = "ulimit -v 400000;";
#endif
  TToolResult lua = Tool(dir, {"convert", "big.lua", "-o", "out.txt"}, limit);
  EXPECT_EQ(lua.code, 1);
  EXPECT_NE(lua.err.find("big.lua holds 3221225472 bytes"), std::string::npos) << lua.err;
  TToolResult dat = Tool(dir, {"convert", "big.dat"}, limit);
  EXPECT_EQ(dat.code, 1);
  EXPECT_NE(dat.err.find("have no conversion: big.dat"), std::string::npos) << dat.err;

  samples::TRawLab lab;
  lab.count = 1;
  lab.namesPosition = kNamesOffsetConstant + 36;
  lab.records = {{0, 64, 0x7FFFFFF0}};
  lab.tail = samples::MaskedName("x.lua");
  lab.tail.resize(64 - 36, 0);
  lab.tail.insert(lab.tail.end(), {'j', 'u', 'n', 'k'});
  dir.Write("huge.lab", lab.Build());
  fs::resize_file(dir.File("huge.lab"), 64ull + 0x7FFFFFF0);
  TToolResult entry = Tool(dir, {"convert", "huge.lab", "x.lua", "-o", "out.txt"}, limit);
  EXPECT_EQ(entry.code, 1);
  EXPECT_NE(entry.err.find("x.lua holds 2147483632 bytes"), std::string::npos) << entry.err;
  EXPECT_FALSE(fs::exists(dir.File("out.txt")));
}

// A run that writes nothing leaves no folder behind.
TEST(CliHostile, ARunThatWritesNothingLeavesNoFolder) {
  TTempDir dir;
  LabWriter w;
  w.Add("bad.lua", Text("not a script"));
  w.Write(dir.File("s.lab"));
  TToolResult r = Tool(dir, {"convert-all", "s.lab", "-o", "fresh/out"});
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(fs::exists(dir.File("fresh"))) << r.err;
}
