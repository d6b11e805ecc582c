#include "cardgen/exfat_volume.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

#include "common/byte_order.hpp"
#include "common/byte_view.hpp"

namespace tav::cardgen {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kEntry = 32;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFF;
constexpr std::size_t kNameCharsPerEntry = 15;

std::expected<Bytes, std::string> ReadAt(std::fstream& io, std::int64_t offset,
                                         std::int64_t length) {
    Bytes out(static_cast<std::size_t>(length));
    io.seekg(offset);
    if (!io.read(reinterpret_cast<char*>(out.data()), length))
        return std::unexpected("cannot read the exFAT volume at " + std::to_string(offset));
    return out;
}

bool WriteAt(std::fstream& io, std::int64_t offset, std::span<const std::uint8_t> bytes) {
    io.seekp(offset);
    io.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(io);
}

// Upper-cased as the default up-case table does for ASCII, which is all a
// generated name holds.
std::uint16_t NameHash(const std::string& name) {
    std::uint16_t hash = 0;
    for (const char c : name) {
        const auto upper = static_cast<std::uint16_t>(std::toupper(static_cast<unsigned char>(c)));
        for (const std::uint8_t b :
             {static_cast<std::uint8_t>(upper & 0xFF), static_cast<std::uint8_t>(upper >> 8)})
            hash = static_cast<std::uint16_t>(((hash & 1) ? 0x8000 : 0) + (hash >> 1) + b);
    }
    return hash;
}

// File, stream extension and name entries; the checksum covers the set as
// written, before a deletion clears the in-use bits.
Bytes EntrySet(const ExfatFile& f, std::uint32_t first_cluster) {
    const std::size_t names = (f.name.size() + kNameCharsPerEntry - 1) / kNameCharsPerEntry;
    Bytes set(static_cast<std::size_t>(kEntry) * (2 + names), 0);
    std::uint8_t* file = set.data();
    file[0] = 0x85;
    file[1] = static_cast<std::uint8_t>(1 + names);
    store_le16(file + 4, 0x20);  // archive
    for (const int at : {8, 12, 16}) store_le32(file + at, f.dos_time);
    std::uint8_t* stream = file + kEntry;
    stream[0] = 0xC0;
    stream[1] = f.length > 0 ? 0x03 : 0x01;  // allocation possible, no FAT chain
    stream[3] = static_cast<std::uint8_t>(f.name.size());
    store_le16(stream + 4, NameHash(f.name));
    store_le64(stream + 8, static_cast<std::uint64_t>(f.length));
    store_le32(stream + 20, f.length > 0 ? first_cluster : 0);
    store_le64(stream + 24, static_cast<std::uint64_t>(f.length));
    for (std::size_t i = 0; i < f.name.size(); ++i) {
        std::uint8_t* entry = file + kEntry * static_cast<std::int64_t>(2 + i / kNameCharsPerEntry);
        entry[0] = 0xC1;
        store_le16(entry + 2 + 2 * (i % kNameCharsPerEntry), static_cast<std::uint8_t>(f.name[i]));
    }
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < set.size(); ++i)
        if (i != 2 && i != 3)
            sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + set[i]);
    store_le16(file + 2, sum);
    if (f.deleted)
        for (std::size_t at = 0; at < set.size(); at += kEntry) set[at] &= 0x7F;
    return set;
}

}  // namespace

std::uint32_t DosTime(const std::string& date, const std::string& time) {
    int y = 2012, mo = 1, d = 1, h = 0, mi = 0, s = 0;
    std::sscanf(date.c_str(), "%d:%d:%d", &y, &mo, &d);
    std::sscanf(time.c_str(), "%d:%d:%d", &h, &mi, &s);
    return static_cast<std::uint32_t>(std::clamp(y - 1980, 0, 127)) << 25 |
           static_cast<std::uint32_t>(mo & 15) << 21 | static_cast<std::uint32_t>(d & 31) << 16 |
           static_cast<std::uint32_t>(h & 31) << 11 | static_cast<std::uint32_t>(mi & 63) << 5 |
           static_cast<std::uint32_t>((s / 2) & 31);
}

std::expected<ExfatVolume, std::string> ExfatVolume::Open(const fs::path& image) {
    std::fstream io(image, std::ios::binary | std::ios::in);
    auto boot = ReadAt(io, 0, 512);
    if (!boot) return std::unexpected(boot.error());
    const ByteView b(*boot);
    if (!b.matches(3, "EXFAT   ")) return std::unexpected("no exFAT volume at the image's start");
    const int sector_shift = b.u8(108).value_or(0), cluster_shift = b.u8(109).value_or(0);
    if (sector_shift < 9 || sector_shift > 12 || sector_shift + cluster_shift > 25)
        return std::unexpected("the exFAT volume's geometry is out of range");
    ExfatVolume v;
    v.image_ = image;
    v.sector_bytes_ = std::int64_t{1} << sector_shift;
    v.cluster_bytes_ = v.sector_bytes_ << cluster_shift;
    v.fat_offset_ = *b.le32(80) * v.sector_bytes_;
    v.fat_bytes_ = *b.le32(84) * v.sector_bytes_;
    v.heap_offset_ = *b.le32(88) * v.sector_bytes_;
    v.cluster_count_ = *b.le32(92);
    v.root_cluster_ = *b.le32(96);
    v.fat_copies_ = std::max(1, static_cast<int>(*b.u8(110)));
    if (v.fat_bytes_ < (v.cluster_count_ + 2) * 4 || v.root_cluster_ < 2)
        return std::unexpected("the exFAT volume's FAT is too small");

    // The allocation bitmap's entry in the root directory's first cluster,
    // where mkfs.exfat puts it.
    auto root = ReadAt(io, v.cluster_offset(v.root_cluster_), v.cluster_bytes_);
    if (!root) return std::unexpected(root.error());
    const ByteView r(*root);
    for (std::size_t at = 0; at + kEntry <= r.size(); at += kEntry) {
        if (*r.u8(at) != 0x81) continue;
        v.bitmap_offset_ = v.cluster_offset(*r.le32(at + 20));
        const std::int64_t length = static_cast<std::int64_t>(*r.le64(at + 24));
        if (length != (v.cluster_count_ + 7) / 8)
            return std::unexpected("the exFAT allocation bitmap has an unexpected size");
        auto bitmap = ReadAt(io, v.bitmap_offset_, length);
        if (!bitmap) return std::unexpected(bitmap.error());
        v.bitmap_ = std::move(*bitmap);
        break;
    }
    if (v.bitmap_.empty()) return std::unexpected("no allocation bitmap in the exFAT root");
    for (std::int64_t n = 0; n < v.cluster_count_; ++n)
        if (v.bitmap_[static_cast<std::size_t>(n / 8)] >> (n % 8) & 1) v.next_free_ = n + 1;
    return v;
}

