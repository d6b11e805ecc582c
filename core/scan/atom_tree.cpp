#include "scan/atom_tree.hpp"

namespace tav {

namespace {

// Calls f(body) for each child of that type up to the first atom that does not
// fit; stops when f answers false.
template <class F>
void EachChild(ByteView body, const char* type, F&& f) {
    std::size_t at = 0;
    while (body.has(at, 8)) {
        const std::uint32_t size32 = body.be32(at).value_or(0);
        std::uint64_t size = size32;
        std::size_t header = 8;
        if (size32 == 1) {
            size = body.be64(at + 8).value_or(0);
            header = 16;
        } else if (size32 == 0) {
            size = body.size() - at;
        }
        if (size < header || size > body.size() - at) return;
        if (body.matches(at + 4, type) &&
            !f(body.sub(at + header, static_cast<std::size_t>(size) - header)))
            return;
        at += static_cast<std::size_t>(size);
    }
}

}  // namespace

Atom Child(ByteView body, const char* type) {
    Atom found;
    EachChild(body, type, [&](ByteView child) {
        found = {child, true};
        return false;
    });
    return found;
}

std::vector<Atom> Children(ByteView body, const char* type) {
    std::vector<Atom> all;
    EachChild(body, type, [&](ByteView child) {
        all.push_back({child, true});
        return true;
    });
    return all;
}

Atom Path(ByteView body, std::initializer_list<const char*> types) {
    Atom a{body, true};
    for (const char* t : types) {
        a = Child(a.body, t);
        if (!a.found) return {};
    }
    return a;
}

std::optional<std::vector<ChunkRun>> ReadStsc(ByteView stsc) {
    const auto count = stsc.be32(4);
    if (!count || *count == 0 || *count > kMostTableEntries ||
        !stsc.has(8, std::size_t{*count} * 12))
        return std::nullopt;
    std::vector<ChunkRun> runs;
    for (std::uint32_t k = 0; k < *count; ++k) {
        const std::uint32_t first = stsc.be32(8 + std::size_t{k} * 12).value_or(0);
        const std::uint32_t samples = stsc.be32(12 + std::size_t{k} * 12).value_or(0);
        if (first == 0 || samples == 0 || (!runs.empty() && first <= runs.back().first_chunk))
            return std::nullopt;
        runs.push_back({first, samples});
    }
    return runs;
}

}  // namespace tav
