#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <stdexcept>
#include <thread>

#include "TestFiles.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "samples/LabSamples.h"

using namespace vld;
using samples::MaskedName;
using samples::TRawLab;

namespace {

class LabReaderTest : public ::testing::Test {
 protected:
  TTempDir dir;

  TLabReader& Open(const Bytes& bytes) {
    // Closed first: Windows (Wine) refuses to replace a file that is open.
    reader.Close();
    reader.Open(dir.Write("b.lab", bytes));
    return reader;
  }
  TLabReader reader;
};

// One entry whose names table lies right after its record, at offset 36.
TRawLab OneEntry(std::string_view name, Bytes data) {
  TRawLab lab;
  lab.count = 1;
  lab.namesPosition = kNamesOffsetConstant + 36;
  Bytes names = MaskedName(name);
  lab.records.push_back({0, static_cast<std::int32_t>(36 + names.size()), static_cast<std::int32_t>(data.size())});
  lab.tail = names;
  lab.tail.insert(lab.tail.end(), data.begin(), data.end());
  return lab;
}

}  // namespace

TEST_F(LabReaderTest, ReadsMaskedNamesAtNamesBaseAndKeepsHeaderWords) {
  TRawLab lab = OneEntry("foo", {7, 8, 9});
  lab.word2 = 0x12345678;
  lab.word4 = 0xCAFEBABE;
  lab.records[0].reserved = 0xDEADBEEF;
  TLabReader& r = Open(lab.Build());
  ASSERT_EQ(r.Count(), 1);
  EXPECT_EQ(r.GetName(0), "foo");
  EXPECT_EQ(r.NamesBase(), 36);
  EXPECT_EQ(r.GetOffset(0), 40);
  EXPECT_EQ(r.GetSize(0), 3);
  EXPECT_EQ(r.GetHeader(0).Reserved, 0xDEADBEEFu);
  EXPECT_EQ(r.Magic(), kMagicLABN);
  EXPECT_EQ(r.ReadEntryBytes(0), (Bytes{7, 8, 9}));
  EXPECT_FALSE(r.IsDamaged());
}

TEST_F(LabReaderTest, ZeroAndNegativeCountsOpenEmpty) {
  for (std::int32_t count : {0, -1, INT32_MIN}) {
    TRawLab lab = OneEntry("foo", {1});
    lab.count = count;
    EXPECT_EQ(Open(lab.Build()).Count(), 0) << count;
  }
}

TEST_F(LabReaderTest, NamesKeepCaseAndLookupFoldsOnlyAsciiLetters) {
  LabWriter w;
  w.Add("Gfx\\Title.BMP", {1});
  w.Add("dup.til", {2});
  w.Add("DUP.TIL", {3});
  w.Add("caf\xC9.tab", {4});  // upper-case E acute in Latin-1
  TLabReader& r = Open(w.Build());
  EXPECT_EQ(r.GetName(0), "Gfx\\Title.BMP");
  EXPECT_EQ(r.FindEntry("gfx\\title.bmp"), 0);
  EXPECT_EQ(r.FindEntry("dup.til"), 1);  // the first of two equal names wins
  EXPECT_EQ(r.FindEntry("Dup.Til"), 1);
  EXPECT_EQ(r.FindEntry("caf\xC9.TAB"), 3);
  EXPECT_EQ(r.FindEntry("caf\xE9.tab"), -1);  // non-ASCII letters are not folded
  EXPECT_EQ(r.FindEntry("missing"), -1);
  EXPECT_EQ(r.FindEntry("dup.ti"), -1);  // whole names only
}

TEST_F(LabReaderTest, NamesPastTheEndOfTheFileReadEmptyAndAtTheEndStopThere) {
  TRawLab lab;
  lab.count = 3;
  lab.namesPosition = kNamesOffsetConstant + 20 + 48;
  lab.records = {{0, 0, 0}, {1000, 0, 0}, {4, 0, 0}};
  lab.tail = MaskedName("abc");
  lab.tail.push_back('x' ^ kNameMask);  // a name with no terminator: ends with the file
  lab.tail.push_back('y' ^ kNameMask);
  TLabReader& r = Open(lab.Build());
  ASSERT_EQ(r.Count(), 3);
  EXPECT_EQ(r.GetName(0), "abc");
  EXPECT_EQ(r.GetName(1), "");
  EXPECT_EQ(r.GetName(2), "xy");
}

