#include <gtest/gtest.h>

#include <cmath>

#include "core/audio/AifAudio.h"
#include "core/audio/WvcAudio.h"
#include "core/audio/WvcEncoder.h"
#include "core/browser/Formats.h"
#include "core/browser/Import.h"
#include "core/common/ByteReader.h"
#include "core/images/GzipEntry.h"
#include "core/images/ImageEncode.h"
#include "core/images/PngImage.h"
#include "core/images/TGAImage.h"
#include "core/images/TileImage.h"
#include "core/lua/LuaCompiler.h"
#include "core/lua/LuaDump.h"
#include "samples/AifBuilder.h"
#include "samples/ImageSamples.h"

using namespace vld;
using namespace vld::samples;

namespace {

// An import that must succeed.
Bytes Imported(ByteSpan source, std::string_view sourceName, ByteSpan like, std::string_view likeName) {
  TImported result = ImportEntry(source, sourceName, like, likeName);
  EXPECT_FALSE(result.Refused()) << result.refusal;
  return result.data;
}

std::string Refusal(ByteSpan source, std::string_view sourceName, ByteSpan like, std::string_view likeName) {
  TImported result = ImportEntry(source, sourceName, like, likeName);
  EXPECT_TRUE(result.data.empty());
  return result.refusal;
}

// A 16-bit PCM WAVE file of the sound.
Bytes WaveOf(const TPcm16& pcm) {
  Bytes wav = BuildWaveHeader(pcm.channels, pcm.sampleRate, 16, static_cast<std::uint32_t>(pcm.samples.size() * 2));
  for (std::int16_t s : pcm.samples) PutU16LE(wav, static_cast<std::uint16_t>(s));
  return wav;
}

double SnrDb(const std::vector<std::int16_t>& original, ByteSpan wave) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i < original.size(); ++i) {
    const std::size_t at = kWaveHeaderSize + 2 * i;
    const double decoded = static_cast<std::int16_t>(wave[at] | (wave[at + 1] << 8));
    signal += double(original[i]) * original[i];
    noise += (original[i] - decoded) * (original[i] - decoded);
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

}  // namespace

TEST(ImportPictures, AnExportedTileComesBackAsTheSameEntryBytes) {
  TGzipOptions named;
  named.fileName = "beach.til";
  const Bytes entry = BuildTileEntry(BeachPicture(), named);
  const Bytes bmp = DecodeTileImage(entry).bmp;
  EXPECT_EQ(Imported(bmp, "beach.bmp", entry, "gfx\\beach.til"), entry);
  if (HavePngWriter()) {
    EXPECT_EQ(Imported(BmpToPng(bmp), "beach.png", entry, "gfx\\beach.til"), entry);
  }

  // What the reader ignores stays: a header and tile block of its own, a sixth
  // tile, and the pixels of stored tiles that fall outside the picture.
  std::vector<TTile> tiles = CutIntoTiles(PatternPicture(640, 480, true));
  tiles.push_back(SolidTile({1, 2, 3, 4}));
  for (std::size_t i = 256 * 1024 - 64; i < 256 * 1024; ++i) tiles[4].rgba[i] = static_cast<std::uint8_t>(i);
  Bytes data = BuildTileData(tiles, 6, 40);
  data[10] = 0x77;
  data[40 + 100] = 0x66;
  const Bytes odd = GzipMember(data);
  const Bytes back = Imported(DecodeTileImage(odd).bmp, "x.bmp", odd, "odd.til");
  EXPECT_EQ(InflateGzipEntry(back), data);
  EXPECT_EQ(back, odd);
}

TEST(ImportPictures, AChangedPictureDecodesToTheNewPixels) {
  TPixelImage picture = BeachPicture();
  FillRect(picture, 600, 440, 40, 40, {255, 0, 0, 255});  // reaches into the corner strip
  FillRect(picture, 0, 0, 10, 10, {0, 0, 255, 255});
  const Bytes entry = Imported(WriteBMP32(picture), "p.bmp", BuildTileEntry(BeachPicture()), "b.til");
  EXPECT_EQ(ReadBMP32(DecodeTileImage(entry).bmp).Pixels, picture.Pixels);
  // A new tile entry, with nothing to imitate, decodes as well.
  const Bytes fresh = Imported(WriteBMP32(picture), "p.bmp", {}, "new.til");
  EXPECT_EQ(ReadBMP32(DecodeTileImage(fresh).bmp).Pixels, picture.Pixels);
}

