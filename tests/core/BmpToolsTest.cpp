#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/browser/Formats.h"
#include "core/common/ByteReader.h"
#include "core/common/MemoryStream.h"
#include "core/images/BMPTools.h"
#include "core/images/TileImage.h"
#include "samples/ImageSamples.h"

using namespace vld;
using testing::HasSubstr;
using testing::StrEq;
using testing::ThrowsMessage;

namespace {

std::uint32_t U32At(const Bytes& b, std::size_t at) { return ByteReader::LoadU32LE(b.data() + at); }
std::uint16_t U16At(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }

}  // namespace

TEST(BmpWriter, HeaderFieldsOfAOnePixelImage) {
  TPixelImage image(1, 1);
  image.Set(0, 0, 0x11, 0x22, 0x33, 0x44);
  Bytes bmp = WriteBMP32(image);
  ASSERT_EQ(bmp.size(), 58u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(U32At(bmp, 2), 58u);
  EXPECT_EQ(U32At(bmp, 6), 0u);  // both reserved words
  EXPECT_EQ(U32At(bmp, 10), 54u);
  EXPECT_EQ(U32At(bmp, 14), 40u);
  EXPECT_EQ(U32At(bmp, 18), 1u);
  EXPECT_EQ(U32At(bmp, 22), 1u);
  EXPECT_EQ(U16At(bmp, 26), 1u);
  EXPECT_EQ(U16At(bmp, 28), 32u);
  EXPECT_EQ(U32At(bmp, 30), 0u);
  EXPECT_EQ(U32At(bmp, 34), 0u);
  EXPECT_EQ(U32At(bmp, 38), 2880u);
  EXPECT_EQ(U32At(bmp, 42), 2880u);
  EXPECT_EQ(U32At(bmp, 46), 0u);
  EXPECT_EQ(U32At(bmp, 50), 0u);
  EXPECT_EQ(Bytes(bmp.begin() + 54, bmp.end()), (Bytes{0x11, 0x22, 0x33, 0x44}));
}

TEST(BmpWriter, RowsAreWrittenBottomUpWithoutPadding) {
  TPixelImage image(3, 2);
  for (int x = 0; x < 3; ++x) {
    image.Set(x, 0, static_cast<std::uint8_t>(x), 0, 0, 0xA0);  // top row
    image.Set(x, 1, static_cast<std::uint8_t>(x), 1, 1, 0xB0);  // bottom row
  }
  Bytes bmp = WriteBMP32(image);
  ASSERT_EQ(bmp.size(), 78u);
  EXPECT_EQ(U32At(bmp, 2), 78u);
  EXPECT_EQ(U32At(bmp, 18), 3u);
  EXPECT_EQ(U32At(bmp, 22), 2u);
  const Bytes expected{0, 1, 1, 0xB0, 1, 1, 1, 0xB0, 2, 1, 1, 0xB0, 0, 0, 0, 0xA0, 1, 0, 0, 0xA0, 2, 0, 0, 0xA0};
  EXPECT_EQ(Bytes(bmp.begin() + 54, bmp.end()), expected);
}

TEST(BmpWriter, ScreenSizedImageStartsWithItsBottomRow) {
  TPixelImage image(640, 480);
  image.Set(0, 479, 1, 2, 3, 4);
  image.Set(639, 0, 5, 6, 7, 8);
  Bytes bmp = WriteBMP32(image);
  ASSERT_EQ(bmp.size(), 1228854u);
  EXPECT_EQ(U32At(bmp, 2), 1228854u);
  EXPECT_EQ(Bytes(bmp.begin() + 54, bmp.begin() + 58), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Bytes(bmp.end() - 4, bmp.end()), (Bytes{5, 6, 7, 8}));
}

TEST(BmpWriter, StreamAndBufferFormsWriteTheSameFile) {
  TPixelImage image = samples::PatternPicture(37, 11, true);
  TMemoryStream stream;
  WriteBMP32(stream, image);
  EXPECT_EQ(stream.Data(), WriteBMP32(image));
  EXPECT_EQ(samples::ReadBMP32(stream.Data()).Pixels, image.Pixels);
  EXPECT_EQ(BMP32FileSize(image), stream.Size());
}

TEST(BmpWriter, EmptyImagesGiveAHeaderOnly) {
  EXPECT_EQ(WriteBMP32(TPixelImage(0, 5)).size(), 54u);
  EXPECT_EQ(WriteBMP32(TPixelImage()).size(), 54u);
}

TEST(PixelImage, SizesAboveTheCapOrNegativeAreRefused) {
  EXPECT_NO_THROW(TPixelImage::CheckImageSize(4096, 4096, "image"));
  EXPECT_NO_THROW(TPixelImage::CheckImageSize(kMaxImagePixels, 1, "image"));
  EXPECT_THROW(TPixelImage::CheckImageSize(4097, 4096, "image"), VldError);
  EXPECT_THROW(TPixelImage::CheckImageSize(65535, 65535, "image"), VldError);
  EXPECT_THROW(TPixelImage::CheckImageSize(INT64_MAX, INT64_MAX, "image"), VldError);
  EXPECT_THROW(TPixelImage(-1, 3), VldError);
  EXPECT_THAT([] { TPixelImage::CheckImageSize(65535, 65535, "TGA image"); },
              ThrowsMessage<VldError>(HasSubstr("TGA image announces 65535 x 65535 pixels")));
}

TEST(BmpEntry, BytesPassUnchangedAndTheSizeComesFromTheHeader) {
  Bytes bmp = WriteBMP32(samples::PatternPicture(100, 50));
  std::vector<std::string> texts;
  TImageFile file = LoadBMPImage(bmp, [&](const std::string& t) { texts.push_back(t); });
  EXPECT_EQ(file.bmp, bmp);
  EXPECT_EQ(file.width, 100);
  EXPECT_EQ(file.height, 50);
  EXPECT_EQ(texts, std::vector<std::string>{"Loading bitmap..."});

  Bytes topDown = bmp;
  topDown[22] = static_cast<std::uint8_t>(-50);  // -50 as a little-endian int32
  topDown[23] = topDown[24] = topDown[25] = 0xFF;
  EXPECT_EQ(LoadBMPImage(topDown).height, 50);

  TImageFile notBmp = LoadBMPImage(Bytes{'P', 'K', 3, 4});
  EXPECT_EQ(notBmp.bmp, (Bytes{'P', 'K', 3, 4}));
  EXPECT_EQ(notBmp.width, 0);
}

TEST(ImageConvertEntry, TypesAreTestedTilFirstThenTgaKfnBmp) {
  EXPECT_STREQ(FormatForSaveBmp("gfx\\A.TIL")->contains, ".til");
  EXPECT_STREQ(FormatForSaveBmp("x.kfn.bak")->contains, ".kfn");
  EXPECT_STREQ(FormatForSaveBmp("x.kfn.tga")->contains, ".tga");
  EXPECT_EQ(FormatForSaveBmp("sound.wav"), nullptr);
  EXPECT_FALSE(IsConvertible("sound.wav"));

  // x.tga.til is a tile: the TGA decoder would refuse these bytes.
  Bytes tile = samples::BuildTileEntry(samples::BeachPicture());
  TConversion c = ConvertEntryBytes("x.tga.til", tile);
  EXPECT_EQ(c.extension, ".bmp");
  EXPECT_EQ(c.data, DecodeTileImage(tile).bmp);
}

TEST(ImageConvertEntry, BitmapEntriesAreCopiedByteForByte) {
  Bytes anything{'B', 'M', 9, 8, 7, 6, 5};
  EXPECT_EQ(ConvertEntryBytes("menu\\Title.BMP", anything).data, anything);
}

TEST(ImageConvertEntry, EmptyEntriesAreRefusedWithTheViewerText) {
  for (const char* name : {"a.til", "a.tga", "a.kfn", "a.bmp"})
    EXPECT_THAT([&] { ConvertEntryBytes(name, Bytes{}); },
                ThrowsMessage<VldError>(StrEq("Hmm..the filesize is less than or equal to 0. That's is odd.")))
        << name;
}
