#include "recovery/largest_chunk.hpp"

#include <algorithm>

#include "scan/atom_tree.hpp"

namespace tav {

std::optional<std::uint64_t> LargestChunkBytes(ByteView stbl) {
    const Atom stsz = Child(stbl, "stsz");
    const Atom stsc = Child(stbl, "stsc");
    Atom offsets = Child(stbl, "stco");
    if (!offsets.found) offsets = Child(stbl, "co64");
    if (!stsz.found || !stsc.found || !offsets.found) return std::nullopt;
    const auto uniform = stsz.body.be32(4);
    const auto samples = stsz.body.be32(8);
    const auto chunks = offsets.body.be32(4);
    const auto runs = ReadStsc(stsc.body);
    if (!uniform || !samples || !chunks || !runs || *chunks > kMostTableEntries ||
        *samples > kMostTableEntries)
        return std::nullopt;
    if (*uniform != 0) {
        std::uint64_t most = 0;
        for (const ChunkRun& r : *runs) most = std::max<std::uint64_t>(most, r.samples);
        return most * *uniform;
    }
    if (!stsz.body.has(12, std::size_t{*samples} * 4)) return std::nullopt;
    std::uint64_t most = 0;
    std::size_t run = 0;
    std::uint64_t sample = 0;
    for (std::uint64_t chunk = 1; chunk <= *chunks && sample < *samples; ++chunk) {
        while (run + 1 < runs->size() && (*runs)[run + 1].first_chunk <= chunk) ++run;
        std::uint64_t bytes = 0;
        for (std::uint32_t k = 0; k < (*runs)[run].samples && sample < *samples; ++k, ++sample)
            bytes += stsz.body.be32(12 + static_cast<std::size_t>(sample) * 4).value_or(0);
        most = std::max(most, bytes);
    }
    return most;
}

std::optional<std::uint64_t> LargestSampleBytes(ByteView stbl) {
    const Atom stsz = Child(stbl, "stsz");
    const auto uniform = stsz.body.be32(4);
    const auto samples = stsz.body.be32(8);
    if (!stsz.found || !uniform || !samples || *samples > kMostTableEntries) return std::nullopt;
    if (*uniform != 0) return *uniform;
    if (!stsz.body.has(12, std::size_t{*samples} * 4)) return std::nullopt;
    std::uint64_t most = 0;
    for (std::size_t k = 0; k < *samples; ++k)
        most = std::max<std::uint64_t>(most, stsz.body.be32(12 + k * 4).value_or(0));
    return most;
}

}  // namespace tav
