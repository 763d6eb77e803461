#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "TestFiles.h"
#include "core/bundle/BundleEdit.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "samples/LabSamples.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// Every file in the folder, by name.
std::vector<std::string> FolderNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// What a saved bundle holds: names, bytes and fourth values in order.
struct TSeen {
  std::string name;
  Bytes bytes;
  std::uint32_t reserved;
  bool operator==(const TSeen&) const = default;
};
std::vector<TSeen> Contents(const fs::path& path) {
  TLabReader r;
  r.Open(path);
  std::vector<TSeen> seen;
  for (int i = 0; i < r.Count(); ++i)
    seen.push_back({std::string(r.GetName(i)), r.ReadEntryBytes(i), r.GetHeader(i).Reserved});
  EXPECT_FALSE(r.IsDamaged());
  return seen;
}

class BundleEditTest : public ::testing::Test {
 protected:
  TTempDir dir;
  TLabReader reader;

  // Three entries with fourth values and a second header word of their own;
  // the second and third share their data.
  fs::path WriteSample() {
    samples::TRawLab lab;
    lab.word2 = 0x00020001;
    lab.count = 3;
    const std::int32_t namesAt = 20 + 3 * 16;
    lab.namesPosition = kNamesOffsetConstant + namesAt;
    Bytes names;
    std::vector<std::int32_t> nameOffsets;
    for (std::string_view n : {"gfx\\a.til", "b.tab", "Shared.TAB"}) {
      nameOffsets.push_back(static_cast<std::int32_t>(names.size()));
      Bytes m = samples::MaskedName(n);
      names.insert(names.end(), m.begin(), m.end());
    }
    const std::int32_t dataAt = namesAt + static_cast<std::int32_t>(names.size());
    lab.records = {{nameOffsets[0], dataAt, 5, 0x11111111},
                   {nameOffsets[1], dataAt + 5, 4, 0x22222222},
                   {nameOffsets[2], dataAt + 5, 4, 0x33333333}};
    lab.tail = names;
    for (std::uint8_t b : Text("AAAAABBBB")) lab.tail.push_back(b);
    return dir.Write("in.lab", lab.Build());
  }
};

}  // namespace

TEST_F(BundleEditTest, EveryKindOfEditRoundTripsWithOrderAndFieldsKept) {
  const fs::path in = WriteSample();
  reader.Open(in);
  TBundleEditList list(reader);
  const fs::path newFile = dir.Write("new.bin", Text("from a file"));
  list.Apply(TBundleEdit::Replace(0, TEntryContent::FromFile(newFile)));
  list.Apply(TBundleEdit::Rename(1, "texts\\renamed.tab"));
  list.Apply(TBundleEdit::Add(3, "added.lua", TEntryContent::FromBytes(Text("chunk"))));
  list.Apply(TBundleEdit::Add(0, "first.txt", TEntryContent::FromBytes({})));
  EXPECT_TRUE(list.IsAdded(0));
  EXPECT_TRUE(list.IsChanged(1) && list.IsChanged(2) && !list.IsChanged(3));
  EXPECT_EQ(list.Name(2), "texts\\renamed.tab");
  EXPECT_EQ(list.Size(1), 11);

  const fs::path out = dir.File("out.lab");
  SaveBundle(list, out);
  const std::vector<TSeen> expected = {{"first.txt", {}, 0},
                                       {"gfx\\a.til", Text("from a file"), 0x11111111},
                                       {"texts\\renamed.tab", Text("BBBB"), 0x22222222},
                                       {"Shared.TAB", Text("BBBB"), 0x33333333},
                                       {"added.lua", Text("chunk"), 0}};
  EXPECT_EQ(Contents(out), expected);
  {
    TLabReader saved;
    saved.Open(out);
    EXPECT_EQ(saved.SecondWord(), 0x00020001u);
    // Entries that shared their data still do, and it is stored once.
    EXPECT_EQ(saved.GetOffset(2), saved.GetOffset(3));
    EXPECT_EQ(saved.FileSize(), saved.GetOffset(4) + 5);
  }

  // A removal, saved over a second output.
  list.Apply(TBundleEdit::Remove(2));
  SaveBundle(list, out);
  EXPECT_EQ(Contents(out).size(), 4u);
  EXPECT_EQ(Contents(out)[2].name, "Shared.TAB");
}

