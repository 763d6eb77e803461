#include "core/browser/HexView.h"

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/Errors.h"

using namespace vld;

namespace {

constexpr std::int64_t k5GiB = 5ll << 30;

// A source over synthetic bytes (byte i is i * 7 + 3), counting the reads.
THexSource Synthetic(std::int64_t size, int* reads = nullptr, Bytes patch = {}, std::int64_t patchAt = 0) {
  THexSource s;
  s.size = s.declaredSize = size;
  s.read = [=](std::int64_t offset, void* dest, std::size_t n) {
    if (reads) ++*reads;
    auto* d = static_cast<std::uint8_t*>(dest);
    for (std::size_t i = 0; i < n; ++i) {
      std::int64_t at = offset + static_cast<std::int64_t>(i);
      d[i] = at >= patchAt && at < patchAt + static_cast<std::int64_t>(patch.size())
                 ? patch[static_cast<std::size_t>(at - patchAt)]
                 : static_cast<std::uint8_t>(at * 7 + 3);
    }
    return n;
  };
  return s;
}

}  // namespace

TEST(HexViewTest, RangeReadsAreClippedToTheEntryAndTheFile) {
  TTempDir dir;
  LabWriter w;
  Bytes data(300);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  w.Add("a.bin", data);
  w.Add("empty.bin", {});
  w.Write(dir.File("a.lab"));
  TLabReader r;
  r.Open(dir.File("a.lab"));
  THexSource s = EntryHexSource(r, 0);
  EXPECT_EQ(s.size, 300);
  EXPECT_EQ(ReadHexRange(s, 0, 4), (Bytes{0, 1, 2, 3}));
  EXPECT_EQ(ReadHexRange(s, 296, 16), (Bytes{40, 41, 42, 43}));  // 296..299 only: clipped to the entry
  EXPECT_TRUE(ReadHexRange(s, 300, 16).empty());
  EXPECT_TRUE(ReadHexRange(s, -1, 16).empty());
  // The source keeps its own handle: it outlives the reader.
  r.Close();
  EXPECT_EQ(ReadHexRange(s, 256, 2), (Bytes{0, 1}));
  r.Open(dir.File("a.lab"));
  EXPECT_EQ(EntryHexSource(r, 1).size, 0);
  EXPECT_TRUE(ReadHexRange(EntryHexSource(r, 1), 0, 16).empty());

  // An entry announced beyond the end of the file shows what exists.
  TFileStream f(dir.File("a.lab"));
  THexSource past = FileRegionSource(dir.File("a.lab"), f.Size() - 10, 1000);
  EXPECT_EQ(past.size, 10);
  EXPECT_EQ(past.declaredSize, 1000);
  EXPECT_EQ(ReadHexRange(past, 0, 100).size(), 10u);
  EXPECT_EQ(FileRegionSource(dir.File("a.lab"), -5, 100).size, 0);
}

TEST(HexViewTest, RangeReadsPastFourGiBUseSixtyFourBitOffsets) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a sparse 5 GiB file, which the Windows test runner cannot make";
#else
  TTempDir dir;
  auto path = dir.File("big.bin");
  {
    // A sparse file: only the marked bytes take room.
    std::FILE* out = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(fseeko(out, (4ll << 30) + 0x10, SEEK_SET), 0);
    std::fputs("MARK", out);
    ASSERT_EQ(fseeko(out, k5GiB - 2, SEEK_SET), 0);
    std::fputs("ZZ", out);
    std::fclose(out);
  }
  THexSource whole = WholeFileSource(path);
  EXPECT_EQ(whole.size, k5GiB);
  EXPECT_EQ(ReadHexRange(whole, (4ll << 30) + 0x10, 4), (Bytes{'M', 'A', 'R', 'K'}));
  EXPECT_EQ(ReadHexRange(whole, k5GiB - 2, 16), (Bytes{'Z', 'Z'}));
  // A region starting past 4 GiB: offsets within it are relative to its start.
  THexSource region = FileRegionSource(path, (4ll << 30) + 0x0E, 4);
  EXPECT_EQ(ReadHexRange(region, 0, 16), (Bytes{0, 0, 'M', 'A'}));
  TFileStream f(path);
  std::uint8_t b[4] = {};
  EXPECT_EQ(ReadRegionAt(f, 1ll << 32, 1ll << 31, 0x10, b, 4), 4u);
  EXPECT_EQ(b[0], 'M');
  EXPECT_EQ(HexOffsetDigits(whole.size), 9);
  EXPECT_EQ(FormatHexLine((4ll << 30) + 0x10, Bytes{'M'}, 9).substr(0, 9), "100000010");
  EXPECT_EQ(FindInSource(whole, Bytes{'M', 'A', 'R', 'K'}, 4ll << 30).offset, (4ll << 30) + 0x10);
#endif
}

