#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "core/images/GzipEntry.h"
#include "samples/ImageSamples.h"

using namespace vld;
using samples::GzipMember;
using samples::TGzipOptions;
using testing::HasSubstr;
using testing::ThrowsMessage;

namespace {

// Pseudo-random bytes 1..255: no byte is zero (a zero tail is then plainly
// filling), and the data does not compress to almost nothing.
Bytes NonZeroData(std::size_t n) {
  Bytes data(n);
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < n; ++i) {
    state = state * 1103515245u + 12345u;
    data[i] = static_cast<std::uint8_t>(1 + (state >> 16) % 255);
  }
  return data;
}

void SetTrailerLength(Bytes& member, std::uint32_t length) {
  for (int b = 0; b < 4; ++b) member[member.size() - 4 + b] = static_cast<std::uint8_t>(length >> (8 * b));
}

}  // namespace

TEST(GzipEntry, InflatesToExactlyTheTrailersLength) {
  Bytes data = NonZeroData(5000);
  TInflateReport report;
  EXPECT_EQ(InflateGzipEntry(GzipMember(data), &report), data);
  EXPECT_TRUE(report.streamEnded);
  EXPECT_FALSE(report.damaged);
  EXPECT_EQ(report.declaredLength, 5000u);
  EXPECT_EQ(report.dataOffset, 10u);
}

TEST(GzipEntry, OptionalHeaderFieldsAreSkipped) {
  Bytes data = NonZeroData(3000);
  TGzipOptions named;
  named.fileName = "beach.til";
  TInflateReport report;
  EXPECT_EQ(InflateGzipEntry(GzipMember(data, named), &report), data);
  EXPECT_EQ(report.dataOffset, 10u + 10u);

  TGzipOptions everything;
  everything.fileName = "x.tga";
  everything.comment = "made for a test";
  everything.extra = Bytes{'A', 'p', 2, 0, 9, 9};
  everything.headerCrc = true;
  EXPECT_EQ(InflateGzipEntry(GzipMember(data, everything), &report), data);
  EXPECT_EQ(report.dataOffset, 10u + 2 + 6 + 6 + 16 + 2);
  EXPECT_FALSE(report.damaged);
}

TEST(GzipEntry, WithoutTheSignatureTheDataStartsAtByteTen) {
  Bytes data = NonZeroData(100);
  Bytes member = GzipMember(data);
  member[0] = 'X';
  member[3] = 0xFF;  // flags are not looked at then
  EXPECT_EQ(InflateGzipEntry(member), data);
  EXPECT_FALSE(IsGzipMember(member));
  EXPECT_TRUE(IsGzipMember(GzipMember(data)));
  EXPECT_FALSE(IsGzipMember(Bytes{0x1F}));
}

TEST(GzipEntry, TrailerLengthsThatDisagreeWithTheData) {
  Bytes data = NonZeroData(4000);
  Bytes member = GzipMember(data);

  // Larger than the data: the result is what the stream really held.
  SetTrailerLength(member, 6000);
  EXPECT_EQ(InflateGzipEntry(member), data);

  // Smaller: the data is cut there, which is not damage.
  SetTrailerLength(member, 1000);
  TInflateReport report;
  EXPECT_EQ(InflateGzipEntry(member, &report), Bytes(data.begin(), data.begin() + 1000));
  EXPECT_FALSE(report.damaged);
  EXPECT_FALSE(report.streamEnded);

  SetTrailerLength(member, 0);
  EXPECT_TRUE(InflateGzipEntry(member).empty());
}

TEST(GzipEntry, ShortDeflateDataIsZeroFilledToTheTrailersLength) {
  Bytes data = NonZeroData(20000);
  Bytes member = GzipMember(data);
  // Cut the deflate data in half but keep a valid trailer behind it.
  Bytes cut(member.begin(), member.begin() + static_cast<std::ptrdiff_t>(member.size() / 2));
  cut.insert(cut.end(), member.end() - 8, member.end());
  TInflateReport report;
  Bytes out = InflateGzipEntry(cut, &report);
  EXPECT_TRUE(report.damaged);
  ASSERT_EQ(out.size(), data.size());
  // The first half came through; the CRC bytes read as deflate data may add a
  // few bytes of their own; everything after that is zero.
  ASSERT_GT(report.produced, 1000u);
  ASSERT_LT(report.produced, data.size());
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 1000, data.begin()));
  EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(report.produced), out.end(),
                          [](std::uint8_t b) { return b == 0; }));
}

