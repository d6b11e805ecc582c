#include "disk/volume_label.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "disk/free_space_map.hpp"
#include "disk/measure.hpp"
#include "disk/mft_record.hpp"

namespace tav {
namespace {

constexpr std::uint8_t kExtendedBootSignature = 0x29;
constexpr std::uint32_t kVolumeNameType = 0x60;
constexpr int kVolumeRecord = 3;

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string NtfsLabel(const SourceReader& source, const TDiskInfo& info) {
    const auto size = MftRecordSize(info.MftRecordCode, info.BytesPerCluster);
    if (!size || info.MftStartSector >= info.TotalSectors) return {};
    std::vector<std::uint8_t> record(*size);
    source.read_at(info.MftStartSector * info.BytesPerSector + std::int64_t{kVolumeRecord} * *size,
                   record);
    if (!ApplyFixup(record, info.BytesPerSector)) return {};
    const auto attribute = FindAttribute(ByteView(record), kVolumeNameType, false);
    const auto value = attribute ? ResidentValueOf(*attribute) : std::nullopt;
    return value ? Utf16LeToUtf8(*value) : std::string{};
}

// exFAT keeps its label in a directory entry (type 0x83) at the start of the
// root directory: a character count and up to 11 UTF-16 characters.
std::string ExfatLabel(const SourceReader& source, const TDiskInfo& info) {
    constexpr std::uint8_t kLabelEntry = 0x83;
    const std::int64_t offset =
        (info.DataStartSector + (std::int64_t{info.RootDirCluster} - 2) * info.SectorsPerCluster) *
        info.BytesPerSector;
    std::vector<std::uint8_t> block(std::min<std::uint32_t>(info.BytesPerCluster, 65536));
    if (info.RootDirCluster < 2 || source.read_at(offset, block).bytes < block.size()) return {};
    const ByteView dir(block);
    for (std::size_t at = 0; at + 32 <= block.size(); at += 32) {
        const std::uint8_t type = dir.u8(at).value_or(0);
        if (type == 0) break;
        if (type != kLabelEntry) continue;
        const std::size_t chars = std::min<std::size_t>(dir.u8(at + 1).value_or(0), 11);
        return Utf16LeToUtf8(dir.sub(at + 2, chars * 2));
    }
    return {};
}

}  // namespace

std::string FatBootLabel(ByteView sector0) {
    const ByteView b = sector0;
    std::size_t signature = 0;
    if (b.matches(0x52, "FAT32"))
        signature = 0x42;
    else if (b.matches(0x36, "FAT1"))
        signature = 0x26;
    else
        return {};
    if (b.u8(signature) != kExtendedBootSignature || !b.has(signature + 5, 11)) return {};
    const ByteView field = b.sub(signature + 5, 11);
    std::string label(reinterpret_cast<const char*>(field.data()), field.size());
    label = Trimmed(label);
    return label == "NO NAME" ? std::string{} : label;
}

std::string Utf16LeToUtf8(ByteView text) {
    std::string out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        std::uint32_t cp = text.le16(i).value_or(0);
        if (cp >= 0xD800 && cp < 0xDC00) {
            const auto low = text.le16(i + 2);
            if (low && *low >= 0xDC00 && *low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
                i += 2;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xDC00 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string ReadVolumeLabel(const SourceReader& source) {
    std::array<std::uint8_t, 4096> block{};
    if (source.read_at(0, block).bytes < 512) return {};
    const std::span<const std::uint8_t> sector0(block.data(), 512);
    const auto info = ParseBootSector(sector0);
    if (!info) return {};
    if (info->FileSystem == "NTFS") return NtfsLabel(source, *info);
    if (info->FileSystem == "exFAT") return ExfatLabel(source, *info);
    return FatBootLabel(ByteView(sector0));
}

}  // namespace tav