TEST_F(LabReaderTest, NegativeNamePositionsReadEmpty) {
  TRawLab lab = OneEntry("foo", {});
  lab.records[0].nameOffset = -100;
  EXPECT_EQ(Open(lab.Build()).GetName(0), "");
}

TEST_F(LabReaderTest, ATruncatedDirectoryOpensWhatLiesInsideTheFile) {
  TRawLab lab;
  lab.count = 0x7FFFFFFF;  // must not allocate two billion records
  lab.records = {{0, 1, 2, 3}};
  Bytes bytes = lab.Build();
  bytes.push_back(0x05);  // five bytes of the second record
  bytes.push_back(0);
  bytes.push_back(0);
  bytes.push_back(0);
  bytes.push_back(0x09);
  TLabReader& r = Open(bytes);
  ASSERT_EQ(r.Count(), 2);
  EXPECT_TRUE(r.IsDamaged());
  EXPECT_EQ(r.DeclaredCount(), 0x7FFFFFFF);
  EXPECT_EQ(r.GetOffset(0), 1);
  EXPECT_EQ(r.GetSize(0), 2);
  EXPECT_EQ(r.GetHeader(1).NameOffset, 5);
  EXPECT_EQ(r.GetOffset(1), 9);  // missing bytes read as zero
  EXPECT_EQ(r.GetSize(1), 0);
}

TEST_F(LabReaderTest, AShortHeaderReadsAsZeros) {
  EXPECT_EQ(Open(Bytes{'L', 'A', 'B', 'N', 1, 0, 0, 0, 5}).Count(), 0);
  EXPECT_EQ(reader.Magic(), kMagicLABN);
  EXPECT_EQ(reader.DeclaredCount(), 5);
}

TEST_F(LabReaderTest, CopiesInChunksOfAtMost65535Bytes) {
  struct CountingSink : TByteSink {
    std::vector<std::size_t> writes;
    Bytes data;
    void Write(const std::uint8_t* p, std::size_t n) override {
      writes.push_back(n);
      data.insert(data.end(), p, p + n);
    }
  };
  for (std::size_t size : {std::size_t(65535), std::size_t(65536)}) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 31);
    LabWriter w;
    w.Add("big.dat", data);
    TLabReader& r = Open(w.Build());
    CountingSink sink;
    EXPECT_EQ(r.ReadEntry(0, sink), static_cast<std::int64_t>(size));
    EXPECT_EQ(sink.data, data);
    if (size == 65535)
      EXPECT_EQ(sink.writes, std::vector<std::size_t>{65535});
    else
      EXPECT_EQ(sink.writes, (std::vector<std::size_t>{65535, 1}));
  }
}

TEST_F(LabReaderTest, ReadEntryWritesAtTheDestinationsPosition) {
  TLabReader& r = Open(OneEntry("a", {1, 2, 3}).Build());
  TMemoryStream ms(Bytes{9, 9, 9, 9, 9});
  ms.Seek(1);
  r.ReadEntry(0, ms);
  EXPECT_EQ(ms.Data(), (Bytes{9, 1, 2, 3, 9}));
  EXPECT_EQ(ms.Position(), 4u);
}

TEST_F(LabReaderTest, EntriesRunningPastTheEndAreCopiedAsFarAsTheyExist) {
  TRawLab lab = OneEntry("huge", {1, 2, 3, 4});
  lab.records[0].size = 0x7FFFFFFF;  // 2 GiB claimed at the end of a small file
  TLabReader& r = Open(lab.Build());
  TMemoryStream ms;
  EXPECT_EQ(r.ReadEntry(0, ms), 4);
  EXPECT_EQ(ms.Data(), (Bytes{1, 2, 3, 4}));
  EXPECT_FALSE(r.EntryComplete(0));

  std::filesystem::path out = dir.File("huge.out");
  EXPECT_EQ(r.ExtractEntry(0, out), 4);
  EXPECT_EQ(std::filesystem::file_size(out), 4u);
}