TEST_F(BundleEditTest, RevertingEveryEditInReverseGivesTheOriginalBytesBack) {
  // A bundle as this program writes it comes back byte for byte when unchanged.
  LabWriter writer;
  writer.Add("one.tga", Text("11111"));
  writer.Add("two\\2.wvc", Text("22"));
  writer.Add("three.tab", Text("333"));
  const Bytes original = writer.Build();
  reader.Open(dir.Write("in.lab", original));
  TBundleEditList list(reader);
  std::vector<TEditUndo> undo;
  undo.push_back(list.Apply(TBundleEdit::Remove(1)));
  undo.push_back(list.Apply(TBundleEdit::Replace(0, TEntryContent::FromBytes(Text("x")))));
  undo.push_back(list.Apply(TBundleEdit::Rename(1, "THREE.tab")));
  undo.push_back(list.Apply(TBundleEdit::Add(1, "new", TEntryContent::FromBytes(Text("n")))));
  undo.push_back(list.Apply(TBundleEdit::Remove(0)));
  EXPECT_TRUE(list.HasChanges());
  for (auto it = undo.rbegin(); it != undo.rend(); ++it) list.Revert(*it);
  EXPECT_FALSE(list.HasChanges());
  for (int i = 0; i < list.Count(); ++i) EXPECT_FALSE(list.IsChanged(i)) << i;
  SaveBundle(list, dir.File("same.lab"));
  EXPECT_EQ(ReadWholeFile(dir.File("same.lab")), original);
}

TEST_F(BundleEditTest, NamesABundleCannotHoldAreRefusedAndChangeNothing) {
  reader.Open(WriteSample());
  TBundleEditList list(reader);
  auto bytes = TEntryContent::FromBytes(Text("x"));
  EXPECT_THROW(list.Apply(TBundleEdit::Add(0, "b.TAB", bytes)), VldError);        // taken, by folded case
  EXPECT_THROW(list.Apply(TBundleEdit::Rename(0, "shared.tab")), VldError);       // taken
  EXPECT_THROW(list.Apply(TBundleEdit::Add(0, "", bytes)), VldError);             // empty
  EXPECT_THROW(list.Apply(TBundleEdit::Add(0, "yen\xA5.tab", bytes)), VldError);  // masks to the terminator
  EXPECT_THROW(list.Apply(TBundleEdit::Add(0, std::string("a\0b", 3), bytes)), VldError);
  EXPECT_THROW(list.Apply(TBundleEdit::Remove(3)), VldError);
  EXPECT_THROW(list.Apply(TBundleEdit::Add(4, "late", bytes)), VldError);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_FALSE(list.HasChanges());
  // The same name in another case is the entry itself: allowed.
  list.Apply(TBundleEdit::Rename(1, "B.TAB"));
  EXPECT_EQ(list.Name(1), "B.TAB");
  // The packer refuses such names too, rather than writing a bundle whose names run together.
  LabWriter writer;
  writer.Add("\xC2\xA5.txt", Text("yen"));
  EXPECT_THROW(writer.Build(), VldError);
}

TEST_F(BundleEditTest, SavingOverTheOpenBundleReplacesItWithoutWritingTheFileBeingRead) {
  const fs::path in = WriteSample();
  const Bytes original = ReadWholeFile(in);
  reader.Open(in);
  TBundleEditList list(reader);
  list.Apply(TBundleEdit::Replace(1, TEntryContent::FromBytes(Text("new text"))));
  // The source is released once, after the last read and before the new file
  // takes its name; a save elsewhere never releases it.
  int released = 0;
  TSaveOptions options;
  options.releaseSource = [&] {
    ++released;
    EXPECT_EQ(ReadWholeFile(in), original);         // not replaced yet
    EXPECT_EQ(FolderNames(dir.Path()).size(), 2u);  // the whole new file is beside it
    reader.Close();
  };
  SaveBundle(list, dir.File("elsewhere.lab"), options);
  EXPECT_EQ(released, 0);
  fs::remove(dir.File("elsewhere.lab"));

  const TSaveResult result = SaveBundle(list, in, options);
  EXPECT_EQ(released, 1);
  EXPECT_EQ(result.bytes, static_cast<std::int64_t>(fs::file_size(in)));
  EXPECT_EQ(Contents(in)[1].bytes, Text("new text"));
  EXPECT_EQ(Contents(in)[2].bytes, Text("BBBB"));
  EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"in.lab"});
}

