#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "TestFiles.h"
#include "core/browser/OpenFile.h"
#include "core/bundle/LabWriter.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "samples/ExtractSamples.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

fs::path Bundle(const TTempDir& dir, const std::string& file) {
  samples::TextBundle({{"a.til", "tile"}, {"movies\\m.bik", "movie"}, {"c.tab", "text table"}}).Write(dir.File(file));
  return dir.File(file);
}

}  // namespace

TEST(OpenFile, DecidesByTheFirstBytesAndReleasesWhatWasOpen) {
  TTempDir dir;
  TOpenFile file;
  EXPECT_EQ(file.Open(Bundle(dir, "b.lab")), FileKind::Bundle);
  ASSERT_TRUE(file.IsBundle());
  EXPECT_EQ(file.EntryCount(), 3);
  EXPECT_EQ(file.EntryName(1), "movies\\m.bik");
  EXPECT_EQ(file.EntryTypeText(1), "Bink animation");  // a movie inside a bundle says what it is
  EXPECT_EQ(file.EntryTypeText(2), "Text table");
  EXPECT_TRUE(file.ShortBundleText().empty());

  const Bytes smush = {'S', 'M', 'U', 'S', 0, 0, 0, 0};
  EXPECT_EQ(file.Open(dir.Write("outro.smush.bik", smush)), FileKind::SingleSmush);
  EXPECT_FALSE(file.IsBundle());
  EXPECT_EQ(file.Reader(), nullptr);
  EXPECT_TRUE(file.SingleSmush() && !file.SingleBink());
  EXPECT_EQ(file.DisplayName(), "outro.bik");
  EXPECT_EQ(file.EntryCount(), 1);
  EXPECT_EQ(file.EntrySize(0), 8);
  EXPECT_EQ(file.EntryTypeText(0), "Smush wrapped Bink animation");
  EXPECT_FALSE(file.RawRange(0));  // no Bink data inside: nothing to save

  EXPECT_EQ(file.Open(dir.Write("song", Bytes{0xFF, 0xFB, 0x90, 0})), FileKind::Mp3);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.EntryCount(), 0);
  EXPECT_NE(RejectionText(FileKind::Mp3).find("MP3"), std::string::npos);
  EXPECT_EQ(RejectionText(FileKind::Other).find("MP3"), std::string::npos);
  EXPECT_THROW(file.Open(dir.File("missing.lab")), FileError);
  EXPECT_FALSE(file.IsOpen());
}

TEST(OpenFile, EntriesPastTheEndOfAShortBundleAreCountedAndRefused) {
  TTempDir dir;
  const fs::path path = Bundle(dir, "short.lab");
  {
    TLabReader reader;
    reader.Open(path);
    fs::resize_file(path, static_cast<std::uintmax_t>(reader.GetOffset(1) + 2));
  }
  TOpenFile file;
  file.Open(path);
  EXPECT_EQ(file.EntriesPastEnd(), 2);
  EXPECT_EQ(file.ShortBundleText(), "This bundle is shorter than its directory says: 2 entries cannot be read.");
  EXPECT_TRUE(file.EntryRefusal(0).empty());
  EXPECT_EQ(file.EntryRefusal(1), kPastEndRefusal);
  // A raw copy takes what exists of an entry cut short, but nothing is there of the last one.
  EXPECT_TRUE(file.EntryRefusal(1, false).empty());
  EXPECT_EQ(file.EntryRefusal(2, false), kPastEndRefusal);
  EXPECT_TRUE(file.Reader()->EntryMissing(2));
  EXPECT_FALSE(file.Reader()->EntryMissing(1));
}

TEST(OpenFile, ListsTheEntriesAsEdited) {
  TTempDir dir;
  TOpenFile file;
  file.Open(Bundle(dir, "e.lab"));
  TBundleEditList& edits = *file.Edits();
  edits.Apply(TBundleEdit::Remove(0));
  edits.Apply(TBundleEdit::Rename(1, "texts\\c.tab"));
  edits.Apply(TBundleEdit::Add(2, "new.tab", TEntryContent::FromBytes({'n', 'e', 'w'})));
  edits.Apply(TBundleEdit::Replace(0, TEntryContent::FromBytes({'x'})));
  ASSERT_EQ(file.EntryCount(), 3);
  EXPECT_TRUE(file.HasChanges());
  // Names, sizes, offsets and bytes follow the edits; indexes are the list's.
  EXPECT_EQ(file.EntryName(0), "movies\\m.bik");
  EXPECT_EQ(file.EntrySize(0), 1);
  EXPECT_TRUE(file.EntryHasNewBytes(0));
  EXPECT_FALSE(file.RawRange(0));  // nothing in the file to copy: ReadEntryBytes has it
  EXPECT_EQ(file.ReadEntryBytes(0), Bytes{'x'});
  EXPECT_EQ(file.EntryName(1), "texts\\c.tab");
  EXPECT_TRUE(file.EntryChanged(1) && !file.EntryHasNewBytes(1));
  EXPECT_EQ(file.OriginalIndex(1), 2);
  EXPECT_EQ(file.EntryOffset(1), file.Reader()->GetOffset(2));
  EXPECT_EQ(file.RawRange(1)->from, file.Reader()->GetOffset(2));
  EXPECT_EQ(file.ReadEntryBytes(1), file.Reader()->ReadEntryBytesAt(2));
  EXPECT_EQ(file.EntryTypeText(2), "Text table");
  EXPECT_EQ(file.OriginalIndex(2), -1);
  EXPECT_EQ(file.EntryRefusal(2), "");
  // Opening again starts without edits.
  file.Open(dir.File("e.lab"));
  EXPECT_FALSE(file.HasChanges());
  EXPECT_EQ(file.EntryName(0), "a.til");
}

TEST(CopyRangeToFile, CopiesWholeOrLeavesTheTargetAlone) {
  TTempDir dir;
  Bytes data(300000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  TFileStream source(dir.Write("source", data));
  const fs::path target = dir.Write("target", Bytes(10, 1));

  std::int64_t last = -1;
  TRangeCopy copy = CopyRangeToFile(source, 1000, 200000, target, [&](std::int64_t n) { last = n; });
  EXPECT_FALSE(copy.cancelled);
  EXPECT_EQ(copy.written, 200000);
  EXPECT_EQ(last, 200000);  // the last report is the whole copy
  EXPECT_EQ(ReadWholeFile(target), Bytes(data.begin() + 1000, data.begin() + 201000));

  // Past the end of the source: what exists.
  copy = CopyRangeToFile(source, 250000, 100000, target);
  EXPECT_EQ(copy.written, 50000);
  EXPECT_EQ(ReadWholeFile(target).size(), 50000u);

  // Cancelled: the target keeps what it held and no temporary file stays.
  std::atomic<bool> cancel{false};
  copy = CopyRangeToFile(
      source, 0, 300000, target, [&](std::int64_t) { cancel = true; }, &cancel);
  EXPECT_TRUE(copy.cancelled);
  EXPECT_EQ(ReadWholeFile(target).size(), 50000u);
  int files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 2);
}