TEST_F(LabReaderTest, ZeroAndNegativeSizesCopyNothing) {
  TRawLab lab = OneEntry("neg", {1, 2});
  lab.records[0].size = -5;
  TLabReader& r = Open(lab.Build());
  TMemoryStream ms(Bytes{7});
  EXPECT_EQ(r.ReadEntry(0, ms), 0);
  EXPECT_EQ(ms.Data(), Bytes{7});
  EXPECT_TRUE(r.EntryComplete(0));

  LabWriter w;
  w.Add("empty.til", {});
  TLabReader& r2 = Open(w.Build());
  std::filesystem::path out = dir.File("empty.out");
  EXPECT_EQ(r2.ExtractEntry(0, out), 0);
  ASSERT_TRUE(std::filesystem::exists(out));
  EXPECT_EQ(std::filesystem::file_size(out), 0u);
}

TEST_F(LabReaderTest, NegativeOffsetsReadNothing) {
  TRawLab lab = OneEntry("neg", {1, 2});
  lab.records[0].offset = -1;
  TLabReader& r = Open(lab.Build());
  EXPECT_EQ(r.ReadEntryBytes(0), Bytes{});
  EXPECT_FALSE(r.IsCompressed(0));
}

TEST_F(LabReaderTest, IsCompressedTestsTheGzipMagicAndLeavesThePositionAfterIt) {
  LabWriter w;
  w.Add("plain", {0x1F, 0x00, 5});
  w.Add("gz", {0x1F, 0x8B, 8, 0});
  w.Add("short", {0x1F});
  TLabReader& r = Open(w.Build());
  EXPECT_FALSE(r.IsCompressed(0));
  EXPECT_TRUE(r.IsCompressed(1));
  EXPECT_EQ(r.Stream().Position(), r.GetOffset(1) + 2);
  EXPECT_FALSE(r.IsCompressed(2));  // one byte, then the next entry... or the end
}

// Several threads read different entries of one reader at once, interleaved
// with the reader's own positioned stream, and each gets exactly its bytes.
TEST_F(LabReaderTest, PositionedReadsServeManyThreadsAtOnce) {
  LabWriter w;
  std::vector<Bytes> contents;
  for (int i = 0; i < 64; ++i) {
    // Sizes straddle the copy piece so that some entries take several reads.
    Bytes data(static_cast<std::size_t>(1 + i * 3001));
    for (std::size_t k = 0; k < data.size(); ++k) data[k] = static_cast<std::uint8_t>(k * 7 + i);
    w.Add("e" + std::to_string(i), data);
    contents.push_back(std::move(data));
  }
  TLabReader& r = Open(w.Build());
  r.Stream().Seek(5);

  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 8; ++round)
        for (int i = t; i < r.Count(); i += 4) {
          TMemoryStream ms;
          std::int64_t n = r.CopyEntryTo(i, ms);
          if (n != static_cast<std::int64_t>(contents[i].size()) || ms.Data() != contents[i]) ++wrong;
          if (r.ReadEntryBytesAt(r.Count() - 1 - i) != contents[r.Count() - 1 - i]) ++wrong;
        }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(r.Stream().Position(), 5);
  // The shared stream still reads correctly after the positioned reads.
  EXPECT_EQ(r.ReadEntryBytes(3), contents[3]);
}

