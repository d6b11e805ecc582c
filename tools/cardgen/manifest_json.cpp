#include <charconv>
#include <map>
#include <optional>
#include <sstream>

#include "cardgen/card.hpp"
#include "cardgen/manifest.hpp"

namespace tav::cardgen {
namespace {

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Bool(bool b) {
    return b ? "true" : "false";
}

std::string FileToJson(const ManifestFile& f) {
    std::ostringstream o;
    o << "{\"name\": " << Quote(f.name) << ", \"state\": " << Quote(f.state)
      << ", \"head_offset\": " << f.head_offset << ", \"moov_offset\": " << f.moov_offset
      << ", \"length\": " << f.length << ", \"head_length\": " << f.head_length
      << ", \"moov_length\": " << f.moov_length << ", \"frames\": " << f.frames
      << ", \"date\": " << Quote(f.date) << ", \"time\": " << Quote(f.time)
      << ", \"aud\": " << Bool(f.aud) << ", \"mdat64\": " << Bool(f.mdat64)
      << ", \"co64\": " << Bool(f.co64) << ", \"sound\": " << Bool(f.sound)
      << ", \"cnmn\": " << Bool(f.cnmn) << ", \"split\": " << Bool(f.split)
      << ", \"last_frame_verifies\": " << Bool(f.last_frame_verifies)
      << ", \"brand\": " << Quote(f.brand) << ", \"video_codec\": " << Quote(f.video_codec)
      << ", \"sound_codec\": " << Quote(f.sound_codec) << ", \"moov_first\": " << Bool(f.moov_first)
      << ", \"tagged\": " << Bool(f.tagged) << ", \"extension\": " << Quote(f.extension)
      << ", \"file_fnv1a64\": " << Quote(f.file_hash)
      << ", \"head_fnv1a64\": " << Quote(f.head_hash)
      << ", \"moov_fnv1a64\": " << Quote(f.moov_hash);
    if (!f.fragments.empty()) {
        o << ", \"runs\": " << f.fragments.size() << ", \"fragments\": [";
        for (std::size_t i = 0; i < f.fragments.size(); ++i)
            o << (i ? ", [" : "[") << f.fragments[i].offset << ", " << f.fragments[i].length << "]";
        o << "]";
    }
    if (!f.reference.empty()) o << ", \"reference\": " << Quote(f.reference);
    if (!f.original.empty()) o << ", \"original\": " << Quote(f.original);
    o << "}";
    return o.str();
}

using Pairs = std::map<std::string, std::string, std::less<>>;

// Reads a JSON string starting at the opening quote; advances pos past it.
std::optional<std::string> ReadString(std::string_view s, std::size_t& pos) {
    if (pos >= s.size() || s[pos] != '"') return std::nullopt;
    std::string out;
    for (++pos; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '"') return ++pos, out;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++pos >= s.size()) return std::nullopt;
        if (s[pos] == 'u') {
            unsigned v = 0;
            if (pos + 4 >= s.size() ||
                std::from_chars(s.data() + pos + 1, s.data() + pos + 5, v, 16).ec != std::errc())
                return std::nullopt;
            out += static_cast<char>(v);
            pos += 4;
        } else {
            out += s[pos];
        }
    }
    return std::nullopt;
}

// The "key": value pairs of one line (strings unquoted, other values as written).
Pairs ReadPairs(std::string_view line) {
    Pairs pairs;
    std::size_t pos = 0;
    while ((pos = line.find('"', pos)) != std::string_view::npos) {
        const auto key = ReadString(line, pos);
        if (!key) break;
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == ':')) ++pos;
        if (pos < line.size() && line[pos] == '"') {
            const auto value = ReadString(line, pos);
            if (!value) break;
            pairs[*key] = *value;
        } else {
            const std::size_t end = line.find_first_of(",}\n[", pos);
            pairs[*key] = std::string(line.substr(pos, end - pos));
            if (end == std::string_view::npos) break;
            pos = end;
        }
    }
    return pairs;
}

std::int64_t Int(const Pairs& p, std::string_view key) {
    const auto it = p.find(key);
    std::int64_t v = 0;
    if (it != p.end()) std::from_chars(it->second.data(), it->second.data() + it->second.size(), v);
    return v;
}

std::string Text(const Pairs& p, std::string_view key) {
    const auto it = p.find(key);
    return it == p.end() ? std::string() : it->second;
}

bool Flag(const Pairs& p, std::string_view key) {
    return Text(p, key) == "true";
}