std::int64_t ExfatVolume::Allocate(std::int64_t length, std::int64_t from) {
    const std::int64_t clusters =
        std::max<std::int64_t>(1, (length + cluster_bytes_ - 1) / cluster_bytes_);
    const std::int64_t start = std::max(from, next_free_);
    if (start + clusters > cluster_count_) return -1;
    next_free_ = start + clusters;
    return cluster_offset(start + 2);
}

std::expected<void, std::string> ExfatVolume::Commit(const std::vector<ExfatFile>& files) {
    std::fstream io(image_, std::ios::binary | std::ios::in | std::ios::out);
    // Every cluster a file holds, deleted or not, stays away from the directory.
    std::vector<bool> taken(static_cast<std::size_t>(cluster_count_));
    for (std::int64_t n = 0; n < cluster_count_; ++n)
        taken[static_cast<std::size_t>(n)] =
            bitmap_[static_cast<std::size_t>(n / 8)] >> (n % 8) & 1;
    Bytes entries;
    for (const ExfatFile& f : files) {
        const std::int64_t first = (f.offset - heap_offset_) / cluster_bytes_;
        const std::int64_t count = (f.length + cluster_bytes_ - 1) / cluster_bytes_;
        if (f.name.empty() || f.name.size() > 255 || first < 0 || first + count > cluster_count_)
            return std::unexpected("cannot put " + f.name + " on the exFAT volume");
        for (std::int64_t n = first; n < first + count; ++n) {
            taken[static_cast<std::size_t>(n)] = true;
            if (!f.deleted) bitmap_[static_cast<std::size_t>(n / 8)] |= 1u << (n % 8);
        }
        const Bytes set = EntrySet(f, static_cast<std::uint32_t>(first + 2));
        entries.insert(entries.end(), set.begin(), set.end());
    }

    // The root directory's chain as mkfs.exfat left it, then free clusters
    // enough for the old entries and the new ones.
    auto fat = ReadAt(io, fat_offset_, (cluster_count_ + 2) * 4);
    if (!fat) return std::unexpected(fat.error());
    std::vector<std::uint32_t> chain;
    for (std::uint32_t c = root_cluster_; c >= 2 && c < cluster_count_ + 2 && chain.size() < 4096;
         c = load_le32(fat->data() + 4 * std::size_t{c}))
        chain.push_back(c);
    Bytes root;
    for (const std::uint32_t c : chain) {
        auto part = ReadAt(io, cluster_offset(c), cluster_bytes_);
        if (!part) return std::unexpected(part.error());
        root.insert(root.end(), part->begin(), part->end());
    }
    std::size_t used = 0;
    while (used + kEntry <= root.size() && root[used] != 0x00) used += kEntry;
    root.resize(used);
    root.insert(root.end(), entries.begin(), entries.end());
    const auto needed = static_cast<std::size_t>(
        (static_cast<std::int64_t>(root.size()) + kEntry + cluster_bytes_ - 1) / cluster_bytes_);
    for (std::int64_t n = 0; chain.size() < needed; ++n) {
        if (n >= cluster_count_) return std::unexpected("no room for the exFAT root directory");
        if (taken[static_cast<std::size_t>(n)]) continue;
        taken[static_cast<std::size_t>(n)] = true;
        bitmap_[static_cast<std::size_t>(n / 8)] |= 1u << (n % 8);
        store_le32(fat->data() + 4 * std::size_t{chain.back()}, static_cast<std::uint32_t>(n + 2));
        chain.push_back(static_cast<std::uint32_t>(n + 2));
        store_le32(fat->data() + 4 * std::size_t{chain.back()}, kEndOfChain);
    }
    root.resize(needed * static_cast<std::size_t>(cluster_bytes_), 0);
    for (std::size_t i = 0; i < chain.size(); ++i)
        if (!WriteAt(io, cluster_offset(chain[i]),
                     std::span(root).subspan(i * static_cast<std::size_t>(cluster_bytes_),
                                             static_cast<std::size_t>(cluster_bytes_))))
            return std::unexpected("cannot write the exFAT root directory");
    for (int copy = 0; copy < fat_copies_; ++copy)
        if (!WriteAt(io, fat_offset_ + copy * fat_bytes_, *fat))
            return std::unexpected("cannot write the exFAT FAT");
    if (!WriteAt(io, bitmap_offset_, bitmap_) || !io.flush())
        return std::unexpected("cannot write the exFAT allocation bitmap");
    return {};
}

}  // namespace tav::cardgen