TEST(HexViewTest, LinesShowOffsetHexAndLatin1) {
  Bytes b = {'L', 'A', 'B', 'N', 0, 0x1F, 0x7F, 0x80, 0x9F, 0xA0, 0xAD, 0xE9, 0xFF, ' ', '~', '.'};
  EXPECT_EQ(FormatHexLine(0x1F0, b, 8),
            "000001F0  4C 41 42 4E 00 1F 7F 80  9F A0 AD E9 FF 20 7E 2E  LABN.......\xE9\xFF ~.");
  // A short last line keeps the text column where the full lines have it.
  std::string shortLine = FormatHexLine(0x200, Bytes{'h', 'i'}, 8);
  EXPECT_EQ(shortLine, std::string("00000200  68 69") + std::string(3 * 14 + 1, ' ') + "  hi");
  EXPECT_EQ(shortLine.size(), FormatHexLine(0, b, 8).size() - 14);
  EXPECT_EQ(HexOffsetDigits(0), 8);
  EXPECT_EQ(HexOffsetDigits(1ll << 32), 8);  // last offset FFFFFFFF
  EXPECT_EQ(HexOffsetDigits((1ll << 32) + 1), 9);
  EXPECT_EQ(FormatHexLine(0x123456789A, b, HexOffsetDigits(1ll << 48)).substr(0, 13), "00123456789A ");
}

TEST(HexViewTest, FindSpansChunkBordersAndStopsOnCancel) {
  const Bytes pattern = {'N', 'E', 'E', 'D', 'L', 'E'};
  for (std::int64_t at : {0, 1, 60, 61, 62, 63, 64, 65, 127, 994}) {
    THexSource s = Synthetic(1000, nullptr, pattern, at);
    TFindResult r = FindInSource(s, pattern, 0, -1, nullptr, nullptr, 64);
    EXPECT_EQ(r.offset, at) << "at " << at;
  }
  THexSource s = Synthetic(1000, nullptr, pattern, 300);
  EXPECT_EQ(FindInSource(s, pattern, 300, -1, nullptr, nullptr, 64).offset, 300);
  EXPECT_EQ(FindInSource(s, pattern, 301, -1, nullptr, nullptr, 64).offset, -1);
  EXPECT_EQ(FindInSource(s, pattern, 0, 305, nullptr, nullptr, 64).offset, -1);  // must lie wholly before the end
  EXPECT_EQ(FindInSource(s, pattern, 0, 306, nullptr, nullptr, 64).offset, 300);
  EXPECT_EQ(FindInSource(s, {}, 0).offset, -1);

  int reads = 0;
  THexSource counted = Synthetic(1 << 20, &reads);
  std::atomic<bool> cancel{true};
  TFindResult r = FindInSource(counted, pattern, 0, -1, &cancel, nullptr, 4096);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(reads, 0);
  std::atomic<std::int64_t> reached{0};
  EXPECT_EQ(FindInSource(counted, pattern, 0, -1, nullptr, &reached, 4096).offset, -1);
  EXPECT_EQ(reached.load(), 1 << 20);
  EXPECT_EQ(reads, 256);  // pieces of the chunk size, not a read per byte
}

TEST(HexViewTest, ParsesFindPatternsAndOffsets) {
  EXPECT_EQ(ParseFindPattern("4C 41 42 4E", FindMode::Bytes), (Bytes{0x4C, 0x41, 0x42, 0x4E}));
  EXPECT_EQ(ParseFindPattern("4c414b4e", FindMode::Bytes), (Bytes{0x4C, 0x41, 0x4B, 0x4E}));
  EXPECT_EQ(ParseFindPattern(" 0x4C,0xff 00 ", FindMode::Bytes), (Bytes{0x4C, 0xFF, 0x00}));
  EXPECT_EQ(ParseFindPattern("4C 41", FindMode::Text), (Bytes{'4', 'C', ' ', '4', '1'}));
  EXPECT_EQ(ParseFindPattern("caf\xE9", FindMode::Text), (Bytes{'c', 'a', 'f', 0xE9}));
  for (const char* bad : {"4C1", "4G", "", "  ", "LABN"})
    EXPECT_THROW(ParseFindPattern(bad, FindMode::Bytes), VldError) << bad;
  EXPECT_THROW(ParseFindPattern("", FindMode::Text), VldError);

  EXPECT_EQ(ParseOffset("0x1F0"), 0x1F0);
  EXPECT_EQ(ParseOffset("0X1f0"), 0x1F0);
  EXPECT_EQ(ParseOffset("1F0h"), 0x1F0);
  EXPECT_EQ(ParseOffset(" 496 "), 496);
  EXPECT_EQ(ParseOffset("0x100000010"), 0x100000010ll);
  EXPECT_EQ(ParseOffset("9223372036854775807"), INT64_MAX);
  for (const char* bad : {"", "0x", "1F0", "-5", "12a", "9223372036854775808", "0x8000000000000000"})
    EXPECT_THROW(ParseOffset(bad), VldError) << bad;
}