TEST_F(LabReaderTest, PositionedCopiesKeepPiecesShortEndsAndCancel) {
  struct CountingSink : TByteSink {
    std::vector<std::size_t> writes;
    std::atomic<bool>* raiseAfterFirst = nullptr;
    void Write(const std::uint8_t*, std::size_t n) override {
      writes.push_back(n);
      if (raiseAfterFirst) *raiseAfterFirst = true;
    }
  };
  LabWriter w;
  w.Add("big.dat", Bytes(65535 * 2 + 10, 0x42));
  TLabReader& big = Open(w.Build());
  CountingSink pieces;
  EXPECT_EQ(big.CopyEntryTo(0, pieces), 65535 * 2 + 10);
  EXPECT_EQ(pieces.writes, (std::vector<std::size_t>{65535, 65535, 10}));

  std::atomic<bool> cancel{false};
  CountingSink stopped;
  stopped.raiseAfterFirst = &cancel;
  EXPECT_EQ(big.CopyEntryTo(0, stopped, &cancel), 65535);
  EXPECT_EQ(stopped.writes, std::vector<std::size_t>{65535});
  CountingSink none;
  EXPECT_EQ(big.CopyEntryTo(0, none, &cancel), 0);
  EXPECT_TRUE(none.writes.empty());

  TRawLab lab = OneEntry("huge", {1, 2, 3, 4});
  lab.records[0].size = 0x7FFFFFFF;
  TLabReader& cut = Open(lab.Build());
  TMemoryStream ms;
  EXPECT_EQ(cut.CopyEntryTo(0, ms), 4);
  EXPECT_EQ(ms.Data(), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(cut.ReadEntryBytesAt(0), (Bytes{1, 2, 3, 4}));

  for (std::int32_t bad : {-1, 1 << 30}) {
    TRawLab odd = OneEntry("odd", {1, 2});
    odd.records[0].offset = bad;
    TLabReader& r = Open(odd.Build());
    EXPECT_EQ(r.ReadEntryBytesAt(0), Bytes{});
    TMemoryStream empty;
    EXPECT_EQ(r.CopyEntryTo(0, empty), 0);
  }
  TRawLab neg = OneEntry("neg", {1, 2});
  neg.records[0].size = -5;
  EXPECT_EQ(Open(neg.Build()).ReadEntryBytesAt(0), Bytes{});
  EXPECT_THROW(reader.ReadEntryBytesAt(1), std::out_of_range);
}

TEST_F(LabReaderTest, IndexesOutsideTheListAreErrors) {
  TLabReader& r = Open(OneEntry("a", {1}).Build());
  EXPECT_THROW(r.GetName(1), std::out_of_range);
  EXPECT_THROW(r.GetSize(-1), std::out_of_range);
  TMemoryStream ms;
  EXPECT_THROW(r.ReadEntry(5, ms), std::out_of_range);
}

TEST_F(LabReaderTest, OpeningAMissingFileNamesIt) {
  try {
    reader.Open(dir.File("nope.lab"));
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("nope.lab"), std::string::npos);
  }
  EXPECT_EQ(reader.Count(), 0);
}

TEST(ReadMagic, CountsMissingBytesAsZero) {
  TTempDir dir;
  EXPECT_EQ(ReadMagic(dir.Write("full", Bytes{'L', 'A', 'B', 'N', 9})), static_cast<std::int32_t>(kMagicLABN));
  EXPECT_EQ(ReadMagic(dir.Write("two", Bytes{0xFF, 0xFB})), 0xFBFF);
  EXPECT_EQ(ReadMagic(dir.Write("none", Bytes{})), 0);
  EXPECT_THROW(ReadMagic(dir.File("missing")), FileError);
}

TEST(LabWriter, RoundTripsManyEntriesInOrder) {
  TTempDir dir;
  LabWriter w;
  for (int i = 0; i < 300; ++i)
    w.Add("d" + std::to_string(i % 7) + "\\f" + std::to_string(i), Bytes(i, static_cast<std::uint8_t>(i)));
  w.Write(dir.File("many.lab"));
  TLabReader r;
  r.Open(dir.File("many.lab"));
  ASSERT_EQ(r.Count(), 300);
  for (int i = 0; i < 300; i += 37) {
    EXPECT_EQ(r.GetName(i), "d" + std::to_string(i % 7) + "\\f" + std::to_string(i));
    EXPECT_EQ(r.ReadEntryBytes(i), Bytes(i, static_cast<std::uint8_t>(i)));
  }
}

