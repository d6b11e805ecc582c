#include "scan/checkpoint_keeper.hpp"

#include "common/log_line.hpp"
#include "platform/atomic_file.hpp"

namespace tav {

CheckpointKeeper::CheckpointKeeper(std::string path, ScanCheckpoint head, const ScanTables& tables,
                                   WorkerReporter& reporter, CheckpointTiming timing)
    : path_(std::move(path)),
      head_(std::move(head)),
      tables_(tables),
      reporter_(reporter),
      timing_(timing),
      last_write_(std::chrono::steady_clock::now()) {
    head_.fragments.clear();
}

void CheckpointKeeper::resumable(const SweepState& state, bool found) {
    find_pending_ = find_pending_ || found;
    // The first place is written at once: a scan killed in its first
    // seconds still leaves a checkpoint to go on from.
    const auto since = std::chrono::steady_clock::now() - last_write_;
    if (!started_ || since >= timing_.every || (find_pending_ && since >= timing_.after_find))
        write(state);
}

void CheckpointKeeper::hold(const SweepState& state) {
    write(state);
}

void CheckpointKeeper::finished() {
    RemoveFileAndTemporary(path_);
    kept_ = false;
}

void CheckpointKeeper::write(const SweepState& state) {
    started_ = true;
    last_write_ = std::chrono::steady_clock::now();
    find_pending_ = false;
    head_.sweep = state;
    const std::int64_t rows = state.fragment_count;
    if (rows < rows_encoded_) {
        rows_text_.clear();
        rows_encoded_ = 0;
    }
    tables_.with([&](const TableSet& t) {
        const auto have = static_cast<std::int64_t>(t.fragments.row_count());
        for (; rows_encoded_ < rows && rows_encoded_ < have; ++rows_encoded_)
            rows_text_ +=
                EncodeCheckpointRow(t.fragments.row(static_cast<std::size_t>(rows_encoded_)));
    });
    std::string text = EncodeCheckpointHead(head_);
    text.reserve(text.size() + rows_text_.size() + 32);
    text += rows_text_;
    text += EncodeCheckpointEnd(text);
    if (const auto written = ReplaceFileAtomically(path_, text); !written) {
        // The scan goes on: losing the checkpoint must not lose the scan.
        if (!failure_told_)
            reporter_.log_line(
                make_log_line("无法保存扫描进度到 " + path_ + "：" + written.error()));
        failure_told_ = true;
        return;
    }
    kept_ = true;
    ++writes_;
}

}  // namespace tav