TEST(ImportPictures, EveryTgaFlavourComesBackAsTheSameEntry) {
  const TPixelImage picture = PatternPicture(37, 21, true);
  for (int depth : {24, 32})
    for (bool runLength : {false, true})
      for (bool flipped : {false, true})
        for (bool gzip : {false, true}) {
          SCOPED_TRACE(testing::Message()
                       << depth << " bits, rle " << runLength << ", flipped " << flipped << ", gzip " << gzip);
          Bytes tga = BuildTGA(picture, {depth, runLength, flipped});
          // Fields the decoder ignores, and a footer behind the pixels.
          tga[0] = 0;
          tga[8] = 5;
          tga[10] = 7;
          tga[17] |= 0x20;
          PutText(tga, "TRUEVISION-XFILE.");
          TGzipOptions named;
          named.fileName = "t.tga";
          const Bytes entry = gzip ? GzipMember(tga, named) : tga;
          const Bytes bmp = DecodeTGAImage(entry).bmp;
          EXPECT_EQ(Imported(bmp, "t.bmp", entry, "tex\\t.tga"), entry);
          if (HavePngWriter()) {
            EXPECT_EQ(Imported(BmpToPng(bmp), "t.png", entry, "tex\\t.tga"), entry);
          }
        }
}

TEST(ImportPictures, RefusalsSayWhatToChange) {
  const Bytes tile = BuildTileEntry(BeachPicture());
  EXPECT_NE(Refusal(WriteBMP32(TitlePicture()), "t.bmp", tile, "b.til").find("640 x 480"), std::string::npos);
  const Bytes tga = BuildTGA(BrickPicture());
  EXPECT_NE(Refusal(WriteBMP32(TitlePicture()), "t.bmp", tga, "w.tga").find("Resize it to 128 x 128"),
            std::string::npos);
  Bytes grey = tga;
  grey[2] = 3;
  EXPECT_NE(Refusal(WriteBMP32(BrickPicture()), "t.bmp", grey, "w.tga").find("image type 3"), std::string::npos);
  EXPECT_NE(Refusal(Bytes{'h', 'i'}, "notes.txt", tile, "b.til").find("--raw"), std::string::npos);
  EXPECT_NE(Refusal(WriteBMP32(BrickPicture()), "t.bmp", tga, "x.wvc").find("cannot become"), std::string::npos);
  EXPECT_FALSE(Refusal(Bytes{'B', 'M', 1, 2}, "cut.bmp", tga, "w.tga").empty());
  const std::string broken = "x = 1\ny = (2\n";
  const TImported script = ImportEntry(AsSpan(broken), "s.lua", {}, "s.lua");
  EXPECT_TRUE(script.Refused() && script.data.empty());
  EXPECT_NE(script.refusal.find("does not compile"), std::string::npos) << script.refusal;
  EXPECT_GE(script.line, 2);
}

TEST(ImportScripts, SourceCompilesInTheChunkFormatOfTheScriptItReplaces) {
  const std::string source = "x = 1.5\nprint(\"hi\", x)\n";
  for (int floatSize : {4, 8})
    for (bool msbFirst : {false, true}) {
      TLuaCompileOptions options;
      options.SourceName = "@scripts\\old.lua";
      options.FloatSize = floatSize;
      options.MsbFirst = msbFirst;
      const Bytes like = CompileLua("y = 2\n", options).Chunk;
      const Bytes chunk = Imported(AsSpan(source), "edited.lua", like, "scripts\\old.lua");
      EXPECT_EQ(chunk, CompileLua(source, options).Chunk) << floatSize << msbFirst;
      EXPECT_NE(DumpLuaChunk(chunk, "old.lua", {}).find("hi"), std::string::npos);
    }
  // A compiled chunk given for a script goes in as it is.
  EXPECT_EQ(ClassifyImportSource("x.lua", AsSpan(std::string("\x1bLua\x31"))), ImportSource::Raw);
}

TEST(ImportScripts, SourceKeepsTheChoiceOfLineInformationOfTheScriptItReplaces) {
  // With the information off, a chunk compiled with it would differ in every
  // function (line instructions, locals list).
  const std::string source = "local a = 1\nfunction f(x)\n  return x + %a\nend\n";
  for (bool debugInfo : {true, false}) {
    TLuaCompileOptions options;
    options.SourceName = "s.lua";
    options.DebugInfo = debugInfo;
    const Bytes like = CompileLua(source, options).Chunk;
    EXPECT_EQ(ScriptOptionsOf(like, "other.lua").DebugInfo, debugInfo);
    EXPECT_EQ(Imported(AsSpan(source), "s.lua", like, "s.lua"), like) << debugInfo;
  }
  // Not a chunk: the defaults, with the name given.
  const TLuaCompileOptions none = ScriptOptionsOf(AsSpan(std::string("text")), "n.lua");
  EXPECT_EQ(none.SourceName, "n.lua");
  EXPECT_TRUE(none.DebugInfo);
  EXPECT_EQ(none.FloatSize, 8);
}

