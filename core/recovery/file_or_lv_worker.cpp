#include "recovery/scan_result_file.hpp"

namespace tav {

namespace {

UserMessage Outcome(const char* caption, const char* text) {
    return UserMessage{caption, text, MsgIcon::Information, MsgButtons::Ok};
}

}  // namespace

TFileOrLv::TFileOrLv(int mode, std::string file_name, ScanTables& tables, WorkerReporter& reporter)
    : mode_(mode), file_name_(std::move(file_name)), tables_(tables), reporter_(reporter) {}

TFileOrLv::~TFileOrLv() {
    Join();
}

bool TFileOrLv::Execute() {
    if (mode_ == kSave) {
        const std::string source = tables_.with([](const TableSet& t) { return t.source_field; });
        const bool ok = SaveScanResult(tables_, source, file_name_, reporter_);
        reporter_.message_box(ok ? Outcome("保存成功", "成功保存日志文件!")
                                 : Outcome("保存失败", "保存日志文件失败!"));
        return ok;
    }
    if (mode_ == kLoad) {
        const bool ok = LoadScanResult(tables_, file_name_, reporter_);
        reporter_.message_box(ok ? Outcome("加载成功", "成功加载日志文件!")
                                 : Outcome("加载失败", "加载日志文件失败!"));
        return ok;
    }
    return false;
}

void TFileOrLv::Start() {
    thread_.start([this] { Execute(); });
}

void TFileOrLv::Join() {
    thread_.join();
}

}  // namespace tav
