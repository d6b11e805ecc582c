#include "cardgen/atom_reader.hpp"

namespace tav::cardgen {

std::optional<Atom> ReadAtomAt(ByteView data, std::size_t offset) {
    const auto size32 = data.be32(offset);
    if (!size32 || !data.has(offset + 4, 4)) return std::nullopt;
    Atom atom;
    atom.offset = offset;
    atom.type.assign(reinterpret_cast<const char*>(data.data() + offset + 4), 4);
    atom.size = *size32;
    if (*size32 == 1) {
        const auto size64 = data.be64(offset + 8);
        if (!size64) return std::nullopt;
        atom.header = 16;
        atom.size = *size64;
    } else if (*size32 == 0) {
        atom.size = data.size() - offset;
    }
    if (atom.size < atom.header || !data.has(offset, atom.size)) return std::nullopt;
    return atom;
}

std::vector<Atom> ReadAtoms(ByteView data, std::size_t begin, std::size_t end) {
    std::vector<Atom> atoms;
    const ByteView bounded = data.sub(0, end);
    for (std::size_t p = begin; p < end;) {
        const auto atom = ReadAtomAt(bounded, p);
        if (!atom) break;
        atoms.push_back(*atom);
        p = atom->end();
    }
    return atoms;
}

std::vector<Atom> Children(ByteView data, const Atom& parent, std::size_t skip) {
    return ReadAtoms(data, parent.body_offset() + skip, parent.end());
}

namespace {

std::optional<Atom> FindIn(ByteView data, std::vector<Atom> level, std::string_view path) {
    while (true) {
        const std::size_t slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        const Atom* found = nullptr;
        for (const Atom& a : level)
            if (a.type == name) {
                found = &a;
                break;
            }
        if (!found) return std::nullopt;
        if (slash == std::string_view::npos) return *found;
        path.remove_prefix(slash + 1);
        level = Children(data, *found, found->type == "stsd" ? 8 : 0);
    }
}

}  // namespace

std::optional<Atom> FindPath(ByteView data, std::string_view path) {
    return FindIn(data, ReadAtoms(data, 0, data.size()), path);
}

std::optional<Atom> FindPath(ByteView data, const Atom& from, std::string_view path) {
    return FindIn(data, Children(data, from, from.type == "stsd" ? 8 : 0), path);
}

}  // namespace tav::cardgen
