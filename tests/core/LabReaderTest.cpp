#include <gtest/gtest.h>

#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"
#include "TestFiles.h"

using namespace vld;

TEST(LabReader, RoundTripKeepsNamesSizesAndOrder) {
  TTempDir dir;
  LabWriter w;
  w.Add("gfx\\A.til", Bytes{1, 2, 3});
  w.Add("b.lua", Bytes{});
  w.Write(dir.File("x.lab"));
  TLabReader r;
  r.Open(dir.File("x.lab"));
  ASSERT_EQ(r.Count(), 2);
  EXPECT_EQ(r.GetName(0), "gfx\\A.til");
  EXPECT_EQ(r.GetSize(0), 3);
  EXPECT_EQ(r.GetName(1), "b.lua");
  EXPECT_EQ(r.FindEntry("GFX\\a.TIL"), 0);
}
