// exFAT cards of hundreds of gigabytes (SDXC) as sparse images: thousands of
// short clips of synthetic frames spread over the whole volume, every second
// one deleted, and optionally one clip of gigabytes (64-bit mdat, co64),
// deleted too. Bytes go straight into clusters of a volume mkfs.exfat
// formatted (exfat_volume.hpp), so only clips and metadata take room.

#include <algorithm>
#include <array>
#include <fstream>
#include <system_error>

#include "cardgen/atom_writer.hpp"
#include "cardgen/big_clip.hpp"
#include "cardgen/card.hpp"
#include "cardgen/card_files.hpp"
#include "cardgen/exfat_volume.hpp"
#include "cardgen/run_process.hpp"
#include "cardgen/seeded_random.hpp"

namespace tav::cardgen {
namespace {

namespace fs = std::filesystem;
constexpr std::int64_t kMiB = 1 << 20;

constexpr std::size_t kPage = 4096;
// A camera's key frame is big; this one is mostly zeros, so that a clip
// spans clusters of up to 256 KiB without taking room: the scan looks for
// a movie header only past the cluster a start region begins in.
constexpr std::uint32_t kKeyFrameBytes = 300 * 1024;
constexpr std::size_t kKeyFrameRandom = 1024;

bool WriteAt(std::fstream& io, std::int64_t offset, std::span<const std::uint8_t> bytes) {
    io.seekp(offset);
    io.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(io);
}

// Pages of zeros stay holes of the sparse image (the volume's clusters
// were never written, so they read as zeros).
bool WriteSparse(std::fstream& io, std::int64_t offset, std::span<const std::uint8_t> bytes) {
    static const std::array<std::uint8_t, kPage> zeros{};
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto page_end = static_cast<std::size_t>(
            (offset + static_cast<std::int64_t>(at)) / kPage * kPage + kPage - offset);
        const std::size_t n = std::min(bytes.size(), page_end) - at;
        const auto piece = bytes.subspan(at, n);
        if (!std::equal(piece.begin(), piece.end(), zeros.begin()) &&
            !WriteAt(io, offset + static_cast<std::int64_t>(at), piece))
            return false;
        at += n;
    }
    return true;
}

std::expected<void, std::string> CreateVolume(const fs::path& image, std::int64_t size) {
    std::error_code ec;
    fs::remove(image, ec);
    { std::ofstream create(image, std::ios::binary); }
    fs::resize_file(image, static_cast<std::uintmax_t>(size), ec);
    if (ec) return std::unexpected("cannot create " + image.string() + ": " + ec.message());
    const std::vector<std::string> mkfs = {"mkfs.exfat", "-L", "TAVCARD", image.string()};
    if (const ProcessResult p = RunProcess(mkfs); !p.ok())
        return std::unexpected(DescribeFailure(mkfs, p));
    return {};
}

CardFilePlan SmallPlan(const CardRequest& r, int n) {
    CardFilePlan s;
    s.name = "MVI_" + std::to_string(n + 1) + ".MOV";
    s.aud = r.aud == "on" || (r.aud == "mixed" && n % 7 != 2);
    s.frames = r.frames > 0 ? r.frames : DefaultFrames(n);
    s.clip_seed = r.seed * 1000003 + static_cast<std::uint64_t>(n);
    s.real_h264 = false;
    s.options.mdat64 = r.mdat64;
    s.options.co64 = r.co64;
    SetShootingTime(s.options, r.seed, n);
    return s;
}

// Synthetic frames behind a big key frame of random lead and zeros, with a
// delimiter before it when the others have one.
std::expected<CardFile, std::string> MakeSmallFile(const CardFilePlan& plan) {
    EncodedClip clip = SyntheticClip(plan.frames, plan.clip_seed, plan.aud);
    Bytes key;
    AtomWriter w(key);
    if (plan.aud) {
        w.be32(2);
        w.u8(0x09);
        w.u8(0xF0);
    }
    w.be32(kKeyFrameBytes - static_cast<std::uint32_t>(key.size()) - 4);
    w.u8(0x65);  // IDR slice
    const std::size_t lead = key.size();
    key.resize(kKeyFrameBytes, 0);
    SeededRandom(plan.clip_seed).fill(std::span(key).subspan(lead, kKeyFrameRandom));
    clip.frames.front() = std::move(key);
    return CardFile{plan, BuildCameraMov(plan.options, clip)};
}

ManifestFile DescribeBig(const BigClip& clip, const MovOptions& o, std::string name,
                         std::int64_t at) {
    ManifestFile m;
    m.name = std::move(name);
    m.state = "deleted";
    m.head_offset = at;
    m.moov_offset = at + clip.head_size();
    m.length = clip.size();
    m.head_length = clip.head_size();
    m.moov_length = static_cast<std::int64_t>(clip.moov.size());
    m.frames = static_cast<int>(clip.frame_sizes.size());
    m.date = o.date;
    m.time = o.time;
    m.aud = m.mdat64 = m.co64 = true;
    m.last_frame_verifies = true;  // a delimiter and one slice that ends the frame
    const BigClipHashes hashes = HashBigClip(clip);
    m.file_hash = hashes.file;
    m.head_hash = hashes.head;
    m.moov_hash = hashes.moov;
    m.fragments = {{at, clip.size()}};
    return m;
}

}  // namespace

