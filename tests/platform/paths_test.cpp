#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

TEST(Paths, ExtensionKeyFollowsLastDotOfTheName) {
  EXPECT_EQ(ExtensionKey("a.b.gif"), "GIF");
  EXPECT_EQ(ExtensionKey("photo.Jpeg"), "JPEG");
  EXPECT_EQ(ExtensionKey("<LOGO"), "");
  EXPECT_EQ(ExtensionKey("dir.d/noext"), "");
  EXPECT_EQ(PathTitle("/x/y/clip.final.avi"), "clip.final");
  EXPECT_EQ(PathFolder("/x/y/clip.avi"), "/x/y/");
  EXPECT_EQ(PathFileName("/x/y/clip.avi"), "clip.avi");
}

TEST(AtomicFile, FailedWriteLeavesTheOldFileAndNoTemporary) {
  test::TempDir dir;
  std::string target = dir.file("keep.txt");
  ASSERT_TRUE(test::WriteBytes(target, "old"));
  {
    AtomicFile file(target);
    ASSERT_TRUE(test::WriteBytes(file.tempPath(), "partial"));
    EXPECT_EQ(PathExtension(file.tempPath()), "txt");
    // destroyed without Commit
  }
  EXPECT_EQ(test::ReadBytes(target), "old");
  std::string out;
  ASSERT_TRUE(ReadWholeFile(target, out));
  EXPECT_EQ(out, "old");
  const std::string text = "new";
  ASSERT_TRUE(WriteFileAtomic(target, {reinterpret_cast<const uint8_t*>(text.data()), text.size()}));
  EXPECT_EQ(test::ReadBytes(target), "new");
  EXPECT_FALSE(WriteFileAtomic(dir.file("missing/x.txt"), {}));
}

}  // namespace
}  // namespace zr
