#pragma once
// A lost-header file's bytes across the pieces the file system split it
// into: read by file offset, and told where a further piece starts when the
// media walk stops at bytes that are no longer the stream. Like the split
// follow of paired files (media_follow.hpp), a piece starts on a cluster
// boundary, on a usable cluster of the area and outside the pieces taken;
// without sample tables, the stream's own units tell where it goes on.

#include <cstdint>
#include <functional>
#include <vector>

#include "recovery/media_walk.hpp"
#include "scan/media_follow.hpp"

namespace tav {

class PiecedFile : public MediaBytes, public MediaContinuation {
  public:
    // source: the whole source by its offsets; head: the file's first byte
    // there. No setup: the file is not followed past its first piece.
    PiecedFile(const MediaBytes& source, std::int64_t head, const FollowSetup* setup);

    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;
    bool Continue(std::uint64_t sure_to, std::uint64_t stop,
                  const std::function<bool()>& fits) override;

    // In file order, the first at file offset 0.
    const std::vector<MediaPiece>& pieces() const { return pieces_; }

  private:
    std::int64_t ToSource(std::uint64_t file_offset) const;
    std::int64_t ClusterOf(std::int64_t source) const;
    bool Usable(std::int64_t source) const;
    std::vector<std::uint64_t> Boundaries(std::uint64_t sure_to, std::uint64_t stop) const;
    bool WorthTrying(std::int64_t base, std::uint64_t from) const;
    int Doubts(std::int64_t base, std::uint64_t from, std::uint64_t to) const;
    std::uint64_t ChooseBoundary(const std::vector<std::uint64_t>& boundaries, std::uint64_t stop,
                                 std::int64_t old_base, std::int64_t base) const;

    const MediaBytes& source_;
    const FollowSetup* setup_;
    std::vector<MediaPiece> pieces_;
};

}  // namespace tav
