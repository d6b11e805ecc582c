#include "play_checks.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "decoder_loader.hpp"
#include "playable_text.hpp"
#include "recovery/row_plan.hpp"
#include "row_verify.hpp"

namespace tav::cli {

namespace {

const char* EndName(const PlayCheck& check) {
    if (!check) {
        switch (check.error().kind) {
            case preview::PreviewFailure::CannotDecode:
                return "cannot_decode";
            case preview::PreviewFailure::SourceUnreadable:
                return "source_unreadable";
            case preview::PreviewFailure::BadFragments:
                return "bad_fragments";
            case preview::PreviewFailure::NoDecoder:
                return "no_decoder";
            case preview::PreviewFailure::NoRebuiltHeader:
                return "no_rebuilt_header";
        }
        return "cannot_decode";
    }
    switch (check->end) {
        case preview::VerifyEnd::Finished:
            return "finished";
        case preview::VerifyEnd::Stopped:
            return "stopped";
        case preview::VerifyEnd::TimedOut:
            return "timed_out";
        case preview::VerifyEnd::CannotDecode:
            return "cannot_decode";
    }
    return "cannot_decode";
}

const char* SoundName(preview::SoundCheck sound) {
    switch (sound) {
        case preview::SoundCheck::None:
            return "none";
        case preview::SoundCheck::Decodes:
            return "decodes";
        case preview::SoundCheck::Damaged:
            return "damaged";
    }
    return "none";
}

void Milliseconds(JsonWriter& json, const char* key, std::optional<double> seconds) {
    json.key(key);
    if (seconds && std::isfinite(*seconds) && *seconds >= 0 && *seconds < 1e12)
        json.value(static_cast<std::int64_t>(std::llround(*seconds * 1000)));
    else
        json.null();
}

// "检查 3: 全部 75/75 帧 (0.8 秒, 94 帧/秒, 12.5 MB/秒)"
std::string LogLine(const std::string& number, const PlayCheck& check) {
    std::string line = "检查 " + number + ": " + preview::PlayableText(check);
    if (check && check->seconds_taken > 0) {
        char figures[96];
        std::snprintf(figures, sizeof figures, " (%.1f 秒, %.0f 帧/秒, %.1f MB/秒)",
                      check->seconds_taken, check->frames_decoded / check->seconds_taken,
                      check->bytes_read / check->seconds_taken / 1e6);
        line += figures;
    }
    return line;
}

}  // namespace

std::vector<RowCheck> CheckRows(const TableSet& tables, const RebuiltFiles* rebuilt,
                                const std::vector<std::string>& numbers, const StopFlag& stop,
                                std::ostream* log) {
    std::vector<RowCheck> out;
    preview::VerifyOptions options;
    options.stop = &stop;
    for (std::size_t s = 0; s < tables.results.row_count(); ++s) {
        RowCheck row{tables.results.cell(s, resc::Number), std::nullopt};
        const bool wanted = numbers.empty() ||
                            std::find(numbers.begin(), numbers.end(), row.number) != numbers.end();
        if (wanted && stop.load() == 0) {
            const auto plan = PlanResultRow(tables, s, rebuilt);
            const bool rebuilt_row = tables.results.cell(s, resc::Quality) == kRebuiltQuality;
            row.check =
                plan ? preview::VerifyPlanned(tables.source_field, *plan, options)
                     : PlayCheck(std::unexpected(preview::UnplannedRow(rebuilt_row, plan.error())));
            if (log) *log << LogLine(row.number, *row.check) << '\n';
        }
        out.push_back(std::move(row));
    }
    return out;
}

bool AnyStopped(const std::vector<RowCheck>& checks) {
    return std::any_of(checks.begin(), checks.end(), [](const RowCheck& c) {
        return c.check && *c.check && (*c.check)->end == preview::VerifyEnd::Stopped;
    });
}

std::optional<std::string> CannotCheck() {
    const auto verifier = preview::LoadVerifier();
    if (verifier) return std::nullopt;
    return "未安装解码模块，无法逐帧检查 (" + verifier.error() + ")";
}

void WriteCheckJson(JsonWriter& json, const PlayCheck& check) {
    json.begin_object();
    json.key("text").value(preview::PlayableText(check));
    json.key("plays_fully").value(check && check->plays_fully());
    json.key("end").value(EndName(check));
    if (check) {
        const preview::Verification& v = *check;
        json.key("frames_listed").value(v.frames_listed);
        json.key("frames_decoded").value(v.frames_decoded);
        Milliseconds(json, "first_bad_ms", v.first_bad_seconds);
        Milliseconds(json, "last_good_ms", v.last_good_seconds);
        Milliseconds(json, "duration_ms", v.duration_seconds);
        json.key("sound").value(SoundName(v.sound));
        json.key("bytes_read").value(v.bytes_read);
        Milliseconds(json, "time_ms", v.seconds_taken);
    }
    json.end_object();
}

TextTable WithPlayableColumn(const TextTable& results, const std::vector<RowCheck>& checks) {
    std::vector<std::string> titles = results.titles();
    titles.push_back(preview::kPlayableTitle);
    TextTable out(titles);
    for (std::size_t s = 0; s < results.row_count(); ++s) {
        std::vector<std::string> cells = results.row(s).cells;
        cells.push_back(
            s < checks.size() && checks[s].check ? preview::PlayableText(*checks[s].check) : "");
        out.add_row(std::move(cells));
    }
    return out;
}

}  // namespace tav::cli
