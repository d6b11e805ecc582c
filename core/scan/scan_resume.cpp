#include "scan/scan_resume.hpp"

namespace tav {

std::int64_t ResumeSector(const ScanGeometry& g, std::int64_t end) {
    const std::int64_t end_sector = end / kSectorBytes - g.base;
    if (g.raw) return end_sector;
    const std::int64_t c1 = ((end - 1) / kSectorBytes - g.base) / g.cluster_sectors;
    const std::int64_t c2 = end_sector / g.cluster_sectors;
    return c1 == c2 ? (c2 + 1) * g.cluster_sectors : end_sector;
}

ResumeDecision DecideResume(const ScanGeometry& g, const ResumeInput& in) {
    ResumeDecision d;
    if (in.end <= in.start) return d;
    const std::int64_t r = ResumeSector(g, in.end);
    // Never step back or stand still: a fragment that ends inside the sector
    // it started in resumes at the next sector.
    if (r <= in.w + in.i) return d;
    // Counted from the read's own start, so reads that do not start on a
    // multiple of 128 sectors resume at the right sector too.
    const std::int64_t within = r - in.w;
    if (within < kStepSectors) {
        d.kind = ResumeDecision::ContinueAt;
        d.index = within;
    } else if (within == kStepSectors) {
        d.kind = ResumeDecision::NextRead;
    } else {
        d.kind = ResumeDecision::Jump;
        d.w = r / kStepSectors * kStepSectors;
        d.index = r - d.w;
    }
    return d;
}

}  // namespace tav
