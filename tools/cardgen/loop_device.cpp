#include "cardgen/loop_device.hpp"

#include <vector>

#include "cardgen/run_process.hpp"

namespace tav::cardgen {

LoopDevice::LoopDevice(const std::filesystem::path& image, std::int64_t offset, std::int64_t size) {
    const std::vector<std::string> argv = {"losetup",
                                           "-f",
                                           "--show",
                                           "-o",
                                           std::to_string(offset),
                                           "--sizelimit",
                                           std::to_string(size),
                                           image.string()};
    const ProcessResult r = RunProcess(argv);
    if (r.ok())
        device_ = r.output.substr(0, r.output.find('\n'));
    else
        error_ = DescribeFailure(argv, r);
}

LoopDevice::~LoopDevice() {
    if (!device_.empty()) RunProcess({"losetup", "-d", device_});
}

}  // namespace tav::cardgen