std::expected<Manifest, std::string> GenerateHugeExfatCard(const CardRequest& r) {
    const int count = r.files >= 0 ? r.files : 1000;
    const std::int64_t size = (r.size_mib > 0 ? r.size_mib : 128 * 1024) * kMiB;
    if (auto made = CreateVolume(r.out, size); !made) return std::unexpected(made.error());
    auto volume = ExfatVolume::Open(r.out);
    if (!volume) return std::unexpected(volume.error());
    std::fstream io(r.out, std::ios::binary | std::ios::in | std::ios::out);

    Manifest m;
    m.file_system = "exFAT";
    m.note = "synthetic frames written straight into clusters, every second file deleted";
    std::vector<ExfatFile> entries;
    // The big clip first, the others spread over the volume after it, so
    // that a scan crosses all of it.
    const int slots = count + (r.big_clip_mib > 0 ? 1 : 0);
    const auto slot_start = [&](int n) { return volume->cluster_count() / std::max(slots, 1) * n; };
    if (r.big_clip_mib > 0) {
        MovOptions options;
        SetShootingTime(options, r.seed, count);
        const BigClip clip = PlanBigClip(r.big_clip_mib * kMiB, r.seed, options);
        const std::string name = "MVI_" + std::to_string(count + 1) + ".MOV";
        const std::int64_t at = volume->Allocate(clip.size(), 0);
        if (at < 0) return std::unexpected("the big clip does not fit into the volume");
        bool written = true;
        ForEachPiece(clip, [&](std::int64_t offset, std::span<const std::uint8_t> bytes) {
            written = written && WriteAt(io, at + offset, bytes);
        });
        if (!written) return std::unexpected("cannot write " + name);
        m.files.push_back(DescribeBig(clip, options, name, at));
        entries.push_back({name, at, clip.size(), true, DosTime(options.date, options.time)});
    }
    for (int n = 0; n < count; ++n) {
        // One file at a time: thousands of them do not sit in memory together.
        auto file = MakeSmallFile(SmallPlan(r, n));
        if (!file) return std::unexpected(file.error());
        const Bytes bytes = file->mov.bytes();
        const std::int64_t at = volume->Allocate(file->mov.size(), slot_start(slots - count + n));
        if (at < 0 || !WriteSparse(io, at, bytes))
            return std::unexpected("cannot write " + file->plan.name);
        const bool deleted = n % 2 == 1;
        m.files.push_back(
            Describe(*file, deleted ? "deleted" : "in-use", at, at + file->mov.moov_offset()));
        m.files.back().fragments = {{at, file->mov.size()}};
        entries.push_back({file->plan.name, at, file->mov.size(), deleted,
                           DosTime(file->plan.options.date, file->plan.options.time)});
    }
    if (!io.flush()) return std::unexpected("cannot write " + r.out.string());
    io.close();
    if (auto s = volume->Commit(entries); !s) return std::unexpected(s.error());
    return m;
}

}  // namespace tav::cardgen
