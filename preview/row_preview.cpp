#include "row_preview.hpp"

#include "first_frame.hpp"
#include "platform/source_reader.hpp"
#include "recovery/assembled_file.hpp"

namespace tav::preview {

std::expected<Preview, PreviewError> PreviewFragments(const std::string& source_path,
                                                      const FragmentRanges& ranges,
                                                      const PreviewLimits& limits) {
    const auto source = SourceReader::open(source_path);
    if (!source)
        return std::unexpected(PreviewError{PreviewFailure::SourceUnreadable,
                                            source_path + ": " + source.error().reason});
    const auto file = AssembledFile::open(*source, ranges);
    if (!file)
        return std::unexpected(
            PreviewError{PreviewFailure::BadFragments, DescribeCopyError(file.error())});
    return DecodePreview(*file, limits);
}

}  // namespace tav::preview
