// MFT records built byte by byte, then damaged one field at a time: every
// damage must end in a clean "no" and never in a read past the record or a
// walk that does not end.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "common/byte_order.hpp"
#include "disk/free_space_map.hpp"
#include "disk/mft_record.hpp"

namespace tav {
namespace {

constexpr std::size_t kRecordSize = 1024;
constexpr std::size_t kUsaOffset = 0x30;
constexpr std::size_t kFirstAttribute = 0x38;

// A 1024-byte "FILE" record with a valid update sequence (0x0A0B) whose
// original sector tails were 0x1111 and 0x2222, and the given attributes.
class RecordBuilder {
  public:
    RecordBuilder() : bytes_(kRecordSize, 0) {
        std::copy_n("FILE", 4, bytes_.begin());
        store_le16(&bytes_[4], kUsaOffset);
        store_le16(&bytes_[6], 3);
        store_le16(&bytes_[20], kFirstAttribute);
        store_le16(&bytes_[kUsaOffset], 0x0A0B);
        store_le16(&bytes_[kUsaOffset + 2], 0x1111);
        store_le16(&bytes_[kUsaOffset + 4], 0x2222);
        store_le32(&bytes_[kFirstAttribute], 0xFFFFFFFF);
    }

    // A resident file-name attribute with the given name and namespace.
    RecordBuilder& file_name(const std::string& name, std::uint8_t name_space) {
        std::vector<std::uint8_t> value(66 + 2 * name.size(), 0);
        value[64] = static_cast<std::uint8_t>(name.size());
        value[65] = name_space;
        for (std::size_t i = 0; i < name.size(); ++i) value[66 + 2 * i] = name[i];
        return resident(48, value);
    }

    RecordBuilder& resident(std::uint32_t type, const std::vector<std::uint8_t>& value) {
        std::vector<std::uint8_t> a(24 + ((value.size() + 7) & ~std::size_t{7}), 0);
        store_le32(&a[0], type);
        store_le32(&a[4], static_cast<std::uint32_t>(a.size()));
        store_le32(&a[16], static_cast<std::uint32_t>(value.size()));
        store_le16(&a[20], 24);
        std::copy(value.begin(), value.end(), a.begin() + 24);
        return append(a);
    }

    RecordBuilder& non_resident_data(const std::vector<std::uint8_t>& runs,
                                     std::uint16_t flags = 0) {
        std::vector<std::uint8_t> a(64 + ((runs.size() + 8) & ~std::size_t{7}), 0);
        store_le32(&a[0], 128);
        store_le32(&a[4], static_cast<std::uint32_t>(a.size()));
        a[8] = 1;
        store_le16(&a[12], flags);
        store_le16(&a[32], 64);
        std::copy(runs.begin(), runs.end(), a.begin() + 64);
        return append(a);
    }

    // The record as written to disk: sector tails replaced by the sequence.
    std::vector<std::uint8_t> on_disk() const {
        std::vector<std::uint8_t> out = bytes_;
        store_le16(&out[510], 0x0A0B);
        store_le16(&out[1022], 0x0A0B);
        return out;
    }
    std::vector<std::uint8_t> in_memory() const {
        std::vector<std::uint8_t> out = bytes_;
        store_le16(&out[510], 0x1111);
        store_le16(&out[1022], 0x2222);
        return out;
    }

  private:
    RecordBuilder& append(const std::vector<std::uint8_t>& a) {
        std::copy(a.begin(), a.end(), bytes_.begin() + end_);
        end_ += a.size();
        store_le32(&bytes_[end_], 0xFFFFFFFF);
        return *this;
    }

