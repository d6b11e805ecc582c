// A lost header rebuilt from a reference: the reference's movie atom parsed,
// a start region walked, a new movie atom written. Whatever the bytes, the
// rebuilt header must describe exactly the bytes the file keeps.
//
// Input: the reference's "moov" bytes, then the start region from its
// "ftyp" on, then a trailer that FuzzedDataProvider takes from the end: the
// length of the moov part (32 bits, last, little-endian).

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "fuzz_support.hpp"
#include "recovery/header_rebuild.hpp"
#include "scan/movie_tracks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto moov_length = input.ConsumeIntegral<std::uint32_t>();
    const std::vector<std::uint8_t> rest = input.ConsumeRemainingBytes<std::uint8_t>();
    if (moov_length > rest.size()) return 0;
    const tav::ByteView moov(rest.data(), moov_length);
    const tav::ByteView region(rest.data() + moov_length, rest.size() - moov_length);

    const auto reference = tav::ParseReferenceMovie(moov);
    if (!reference) return 0;
    const auto file = tav::RebuildHeader(tav::ViewBytes(region), {*reference});
    if (!file) return 0;
    TAV_FUZZ_CHECK(file->frames > 0);
    TAV_FUZZ_CHECK(file->copy_length <= region.size());
    TAV_FUZZ_CHECK(file->patch.empty() || file->patch_at + file->patch.size() <= file->copy_length);
    const auto tracks = tav::ParseMovieTracks(tav::ByteView(file->moov));
    TAV_FUZZ_CHECK(tracks.has_value());
    TAV_FUZZ_CHECK(tracks->video()->samples == file->frames);
    TAV_FUZZ_CHECK(tracks->media_end() == file->copy_length);
    return 0;
}
