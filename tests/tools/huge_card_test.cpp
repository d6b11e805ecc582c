// The huge-exfat kind writes its own directory entries, FAT chain and
// allocation bitmap; the file system's checker must find them sound.

#include <gtest/gtest.h>

#include "support/cards.hpp"
#include "support/shell_run.hpp"
#include "support/temp_dir.hpp"

namespace tav::test {
namespace {

TEST(HugeExfatCard, PassesTheFileSystemCheck) {
    const Card& card = GetCard("huge-exfat");
    ASSERT_TRUE(card.ok()) << card.error;
    TempDir dir;
    const ShellResult fsck =
        RunShell("PATH=\"$PATH:/usr/sbin:/sbin\" fsck.exfat -n " + ShellQuote(card.image.string()),
                 dir.path());
    EXPECT_EQ(fsck.exit_code, 0) << fsck.out << fsck.err;
    EXPECT_NE(fsck.out.find("files 2"), std::string::npos) << fsck.out;  // the in-use clips
}

}  // namespace
}  // namespace tav::test