TEST(GzipEntry, CorruptDeflateDataLeavesZerosNotGarbage) {
  Bytes member(200, 0xFF);  // 0xFF opens a block of the reserved type 3
  member[0] = 0x1F;
  member[1] = 0x8B;
  member[3] = 0;
  SetTrailerLength(member, 5000);
  TInflateReport report;
  Bytes out = InflateGzipEntry(member, &report);
  EXPECT_TRUE(report.damaged);
  EXPECT_EQ(out, Bytes(5000, 0));
}

TEST(GzipEntry, HostileSizesAndHeadersAreRefused) {
  EXPECT_THAT([] { InflateGzipEntry(Bytes(17, 0)); }, ThrowsMessage<VldError>(HasSubstr("17 bytes long")));
  EXPECT_TRUE(InflateGzipEntry(Bytes(18, 0)).empty());

  Bytes member = GzipMember(NonZeroData(100));
  SetTrailerLength(member, 0xFFFFFFFF);
  EXPECT_THAT([&] { InflateGzipEntry(member); }, ThrowsMessage<VldError>(HasSubstr("are refused")));
  // Below the cap but more than this little compressed data can expand to.
  SetTrailerLength(member, 10'000'000);
  EXPECT_THAT([&] { InflateGzipEntry(member); }, ThrowsMessage<VldError>(HasSubstr("can hold")));

  // A stored name that never ends, an extra field longer than the entry.
  Bytes unterminated{0x1F, 0x8B, 8, 0x08, 0, 0, 0, 0, 0, 3};
  unterminated.insert(unterminated.end(), 30, 'a');
  EXPECT_THROW(InflateGzipEntry(unterminated), TruncatedError);
  Bytes longExtra{0x1F, 0x8B, 8, 0x04, 0, 0, 0, 0, 0, 3, 0xFF, 0xFF};
  longExtra.resize(40, 0);
  EXPECT_THROW(InflateGzipEntry(longExtra), TruncatedError);
}

TEST(GzipEntry, EveryCutOfAMemberIsHandledWithoutFaults) {
  TGzipOptions named;
  named.fileName = "sky.til";
  Bytes member = GzipMember(NonZeroData(3000), named);
  for (std::size_t n = 0; n <= member.size(); ++n) {
    Bytes cut(member.begin(), member.begin() + static_cast<std::ptrdiff_t>(n));
    try {
      Bytes out = InflateGzipEntry(cut);
      EXPECT_LE(out.size(), kMaxInflatedSize);
    } catch (const VldError&) {
      // Refusing is fine; reading outside the entry is not (the sanitizer run checks).
    }
  }
}

TEST(GzipEntry, TheUnzeroedBufferFormGivesTheSameBytes) {
  Bytes data = NonZeroData(20000);
  Bytes whole = GzipMember(data);
  Bytes longer = whole, shorter = whole;
  SetTrailerLength(longer, 30000);
  SetTrailerLength(shorter, 100);
  Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
  cut.insert(cut.end(), whole.end() - 8, whole.end());
  for (const Bytes& member : {whole, longer, shorter, cut}) {
    TInflatedBuffer buffer = InflateGzipBuffer(member);
    const Bytes bytes = InflateGzipEntry(member);
    EXPECT_EQ(Bytes(buffer.data.get(), buffer.data.get() + buffer.size), bytes);
  }
  EXPECT_EQ(InflateGzipBuffer(Bytes(18, 0)).size, 0u);
}

