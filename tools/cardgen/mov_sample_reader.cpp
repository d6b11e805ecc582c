#include "cardgen/mov_sample_reader.hpp"

#include <vector>

#include "cardgen/atom_reader.hpp"

namespace tav::cardgen {
namespace {

using Error = std::unexpected<std::string>;

struct StscEntry {
    std::uint32_t first_chunk = 0, samples_per_chunk = 0;
};

std::optional<Atom> FindVideoTrack(ByteView file) {
    const auto moov = FindPath(file, "moov");
    if (!moov) return std::nullopt;
    for (const Atom& trak : Children(file, *moov)) {
        if (trak.type != "trak") continue;
        const auto hdlr = FindPath(file, trak, "mdia/hdlr");
        if (hdlr && file.matches(hdlr->body_offset() + 8, "vide")) return trak;
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint32_t>> ReadSizes(ByteView file, const Atom& stsz) {
    const std::size_t b = stsz.body_offset();
    const auto common = file.be32(b + 4), count = file.be32(b + 8);
    if (!common || !count || !file.has(b + 12, *common ? 0 : std::size_t{*count} * 4))
        return std::nullopt;
    std::vector<std::uint32_t> sizes(*count, *common);
    if (*common == 0)
        for (std::uint32_t i = 0; i < *count; ++i) sizes[i] = file.be32(b + 12 + 4 * i).value_or(0);
    return sizes;
}

std::optional<std::vector<std::uint64_t>> ReadChunkOffsets(ByteView file, const Atom& stco) {
    const std::size_t b = stco.body_offset();
    const std::size_t width = stco.type == "co64" ? 8 : 4;
    const auto count = file.be32(b + 4);
    if (!count || !file.has(b + 8, std::size_t{*count} * width)) return std::nullopt;
    std::vector<std::uint64_t> offsets(*count);
    for (std::uint32_t i = 0; i < *count; ++i)
        offsets[i] = width == 8 ? file.be64(b + 8 + 8 * i).value_or(0)
                                : file.be32(b + 8 + 4 * i).value_or(0);
    return offsets;
}

std::optional<std::vector<StscEntry>> ReadStsc(ByteView file, const Atom& stsc) {
    const std::size_t b = stsc.body_offset();
    const auto count = file.be32(b + 4);
    if (!count || !file.has(b + 8, std::size_t{*count} * 12)) return std::nullopt;
    std::vector<StscEntry> entries(*count);
    for (std::uint32_t i = 0; i < *count; ++i)
        entries[i] = {file.be32(b + 8 + 12 * i).value_or(0),
                      file.be32(b + 12 + 12 * i).value_or(0)};
    return entries;
}

// File offsets of every sample, from the chunk offsets and the chunk map.
std::vector<std::uint64_t> SampleOffsets(const std::vector<std::uint64_t>& chunks,
                                         const std::vector<StscEntry>& stsc,
                                         const std::vector<std::uint32_t>& sizes) {
    std::vector<std::uint64_t> offsets;
    std::size_t entry = 0;
    for (std::size_t c = 0; c < chunks.size() && offsets.size() < sizes.size(); ++c) {
        while (entry + 1 < stsc.size() && stsc[entry + 1].first_chunk <= c + 1) ++entry;
        std::uint64_t at = chunks[c];
        const std::uint32_t per_chunk = stsc.empty() ? 1 : stsc[entry].samples_per_chunk;
        for (std::uint32_t s = 0; s < per_chunk && offsets.size() < sizes.size(); ++s) {
            offsets.push_back(at);
            at += sizes[offsets.size() - 1];
        }
    }
    return offsets;
}

}  // namespace

std::expected<EncodedClip, std::string> ReadVideoSamples(ByteView file) {
    const auto trak = FindVideoTrack(file);
    if (!trak) return Error("no video track");
    const auto stbl = FindPath(file, *trak, "mdia/minf/stbl");
    if (!stbl) return Error("no sample table");
    const auto stsd = FindPath(file, *stbl, "stsd");
    const auto stsz = FindPath(file, *stbl, "stsz");
    const auto stsc = FindPath(file, *stbl, "stsc");
    auto stco = FindPath(file, *stbl, "stco");
    if (!stco) stco = FindPath(file, *stbl, "co64");
    if (!stsd || !stsz || !stsc || !stco) return Error("incomplete sample table");
    const auto entries = Children(file, *stsd, 8);
    if (entries.empty()) return Error("no sample description");
    const auto sizes = ReadSizes(file, *stsz);
    const auto chunks = ReadChunkOffsets(file, *stco);
    const auto map = ReadStsc(file, *stsc);
    if (!sizes || !chunks || !map) return Error("sample table runs past its atom");
    const auto offsets = SampleOffsets(*chunks, *map, *sizes);
    if (offsets.size() != sizes->size()) return Error("fewer chunks than samples");

    EncodedClip clip;
    const Atom& entry = entries.front();
    clip.stsd_entry.assign(file.data() + entry.offset, file.data() + entry.end());
    clip.width = file.be16(entry.offset + 32).value_or(0);
    clip.height = file.be16(entry.offset + 34).value_or(0);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (!file.has(offsets[i], (*sizes)[i])) return Error("sample outside the file");
        const std::uint8_t* at = file.data() + offsets[i];
        clip.frames.emplace_back(at, at + (*sizes)[i]);
    }
    return clip;
}

}  // namespace tav::cardgen
