#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LuaTestSupport.h"
#include "core/lua/LuaListing.h"
#include "samples/LuaChunk.h"

using namespace vld;
using namespace vld::samples;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using vld::test::Code;
using vld::test::Fn;
using vld::test::LogLines;

namespace {

// The instruction lines of a main function's listing (after "Stack: ...").
std::vector<std::string> InstrLines(const TChunkFunction& f) {
  std::vector<std::string> log = LogLines(BuildChunk(f));
  std::vector<std::string> out;
  bool inCode = false;
  for (const std::string& line : log) {
    if (line.rfind("  Locals:", 0) == 0) break;
    if (inCode) out.push_back(line.substr(2));
    if (line.rfind("  Stack: ", 0) == 0) inCode = true;
  }
  return out;
}

}  // namespace

TEST(LuaFormatG, FixedUpToFifteenDigitsElseScientific) {
  EXPECT_EQ(FormatG(0.1), "0.1");
  EXPECT_EQ(FormatG(1), "1");
  EXPECT_EQ(FormatG(-2.5), "-2.5");
  EXPECT_EQ(FormatG(100), "100");
  EXPECT_EQ(FormatG(1e20), "1E20");
  EXPECT_EQ(FormatG(1e-7), "1E-7");
  EXPECT_EQ(FormatG(1.5e-7), "1.5E-7");
  EXPECT_EQ(FormatG(-3.25e-9), "-3.25E-9");
  EXPECT_EQ(FormatG(123456789012345678.0), "1.23456789012346E17");
  EXPECT_EQ(FormatG(0.00001), "0.00001");   // the smallest fixed value
  EXPECT_EQ(FormatG(0.0000099), "9.9E-6");  // below it: exponent form, unlike C's %g
  EXPECT_EQ(FormatG(0.00012345), "0.00012345");
  EXPECT_EQ(FormatG(999999999999999.0), "999999999999999");  // fifteen digits before the point
  EXPECT_EQ(FormatG(1e15), "1E15");
  EXPECT_EQ(FormatG(9999999999999999.0), "1E16");  // rounding to 15 digits carries into the exponent
  EXPECT_EQ(FormatG(3.14159265358979311), "3.14159265358979");
  EXPECT_EQ(FormatG(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FormatG(double(0.1f)), "0.100000001490116");
  EXPECT_EQ(FormatG(0.0), "0");
  EXPECT_EQ(FormatG(-0.0), "0");
  EXPECT_EQ(FormatG(1.0 / 0.0), "INF");
  EXPECT_EQ(FormatG(-1.0 / 0.0), "-INF");
  EXPECT_EQ(FormatG(0.0 / 0.0), "NAN");
}

TEST(LuaListing, IndentsTwoSpacesPerDepthAndOneAtDepthZero) {
  EXPECT_EQ(LuaIndent(0), " ");
  EXPECT_EQ(LuaIndent(1), "  ");
  EXPECT_EQ(LuaIndent(2), "    ");
  EXPECT_EQ(LuaIndent(-3), " ");

  std::vector<std::string> lines;
  LogFn log = [&lines](const std::string& l) { lines.push_back(l); };
  TLuaListing listing(log);
  TLuaFunction f;
  f.Source = "s.lua";
  f.Line = 9;
  listing.DumpFunction(f, 1);
  EXPECT_THAT(lines, ElementsAre("  function defined at s.lua:9", "    Code length: 0", "    File offset: 00000000",
                                 "    Stack: 0, Args: 0", "    Locals:", "    Consts:"));
}

TEST(LuaListing, DumpsNestedFunctionsInPlaceOfTheirConstants) {
  TChunkFunction inner = Fn(Code({0}), {"y"});
  inner.line = 4;
  inner.Local("a", 5);
  TChunkFunction main = Fn(Code({0}), {"x"});
  main.Function(std::move(inner));
  main.Number(2.5);
  main.RawConst('?');
  std::vector<std::string> log = LogLines(BuildChunk(main));
  EXPECT_THAT(
      log, ElementsAre("Dump of file: t.lua", "Lua version: 3.1", "Floats size: 4", "Intel byte ordering (LSB first)",
                       " function defined at t.lua:0", "  Code length: 3", "  File offset: 0000000A",
                       "  Stack: 1, Args: 0", "  0002 00 | endcode", "  Locals:", "  Consts:", "  Const0 = x",
                       "  Const1 = function", "  function defined at t.lua:4", "    Code length: 3",
                       "    File offset: 0000002E", "    Stack: 1, Args: 0", "    0002 00 | endcode",
                       "    Locals:", "    a at line 5", "    Consts:", "    Const0 = y", "  Const2 = 2.5"));
}

TEST(LuaListing, EveryOperandForm) {
  TChunkFunction f = Fn(Code({
                            0x01, 0x04,                                // pushnil 4
                            0x02,                                      // pushnil0
                            0x03, 0xC8,                                // pushnumber 200
                            0x06,                                      // pushnumber2
                            0x07, 0x34, 0x12,                          // pushnumberw: LSB first
                            0x08, 0x01,                                // pushconstant
                            0x0C,                                      // pushconstant3
                            0x11, 0x02, 0x00,                          // pushconstantw
                            0x12, 0x05, 0x14,                          // pushupvalue 5, pushupvalue1
                            0x15, 0x09, 0x1D,                          // pushlocal 9, pushlocal7
                            0x1E, 0x00, 0x26, 0x27, 0x01, 0x00,        // getglobal, getglobal7, getglobalw
                            0x28,                                      // gettable
                            0x29, 0x00, 0x2A, 0x32, 0x03, 0x00,        // getdotted, getdotted0, getdottedw
                            0x33, 0x00, 0x3B, 0x3C, 0x00, 0x00,        // pushself, pushself7, pushselfw
                            0x3D, 0x07, 0x3F, 0x40, 0x00, 0x01,        // createarray 7, createarray1, createarrayw 256
                            0x41, 0x0A, 0x49,                          // setlocal 10, setlocal7
                            0x4A, 0x00, 0x52, 0x53, 0x01, 0x00,        // setglobal, setglobal7, setglobalw
                            0x54, 0x55, 0x03,                          // settable0, settable 3
                            0x56, 0x02, 0x05,                          // setlist start 2*64 count 5
                            0x57, 0x03,                                // setlist0 count 3
                            0x58, 0x01, 0x01, 0x06,                    // setlistw start 257*64 count 6
                            0x59, 0x02, 0x5A,                          // setmap 3, setmap0
                            0x5B, 0x60, 0x66, 0x67, 0x68,              // eqop geop concop minusop notop
                            0x75, 0x02, 0x03, 0x77, 0x04,              // closure 2 3, closure1 4
                            0x78, 0x02, 0x01, 0x79, 0x03, 0x7A, 0x00,  // callfunc 2 1, callfunc0 3, callfunc1 0
                            0x7B, 0x01, 0x7C, 0x0C, 0x7D, 0x00, 0x01,  // retcode 1, setline 12, setlinew 256
                            0x7E, 0x02, 0x7F, 0x80,                    // pop 2, pop0, pop1
                            0xC8, 0x00,                                // <bad> then endcode
                        }),
                        {"a", "b", "c", "abc"});
  EXPECT_THAT(InstrLines(f), ElementsAreArray(std::vector<std::string>{
                                 "0002 01 | pushnil 4",
                                 "0004 02 | pushnil0",
                                 "0005 03 | pushnumber 200",
                                 "0007 06 | pushnumber2",
                                 "0008 07 | pushnumberw 4660",
                                 "000b 08 | pushconstant b(const1)",
                                 "000d 0c | pushconstant3 abc(const3)",
                                 "000e 11 | pushconstantw c(const2)",
                                 "0011 12 | pushupvalue 5",
                                 "0013 14 | pushupvalue1",
                                 "0014 15 | pushlocal 9",
                                 "0016 1d | pushlocal7",
                                 "0017 1e | getglobal a(const0)",
                                 "0019 26 | getglobal7 <bad>(var7)",
                                 "001a 27 | getglobalw b(const1)",
                                 "001d 28 | gettable",
                                 "001e 29 | getdotted a(const0)",
                                 "0020 2a | getdotted0 a(const0)",
                                 "0021 32 | getdottedw abc(const3)",
                                 "0024 33 | pushself a(const0)",
                                 "0026 3b | pushself7 <bad>(var7)",
                                 "0027 3c | pushselfw a(const0)",
                                 "002a 3d | createarray 7",
                                 "002c 3f | createarray1",
                                 "002d 40 | createarrayw 256",
                                 "0030 41 | setlocal 10",
                                 "0032 49 | setlocal7",
                                 "0033 4a | setglobal a(const0)",
                                 "0035 52 | setglobal7 <bad>(var7)",
                                 "0036 53 | setglobalw b(const1)",
                                 "0039 54 | settable0",
                                 "003a 55 | settable 3",
                                 "003c 56 | setlist start 128 count 5",
                                 "003f 57 | setlist0 count 3",
                                 "0041 58 | setlistw start 16448 count 6",
                                 "0045 59 | setmap 3",
                                 "0047 5a | setmap0",
                                 "0048 5b | eqop",
                                 "0049 60 | geop",
                                 "004a 66 | concop",
                                 "004b 67 | minusop",
                                 "004c 68 | notop",
                                 "004d 75 | closure 2 3",
                                 "0050 77 | closure1 4",
                                 "0052 78 | callfunc 2 1",
                                 "0055 79 | callfunc0 3",
                                 "0057 7a | callfunc1 0",
                                 "0059 7b | retcode 1",
                                 "005b 7c | setline 12",
                                 "005d 7d | setlinew 256",
                                 "0060 7e | pop 2",
                                 "0062 7f | pop0",
                                 "0063 80 | pop1",
                                 "0064 c8 | <bad>",
                                 "0065 00 | endcode",
                             }));
}

TEST(LuaListing, JumpsListTheirAbsoluteTargets) {
  Bytes code(0x30, 0x00);
  code[0x10] = 0x6D;  // jmp +5 from 0x12
  code[0x11] = 0x05;
  code[0x12] = 0x70;  // iffjmpw +0x0100 from 0x15
  code[0x13] = 0x00;
  code[0x14] = 0x01;
  code[0x20] = 0x71;  // iftupjmp -0x10 from 0x22
  code[0x21] = 0x10;
  code[0x22] = 0x74;  // iffupjmpw -0x0020 from 0x25
  code[0x23] = 0x20;
  code[0x24] = 0x00;
  code[0x25] = 0x69;  // ontjmp
  code[0x26] = 0x00;
  code[0x27] = 0x6A;  // ontjmpw
  code[0x28] = 0x01;
  code[0x29] = 0x00;
  code[0x2A] = 0x73;  // iffupjmp past the start
  code[0x2B] = 0x30;
  std::vector<std::string> lines = InstrLines(Fn(code));
  EXPECT_THAT(lines, ::testing::Contains("0010 6d | jmp 0017"));
  EXPECT_THAT(lines, ::testing::Contains("0012 70 | iffjmpw 0115"));
  EXPECT_THAT(lines, ::testing::Contains("0020 71 | iftupjmp 0012"));
  EXPECT_THAT(lines, ::testing::Contains("0022 74 | iffupjmpw 0005"));
  EXPECT_THAT(lines, ::testing::Contains("0025 69 | ontjmp 0027"));
  EXPECT_THAT(lines, ::testing::Contains("0027 6a | ontjmpw 002b"));
  EXPECT_THAT(lines, ::testing::Contains("002a 73 | iffupjmp fffffffc"));
}

TEST(LuaListing, HeaderOnlyCodeAndOperandsPastTheEnd) {
  EXPECT_TRUE(InstrLines(Fn(Code({}))).empty());
  std::vector<std::string> shortCode = LogLines(BuildChunk(Fn(Bytes{7})));
  EXPECT_EQ(shortCode[7], "  Stack: 7, Args: 0");  // the missing parameter byte reads as zero
  EXPECT_EQ(shortCode[8], "  Locals:");
  // A last instruction whose operands are cut off reads zeros in their place.
  EXPECT_THAT(InstrLines(Fn(Code({0x07, 0x05}))), ElementsAre("0002 07 | pushnumberw 5"));
  EXPECT_THAT(InstrLines(Fn(Code({0x78}))), ElementsAre("0002 78 | callfunc 0 0"));
  EXPECT_THAT(InstrLines(Fn(Code({0x6E, 0xFF}))), ElementsAre("0002 6e | jmpw 0104"));
}

TEST(LuaListing, ConstNameCases) {
  TLuaFile file(BuildChunk([] {
                  TChunkFunction f = Fn(Code({0}), {"abc"});
                  f.Number(1.5e-7);
                  f.Function(Fn(Code({0})));
                  f.RawConst('?');
                  return f;
                }()),
                "t");
  const TLuaFunction& f = file.Main();
  EXPECT_EQ(TLuaListing::ConstName(f, 0), "abc(const0)");
  EXPECT_EQ(TLuaListing::ConstName(f, 1), "1.50000005305628E-7(const1)");  // a single-precision constant
  EXPECT_EQ(TLuaListing::ConstName(f, 2), "Func2(const2)");
  EXPECT_EQ(TLuaListing::ConstName(f, 3), "<bad>(const3)");
  EXPECT_EQ(TLuaListing::ConstName(f, 4), "<bad>(var4)");  // the constant count itself
  EXPECT_EQ(TLuaListing::ConstName(f, -1), "<bad>(var-1)");
}

TEST(LuaListing, EmptyFunctionConstantIsMarked) {
  TChunkFunction f = Fn(Code({0}));
  f.RawConst('F');
  std::vector<std::string> log = LogLines(BuildChunk(f));
  EXPECT_EQ(log[log.size() - 2], "  Const0 = function");
  EXPECT_EQ(log.back(), "    <no function attached>");
}
