#include "recovery/copy_fragments.hpp"

#include <algorithm>
#include <limits>
#include <vector>

#include "common/decimal.hpp"

namespace tav {

namespace {

// One fragment's reads and writes: read_length bytes from origin in blocks,
// of which the bytes [skip, skip + write_length) go to the output.
struct CopyPlan {
    std::int64_t origin = 0;
    std::int64_t read_length = 0;
    std::int64_t skip = 0;
    std::int64_t write_length = 0;
    bool report_single_block = false;  // one-fragment files report a lone block
};

std::int64_t RoundUpToUnit(std::int64_t n) {
    return (n + kCopyUnit - 1) / kCopyUnit * kCopyUnit;
}

// The margin is an allowance, not data: it stops at the end of the source
// instead of padding the file with bytes the medium never held.
void ClipToSource(CopyPlan& plan, std::int64_t source_size) {
    if (source_size < 0 || plan.origin + plan.read_length <= source_size) return;
    plan.read_length = std::max<std::int64_t>(0, source_size - plan.origin);
    plan.write_length =
        std::min(plan.write_length, std::max<std::int64_t>(0, plan.read_length - plan.skip));
}

std::expected<CopyPlan, CopyError> PlanFragment(const FragmentRanges& r, std::size_t i,
                                                bool several, std::int64_t source_size) {
    const auto start = parse_int64(r.start_offsets[i]);
    const auto end = parse_int64(r.end_offsets[i]);
    if (!start || *start < 0)
        return std::unexpected(CopyError{CopyFailure::BadOffset, i, r.start_offsets[i]});
    if (!end || *end < 0)
        return std::unexpected(CopyError{CopyFailure::BadOffset, i, r.end_offsets[i]});
    if (*end < *start)
        return std::unexpected(
            CopyError{CopyFailure::BadLength, i, r.start_offsets[i] + ".." + r.end_offsets[i]});

    // A range past the end of the medium is a damaged cell; copying it would
    // only fill the output disk with zeros.
    if (source_size >= 0 && *end > source_size)
        return std::unexpected(
            CopyError{CopyFailure::BadLength, i, r.start_offsets[i] + ".." + r.end_offsets[i]});
    const std::int64_t e = *end - *start;
    const std::int64_t margin = several ? kMultiMarginUnits : kSingleMarginUnits;
    // Leave room for the margin and the block arithmetic after the origin.
    constexpr std::int64_t kHeadroom = 16 * kCopyBlock;
    if (e > std::numeric_limits<std::int64_t>::max() - *start - kHeadroom)
        return std::unexpected(
            CopyError{CopyFailure::BadLength, i, r.start_offsets[i] + ".." + r.end_offsets[i]});

    CopyPlan plan;
    if (!several) {
        plan.origin = *start;
        plan.read_length = (e / kCopyUnit + margin) * kCopyUnit;
        plan.write_length = plan.read_length;
        plan.report_single_block = true;
    } else if (r.start_types[i] == "moov") {
        plan.origin = *start / kCopyUnit * kCopyUnit;
        plan.skip = *start - plan.origin;
        plan.read_length = (e / kCopyUnit + margin) * kCopyUnit;
        plan.write_length = plan.read_length - plan.skip;
    } else {
        // The media data must end exactly where the movie header expects the
        // next fragment, so no margin is written (reads stay whole units).
        plan.origin = *start;
        plan.read_length = RoundUpToUnit(e);
        plan.write_length = e;
    }
    ClipToSource(plan, source_size);
    return plan;
}

std::expected<void, CopyError> RunPlan(const SourceReader& source, OutputSink& out,
                                       const CopyPlan& plan, std::size_t index,
                                       std::vector<std::uint8_t>& buffer,
                                       const CopyProgress& progress, CopyResult& result) {
    const std::int64_t write_begin = plan.skip;
    const std::int64_t write_end = plan.skip + plan.write_length;
    const auto chunk_bytes = static_cast<std::int64_t>(buffer.size());
    for (std::int64_t chunk = 0; chunk < plan.read_length; chunk += chunk_bytes) {
        const std::int64_t length = std::min(chunk_bytes, plan.read_length - chunk);
        const std::span<std::uint8_t> bytes(buffer.data(), static_cast<std::size_t>(length));
        // Unreadable sectors stay zero; only they are lost.
        const ReadReport report = source.read_at(plan.origin + chunk, bytes);

        const std::int64_t from = std::max(write_begin, chunk);
        const std::int64_t to = std::min(write_end, chunk + length);
        if (from < to) {
            const auto part = bytes.subspan(static_cast<std::size_t>(from - chunk),
                                            static_cast<std::size_t>(to - from));
            if (!out.write(part))
                return std::unexpected(
                    CopyError{CopyFailure::WriteFailed, index, out.last_error()});
            result.written += to - from;
            for (const ByteRange& r :
                 ClipRanges(report.unreadable, plan.origin + from, plan.origin + to))
                AddRange(result.unreadable, r);
        }
        if (!progress) continue;
        // Progress is told per block, as if each had been copied on its own.
        for (std::int64_t done = chunk; done < chunk + length; done += kCopyBlock) {
            const std::int64_t size = std::min(kCopyBlock, plan.read_length - done);
            if (size == kCopyBlock)
                progress(plan.origin + done);
            else if (plan.read_length >= kCopyBlock)
                progress(plan.origin + plan.read_length);
            else if (plan.report_single_block)
                progress(plan.read_length);
        }
    }
    return {};
}

}  // namespace

std::expected<CopyResult, CopyError> AssembleFragments(const SourceReader& source, OutputSink& out,
                                                       const FragmentRanges& ranges,
                                                       const CopyProgress& progress) {
    const std::size_t count = ranges.start_types.size();
    if (ranges.start_offsets.size() != count || ranges.end_offsets.size() != count)
        return std::unexpected(CopyError{CopyFailure::ListMismatch, 0, {}});

    // Large reads and writes: the system calls cost little next to the bytes.
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kCopyChunkBlocks * kCopyBlock));
    const bool several = count > 1;
    const std::int64_t source_size = source.size();
    CopyResult result;
    for (std::size_t i = 0; i < count; ++i) {
        const auto plan = PlanFragment(ranges, i, several, source_size);
        if (!plan) return std::unexpected(plan.error());
        if (auto done = RunPlan(source, out, *plan, i, buffer, progress, result); !done)
            return std::unexpected(done.error());
    }
    return result;
}