TEST(LabWriter, PacksAFolderTreeWithBackslashNames) {
  TTempDir dir;
  std::filesystem::create_directories(dir.File("tree/gfx/sub"));
  WriteFileAtomic(dir.File("tree/gfx/sub/a.til"), Bytes{1});
  WriteFileAtomic(dir.File("tree/b.lua"), Bytes{2, 3});
  EXPECT_EQ(PackFolder(dir.File("tree"), dir.File("out.lab")), 2u);
  TLabReader r;
  r.Open(dir.File("out.lab"));
  ASSERT_EQ(r.Count(), 2);
  EXPECT_EQ(r.GetName(0), "b.lua");
  EXPECT_EQ(r.GetName(1), "gfx\\sub\\a.til");
  EXPECT_EQ(r.ReadEntryBytes(1), Bytes{1});
}

TEST_F(LabReaderTest, OverlongNamesAreCutAndMarkTheBundleDamaged) {
  TRawLab lab;
  lab.count = 3;
  lab.namesPosition = kNamesOffsetConstant + 20 + 48;
  lab.records = {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}};  // all three names share one run without a terminator
  lab.tail.assign(kMaxNameLength + 100, static_cast<std::uint8_t>('a' ^ kNameMask));
  TLabReader& r = Open(lab.Build());
  ASSERT_EQ(r.Count(), 3);
  EXPECT_EQ(r.GetName(0), std::string(kMaxNameLength, 'a'));
  EXPECT_EQ(r.GetName(2).size(), kMaxNameLength);
  EXPECT_TRUE(r.IsDamaged());
}

// Names are normally read from one piece of the file; a name placed far beyond
// the others (here 80 MiB on, past what is read at once) is still found.
TEST_F(LabReaderTest, NamesFarApartAreReadFromWhereverTheyLie) {
  TRawLab lab;
  lab.count = 3;
  const std::int64_t base = 20 + 48;
  const std::int64_t farPos = 80ll << 20;
  lab.namesPosition = kNamesOffsetConstant + base;
  Bytes a = MaskedName("gfx\\near.til"), b = MaskedName("b");
  lab.records = {
      {0, 0, 0}, {static_cast<std::int32_t>(farPos - base), 0, 0}, {static_cast<std::int32_t>(a.size()), 0, 0}};
  lab.tail = a;
  lab.tail.insert(lab.tail.end(), b.begin(), b.end());
  std::filesystem::path file = dir.Write("far.lab", lab.Build());
  std::filesystem::resize_file(file, static_cast<std::uintmax_t>(farPos));  // a hole, no disk space
  {
    std::FILE* f = vld::OpenFile(file, "ab");
    ASSERT_NE(f, nullptr);
    Bytes far = MaskedName("Far\\Away.LUA");
    std::fwrite(far.data(), 1, far.size(), f);
    std::fclose(f);
  }
  reader.Open(file);
  ASSERT_EQ(reader.Count(), 3);
  EXPECT_EQ(reader.GetName(0), "gfx\\near.til");
  EXPECT_EQ(reader.GetName(1), "Far\\Away.LUA");
  EXPECT_EQ(reader.GetName(2), "b");
  EXPECT_EQ(reader.FindEntry("far\\away.lua"), 1);
  EXPECT_FALSE(reader.IsDamaged());
}

TEST_F(LabReaderTest, NamesBeyondTheTotalCapReadEmpty) {
  // Every record points at one long unterminated run, so each name is cut at
  // the length limit and the total reaches its cap after this many.
  const int capped = static_cast<int>(kMaxNamesTotal / kMaxNameLength);
  TRawLab lab;
  lab.count = capped + 3;
  lab.namesPosition = kNamesOffsetConstant + 20 + 16 * static_cast<std::uint32_t>(lab.count);
  lab.records.assign(static_cast<std::size_t>(lab.count), samples::TRawRecord{});
  lab.tail.assign(kMaxNameLength + 10, static_cast<std::uint8_t>('n' ^ kNameMask));
  TLabReader& r = Open(lab.Build());
  ASSERT_EQ(r.Count(), capped + 3);
  EXPECT_EQ(r.GetName(capped - 1), std::string(kMaxNameLength, 'n'));
  EXPECT_EQ(r.GetName(capped), "");
  EXPECT_EQ(r.GetName(capped + 2), "");
  EXPECT_TRUE(r.IsDamaged());
}

