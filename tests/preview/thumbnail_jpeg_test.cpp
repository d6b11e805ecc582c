#include "thumbnail_jpeg.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include <jpeglib.h>

#include "duration_label.hpp"
#include "support/temp_dir.hpp"

namespace tav::preview {
namespace {

RgbImage Gradient(int width, int height) {
    RgbImage image{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.pixels.insert(image.pixels.end(),
                                {static_cast<std::uint8_t>(x * 255 / width),
                                 static_cast<std::uint8_t>(y * 255 / height), 128});
    return image;
}

// Width, height and the pixel at (x, y) of a JPEG, as libjpeg reads it back.
struct Decoded {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};

Decoded DecodeJpeg(const std::vector<std::uint8_t>& bytes) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    Decoded d{static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), {}};
    d.pixels.resize(static_cast<std::size_t>(d.width) * d.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = d.pixels.data() + cinfo.output_scanline * d.width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return d;
}

TEST(ThumbnailJpeg, WritesTheImageAndNeverReplacesAFile) {
    test::TempDir dir;
    const RgbImage image = Gradient(160, 90);
    ASSERT_TRUE(WriteJpegFile(dir / "a.jpg", image).has_value());
    std::ifstream in(dir / "a.jpg", std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    const Decoded back = DecodeJpeg(bytes);
    EXPECT_EQ(back.width, 160);
    EXPECT_EQ(back.height, 90);
    // The far corner keeps its colour (JPEG is lossy, so within a margin).
    const std::size_t last = back.pixels.size() - 3;
    EXPECT_NEAR(back.pixels[last], image.pixels[last], 12);
    EXPECT_NEAR(back.pixels[last + 1], image.pixels[last + 1], 12);

    const auto again = WriteJpegFile(dir / "a.jpg", Gradient(8, 8));
    EXPECT_FALSE(again.has_value());
    EXPECT_EQ(std::filesystem::file_size(dir / "a.jpg"), bytes.size());
    EXPECT_FALSE(EncodeJpeg(RgbImage{4, 4, {}}).has_value());  // pixels missing
}

TEST(ThumbnailJpeg, DurationLabelRoundsToSeconds) {
    const struct {
        std::optional<double> seconds;
        const char* text;
    } cases[] = {
        {83.0, "时长 00:01:23"},         {0.96, "时长 00:00:01"}, {3725.4, "时长 01:02:05"},
        {std::nullopt, "时长 --:--:--"}, {-1.0, "时长 --:--:--"},
    };
    for (const auto& c : cases) EXPECT_EQ(DurationLabel(c.seconds), c.text);
}

}  // namespace
}  // namespace tav::preview