// How the viewer saves over the bundle it shows on Windows: the reader lets go
// of its file and keeps its directory; it takes the file up again only when it
// is still the same size (the save failed), and a save that went through is
// read anew.
TEST_F(BundleEditTest, AReleasedBundleKeepsItsDirectoryAndTakesItsFileUpAgain) {
  const fs::path in = WriteSample();
  reader.Open(in);
  TBundleEditList list(reader);
  list.Apply(TBundleEdit::Replace(1, TEntryContent::FromBytes(Text("new text, longer"))));
  const std::int64_t size = reader.FileSize();
  reader.Stream().Release();
  EXPECT_FALSE(reader.Stream().IsOpen());
  EXPECT_EQ(reader.FileSize(), size);
  EXPECT_EQ(reader.GetName(1), "b.tab");
  std::uint8_t byte = 0;
  EXPECT_EQ(reader.Stream().ReadAt(0, &byte, 1), 0u);  // nothing, not a fault
  reader.Stream().Reacquire();
  EXPECT_EQ(reader.ReadEntryBytes(2), Text("BBBB"));

  TSaveOptions options;
  options.releaseSource = [this] { reader.Stream().Release(); };
  SaveBundle(list, in, options);
  EXPECT_THROW(reader.Stream().Reacquire(), FileError);  // another file now: open it anew
  EXPECT_FALSE(reader.Stream().IsOpen());
}

#ifndef _WIN32
TEST_F(BundleEditTest, WithoutReleasingItTheReaderKeepsReadingTheFileItOpened) {
  const fs::path in = WriteSample();
  reader.Open(in);
  TBundleEditList list(reader);
  list.Apply(TBundleEdit::Replace(1, TEntryContent::FromBytes(Text("new text"))));
  SaveBundle(list, in);
  EXPECT_EQ(reader.ReadEntryBytes(1), Text("BBBB"));
  EXPECT_EQ(Contents(in)[1].bytes, Text("new text"));
}
#endif

TEST_F(BundleEditTest, AFailureAtAnyWriteOrACancelLeavesTheOriginalAndNoTemporary) {
  const fs::path in = WriteSample();
  const Bytes original = ReadWholeFile(in);
  const fs::path file = dir.Write("data.bin", Text("file data"));
  reader.Open(in);
  TBundleEditList list(reader);
  list.Apply(TBundleEdit::Replace(0, TEntryContent::FromFile(file)));
  list.Apply(TBundleEdit::Add(3, "mem", TEntryContent::FromBytes(Text("memory"))));
  // Counts the writes of a whole save.
  int writes = 0;
  TSaveOptions counting;
  counting.beforeWrite = [&] { ++writes; };
  SaveBundle(list, dir.File("count.lab"), counting);
  fs::remove(dir.File("count.lab"));
  ASSERT_GE(writes, 4);
  for (int k = 0; k < writes; ++k) {
    int seen = 0;
    TSaveOptions failing;
    failing.beforeWrite = [&] {
      if (seen++ == k) throw FileError("injected failure");
    };
    EXPECT_THROW(SaveBundle(list, in, failing), FileError) << k;
    EXPECT_EQ(ReadWholeFile(in), original) << k;
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"data.bin", "in.lab"})) << k;
  }
  std::atomic<bool> cancel{true};
  TSaveOptions cancelled;
  cancelled.cancel = &cancel;
  EXPECT_THROW(SaveBundle(list, in, cancelled), ESaveCancelled);
  EXPECT_EQ(ReadWholeFile(in), original);
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"data.bin", "in.lab"}));
}

