#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "core/browser/Formats.h"
#include "core/bundle/BundleEdit.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/Errors.h"
#include "samples/ImageSamples.h"

using namespace vld;

namespace {

// The type table and the dispatch order written out independently of the
// registry, as two plain substring tables.
const std::vector<std::pair<std::string, std::string>> kTypeRows = {
    {".bmp", "Bitmap image"},
    {".til", "Tile"},
    {".tab", "Text table"},
    {".aif", "Audio file"},
    {".tga", "TGA image"},
    {".kfn", "Thrapwick font"},
    {".sur", "Model surface description"},
    {".bik", "[BUG ALERT - Should never be displayed!]"},
    {".wvc", "Wave (voice compressed)"},
    {".anim", "Model animation"},
    {".lua", "Lua script"},
    {".cos", "Model costume"},
    {".mesh", "Model mesh"},
    {".spr", "Sprite"},
    {".skl", "Model skeleton"},
    {".lip", "Lip sync file"}};
const std::vector<std::string> kDispatchRows = {".til", ".wvc", ".lua", ".tab", ".sur",
                                                ".kfn", ".tga", ".bmp", ".aif", ".bik"};

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string ExpectedType(const std::string& name) {
  for (const auto& [ext, text] : kTypeRows)
    if (Lower(name).find(ext) != std::string::npos) return text;
  return "unknown";
}

// The extension whose action runs; empty when none does.
std::string ExpectedAction(const std::string& name) {
  for (const std::string& ext : kDispatchRows)
    if (Lower(name).find(ext) != std::string::npos) return ext;
  return "";
}

std::vector<std::string> Upper(const std::vector<std::string>& exts) {
  std::vector<std::string> out;
  for (std::string e : exts) {
    for (char& c : e)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    out.push_back(e);
  }
  return out;
}

}  // namespace

// Every single extension and every ordered pair of two (x.tab.lua, x.bmp.wvc,
// folders named like files), in both cases: the registry gives the same type
// text and the same action as the two tables.
TEST(FormatRegistry, TypeAndDispatchAgreeWithTheTablesForEveryPairOfExtensions) {
  std::vector<std::string> exts;
  for (const auto& row : kTypeRows) exts.push_back(row.first);
  std::vector<std::string> names = {"readme", "", "noext.", "x.ti", "a.tilx"};
  for (const auto& group : {exts, Upper(exts)}) {
    for (const auto& a : group) {
      names.push_back("x" + a);
      names.push_back("dir" + a + "\\file");
      for (const auto& b : group) names.push_back("x" + a + b);
    }
  }
  for (const std::string& name : names) {
    EXPECT_EQ(TypeText(name, false, false), ExpectedType(name)) << name;
    const TFormat* f = FormatForAction(name);
    EXPECT_EQ(f ? std::string(f->contains) : std::string(), ExpectedAction(name)) << name;
  }
}

TEST(FormatRegistry, ButtonsFollowTheTypeRowAndConversionFollowsTheDispatch) {
  // x.tab.lua: the text-table row sets the buttons, the script converter runs.
  const TFormat& row = FormatForType("x.tab.lua");
  EXPECT_STREQ(row.caption, "Show text");
  EXPECT_TRUE(row.action);
  EXPECT_EQ(FormatForAction("x.tab.lua")->family, FormatFamily::Script);

  // x.bmp.wvc is typed as a bitmap, but plays and converts as a sound.
  EXPECT_TRUE(FormatForType("x.bmp.wvc").saveBmp);
  EXPECT_TRUE(IsConvertible("x.bmp.wvc"));
  EXPECT_FALSE(IsConvertible("x.sur"));
  EXPECT_FALSE(IsConvertible("movies\\a.bik"));
  EXPECT_FALSE(IsConvertible("hero.cos"));
  EXPECT_TRUE(IsConvertible("x.tab"));

  // Only the image rows offer Save as BMP, only the sound rows Save as Wave.
  for (const TFormat& f : AllFormats()) {
    EXPECT_EQ(f.saveBmp, f.family == FormatFamily::Image) << f.typeText;
    EXPECT_EQ(f.saveWav, f.family == FormatFamily::Sound) << f.typeText;
    EXPECT_TRUE(f.saveFile);
    EXPECT_EQ(f.dispatchOrder != 0, f.preview != PreviewKind::None) << f.typeText;
    // Only what is read whole is refused when empty; a script's loader speaks for itself.
    if (f.refusesEmpty) {
      EXPECT_NE(f.decode, nullptr) << f.typeText;
    }
  }
}

