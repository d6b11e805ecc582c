#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <system_error>

#include "cardgen/card.hpp"
#include "support/card_images.hpp"

namespace tav::test {
namespace {

namespace fs = std::filesystem;

// An exclusive flock on a file, held for the object's lifetime.
class FileLock {
  public:
    explicit FileLock(const fs::path& path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(fd_);
                fd_ = -1;
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) close(fd_);  // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool ok() const { return fd_ >= 0; }

  private:
    int fd_;
};

}  // namespace

void ObtainCardImage(Card& card, const std::string& kind, const std::string& clips) {
    FileLock lock(fs::path(card.image).replace_extension(".lock"));
    if (!lock.ok()) {
        card.error = "cannot lock " + card.image.parent_path().string();
        return;
    }
    if (LoadExistingCard(card)) return;
    cardgen::CardRequest request;
    request.kind = kind;
    request.out = card.image;
    request.seed = kCardSeed;
    request.clips = clips;
    request.clip_cache = TestClipCache();
    if (kind == "large") request.size_mib = 64, request.files = 4;
    // A 6 GiB clip and a little room beside it: the scan reads every free cluster.
    if (kind == "huge-exfat")
        request.size_mib = 6656, request.files = 4, request.big_clip_mib = 6144;
    std::error_code ec;
    fs::remove(cardgen::ManifestPathFor(card.image), ec);
    auto manifest = cardgen::GenerateCard(request);
    if (!manifest) {
        card.error = kind + ": " + manifest.error();
        return;
    }
    card.manifest = std::move(*manifest);
}

}  // namespace tav::test
