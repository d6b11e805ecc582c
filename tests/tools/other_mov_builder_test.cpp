#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>

#include "cardgen/atom_reader.hpp"
#include "cardgen/mov_sample_reader.hpp"
#include "cardgen/other_mov_builder.hpp"
#include "cardgen/run_process.hpp"
#include "common/byte_view.hpp"
#include "support/cards.hpp"
#include "support/temp_dir.hpp"

namespace tav::cardgen {
namespace {

constexpr int kFrames = 24;
// 2019-07-21 09:15:02 in seconds since 1904-01-01.
constexpr std::uint32_t kShotSeconds = 3646545302u;

struct Built {
    EncodedClip video;
    std::optional<AacClip> aac;
    MovFile mov;
    Bytes file;
};

// One file per layout, built once: the encodes are the slow part.
const Built& BuiltFor(std::size_t index) {
    static std::map<std::size_t, Built> built;
    auto it = built.find(index);
    if (it != built.end()) return it->second;
    const WriterLayout& layout = WriterLayouts()[index];
    Built b;
    const auto cache = test::TestClipCache();
    auto video = TryEncodeClip(kFrames, 40 + index, true, 320, 240, cache, layout.video);
    EXPECT_TRUE(video) << video.error();
    if (video) b.video = std::move(*video);
    if (layout.sound == SoundCodec::kAac) {
        auto aac = TryEncodeAac(kFrames, 40 + index, cache);
        EXPECT_TRUE(aac) << aac.error();
        if (aac) b.aac = std::move(*aac);
    }
    MovOptions o;
    o.date = "2019:07:21";
    o.time = "09:15:02";
    b.mov = BuildOtherMov(o, layout, b.video, b.aac ? &*b.aac : nullptr, 40 + index);
    b.file = b.mov.bytes();
    return built.emplace(index, std::move(b)).first->second;
}

std::string Text(ByteView v, std::size_t at, std::size_t n) {
    return v.has(at, n) ? std::string(reinterpret_cast<const char*>(v.data() + at), n) : "";
}

const char* LeadType(Lead lead) {
    switch (lead) {
        case Lead::kNone:
            return nullptr;
        case Lead::kWide8:
            return "wide";
        case Lead::kUuid:
            return "uuid";
        default:
            return "free";
    }
}

class OtherLayout : public ::testing::TestWithParam<std::size_t> {
  protected:
    const WriterLayout& layout() const { return WriterLayouts()[GetParam()]; }
};

TEST_P(OtherLayout, AtomsSizesAndTablesAreWhereTheLayoutSays) {
    const Built& b = BuiltFor(GetParam());
    ASSERT_FALSE(b.video.frames.empty());
    const ByteView file(b.file);
    const WriterLayout& l = layout();

    // Top level: ftyp, the lead atom, then moov and mdat in the layout's order,
    // covering the file exactly.
    const auto top = ReadAtoms(file, 0, file.size());
    std::vector<std::string> types;
    std::uint64_t covered = 0;
    for (const Atom& a : top) types.push_back(a.type), covered += a.size;
    std::vector<std::string> expected = {"ftyp"};
    if (LeadType(l.lead)) expected.push_back(LeadType(l.lead));
    expected.push_back(l.moov_first ? "moov" : "mdat");
    expected.push_back(l.moov_first ? "mdat" : "moov");
    ASSERT_EQ(types, expected);
    EXPECT_EQ(covered, file.size());

    // ftyp: major brand, then the compatible ones.
    const Atom& ftyp = top[0];
    EXPECT_EQ(Text(file, 8, 4), l.brand);
    std::string compatible;
    for (std::size_t at = 16; at < ftyp.size; at += 4) compatible += Text(file, at, 4) + ",";
    const std::map<std::string, std::string> brands = {
        {"isom", "isom,iso2,avc1,mp41,"}, {"mp42", "mp42,isom,"}, {"qt  ", "qt  ,"}};
    EXPECT_EQ(compatible, brands.at(l.brand));
    if (l.lead == Lead::kFree8 || l.lead == Lead::kWide8) {
        EXPECT_EQ(top[1].size, 8u);
    } else if (l.lead == Lead::kFreeKib) {
        EXPECT_GE(top[1].size, 1024u);
    }

    // mdat: size field 1 and a 64-bit size, or a 32-bit size; ends the start region.
    const Atom& mdat = top[l.moov_first ? top.size() - 1 : top.size() - 2];
    const Atom& moov = top[l.moov_first ? top.size() - 2 : top.size() - 1];
    EXPECT_EQ(file.be32(mdat.offset).value_or(0), l.mdat64 ? 1u : mdat.size);
    EXPECT_EQ(mdat.header, l.mdat64 ? 16u : 8u);
    EXPECT_EQ(mdat.offset, b.mov.mdat_at);
    EXPECT_EQ(mdat.end(), b.mov.head.size());
    EXPECT_EQ(moov.offset, static_cast<std::size_t>(b.mov.moov_offset()));
    EXPECT_EQ(moov.size, b.mov.moov.size());

    // The video sample tables give back the encoded frames, inside the mdat.
    const auto back = ReadVideoSamples(file);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back->frames, b.video.frames);
    EXPECT_EQ(Text(ByteView(back->stsd_entry), 4, 4), VideoFourcc(l.video));
    for (std::uint64_t o : b.mov.chunk_offsets) {
        EXPECT_GE(o, mdat.body_offset());
        EXPECT_LT(o, mdat.end());
    }
    // One key frame: the first (an IDR slice, or for HEVC an IRAP picture).
    const auto stss = FindPath(file, moov, "trak/mdia/minf/stbl/stss");
    ASSERT_TRUE(stss);
    EXPECT_EQ(file.be32(stss->body_offset() + 4), 1u);
    EXPECT_EQ(file.be32(stss->body_offset() + 8), 1u);