TEST(FormatRegistry, DecodeRefusesInsteadOfThrowing) {
  const TFormat& tga = FormatForType("a.tga");
  TDecoded empty = DecodeEntry(tga, {ByteSpan{}, "a.tga"});
  EXPECT_TRUE(empty.Refused());
  EXPECT_EQ(empty.refusal, kEmptyEntryRefusal);

  Bytes junk{1, 2, 3};
  TDecoded lua = DecodeEntry(*FormatForAction("x.lua"), {junk, "x.lua"});
  EXPECT_TRUE(lua.Refused());
  EXPECT_NE(lua.refusal.find("x.lua"), std::string::npos) << lua.refusal;

  // A script with no bytes is the loader's to report, not the size check's.
  TDecoded noScript = DecodeEntry(*FormatForAction("x.lua"), {ByteSpan{}, "x.lua"});
  EXPECT_TRUE(noScript.Refused());
  EXPECT_NE(noScript.refusal, kEmptyEntryRefusal);

  TDecoded model = DecodeEntry(FormatForType("a.mesh"), {junk, "a.mesh"});
  EXPECT_TRUE(model.Refused());

  Bytes text{'a', '\r', '\n', 'b'};
  TDecoded tab = DecodeEntry(FormatForType("t.tab"), {text, "t.tab"});
  EXPECT_EQ(tab.kind, PreviewKind::Text);
  EXPECT_EQ(tab.text, "a\r\nb");
}

TEST(FormatRegistry, FilesAreIdentifiedByTheirFirstBytes) {
  EXPECT_EQ(IdentifyMagic(kMagicLABN), FileKind::Bundle);
  EXPECT_EQ(IdentifyMagic(kMagicBIKi), FileKind::SingleBink);
  EXPECT_EQ(IdentifyMagic(kMagicSMUS), FileKind::SingleSmush);
  EXPECT_EQ(IdentifyMagic(kMagicRIFF), FileKind::Mp3);
  EXPECT_EQ(IdentifyMagic(0x0000FBFFu), FileKind::Mp3);  // FF FB: an MPEG audio frame
  EXPECT_EQ(IdentifyMagic(0x00000FFFu), FileKind::Other);
  EXPECT_EQ(IdentifyMagic(0), FileKind::Other);

  TTempDir dir;
  EXPECT_EQ(IdentifyFile(dir.Write("a.bik", Bytes{'B', 'I', 'K', 'i', 0})), FileKind::SingleBink);
  EXPECT_EQ(IdentifyFile(dir.Write("short", Bytes{'L'})), FileKind::Other);
  EXPECT_THROW(IdentifyFile(dir.File("missing")), FileError);
}

TEST(FormatRegistry, SurfaceFramesMarkMissingEntriesAndSkipNonTextures) {
  TTempDir dir;
  Bytes tga = samples::BuildTGA(samples::PatternPicture(8, 4));
  std::string description =
      "header\nsecond\nTEX:xx/ab/frame0.tga\nTEX:xx/ab/gone.tga\nplain line\n"
      "TEX:xx/ab/empty.tga\nTEX:xx/ab/notes.txt\nEND_OF_SECTION\n";
  LabWriter w;
  w.Add("ab\\frame0.tga", tga);
  w.Add("ab\\empty.tga", {});
  w.Add("ab\\notes.txt", {1, 2});
  w.Add("x.sur", Bytes(description.begin(), description.end()));
  const std::filesystem::path lab = dir.File("s.lab");
  w.Write(lab);
  TLabReader reader;
  reader.Open(lab);
  Bytes sur = reader.ReadEntryBytes(3);
  TSurfaceLoad load = LoadSurfaceFrames(reader, sur, [&](int i) { return reader.ReadEntryBytes(i); });
  ASSERT_EQ(load.list.items.size(), 5u);
  EXPECT_EQ(load.missing, (std::vector<bool>{false, true, false, false, false}));
  ASSERT_EQ(load.frames.size(), 1u);
  EXPECT_EQ(load.frames[0].item, 0);
  EXPECT_EQ(load.frames[0].picture.width, 8);
  EXPECT_EQ(load.emptyFrames, 1);
  EXPECT_EQ(load.skipped, 0);

  // Among the entries as edited: a texture added under the missing name, the
  // empty one given bytes, the first one renamed away.
  TBundleEditList list(reader);
  list.Apply(
      TBundleEdit::Add(4, "AB\\GONE.TGA", TEntryContent::FromBytes(samples::BuildTGA(samples::PatternPicture(3, 2)))));
  list.Apply(TBundleEdit::Replace(1, TEntryContent::FromBytes(tga)));
  list.Apply(TBundleEdit::Rename(0, "ab\\frame0.old"));
  const TSurfaceLoad edited = LoadSurfaceFrames(list, sur);
  EXPECT_EQ(edited.missing, (std::vector<bool>{true, false, false, false, false}));
  ASSERT_EQ(edited.frames.size(), 2u);
  EXPECT_EQ(edited.frames[0].item, 1);
  EXPECT_EQ(edited.frames[0].picture.width, 3);
  EXPECT_EQ(edited.frames[1].item, 3);
  EXPECT_EQ(edited.emptyFrames, 0);
}