std::expected<std::vector<ByteRange>, CopyError> PlannedSourceRanges(const FragmentRanges& ranges,
                                                                     std::int64_t source_size) {
    const std::size_t count = ranges.start_types.size();
    if (ranges.start_offsets.size() != count || ranges.end_offsets.size() != count)
        return std::unexpected(CopyError{CopyFailure::ListMismatch, 0, {}});
    std::vector<ByteRange> out;
    for (std::size_t i = 0; i < count; ++i) {
        const auto plan = PlanFragment(ranges, i, count > 1, source_size);
        if (!plan) return std::unexpected(plan.error());
        out.push_back({plan->origin + plan->skip, plan->write_length});
    }
    return out;
}

std::expected<std::int64_t, CopyError> PlannedOutputBytes(const FragmentRanges& ranges,
                                                          std::int64_t source_size) {
    const auto planned = PlannedSourceRanges(ranges, source_size);
    if (!planned) return std::unexpected(planned.error());
    std::int64_t total = 0;
    constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
    for (const ByteRange& r : *planned) total = r.length > kMost - total ? kMost : total + r.length;
    return total;
}

bool CopyFragments(const SourceReader& source, OutputSink& out, const FragmentRanges& ranges,
                   const CopyProgress& progress) {
    return AssembleFragments(source, out, ranges, progress).has_value();
}

std::string DescribeCopyError(const CopyError& error) {
    const std::string where = "碎片" + std::to_string(error.fragment + 1);
    switch (error.kind) {
        case CopyFailure::BadOffset:
            return where + "的偏移\"" + error.detail + "\"不是有效的字节偏移";
        case CopyFailure::BadLength:
            return where + "的范围" + error.detail + "无效";
        case CopyFailure::ListMismatch:
            return "碎片列表不完整";
        case CopyFailure::WriteFailed:
            return where + "写入输出文件失败: " + error.detail;
    }
    return where + "复制失败";
}

}  // namespace tav
