#include <gtest/gtest.h>

#include <cstdlib>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/audio/WvcAudio.h"
#include "core/browser/Formats.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"
#include "samples/AifBuilder.h"
#include "samples/WvcEncoder.h"

using namespace vld;
using namespace vld::samples;

namespace {

struct TSounds {
  Bytes aif = BuildAif(ChordSound(11025, 2, 0.2, {440, 550}));
  Bytes wvc = EncodeWvc(VoiceSound(11025, 0.3), {.framesPerBlock = 1000});
};

std::string ReadText(const std::filesystem::path& p) { return AsString(ReadWholeFile(p)); }

}  // namespace

TEST(AudioConvert, BundleEntriesBecomeTheViewersWaveFiles) {
  TTempDir dir;
  TSounds s;
  LabWriter lab;
  lab.Add("sound\\Chord.AIF", s.aif);
  lab.Add("voices\\line001.wvc", s.wvc);
  lab.Write(dir.File("snd.lab"));
  std::string bundle = Quote(dir.File("snd.lab").string());

  TToolRun run = RunTool("convert " + bundle + " 'SOUND\\chord.aif' -o " + Quote(dir.File("c.wav").string()));
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_EQ(ReadWholeFile(dir.File("c.wav")), ConvertEntryBytes("sound\\Chord.AIF", s.aif).data);

  run = RunTool("convert " + bundle + " 'voices\\line001.wvc' -o -");
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, AsString(ConvertWvcToWav(s.wvc)));
}

TEST(AudioConvert, LooseFilesConvertByTheirOwnNames) {
  TTempDir dir;
  TSounds s;
  dir.Write("door.Aif", s.aif);
  dir.Write("line.wvc", s.wvc);
  // Without -o the output is named after the file part up to its first '.'.
  std::string cmd = "cd " + Quote(dir.Path().string()) + " && " + VLDTOOL_PATH + " convert door.Aif 2>/dev/null && " +
                    VLDTOOL_PATH + " convert line.wvc 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(ReadWholeFile(dir.File("door.wav")), ConvertEntryBytes("door.Aif", s.aif).data);
  EXPECT_EQ(ReadWholeFile(dir.File("line.wav")), ConvertEntryBytes("line.wvc", s.wvc).data);
}

TEST(AudioConvert, RefusedSoundsExitWithTheReason) {
  TTempDir dir;
  TSounds s;
  dir.Write("empty.wvc", {});
  Bytes damaged = s.wvc;
  damaged.resize(damaged.size() - 1);
  dir.Write("cut.wvc", damaged);
  dir.Write("noise.aif", Bytes(100, 0x41));

  struct TCase {
    const char* file;
    const char* says;
  } cases[] = {{"empty.wvc", kEmptyEntryRefusal}, {"cut.wvc", "truncated"}, {"noise.aif", "no COMM chunk"}};
  for (const TCase& c : cases) {
    std::string err = dir.File("err.txt").string();
    TToolRun run =
        RunTool("convert " + Quote(dir.File(c.file).string()) + " -o " + Quote(dir.File("out.wav").string()), err);
    EXPECT_EQ(run.exitCode, 1) << c.file;
    EXPECT_NE(ReadText(err).find(c.says), std::string::npos) << ReadText(err);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.wav"))) << c.file;
  }
}
