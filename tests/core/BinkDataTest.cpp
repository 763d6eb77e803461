#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"
#include "core/audio/BinkData.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "samples/Demo.h"
#include "samples/ExtractSamples.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

// The probe run both on the open file and on the bytes; the two must agree.
std::optional<std::int64_t> Probe(const TTempDir& dir, const Bytes& smush) {
  TFileStream file(dir.Write("probe.smush", smush));
  std::optional<std::int64_t> fromFile = FindBinkOffset(file);
  EXPECT_EQ(fromFile, FindBinkOffset(ByteSpan(smush)));
  return fromFile;
}

}  // namespace

TEST(BinkData, ProbesFindTheBinkDataAtEveryMultipleOf512UpTo15872) {
  TTempDir dir;
  Bytes bink = samples::BuildBinkFile(3000);
  EXPECT_EQ(Probe(dir, samples::BuildSmushFile(512, bink)), 512);
  EXPECT_EQ(Probe(dir, samples::BuildSmushFile(2048, bink)), 2048);
  EXPECT_EQ(Probe(dir, samples::BuildSmushFile(15872, bink)), 15872);
  // Bink data of only four bytes at the last probe is still found.
  EXPECT_EQ(Probe(dir, samples::BuildSmushFile(15872, AsSpan(std::string("BIKi")))), 15872);
}

TEST(BinkData, ProbesMissOffsetsOffTheGridOrBeyondTheLast) {
  TTempDir dir;
  Bytes bink = samples::BuildBinkFile(3000);
  EXPECT_EQ(Probe(dir, samples::BuildSmushFile(1000, bink)), std::nullopt);
  EXPECT_EQ(Probe(dir, samples::BuildSmushFile(513, bink)), std::nullopt);
  EXPECT_EQ(Probe(dir, samples::BuildSmushFile(16384, bink)), std::nullopt);
  // "BIKi" at offset 0 (a plain Bink file) is not a probe either.
  EXPECT_EQ(Probe(dir, bink), std::nullopt);
  // Files ending before or inside a probe.
  EXPECT_EQ(Probe(dir, samples::BuildSmushFile(100, {})), std::nullopt);
  EXPECT_EQ(Probe(dir, samples::BuildSmushFile(512, AsSpan(std::string("BIK")))), std::nullopt);
}

TEST(BinkData, TheFirstProbeThatHitsWins) {
  TTempDir dir;
  Bytes inner = samples::BuildBinkFile(600, 3);
  Bytes outer = samples::BuildSmushFile(1024, inner);
  // A second "BIKi" further on, at 1536, inside the data found at 1024.
  outer[1536] = 'B', outer[1537] = 'I', outer[1538] = 'K', outer[1539] = 'i';
  EXPECT_EQ(Probe(dir, outer), 1024);
}

TEST(BinkData, ExtractWritesExactlyTheBytesFromTheSignatureToTheEnd) {
  TTempDir dir;
  Bytes bink = samples::BuildBinkFile(200000, 9);  // several 65,535-byte pieces
  Bytes smush = samples::BuildSmushFile(4608, bink);
  TFileStream file(dir.Write("a.smush", smush));
  std::optional<std::int64_t> n = ExtractBinkData(file, dir.File("out.bik"));
  ASSERT_TRUE(n);
  EXPECT_EQ(*n, static_cast<std::int64_t>(bink.size()));
  EXPECT_EQ(ReadWholeFile(dir.File("out.bik")), bink);
  EXPECT_EQ(BinkDataFromBytes(smush), bink);

  TMemoryStream ms;
  ASSERT_TRUE(ExtractBinkData(file, ms));
  EXPECT_EQ(ms.Take(), bink);
}

TEST(BinkData, AMissWritesNothingAndKeepsAnExistingFile) {
  TTempDir dir;
  Bytes smush = samples::BuildSmushFile(700, samples::BuildBinkFile(100));
  TFileStream file(dir.Write("odd.smush", smush));
  EXPECT_EQ(ExtractBinkData(file, dir.File("new.bik")), std::nullopt);
  EXPECT_FALSE(fs::exists(dir.File("new.bik")));
  const std::string earlier = "earlier extraction";
  dir.Write("old.bik", AsSpan(earlier));
  EXPECT_EQ(ExtractBinkData(file, dir.File("old.bik")), std::nullopt);
  EXPECT_EQ(AsString(ReadWholeFile(dir.File("old.bik"))), earlier);
  EXPECT_EQ(BinkDataFromBytes(smush), std::nullopt);
  // Nothing but the two files written by the test.
  int files = 0;
  for (auto& e : fs::directory_iterator(dir.Path())) files += e.is_regular_file();
  EXPECT_EQ(files, 2);
}

TEST(BinkData, SingleBinkSaveIsByteIdentical) {
  TTempDir dir;
  Bytes bink = samples::BuildBinkFile(3 * 65535 + 1, 4);
  TFileStream file(dir.Write("movie.bik", bink));
  dir.Write("copy.bik", AsSpan(std::string("an older copy to be replaced")));
  EXPECT_EQ(SaveSingleBink(file, file.Size(), dir.File("copy.bik")), static_cast<std::int64_t>(bink.size()));
  EXPECT_EQ(ReadWholeFile(dir.File("copy.bik")), bink);
  EXPECT_EQ(BinkDataFromBytes(bink), bink);
  // Exactly the size taken at opening: a smaller one copies only that much.
  TMemoryStream ms;
  EXPECT_EQ(SaveSingleBink(file, 70000, ms), 70000);
  EXPECT_EQ(ms.Take(), Bytes(bink.begin(), bink.begin() + 70000));
}

TEST(BinkData, CopyStopsAtTheEndOfTheFile) {
  TTempDir dir;
  Bytes data = samples::BuildBinkFile(1000);
  TFileStream file(dir.Write("short.bik", data));
  TMemoryStream ms;
  EXPECT_EQ(CopyFileRange(file, 900, 500, ms), 100);
  EXPECT_EQ(ms.Take(), Bytes(data.begin() + 900, data.end()));
  EXPECT_EQ(CopyFileRange(file, 2000, 10, ms), 0);
  EXPECT_EQ(CopyFileRange(file, 0, 0, ms), 0);
}

TEST(BinkData, OtherFilesAreRefusedInMemory) {
  EXPECT_THROW(BinkDataFromBytes(AsSpan(std::string("LABN...."))), VldError);
  EXPECT_THROW(BinkDataFromBytes({}), VldError);
}

TEST(BinkData, DemoSmushCarriesItsBinkPastTheFirstProbe) {
  Bytes smush = samples::BuildDemoSmush();
  std::optional<std::int64_t> at = FindBinkOffset(ByteSpan(smush));
  ASSERT_TRUE(at);
  EXPECT_GT(*at, kBinkProbeFirst);
  EXPECT_EQ(*at % kBinkProbeStep, 0);
}