TEST_F(BundleEditTest, RefusesWhatCannotBeSavedWhole) {
  // An entry whose data runs past the end of the file.
  samples::TRawLab lab;
  lab.count = 2;
  lab.namesPosition = kNamesOffsetConstant + 52;
  lab.records = {{0, 58, 2}, {2, 60, 100}};
  lab.tail = samples::MaskedName("a");
  for (std::uint8_t b : samples::MaskedName("b")) lab.tail.push_back(b);
  lab.tail.insert(lab.tail.end(), {'o', 'k', 's', 'h', 'o', 'r', 't'});
  reader.Open(dir.Write("cut.lab", lab.Build()));
  TBundleEditList list(reader);
  EXPECT_THROW(SaveBundle(list, dir.File("out.lab")), VldError);
  EXPECT_FALSE(fs::exists(dir.File("out.lab")));
  // Replaced, it saves.
  list.Apply(TBundleEdit::Replace(1, TEntryContent::FromBytes(Text("whole"))));
  SaveBundle(list, dir.File("out.lab"));
  EXPECT_EQ(Contents(dir.File("out.lab"))[1].bytes, Text("whole"));
  // A folder where the bundle should go.
  fs::create_directory(dir.File("folder.lab"));
  EXPECT_THROW(SaveBundle(list, dir.File("folder.lab")), FileError);
  // A file chosen for an entry that changed size before the save.
  const fs::path changing = dir.Write("changing.bin", Text("1234"));
  list.Apply(TBundleEdit::Replace(0, TEntryContent::FromFile(changing)));
  dir.Write("changing.bin", Text("123456"));
  EXPECT_THROW(SaveBundle(list, dir.File("out2.lab")), FileError);
  EXPECT_FALSE(fs::exists(dir.File("out2.lab")));
}

TEST_F(BundleEditTest, KernelAndBufferedCopiesWriteTheSameBundle) {
  reader.Open(WriteSample());
  TBundleEditList list(reader);
  list.Apply(TBundleEdit::Replace(0, TEntryContent::FromFile(dir.Write("f.bin", Text("file")))));
  SaveBundle(list, dir.File("kernel.lab"));
  SetCopyMethod(TCopyMethod::Buffered);
  SaveBundle(list, dir.File("buffered.lab"));
  SetCopyMethod(TCopyMethod::Auto);
  EXPECT_EQ(ReadWholeFile(dir.File("kernel.lab")), ReadWholeFile(dir.File("buffered.lab")));
}

#ifndef _WIN32
TEST_F(BundleEditTest, TemporariesOfKilledRunsAreCleanedByTheNextSave) {
  // A process id that is surely gone: a child that has been waited for.
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);
  const std::string dead = ".vld-" + std::to_string(child) + "-0123456789abcdef.part";
  const std::string alive = ".vld-" + std::to_string(getpid()) + "-0123456789abcdef.part";
  dir.Write(dead, Text("left by a killed run"));
  dir.Write(alive, Text("still being written"));
  dir.Write(".vld-notapid.part", Text("not ours"));
  EXPECT_TRUE(IsTemporaryName(dead));
  EXPECT_FALSE(IsTemporaryName(".vld-notapid.part"));
  reader.Open(WriteSample());
  TBundleEditList list(reader);
  EXPECT_EQ(SaveBundle(list, dir.File("out.lab")).staleRemoved, 1);
  EXPECT_FALSE(fs::exists(dir.File(dead)));
  EXPECT_TRUE(fs::exists(dir.File(alive)));
  EXPECT_TRUE(fs::exists(dir.File(".vld-notapid.part")));
}

TEST_F(BundleEditTest, AFullDiskFailsTheSaveAndLeavesTheOriginal) {
  const fs::path small = dir.File("small");
  fs::create_directory(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << ")";
  struct Unmount {
    fs::path path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{small};
  LabWriter writer;
  writer.Add("small.tab", Text("fits"));
  const fs::path in = small / "in.lab";
  writer.Write(in);
  const Bytes original = ReadWholeFile(in);
  reader.Open(in);
  TBundleEditList list(reader);
  list.Apply(TBundleEdit::Add(1, "big.bin", TEntryContent::FromBytes(Bytes(200 * 1024, 7))));
  try {
    SaveBundle(list, in);
    FAIL() << "a 200 KiB bundle was saved on a 64 KiB disk";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("No space left"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadWholeFile(in), original);
  EXPECT_EQ(FolderNames(small), std::vector<std::string>{"in.lab"});
}
#endif