// The directory is read together with the names table when the header places
// the table right after it; the fourth word (the table's length as bundles are
// written) only decides how much is read at once. Wherever the records really
// put the names, they read the same.
TEST_F(LabReaderTest, NamesReadTheSameWhateverTheHeaderSaysOfTheTable) {
  const int count = 400;
  std::vector<std::string> names;
  Bytes table;
  for (int i = 0; i < count; ++i) {
    names.push_back("folder" + std::to_string(i % 7) + "\\entry_" + std::to_string(i) + ".til");
    Bytes masked = MaskedName(names.back());
    table.insert(table.end(), masked.begin(), masked.end());
  }
  ASSERT_GT(table.size(), kMaxNameLength * 2);
  auto build = [&](std::uint32_t word4, std::size_t gap) {
    TRawLab lab;
    lab.count = count;
    lab.word4 = word4;
    lab.namesPosition = kNamesOffsetConstant + 20 + 16 * count + static_cast<std::uint32_t>(gap);
    std::uint32_t offset = 0;
    for (const std::string& name : names) {
      lab.records.push_back({static_cast<std::int32_t>(offset), 7, 0});
      offset += static_cast<std::uint32_t>(name.size() + 1);
    }
    lab.tail.assign(gap, 0x5A);
    lab.tail.insert(lab.tail.end(), table.begin(), table.end());
    lab.tail.insert(lab.tail.end(), 100, 0x11);  // entry data after the names
    return lab.Build();
  };
  const std::uint32_t exact = static_cast<std::uint32_t>(table.size());
  struct TCase {
    std::uint32_t word4;
    std::size_t gap;
  };
  // Exact, absent, too short (names past what is read at once, one of them
  // straddling its end), absurd, and tables a little or far after the directory.
  for (TCase c : {TCase{exact, 0}, TCase{0, 0}, TCase{exact / 3, 0}, TCase{0xFFFFFFFFu, 0}, TCase{exact, 1000},
                  TCase{exact, 200000}}) {
    TLabReader& r = Open(build(c.word4, c.gap));
    ASSERT_EQ(r.Count(), count);
    for (int i = 0; i < count; ++i) ASSERT_EQ(r.GetName(i), names[i]) << "word " << c.word4 << ", gap " << c.gap;
    EXPECT_EQ(r.GetOffset(count - 1), 7);
    EXPECT_EQ(r.FindEntry("FOLDER3\\ENTRY_395.TIL"), 395);
    EXPECT_FALSE(r.IsDamaged());
  }
}

// A name pointing into the directory itself reads the records' bytes
// unmasked, and the records stay as they were.
TEST_F(LabReaderTest, ANameInsideTheDirectoryLeavesTheRecordsIntact) {
  TRawLab lab;
  lab.count = 2;
  lab.namesPosition = kNamesOffsetConstant + 20;
  lab.word4 = 5;
  lab.records = {{16, 0x41414141, 0}, {32, static_cast<std::int32_t>(0xA4A4A4C7u), 0x31}};
  lab.tail = MaskedName("x");
  const TLabReader& r = Open(lab.Build());
  ASSERT_EQ(r.Count(), 2);
  // Record 1 as stored begins 20 00 (its name offset), which ends the name after one byte.
  EXPECT_EQ(r.GetName(0), std::string(1, static_cast<char>(0x20 ^ kNameMask)));
  EXPECT_EQ(r.GetName(1), "x");
  EXPECT_EQ(r.GetHeader(1).NameOffset, 32);
  EXPECT_EQ(static_cast<std::uint32_t>(r.GetOffset(1)), 0xA4A4A4C7u);
  EXPECT_EQ(r.GetOffset(0), 0x41414141);
}

