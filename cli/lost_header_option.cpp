#include "lost_header_option.hpp"

#include "common/utf8_path.hpp"
#include "recovery/reference_file.hpp"

namespace tav::cli {

void AddReferenceOption(CLI::App* cmd, std::vector<std::string>& paths) {
    cmd->add_option("--reference", paths,
                    "同一相机拍摄的完好MOV文件: 用它重建文件头已被覆盖的视频 (可多次给出)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

std::expected<std::vector<ReferenceMovie>, std::string> LoadReferences(
    const std::vector<std::string>& paths) {
    std::vector<ReferenceMovie> references;
    for (const std::string& path : paths) {
        auto movie = LoadReferenceMovie(PathFromUtf8(path));
        if (!movie) return std::unexpected(movie.error());
        references.push_back(std::move(*movie));
    }
    return references;
}

std::expected<std::optional<LostHeaders>, std::string> RebuildFromReferences(
    ScanTables& tables, const std::vector<ReferenceMovie>& references, const StopFlag& stop,
    const FollowSetup* grid) {
    if (references.empty()) return std::nullopt;
    const std::string path = tables.with([](const TableSet& t) { return t.source_field; });
    auto source = SourceReader::open(path);
    if (!source) return std::unexpected("无法打开源盘 " + path + "：" + source.error().reason);
    return RebuildUnpairedHeads(*source, tables, references, &stop, grid);
}

void PrintNotRebuilt(std::ostream& err, const LostHeaders& lost) {
    for (const LostHeader& h : lost.found)
        if (!h.rebuilt) err << "tavorine-mov-cli: " << DescribeNotRebuilt(h) << '\n';
}

}  // namespace tav::cli
