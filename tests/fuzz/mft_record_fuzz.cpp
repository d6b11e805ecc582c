// One MFT record: the fixup, the attribute walk, the fields read from the
// attributes and the decoding of their run lists; the record-size code.
//
// Input: the record's bytes, then a trailer that FuzzedDataProvider takes
// from the end: the sector size for the fixup (16 bits, last), the cluster
// bound of the run lists (64 bits), the record-size code (16 bits) and the
// cluster size (32 bits), each little-endian.

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include "disk/free_space_map.hpp"
#include "disk/mft_record.hpp"
#include "fuzz_support.hpp"

namespace {

using tav::ByteView;

bool Inside(ByteView part, ByteView whole) {
    if (part.empty()) return true;
    const auto* begin = whole.data();
    return part.data() >= begin && part.size() <= whole.size() &&
           part.data() - begin <= static_cast<std::ptrdiff_t>(whole.size() - part.size());
}

void CheckRuns(ByteView runs, std::int64_t max_clusters) {
    const auto decoded = tav::DecodeRunList(runs, max_clusters);
    if (!decoded) return;
    TAV_FUZZ_CHECK(!decoded->empty());
    for (const auto& run : *decoded) {
        TAV_FUZZ_CHECK(run.lcn >= 0 && run.clusters > 0);
        TAV_FUZZ_CHECK(run.clusters <= max_clusters && run.lcn <= max_clusters - run.clusters);
    }
}

// A fixup changes nothing but the last two bytes of each protected stride,
// and a failed one changes nothing at all.
void CheckFixup(const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& after,
                bool applied, std::uint16_t bytes_per_sector) {
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] == after[i]) continue;
        TAV_FUZZ_CHECK(applied);
        const bool sector_tail = bytes_per_sector != 0 && (i + 2) % bytes_per_sector < 2;
        TAV_FUZZ_CHECK(sector_tail || (i + 2) % 512 < 2);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto bytes_per_sector = input.ConsumeIntegral<std::uint16_t>();
    const auto max_clusters =
        input.ConsumeIntegralInRange<std::int64_t>(0, std::numeric_limits<std::int64_t>::max());
    const auto record_code = input.ConsumeIntegral<std::uint16_t>();
    const auto cluster_bytes = input.ConsumeIntegral<std::uint32_t>();
    const std::vector<std::uint8_t> original = input.ConsumeRemainingBytes<std::uint8_t>();

    if (const auto record_size = tav::MftRecordSize(record_code, cluster_bytes)) {
        TAV_FUZZ_CHECK(*record_size >= 256 && *record_size <= 65536);
        if (static_cast<std::int8_t>(record_code & 0xFF) < 0)
            TAV_FUZZ_CHECK(std::has_single_bit(*record_size));
    }

    // The raw bytes as a run list too: the decoder sees far more shapes
    // this way than through records that pass the fixup.
    CheckRuns(ByteView(original.data(), original.size()), max_clusters);

    std::vector<std::uint8_t> record = original;
    const bool applied = tav::ApplyFixup(record, bytes_per_sector);
    CheckFixup(original, record, applied, bytes_per_sector);

    const ByteView view(record.data(), record.size());
    constexpr std::array<std::uint32_t, 5> kTypes = {0x10, 0x30, 0x80, 0xA0, 0xB0};
    for (const std::uint32_t type : kTypes) {
        for (const bool skip_dos : {false, true}) {
            const auto attribute = tav::FindAttribute(view, type, skip_dos);
            if (!attribute) continue;
            TAV_FUZZ_CHECK(Inside(*attribute, view));
            TAV_FUZZ_CHECK(attribute->size() >= 16 && *attribute->le32(0) == type);
            if (const auto value = tav::ResidentValueOf(*attribute)) {
                TAV_FUZZ_CHECK(Inside(*value, *attribute));
                if (skip_dos && type == 0x30) {
                    const auto space = value->u8(65);
                    TAV_FUZZ_CHECK(space && (*space == 0 || *space == 1 || *space == 3));
                }
            }
            if (const auto name = tav::FileNameOf(*attribute)) {
                TAV_FUZZ_CHECK(Inside(*name, *attribute));
                TAV_FUZZ_CHECK(name->size() % 2 == 0);
            }
            if (const auto runs = tav::RunListOf(*attribute)) {
                TAV_FUZZ_CHECK(Inside(*runs, *attribute) && !runs->empty());
                CheckRuns(*runs, max_clusters);
            }
        }
    }
    return 0;
}