TEST(ImportSounds, WavToWvcKeepsTheLayoutAndBeatsStandardImaAdpcm) {
  // ffmpeg -c:a adpcm_ima_wav on the same two sounds, decoded back with
  // ffmpeg, measured once by hand: 36.2 dB for the voice, 40.5 dB for the chord.
  struct Case {
    TPcm16 pcm;
    double imaSnr;
  };
  const Case cases[] = {{VoiceSound(22050, 1.0), 36.2}, {ChordSound(22050, 2, 0.5, {261.63, 329.63, 392.0}), 40.5}};
  for (const Case& c : cases) {
    TWvcEncodeOptions layoutOptions;
    layoutOptions.framesPerBlock = 1000;
    layoutOptions.codecNames = {"RAW", "ADP", "X"};
    layoutOptions.signature = "wvc1";
    const Bytes like = EncodeWvc(c.pcm, layoutOptions);
    const Bytes wvc = Imported(WaveOf(c.pcm), "line.wav", like, "voices\\line.wvc");
    const TWvcEncodeOptions layout = WvcLayoutOf(wvc);
    EXPECT_EQ(layout.framesPerBlock, 1000u);
    EXPECT_EQ(layout.codecNames, (std::vector<std::string>{"RAW", "ADP", "X"}));
    EXPECT_EQ(layout.signature, "wvc1");
    const Bytes wave = ConvertWvcToWav(wvc);
    ASSERT_EQ(wave.size(), kWaveHeaderSize + c.pcm.samples.size() * 2);
    const Bytes source = WaveOf(c.pcm);
    EXPECT_TRUE(std::equal(source.begin(), source.begin() + kWaveHeaderSize, wave.begin()));
    const double snr = SnrDb(c.pcm.samples, wave);
    EXPECT_GE(snr, c.imaSnr);
    std::printf("[ measure  ] WVC import SNR %.1f dB (IMA ADPCM %.1f dB)\n", snr, c.imaSnr);
  }
  // The encoder the demo's samples use is this one: the demo sound still comes out the same.
  EXPECT_EQ(Imported(WaveOf(VoiceSound(22050, 0.3)), "v.wav", {}, "v.wvc"), EncodeWvc(VoiceSound(22050, 0.3)));
}

TEST(ImportSounds, WavToAifKeepsTheOtherChunks) {
  TAifSpec layout = AifSpecFor(SweepSound(11025, 0.2, 220, 880));
  layout.beforeComm.push_back(TextChunk("NAME", "Glide"));
  layout.beforeSsnd.push_back(MarkerChunk(0, "start"));
  layout.afterSsnd.push_back(TextChunk("ANNO", "odd"));
  layout.ssndOffset = 4;
  const Bytes like = BuildAif(layout);
  const TPcm16 pcm = ChordSound(22050, 2, 0.1, {440.0});
  const Bytes aif = Imported(WaveOf(pcm), "c.wav", like, "sound\\s.aif");
  EXPECT_EQ(ConvertAifToWav(aif), WaveOf(pcm));
  // The same chunks in the same order, NAME, MARK and ANNO with their bytes.
  std::vector<std::string> ids;
  for (const TAifChunkRef& c : ListAifChunks(aif)) ids.push_back(AsString(ByteSpan(aif).subspan(c.start, 4)));
  EXPECT_EQ(ids, (std::vector<std::string>{"NAME", "COMM", "MARK", "SSND", "ANNO"}));
  EXPECT_NE(AsString(aif).find("Glide"), std::string::npos);
  // Exported and imported again, the AIF entry is the same file.
  EXPECT_EQ(Imported(ConvertAifToWav(like), "s.wav", like, "s.aif"), like);
}

TEST(ImportSounds, UnsupportedSoundsAndTextsAreHandled) {
  Bytes wav24 = BuildWaveHeader(1, 8000, 24, 6);
  wav24.resize(wav24.size() + 6, 0);
  EXPECT_NE(Refusal(wav24, "a.wav", {}, "a.wvc").find("16-bit"), std::string::npos);
  Bytes adpcm = WaveOf(VoiceSound(8000, 0.01));
  adpcm[20] = 0x11;  // IMA ADPCM format tag
  EXPECT_NE(Refusal(adpcm, "a.wav", {}, "a.aif").find("uncompressed PCM"), std::string::npos);
  TPcm16 four{4, 8000, std::vector<std::int16_t>(40, 1)};
  EXPECT_NE(Refusal(WaveOf(four), "a.wav", {}, "a.wvc").find("mono or stereo"), std::string::npos);
  // Text goes into a text table as it is.
  const std::string text = "line one\r\nline two\r\n";
  EXPECT_EQ(Imported(AsSpan(text), "t.txt", {}, "texts\\t.tab"), Bytes(text.begin(), text.end()));
}
