// Partition tables of whole-card images and disks: MBR primaries and
// logicals, GPT at both sector sizes, and tables that must not be trusted.

#include <gtest/gtest.h>

#include <map>

#include "common/byte_order.hpp"
#include "disk/partition_table.hpp"

namespace tav {
namespace {

// A sparse disk in memory: sectors written by the test, zeros elsewhere.
class SparseDisk : public SourceDevice {
  public:
    explicit SparseDisk(std::int64_t size) : size_(size) {}
    std::vector<std::uint8_t>& at(std::int64_t offset) {
        auto& bytes = blocks_[offset];
        bytes.resize(512);
        return bytes;
    }
    DeviceRead read(std::int64_t offset, std::span<std::uint8_t> buf) const override {
        const auto n = static_cast<std::size_t>(
            std::clamp<std::int64_t>(size_ - offset, 0, static_cast<std::int64_t>(buf.size())));
        std::fill_n(buf.begin(), n, 0);
        for (const auto& [at, bytes] : blocks_)
            for (std::size_t k = 0; k < bytes.size(); ++k) {
                const std::int64_t pos = at + static_cast<std::int64_t>(k) - offset;
                if (pos >= 0 && pos < static_cast<std::int64_t>(n))
                    buf[static_cast<std::size_t>(pos)] = bytes[k];
            }
        return {n, 0};
    }
    std::int64_t size() const override { return size_; }

  private:
    std::int64_t size_;
    std::map<std::int64_t, std::vector<std::uint8_t>> blocks_;
};

constexpr std::int64_t kDisk = 64LL << 20;

void Slot(std::vector<std::uint8_t>& sector, int k, std::uint8_t type, std::uint32_t first,
          std::uint32_t count) {
    const std::size_t at = 446 + 16 * static_cast<std::size_t>(k);
    sector[at + 4] = type;
    store_le32(&sector[at + 8], first);
    store_le32(&sector[at + 12], count);
    sector[510] = 0x55;
    sector[511] = 0xAA;
}

void FatBootSector(std::vector<std::uint8_t>& sector) {
    sector[0] = 0xEB;
    store_le16(&sector[0x0B], 512);
    sector[0x0D] = 8;
    store_le16(&sector[0x0E], 32);
    sector[0x10] = 2;
    store_le32(&sector[0x20], 65536);
    store_le32(&sector[0x24], 64);
    std::copy_n("FAT32", 5, &sector[0x52]);
    sector[510] = 0x55;
    sector[511] = 0xAA;
}

void GptHeaderAt(SparseDisk& d, std::int64_t unit, std::uint32_t entries) {
    auto& h = d.at(unit);
    std::copy_n("EFI PART", 8, h.begin());
    store_le64(&h[0x48], 2);
    store_le32(&h[0x50], entries);
    store_le32(&h[0x54], 128);
}

void GptEntry(SparseDisk& d, std::int64_t unit, int index, std::uint64_t first,
              std::uint64_t last) {
    const std::int64_t at = 2 * unit + index * 128;
    auto& e = d.at(at / 512 * 512);
    const auto k = static_cast<std::size_t>(at % 512);
    e[k] = 0xA2;  // any nonzero type GUID
    store_le64(&e[k + 32], first);
    store_le64(&e[k + 40], last);
}

struct Case {
    const char* what;
    void (*build)(SparseDisk&);
    std::vector<PartitionEntry> expected;
};

TEST(PartitionTable, EntriesAsTheSystemNumbersThem) {
    const std::vector<Case> cases = {
        {"two primaries, slot 2 empty",
         [](SparseDisk& d) {
             Slot(d.at(0), 0, 0x0C, 2048, 4096);
             Slot(d.at(0), 2, 0x07, 8192, 2048);
         },
         {{1, 2048 * 512, 4096 * 512, 0x0C}, {3, 8192 * 512, 2048 * 512, 0x07}}},
        {"logicals from 5 through the EBR chain",
         [](SparseDisk& d) {
             Slot(d.at(0), 0, 0x0F, 10000, 60000);
             Slot(d.at(10000 * 512), 0, 0x0B, 63, 1000);
             Slot(d.at(10000 * 512), 1, 0x05, 2000, 3000);
             Slot(d.at(12000 * 512), 0, 0x0B, 63, 1000);
         },
         {{5, 10063 * 512, 1000 * 512, 0x0B}, {6, 12063 * 512, 1000 * 512, 0x0B}}},
        {"an EBR chain pointing back ends",
         [](SparseDisk& d) {
             Slot(d.at(0), 0, 0x05, 10000, 60000);
             Slot(d.at(10000 * 512), 0, 0x0B, 63, 1000);
             Slot(d.at(10000 * 512), 1, 0x05, 0, 3000);
         },
         {{5, 10063 * 512, 1000 * 512, 0x0B}}},
        {"clipped to the disk, dropped past it",
         [](SparseDisk& d) {
             Slot(d.at(0), 0, 0x0C, 2048, 0xFFFFFFFF);
             Slot(d.at(0), 1, 0x0C, 0xFFFFFF00, 16);
         },
         {{1, 2048 * 512, kDisk - 2048 * 512, 0x0C}}},
        {"a 4096-byte-sector card's MBR",
         [](SparseDisk& d) {
             Slot(d.at(0), 0, 0x0C, 256, 8192);
             FatBootSector(d.at(256 * 4096));
         },
         {{1, 256 * 4096, 8192 * 4096, 0x0C}}},
        {"GPT",
         [](SparseDisk& d) {
             Slot(d.at(0), 0, 0xEE, 1, 0xFFFFFFFF);
             GptHeaderAt(d, 512, 128);
             GptEntry(d, 512, 0, 2048, 4095);
             GptEntry(d, 512, 3, 8192, 9215);
         },
         {{1, 2048 * 512, 2048 * 512, 0}, {4, 8192 * 512, 1024 * 512, 0}}},
        {"GPT of a 4096-byte-sector disk",
         [](SparseDisk& d) {
             Slot(d.at(0), 0, 0xEE, 1, 0xFFFFFFFF);
             GptHeaderAt(d, 4096, 128);
             GptEntry(d, 4096, 0, 256, 511);
         },
         {{1, 256 * 4096, 256 * 4096, 0}}},
        {"GPT header with an absurd entry count",
         [](SparseDisk& d) {
             Slot(d.at(0), 0, 0xEE, 1, 0xFFFFFFFF);
             GptHeaderAt(d, 512, 0x7FFFFFFF);
             GptEntry(d, 512, 0, 2048, 4095);
         },
         {}},
        {"a file system at sector 0 has no table",
         [](SparseDisk& d) { FatBootSector(d.at(0)); },
         {}},
        {"a bad status byte is no MBR",
         [](SparseDisk& d) {
             Slot(d.at(0), 0, 0x0C, 2048, 4096);
             d.at(0)[446] = 0x12;
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto disk = std::make_unique<SparseDisk>(kDisk);
        c.build(*disk);
        const SourceReader reader(std::move(disk), "disk");
        EXPECT_EQ(ReadPartitionTable(reader), c.expected);
    }
}

}  // namespace
}  // namespace tav
