#include "row_preview.hpp"

#include "assembled_bytes.hpp"
#include "decoder_loader.hpp"
#include "platform/source_reader.hpp"

namespace tav::preview {

std::expected<Preview, PreviewError> PreviewFragments(const std::string& source_path,
                                                      const FragmentRanges& ranges,
                                                      const PreviewLimits& limits) {
    const auto decode = LoadDecoder();
    if (!decode) return std::unexpected(PreviewError{PreviewFailure::NoDecoder, decode.error()});
    const auto source = SourceReader::open(source_path);
    if (!source)
        return std::unexpected(PreviewError{PreviewFailure::SourceUnreadable,
                                            source_path + ": " + source.error().reason});
    const auto file = AssembledFile::open(*source, ranges);
    if (!file)
        return std::unexpected(
            PreviewError{PreviewFailure::BadFragments, DescribeCopyError(file.error())});
    return (*decode)(AssembledBytes(*file), limits);
}

}  // namespace tav::preview
