#pragma once
// CopyFragments: assembles one recovered file by appending source byte
// ranges, one per fragment, to an output sink. No atom is parsed or patched.

#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <vector>

#include "common/byte_range.hpp"
#include "platform/source_reader.hpp"
#include "recovery/output_sink.hpp"

namespace tav {

// Three parallel lists, one entry per fragment in file order, as copied from
// the FragmentTable cells 碎片起始类型, 碎片起始偏移 and 碎片结束偏移.
struct FragmentRanges {
    std::vector<std::string> start_types;
    std::vector<std::string> start_offsets;
    std::vector<std::string> end_offsets;

    std::size_t size() const { return start_types.size(); }
};

// Called with n for the status text "已写入:" + n + "Byte".
using CopyProgress = std::function<void(std::int64_t written_mark)>;

enum class CopyFailure {
    BadOffset,     // an offset text is not a 64-bit integer, or is negative
    BadLength,     // end before start, past the end of the source, or overflowing
    ListMismatch,  // the three lists differ in length
    WriteFailed,   // the sink refused bytes (disk full, I/O error)
};

struct CopyError {
    CopyFailure kind;
    std::size_t fragment = 0;  // index of the fragment the copy broke off at
    std::string detail;        // offending text or the sink's reason
};

// Unit, block and margins of the assembly.
inline constexpr std::int64_t kCopyUnit = 512;
inline constexpr std::int64_t kCopyBlock = 65536;
// Blocks read and written at once (progress is still told per block).
inline constexpr std::int64_t kCopyChunkBlocks = 8;
inline constexpr std::int64_t kSingleMarginUnits = 2;
inline constexpr std::int64_t kMultiMarginUnits = 6;

// What a finished copy wrote.
struct CopyResult {
    std::int64_t written = 0;
    // Source ranges inside the written bytes that could not be read: the
    // file holds zeros there.
    std::vector<ByteRange> unreadable;
    std::int64_t unreadable_bytes() const { return TotalLength(unreadable); }
};

// One fragment: (E/512 + 2) units from its start, every byte written.
// Several: a "moov" fragment is read from the unit boundary below its start,
// the bytes before the start skipped, its margin kept; any other fragment
// writes exactly its E = end - start bytes (a margin after the media data
// would shift the movie header). An empty list writes nothing and succeeds.
// Margins stop at the end of the source; a fragment that reaches past it
// fails the copy. An unreadable sector costs only its own bytes (zeros).
// What was written before a failure stays in the sink.
std::expected<CopyResult, CopyError> AssembleFragments(const SourceReader& source, OutputSink& out,
                                                       const FragmentRanges& ranges,
                                                       const CopyProgress& progress);

// The source bytes AssembleFragments would write for these ranges, in file
// order, from a source of source_size bytes (-1: unknown), or why it would
// fail.
std::expected<std::vector<ByteRange>, CopyError> PlannedSourceRanges(const FragmentRanges& ranges,
                                                                     std::int64_t source_size);

// Their total.
std::expected<std::int64_t, CopyError> PlannedOutputBytes(const FragmentRanges& ranges,
                                                          std::int64_t source_size);

// The boolean form: true when the copy ran to its end.
bool CopyFragments(const SourceReader& source, OutputSink& out, const FragmentRanges& ranges,
                   const CopyProgress& progress);

std::string DescribeCopyError(const CopyError& error);

}  // namespace tav