    // Sound: the planned codec, its chunks inside the mdat, one stsz entry per
    // AAC frame, and the last chunk of the file sound exactly where planned.
    const auto traks = Children(file, moov);
    const auto trak_count =
        std::count_if(traks.begin(), traks.end(), [](const Atom& a) { return a.type == "trak"; });
    EXPECT_EQ(trak_count, l.sound == SoundCodec::kNone ? 1 : 2);
    EXPECT_EQ(b.mov.sound_chunk_offsets.empty(), l.sound == SoundCodec::kNone);
    for (std::uint64_t o : b.mov.sound_chunk_offsets) {
        EXPECT_GE(o, mdat.body_offset());
        EXPECT_LT(o, mdat.end());
    }
    if (l.sound != SoundCodec::kNone) {
        const auto last_sound = b.mov.sound_chunk_offsets.back();
        EXPECT_EQ(last_sound > b.mov.chunk_offsets.back(), l.sound_last);
        const Atom& second = *std::find_if(traks.rbegin(), traks.rend(),
                                           [](const Atom& a) { return a.type == "trak"; });
        const auto stsd = FindPath(file, second, "mdia/minf/stbl/stsd");
        const auto stsz = FindPath(file, second, "mdia/minf/stbl/stsz");
        ASSERT_TRUE(stsd && stsz);
        EXPECT_EQ(Text(file, stsd->body_offset() + 12, 4),
                  l.sound == SoundCodec::kAac ? "mp4a" : "sowt");
        if (l.sound == SoundCodec::kAac) {
            ASSERT_TRUE(b.aac);
            EXPECT_EQ(file.be32(stsz->body_offset() + 4), 0u) << "sizes vary";
            EXPECT_EQ(file.be32(stsz->body_offset() + 8), b.aac->frames.size());
            // The first chunk holds the first frames in order.
            const Bytes& first = b.aac->frames.front();
            EXPECT_EQ(Bytes(b.file.begin() + b.mov.sound_chunk_offsets.front(),
                            b.file.begin() + b.mov.sound_chunk_offsets.front() + first.size()),
                      first);
        }
    }

    // The movie header's creation time: the shooting time taken as UTC.
    const auto mvhd = FindPath(file, moov, "mvhd");
    ASSERT_TRUE(mvhd);
    EXPECT_EQ(file.u8(mvhd->body_offset()), 0) << "version 0";
    EXPECT_EQ(file.be32(mvhd->body_offset() + 4), kShotSeconds);
    EXPECT_NE(Text(file, mdat.body_offset(), 4), "DATE") << "no camera tag block";
}

// ffmpeg decodes every stream without an error, and ffprobe reads the
// planned codecs and the shooting time from every place it is written.
TEST_P(OtherLayout, FfmpegDecodesItAndReadsTheCodecsAndTime) {
    const Built& b = BuiltFor(GetParam());
    ASSERT_FALSE(b.file.empty());
    const WriterLayout& l = layout();
    test::TempDir dir;
    const auto path = dir / ("clip" + ExtensionForBrand(l.brand));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.file.data()),
               static_cast<std::streamsize>(b.file.size()));
    const ProcessResult decode = RunProcess(
        {"ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", path.string(), "-f", "null", "-"});
    EXPECT_TRUE(decode.ok() && decode.output.empty()) << decode.output;

    const ProcessResult probe = RunProcess({"ffprobe", "-v", "error", "-show_entries",
                                            "stream=codec_name:format_tags=creation_time,date,"
                                            "com.apple.quicktime.creationdate",
                                            "-of", "default=noprint_wrappers=1", path.string()});
    ASSERT_TRUE(probe.ok()) << probe.output;
    std::string expected =
        std::string("codec_name=") + (l.video == VideoCodec::kHevc ? "hevc" : "h264") + "\n";
    if (l.sound == SoundCodec::kAac) expected += "codec_name=aac\n";
    if (l.sound == SoundCodec::kPcm) expected += "codec_name=pcm_s16le\n";
    expected += "TAG:creation_time=2019-07-21T09:15:02.000000Z\n";
    const std::map<int, std::string> zones = {{480, "+0800"}, {120, "+0200"}, {-300, "-0500"}};
    if (l.date_tag == DateTag::kUdtaDay)
        expected += "TAG:date=2019-07-21T09:15:02" + zones.at(l.utc_offset_minutes) + "\n";
    if (l.date_tag == DateTag::kMetaCreationDate)
        expected += "TAG:com.apple.quicktime.creationdate=2019-07-21T09:15:02" +
                    zones.at(l.utc_offset_minutes) + "\n";
    EXPECT_EQ(probe.output, expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, OtherLayout,
                         ::testing::Range(std::size_t{0}, WriterLayouts().size()));

TEST(WriterLayout, ExtensionFollowsTheMajorBrand) {
    const std::pair<const char*, const char*> cases[] = {
        {"qt  ", ".mov"}, {"isom", ".mp4"}, {"mp42", ".mp4"}, {"mp41", ".mp4"},
        {"iso5", ".mp4"}, {"avc1", ".mp4"}, {"M4V ", ".m4v"}, {"3gp4", ".3gp"}};
    for (const auto& [brand, extension] : cases) EXPECT_EQ(ExtensionForBrand(brand), extension);
}

}  // namespace
}  // namespace tav::cardgen
