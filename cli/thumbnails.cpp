#include "thumbnails.hpp"

#include "common/utf8_path.hpp"
#include "duration_label.hpp"
#include "playable_text.hpp"
#include "recovery/output_name.hpp"
#include "recovery/rebuild_rows.hpp"
#include "recovery/row_plan.hpp"
#include "row_verify.hpp"
#include "thumbnail_jpeg.hpp"

namespace tav::cli {

namespace {

std::string ThumbnailName(const RebuildRow& row) {
    std::string name = MakeOutputName(row.number, row.frames, row.shoot_date);
    const std::string mov = ".mov";
    if (name.ends_with(mov)) name.resize(name.size() - mov.size());
    return name + ".jpg";
}

std::string ProblemText(const preview::PreviewError& error) {
    switch (error.kind) {
        case preview::PreviewFailure::CannotDecode:
            return "首帧无法解码";
        case preview::PreviewFailure::SourceUnreadable:
            return "无法打开源盘";
        case preview::PreviewFailure::BadFragments:
            return "碎片列表无效";
        case preview::PreviewFailure::NoDecoder:
            return "未安装解码模块，无法生成缩略图";
        case preview::PreviewFailure::NoRebuiltHeader:
            return "需先用参考文件重建文件头";
    }
    return "首帧无法解码";
}

RowThumbnail OneRow(const TableSet& tables, std::size_t s, const std::filesystem::path& folder,
                    const RebuiltFiles* rebuilt) {
    const RebuildRow row = ReadRebuildRow(tables.results, s);
    RowThumbnail out{row.number, std::nullopt, std::nullopt, {}};
    const auto plan = PlanResultRow(tables, s, rebuilt);
    if (!plan) {
        const bool rebuilt_row = tables.results.cell(s, resc::Quality) == kRebuiltQuality;
        out.problem = ProblemText(preview::UnplannedRow(rebuilt_row, plan.error()));
        return out;
    }
    const auto preview = preview::PreviewPlanned(tables.source_field, *plan);
    if (!preview) {
        out.problem = ProblemText(preview.error());
        return out;
    }
    out.duration_seconds = preview->duration_seconds;
    const auto path = FreeOutputPath(folder, ThumbnailName(row));
    if (const auto written = preview::WriteJpegFile(path, preview->thumbnail); !written) {
        out.problem = "无法写入缩略图 " + Utf8FromPath(path) + ": " + written.error();
        return out;
    }
    out.path = Utf8FromPath(path);
    return out;
}

}  // namespace

std::vector<RowThumbnail> WriteThumbnails(const TableSet& tables,
                                          const std::filesystem::path& folder,
                                          const RebuiltFiles* rebuilt) {
    std::vector<RowThumbnail> out;
    for (std::size_t s = 0; s < tables.results.row_count(); ++s)
        out.push_back(OneRow(tables, s, folder, rebuilt));
    return out;
}

void PrintThumbnails(std::ostream& out, const std::vector<RowThumbnail>& thumbnails) {
    for (const RowThumbnail& t : thumbnails) {
        out << "缩略图 " << t.number << ": ";
        if (t.path)
            out << *t.path << " (" << preview::DurationLabel(t.duration_seconds) << ")\n";
        else
            out << t.problem << '\n';
    }
}

}  // namespace tav::cli