// libdeflate decodes clean members and hands everything else to zlib, so the
// bytes, zero fill and report must match a zlib-only decode exactly.
TEST(GzipEntry, TheFastInflaterGivesZlibsBytesOnCleanAndDamagedMembers) {
  Bytes data = NonZeroData(20000);
  const Bytes whole = GzipMember(data);
  std::vector<Bytes> members{whole};
  Bytes longer = whole, shorter = whole, wrongCrc = whole, flipped = whole;
  SetTrailerLength(longer, 30000);
  SetTrailerLength(shorter, 100);
  wrongCrc[wrongCrc.size() - 8] ^= 0x55;
  flipped[whole.size() / 3] ^= 0x10;
  Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
  cut.insert(cut.end(), whole.end() - 8, whole.end());
  Bytes reserved(200, 0xFF);
  reserved[0] = 0x1F;
  reserved[1] = 0x8B;
  reserved[3] = 0;
  SetTrailerLength(reserved, 5000);
  members.insert(members.end(), {longer, shorter, wrongCrc, flipped, cut, reserved, GzipMember(Bytes(70000, 0))});

  struct Result {
    Bytes entry, buffer;
    TInflateReport report;
  };
  auto decode = [](const Bytes& member, TInflater inflater) {
    SetInflater(inflater);
    Result r;
    r.entry = InflateGzipEntry(member, &r.report);
    TInflatedBuffer b = InflateGzipBuffer(member);
    r.buffer.assign(b.data.get(), b.data.get() + b.size);
    SetInflater(TInflater::Fast);
    return r;
  };
  for (std::size_t i = 0; i < members.size(); ++i) {
    SCOPED_TRACE("member " + std::to_string(i));
    Result zlib = decode(members[i], TInflater::Zlib);
    Result fast = decode(members[i], TInflater::Fast);
    EXPECT_EQ(fast.entry, zlib.entry);
    EXPECT_EQ(fast.buffer, zlib.entry);
    EXPECT_EQ(fast.report.produced, zlib.report.produced);
    EXPECT_EQ(fast.report.streamEnded, zlib.report.streamEnded);
    EXPECT_EQ(fast.report.damaged, zlib.report.damaged);
    EXPECT_EQ(fast.report.dataOffset, zlib.report.dataOffset);
  }
  EXPECT_EQ(decode(whole, TInflater::Fast).entry, data);
}

// The one place the two inflaters part: a fixed-code block using the reserved
// length code 286 (libdeflate reads it as 285, zlib stops at it). The fast
// result is only taken because it is whole and its CRC-32 matches the trailer.
TEST(GzipEntry, AReservedCodeIsReadOnlyWhenTheTrailerVouchesForTheResult) {
  const Bytes member{0x1f, 0x8b, 0x08, 0x1e, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x02, 0x00,
                     0x01, 0x02, 0x61, 0x00, 0x63, 0x00, 0xf8, 0x33, 0x63, 0x67, 0x1f, 0x03,
                     0xc4, 0x02, 0x00, 0xe8, 0x12, 0xa1, 0x7a, 0x2c, 0x01, 0x00, 0x00};
  SetInflater(TInflater::Zlib);
  TInflateReport zlib;
  const Bytes slow = InflateGzipEntry(member, &zlib);
  SetInflater(TInflater::Fast);
  EXPECT_TRUE(zlib.damaged);
  EXPECT_EQ(zlib.produced, 2u);
  EXPECT_EQ(slow.size(), 300u);
  if (!HaveLibdeflate()) GTEST_SKIP() << "built without libdeflate";
  TInflateReport fast;
  const Bytes out = InflateGzipEntry(member, &fast);
  EXPECT_FALSE(fast.damaged);
  EXPECT_TRUE(fast.streamEnded);
  EXPECT_EQ(out.size(), 300u);
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 2),
            std::vector<std::uint8_t>(slow.begin(), slow.begin() + 2));
  Bytes tampered = member;
  tampered[27] ^= 0x01;  // the CRC-32 no longer vouches for it: zlib's reading again
  TInflateReport again;
  EXPECT_EQ(InflateGzipEntry(tampered, &again), slow);
  EXPECT_TRUE(again.damaged);
}