    std::vector<std::uint8_t> bytes_;
    std::size_t end_ = kFirstAttribute;
};

TEST(MftFixup, RestoresTheSectorTails) {
    std::vector<std::uint8_t> record = RecordBuilder().on_disk();
    ASSERT_TRUE(ApplyFixup(record, 512));
    EXPECT_EQ(record, RecordBuilder().in_memory());
}

TEST(MftFixup, RejectsDamage) {
    std::vector<std::uint8_t> bad_tail = RecordBuilder().on_disk();
    bad_tail[1023] ^= 0xFF;  // a torn write of the second sector
    EXPECT_FALSE(ApplyFixup(bad_tail, 512));

    std::vector<std::uint8_t> bad_magic = RecordBuilder().on_disk();
    bad_magic[0] = 'B';  // "BAAD" or anything else
    EXPECT_FALSE(ApplyFixup(bad_magic, 512));

    std::vector<std::uint8_t> usa_outside = RecordBuilder().on_disk();
    store_le16(&usa_outside[4], 1020);  // array runs off the record
    EXPECT_FALSE(ApplyFixup(usa_outside, 512));

    std::vector<std::uint8_t> too_many = RecordBuilder().on_disk();
    store_le16(&too_many[6], 40);  // more sectors than the record has
    EXPECT_FALSE(ApplyFixup(too_many, 512));

    std::vector<std::uint8_t> short_record(3, 'F');
    EXPECT_FALSE(ApplyFixup(short_record, 512));
}

TEST(MftFixup, StridesTooShortForATailAreRefused) {
    for (const std::uint16_t bytes_per_sector : {0, 1}) {
        std::vector<std::uint8_t> record = RecordBuilder().on_disk();
        store_le16(&record[6], 2);  // not the 512-byte layout, so the sector size is the stride
        const std::vector<std::uint8_t> before = record;
        EXPECT_FALSE(ApplyFixup(record, bytes_per_sector)) << bytes_per_sector;
        EXPECT_EQ(record, before);
    }
}

TEST(MftFixup, CountBelowTwoNeedsNoRepair) {
    std::vector<std::uint8_t> record = RecordBuilder().on_disk();
    store_le16(&record[6], 1);
    const std::vector<std::uint8_t> before = record;
    EXPECT_TRUE(ApplyFixup(record, 512));
    EXPECT_EQ(record, before);
}

TEST(MftFindAttribute, FindsByTypeAndStopsAtTheEnd) {
    const auto record = RecordBuilder()
                            .file_name("$Bitmap", 3)
                            .non_resident_data({0x11, 0x01, 0x07, 0x00})
                            .in_memory();
    const auto data = FindAttribute(ByteView(record), 128, false);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(data->le32(0), 128u);
    EXPECT_EQ(data->size(), *data->le32(4));
    EXPECT_FALSE(FindAttribute(ByteView(record), 0x60, false).has_value());
}

TEST(MftFindAttribute, SkipsDosOnlyNamesWhenAsked) {
    const auto record =
        RecordBuilder().file_name("BITMAP~1", 2).file_name("$Bitmap", 1).in_memory();
    const auto first = FindAttribute(ByteView(record), 48, false);
    const auto long_name = FindAttribute(ByteView(record), 48, true);
    ASSERT_TRUE(first && long_name);
    EXPECT_EQ(FileNameOf(*first)->size(), 16u);
    EXPECT_EQ(FileNameOf(*long_name)->size(), 14u);
    const auto dos_only = RecordBuilder().file_name("BITMAP~1", 2).in_memory();
    EXPECT_FALSE(FindAttribute(ByteView(dos_only), 48, true).has_value());
}

TEST(MftFindAttribute, DamagedLengthsEndTheWalk) {
    auto zero_length = RecordBuilder().file_name("$Bitmap", 3).in_memory();
    store_le32(&zero_length[kFirstAttribute + 4], 0);  // would never advance
    EXPECT_FALSE(FindAttribute(ByteView(zero_length), 128, false).has_value());

    auto past_end = RecordBuilder().file_name("$Bitmap", 3).in_memory();
    store_le32(&past_end[kFirstAttribute + 4], 5000);
    EXPECT_FALSE(FindAttribute(ByteView(past_end), 48, false).has_value());

    auto no_marker = RecordBuilder().in_memory();
    store_le32(&no_marker[kFirstAttribute], 0x10);  // walks into zeros
    EXPECT_FALSE(FindAttribute(ByteView(no_marker), 128, false).has_value());

    auto first_outside = RecordBuilder().in_memory();
    store_le16(&first_outside[20], 0xFFF0);
    EXPECT_FALSE(FindAttribute(ByteView(first_outside), 128, false).has_value());
}

TEST(MftFindAttribute, NameLengthPastTheValueIsRefused) {
    auto record = RecordBuilder().file_name("$Bitmap", 3).in_memory();
    record[kFirstAttribute + 24 + 64] = 200;  // name of 200 characters
    const auto attribute = FindAttribute(ByteView(record), 48, false);
    ASSERT_TRUE(attribute.has_value());
    EXPECT_FALSE(FileNameOf(*attribute).has_value());
}

TEST(MftRunList, DecodesSignedRelativeOffsets) {
    // 4 clusters at 0x807, 2 clusters 0x10 back, 1 cluster 0x1000 on.
    const std::vector<std::uint8_t> runs = {0x21, 0x04, 0x07, 0x08, 0x11, 0x02,
                                            0xF0, 0x21, 0x01, 0x00, 0x10, 0x00};
    const auto decoded = DecodeRunList(ByteView(runs), 100000);
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->size(), 3u);
    EXPECT_EQ((*decoded)[0], (DataRun{0x807, 4}));
    EXPECT_EQ((*decoded)[1], (DataRun{0x7F7, 2}));
    EXPECT_EQ((*decoded)[2], (DataRun{0x17F7, 1}));
}

TEST(MftRunList, RejectsDamagedLists) {
    const std::int64_t clusters = 100000;
    const std::vector<std::vector<std::uint8_t>> bad = {
        {0x21, 0x04, 0x07},                    // runs off the attribute
        {0x21, 0x04, 0x07, 0x08},              // no end marker
        {0x01, 0x04, 0x00},                    // sparse run: no clusters on disk
        {0x20, 0x07, 0x08, 0x00},              // zero-byte length
        {0x11, 0x04, 0xF0, 0x00},              // negative LCN
        {0x31, 0x04, 0xFF, 0xFF, 0x0F, 0x00},  // past the volume
        {0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00},  // huge
        {0x19, 0x01, 0x01, 0x00},                                            // nine-byte length
        {0x00},                                                              // no run at all
        {},
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(DecodeRunList(ByteView(bad[i]), clusters).has_value());
    }
}

TEST(MftRecordSizeCode, NegativeBytesArePowersOfTwo) {
    EXPECT_EQ(MftRecordSize(0x00F6, 4096), 1024u);
    EXPECT_EQ(MftRecordSize(0x00F4, 4096), 4096u);  // 4 KiB records
    EXPECT_EQ(MftRecordSize(0x01F6, 4096), 1024u);  // only the low byte counts
    EXPECT_EQ(MftRecordSize(0x0002, 512), 1024u);   // two clusters of 512
    EXPECT_FALSE(MftRecordSize(0x0000, 4096).has_value());
    EXPECT_FALSE(MftRecordSize(0x0080, 4096).has_value());   // 2^128
    EXPECT_FALSE(MftRecordSize(0x0040, 32768).has_value());  // 2 MiB
}

// Seeded random damage: whatever the bytes, the parsers answer within the
// record and return.
TEST(MftDamage, RandomBytesStayInsideTheRecord) {
    std::mt19937 random(20121103);
    const auto good = RecordBuilder()
                          .file_name("$Bitmap", 3)
                          .non_resident_data({0x21, 0x04, 0x07, 0x08, 0x11, 0x02, 0xF0, 0x00})
                          .on_disk();
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> record = good;
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < changes; ++i)
            record[random() % (round % 2 ? 0x120 : record.size())] =
                static_cast<std::uint8_t>(random());
        ApplyFixup(record, 512);
        const ByteView view(record);
        for (std::uint32_t type : {48u, 128u, 0x60u}) {
            const auto attribute = FindAttribute(view, type, type == 48);
            if (!attribute) continue;
            ASSERT_GE(attribute->data(), record.data());
            ASSERT_LE(attribute->data() + attribute->size(), record.data() + record.size());
            if (const auto name = FileNameOf(*attribute)) {
                ASSERT_LE(name->data() + name->size(), record.data() + record.size());
            }
            if (const auto runs = RunListOf(*attribute)) {
                ASSERT_LE(runs->data() + runs->size(), record.data() + record.size());
                if (const auto decoded = DecodeRunList(*runs, 1 << 20)) {
                    for (const DataRun& run : *decoded) {
                        ASSERT_GE(run.lcn, 0);
                        ASSERT_LE(run.lcn + run.clusters, 1 << 20);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace tav