namespace {

// The directory as a byte-by-byte read finds it, for comparison: every name
// from its position up to the first raw 0x00 or the end of the file, cut at
// the length limit.
struct TByteWise {
  std::vector<std::string> names;
  bool damaged = false;
};

TByteWise ReadByteWise(const Bytes& file) {
  auto word = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k)
      if (at + k < file.size()) v |= static_cast<std::uint32_t>(file[at + k]) << (8 * k);
    return v;
  };
  TByteWise out;
  const std::int64_t count = static_cast<std::int32_t>(word(8));
  const std::uint32_t namesBase = word(16) - kNamesOffsetConstant;
  const std::int64_t records = file.size() > 20 ? static_cast<std::int64_t>(file.size() - 20 + 15) / 16 : 0;
  const std::int64_t n = std::min(count, records);
  out.damaged = count > records;
  for (std::int64_t i = 0; i < n; ++i) {
    const std::int64_t pos = static_cast<std::int32_t>(namesBase + word(static_cast<std::size_t>(20 + 16 * i)));
    std::string name;
    std::int64_t p = std::max<std::int64_t>(pos, 0);
    for (; pos >= 0 && p < static_cast<std::int64_t>(file.size()) && file[static_cast<std::size_t>(p)] != 0; ++p) {
      if (name.size() == kMaxNameLength) {
        out.damaged = true;
        break;
      }
      name.push_back(static_cast<char>(file[static_cast<std::size_t>(p)] ^ kNameMask));
    }
    // A name that starts inside the file and meets its end has lost its end mark.
    if (pos >= 0 && pos < static_cast<std::int64_t>(file.size()) && p == static_cast<std::int64_t>(file.size()))
      out.damaged = true;
    out.names.push_back(std::move(name));
  }
  return out;
}

}  // namespace

// Directories as bundles are written (each name right after the previous
// one), and the same with one thing out of place: names out of order or
// shared, pointing into another name, past the file or before it, a table cut
// short, a last name without its terminator, names longer than the limit,
// lengths around 64 bytes, and a header that misstates the table's length.
// Every one must read exactly as a byte-by-byte read finds it.
TEST_F(LabReaderTest, NamesReadAsAByteWiseReadFindsThemWhateverTheLayout) {
  std::mt19937 rng(20261209);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 400; ++round) {
    const int count = pick(1, 300);
    Bytes table;
    std::vector<std::int32_t> offsets;
    for (int i = 0; i < count; ++i) {
      offsets.push_back(static_cast<std::int32_t>(table.size()));
      int length = pick(0, 40);
      if (pick(0, 9) == 0) length = pick(60, 130);
      if (round % 20 == 7 && i % 50 == 3) length = static_cast<int>(kMaxNameLength) - 1 + (round / 20 + i) % 4;
      for (int k = 0; k < length; ++k) table.push_back(static_cast<std::uint8_t>(pick(1, 255)));
      table.push_back(0);
    }
    TRawLab lab;
    lab.count = count;
    const int gap = pick(0, 3) == 0 ? pick(1, 100) : 0;
    lab.namesPosition = kNamesOffsetConstant + 20 + 16 * static_cast<std::uint32_t>(count + pick(0, 2)) +
                        static_cast<std::uint32_t>(gap);
    const std::uint32_t exact = static_cast<std::uint32_t>(table.size());
    const std::uint32_t words[] = {exact, exact, 0, exact / 2, exact + 5000, 0xFFFFFFFFu};
    lab.word4 = words[pick(0, 5)];
    const int i = pick(0, count - 1), j = pick(0, count - 1);
    switch (pick(0, 9)) {
      case 0:
        std::swap(offsets[i], offsets[j]);
        break;
      case 1:
        offsets[i] = offsets[j];
        break;
      case 2:
        offsets[i] += pick(1, 3);
        break;
      case 3:
        offsets[i] = pick(0, 1) ? -pick(1, 5000) : 1 << 30;
        break;
      case 4:
        table.resize(table.size() - static_cast<std::size_t>(pick(1, 30)) % table.size());
        break;
      case 5:
        table.pop_back();
        break;  // the last name runs to the end of the file
      default:
        break;  // as written
    }
    for (std::int32_t offset : offsets) lab.records.push_back({offset, 0, 0});
    const std::size_t records = lab.records.size();
    lab.count = static_cast<std::int32_t>(records);
    lab.records.resize(static_cast<std::size_t>((lab.namesPosition - kNamesOffsetConstant - 20 - gap) / 16));
    lab.tail.assign(static_cast<std::size_t>(gap), 0x33);
    lab.tail.insert(lab.tail.end(), table.begin(), table.end());
    if (pick(0, 1)) lab.tail.insert(lab.tail.end(), static_cast<std::size_t>(pick(1, 200)), 0x44);  // entry data
    const Bytes file = lab.Build();
    const TByteWise expected = ReadByteWise(file);
    TLabReader& r = Open(file);
    ASSERT_EQ(r.Count(), static_cast<int>(expected.names.size())) << "round " << round;
    for (int k = 0; k < r.Count(); ++k)
      ASSERT_EQ(r.GetName(k), expected.names[static_cast<std::size_t>(k)]) << "round " << round << ", entry " << k;
    EXPECT_EQ(r.IsDamaged(), expected.damaged) << "round " << round;
    ASSERT_EQ(r.GetHeader(r.Count() - 1).NameOffset, lab.records[static_cast<std::size_t>(r.Count() - 1)].nameOffset);
  }
}

