// Free space of an output folder, checked against df.

#include <gtest/gtest.h>

#include "platform/free_space.hpp"
#include "support/fs_image.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

TEST(FolderFreeSpace, MatchesDfForTheSameFolder) {
    test::TempDir dir;
    const auto space = QueryFreeSpace(dir.path().string());
    ASSERT_TRUE(space.has_value());
    const auto df = test::RunCommand("df -B1 --output=avail,target " + test::Quoted(dir.path()));
    ASSERT_EQ(df.status, 0) << df.output;
    const auto line = df.output.substr(df.output.find('\n') + 1);
    const std::int64_t avail = test::NumberAfter(line, "");
    const std::string target = line.substr(line.find('/'), line.find('\n') - line.find('/'));
    EXPECT_EQ(space->drive, target);
    // Other writers share the disk: allow for a little change in between.
    EXPECT_NEAR(static_cast<double>(space->free_bytes), static_cast<double>(avail),
                64.0 * 1024 * 1024);
}

TEST(FolderFreeSpace, MissingFoldersAndFilesHaveNone) {
    test::TempDir dir;
    EXPECT_FALSE(QueryFreeSpace((dir / "missing").string()).has_value());
    test::MakeSparseFile(dir / "file", 10);
    EXPECT_FALSE(QueryFreeSpace((dir / "file").string()).has_value());
    EXPECT_FALSE(QueryFreeSpace("").has_value());
}

TEST(FolderFreeSpace, RootIsItsOwnMountPoint) {
    const auto space = QueryFreeSpace("/");
    ASSERT_TRUE(space.has_value());
    EXPECT_EQ(space->drive, "/");
}

}  // namespace
}  // namespace tav