// The [[offset, length], ...] list after "fragments" on a file's line.
std::vector<Fragment> ReadFragments(std::string_view line) {
    std::vector<Fragment> out;
    const std::string_view key = "\"fragments\": [";
    std::size_t pos = line.find(key);
    if (pos == std::string_view::npos) return out;
    pos += key.size();
    std::int64_t values[2];
    while (pos < line.size() && line[pos] == '[') {
        for (std::int64_t& v : values) {
            pos = line.find_first_of("-0123456789", pos);
            if (pos == std::string_view::npos) return out;
            const auto r = std::from_chars(line.data() + pos, line.data() + line.size(), v);
            pos = static_cast<std::size_t>(r.ptr - line.data());
        }
        out.push_back({values[0], values[1]});
        pos = line.find(']', pos);
        if (pos == std::string_view::npos) return out;
        pos = line.find_first_of("[]", pos + 1);
    }
    return out;
}

ManifestFile FileFromPairs(const Pairs& p) {
    ManifestFile f;
    f.name = Text(p, "name");
    f.state = Text(p, "state");
    f.head_offset = Int(p, "head_offset");
    f.moov_offset = Int(p, "moov_offset");
    f.length = Int(p, "length");
    f.head_length = Int(p, "head_length");
    f.moov_length = Int(p, "moov_length");
    f.frames = static_cast<int>(Int(p, "frames"));
    f.date = Text(p, "date");
    f.time = Text(p, "time");
    f.aud = Flag(p, "aud");
    f.mdat64 = Flag(p, "mdat64");
    f.co64 = Flag(p, "co64");
    f.sound = Flag(p, "sound");
    f.cnmn = Flag(p, "cnmn");
    f.split = Flag(p, "split");
    f.last_frame_verifies = Flag(p, "last_frame_verifies");
    f.file_hash = Text(p, "file_fnv1a64");
    f.head_hash = Text(p, "head_fnv1a64");
    f.moov_hash = Text(p, "moov_fnv1a64");
    // Older manifests list camera files only.
    if (p.count("brand")) {
        f.brand = Text(p, "brand");
        f.video_codec = Text(p, "video_codec");
        f.sound_codec = Text(p, "sound_codec");
        f.moov_first = Flag(p, "moov_first");
        f.tagged = Flag(p, "tagged");
        f.extension = Text(p, "extension");
    } else if (f.sound) {
        f.sound_codec = "sowt";
    }
    f.reference = Text(p, "reference");
    f.original = Text(p, "original");
    return f;
}

}  // namespace

std::string ManifestToJson(const Manifest& m) {
    std::ostringstream o;
    o << "{\n  \"kind\": " << Quote(m.kind) << ",\n  \"seed\": " << m.seed
      << ",\n  \"image\": " << Quote(m.image) << ",\n  \"image_size\": " << m.image_size
      << ",\n  \"partition_offset\": " << m.partition_offset
      << ",\n  \"file_system\": " << Quote(m.file_system) << ",\n  \"note\": " << Quote(m.note)
      << ",\n  \"files\": [\n";
    for (std::size_t i = 0; i < m.files.size(); ++i)
        o << "    " << FileToJson(m.files[i]) << (i + 1 < m.files.size() ? ",\n" : "\n");
    o << "  ]\n}\n";
    return o.str();
}

// Beside the image, named after it.
std::filesystem::path ManifestPathFor(const std::filesystem::path& image) {
    return std::filesystem::path(image.string() + ".manifest.json");
}

std::expected<Manifest, std::string> ManifestFromJson(std::string_view text) {
    Manifest m;
    Pairs header;
    bool in_files = false;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);) {
        const std::size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        if (line.compare(first, 2, "{\"") == 0 && in_files) {
            m.files.push_back(FileFromPairs(ReadPairs(line)));
            m.files.back().fragments = ReadFragments(line);
        } else if (line[first] == '"') {
            const Pairs p = ReadPairs(line);
            if (p.count("files")) in_files = true;
            header.insert(p.begin(), p.end());
        }
    }
    if (!header.count("kind") || !header.count("image")) return std::unexpected("not a manifest");
    m.kind = Text(header, "kind");
    m.seed = static_cast<std::uint64_t>(Int(header, "seed"));
    m.image = Text(header, "image");
    m.image_size = Int(header, "image_size");
    m.partition_offset = Int(header, "partition_offset");
    m.file_system = Text(header, "file_system");
    m.note = Text(header, "note");
    return m;
}

}  // namespace tav::cardgen