// A damaged bundle says what is wrong: which names were cut or never ended,
// a header cut short, a negative count. An empty bundle is not damaged.
TEST_F(LabReaderTest, DamageIsReportedWithWhatAndWhichEntry) {
  TRawLab cut;
  cut.count = 2;
  cut.namesPosition = kNamesOffsetConstant + 20 + 32;
  cut.records = {{0, 0, 0}, {static_cast<std::int32_t>(kMaxNameLength + 10), 0, 0}};
  cut.tail.assign(kMaxNameLength + 10, static_cast<std::uint8_t>('a' ^ kNameMask));
  cut.tail.push_back(0);
  Bytes name = MaskedName("ok");
  cut.tail.insert(cut.tail.end(), name.begin(), name.end());
  EXPECT_EQ(DamageReport(Open(cut.Build())),
            (std::vector<std::string>{"the name of entry 0 is longer than 4096 bytes; it was cut there."}));
  EXPECT_EQ(reader.CutNames(), (std::vector<int>{0}));

  TRawLab open;
  open.count = 3;
  open.namesPosition = kNamesOffsetConstant + 20 + 48;
  open.records = {{0, 0, 0}, {4, 0, 0}, {5, 0, 0}};
  open.tail = MaskedName("abc");
  open.tail.push_back('x' ^ kNameMask);  // never terminated
  open.tail.push_back('y' ^ kNameMask);
  EXPECT_EQ(DamageReport(Open(open.Build())),
            (std::vector<std::string>{"the names of entries 1 and 2 run to the end of the file without an end mark."}));
  EXPECT_TRUE(reader.IsDamaged());
  EXPECT_EQ(reader.GetName(1), "xy");

  EXPECT_EQ(DamageReport(Open(Bytes{'L', 'A', 'B', 'N'})),
            (std::vector<std::string>{"the file is 4 bytes long, shorter than the 20-byte header of a bundle."}));
  EXPECT_EQ(reader.Count(), 0);

  TRawLab negative = OneEntry("foo", {1});
  negative.count = -3;
  EXPECT_EQ(DamageReport(Open(negative.Build())),
            (std::vector<std::string>{"its directory announces a negative number of entries (-3)."}));

  TRawLab empty;
  EXPECT_TRUE(DamageReport(Open(empty.Build())).empty());
  EXPECT_FALSE(reader.IsDamaged());
}

// Twenty thousand records sharing one unterminated name: one line, a few
// indexes and a count.
TEST_F(LabReaderTest, ManyDamagedNamesAreSummedUp) {
  TRawLab lab;
  lab.count = 20000;
  lab.namesPosition = kNamesOffsetConstant + 20 + 16 * 20000;
  lab.records.assign(20000, {0, 0, 0});
  lab.tail.assign(100, static_cast<std::uint8_t>('n' ^ kNameMask));
  std::vector<std::string> lines = DamageReport(Open(lab.Build()));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "the names of entries 0, 1, 2, 3, 4 and 19995 more run to the end of the file without an end mark.");
}
