#include "support/faulty_mount.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/shell_run.hpp"

namespace tav::test {

namespace {

const char* const kScript = TAV_TESTS_DIR "/support/faulty_mount.py";

}  // namespace

FaultyMount::FaultyMount(const std::filesystem::path& image, const std::vector<ByteRange>& failing,
                         const std::filesystem::path& mount_point, std::int64_t vanish_at)
    : mount_point_(mount_point) {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        why_ = "no /dev/fuse";
        return;
    }
    if (std::system("/usr/bin/python3 -c 'import fusepy' >/dev/null 2>&1") != 0) {
        why_ = "python3-fusepy is not installed";
        return;
    }
    std::filesystem::create_directories(mount_point);
    std::string cmd = "/usr/bin/python3 " + ShellQuote(kScript) + " " + ShellQuote(image.string()) +
                      " " + ShellQuote(mount_point.string());
    for (const ByteRange& r : failing)
        cmd += " " + std::to_string(r.offset) + ":" + std::to_string(r.length);
    if (vanish_at >= 0) cmd += " vanish:" + std::to_string(vanish_at);
    cmd += " </dev/null >/dev/null 2>&1 &";
    if (std::system(cmd.c_str()) != 0) {
        why_ = "could not start the FUSE helper";
        return;
    }
    for (int i = 0; i < 100 && !mounted_; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        mounted_ = std::filesystem::exists(mount_point / "card.img");
    }
    if (!mounted_) why_ = "the FUSE mount did not appear";
}

FaultyMount::~FaultyMount() {
    // Unmounting ends the helper process too.
    const std::string cmd = "fusermount -u " + ShellQuote(mount_point_.string()) + " 2>/dev/null";
    for (int i = 0; i < 20 && std::system(cmd.c_str()) != 0 && mounted_; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

}  // namespace tav::test
