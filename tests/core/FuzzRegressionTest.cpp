// Feeds every saved fuzzing reproducer (fuzz/corpus/<target>/*) to the parser
// its target exercises. Each once crashed, leaked or read out of bounds; now
// each must end in a result or a refusal with a message (under the sanitizer
// run, any out-of-bounds access fails the test).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "TestFiles.h"
#include "core/audio/AifAudio.h"
#include "core/audio/BinkData.h"
#include "core/audio/SurfaceDescription.h"
#include "core/audio/WvcAudio.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "core/images/BMPTools.h"
#include "core/images/GzipEntry.h"
#include "core/images/KFNFont.h"
#include "core/images/TGAImage.h"
#include "core/images/TileImage.h"
#include "core/lua/LuaDump.h"

using namespace vld;

namespace {

void OpenBundle(ByteSpan data) {
  TTempDir dir;
  TLabReader reader;
  reader.Open(dir.Write("fuzz.lab", data));
  for (int i = 0; i < reader.Count() && i < 64; ++i) {
    reader.ReadEntryBytes(i);
    reader.IsCompressed(i);
    reader.FindEntry(reader.GetName(i));
  }
}

const std::map<std::string, std::function<void(ByteSpan)>>& Parsers() {
  static const std::map<std::string, std::function<void(ByteSpan)>> parsers = {
      {"fuzz_bundle", OpenBundle},
      {"fuzz_gzip", [](ByteSpan d) { InflateGzipEntry(d); }},
      {"fuzz_tile",
       [](ByteSpan d) {
         if (IsGzipMember(d))
           DecodeTileImage(d);
         else
           AssembleTiles(d);
       }},
      {"fuzz_tga", [](ByteSpan d) { DecodeTGAImage(d); }},
      {"fuzz_kfn",
       [](ByteSpan d) {
         LoadBMPImage(d);
         RenderKFNImage(d);
       }},
      {"fuzz_aif", [](ByteSpan d) { ConvertAifToWav(d); }},
      {"fuzz_wvc", [](ByteSpan d) { ConvertWvcToWav(d); }},
      {"fuzz_smush",
       [](ByteSpan d) {
         FindBinkOffset(d);
         BinkDataFromBytes(d);
       }},
      {"fuzz_surface", [](ByteSpan d) { ParseSurfaceDescription(d); }},
      {"fuzz_lua", [](ByteSpan d) { DumpLuaChunk(d, "fuzz.lua", [](const std::string&) {}); }},
  };
  return parsers;
}

}  // namespace

TEST(FuzzRegression, EverySavedReproducerEndsInAResultOrARefusal) {
  const std::filesystem::path corpus = std::filesystem::path(VLD_SOURCE_DIR) / "fuzz" / "corpus";
  ASSERT_TRUE(std::filesystem::is_directory(corpus));
  int fed = 0;
  for (const auto& targetDir : std::filesystem::directory_iterator(corpus)) {
    const std::string target = targetDir.path().filename().string();
    auto parser = Parsers().find(target);
    ASSERT_NE(parser, Parsers().end()) << "no parser for " << target;
    for (const auto& file : std::filesystem::directory_iterator(targetDir)) {
      Bytes data = ReadWholeFile(file.path());
      try {
        parser->second(data);
      } catch (const VldError&) {
        // a refusal with a message is a fine outcome
      }
      ++fed;
    }
  }
  EXPECT_GT(fed, 0);
}
