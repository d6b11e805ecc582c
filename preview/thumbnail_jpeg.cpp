#include "thumbnail_jpeg.hpp"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include "recovery/output_sink.hpp"

// The Windows cross build has no libjpeg (and no decoder module): it writes
// no thumbnails and says so.
#if __has_include(<jpeglib.h>)
#define TAVORINE_HAVE_JPEG 1
#include <jpeglib.h>
#endif

namespace tav::preview {

#ifdef TAVORINE_HAVE_JPEG
namespace {

struct ErrorManager {
    jpeg_error_mgr base;  // first member: libjpeg hands back a pointer to it
    std::jmp_buf escape;
};

[[noreturn]] void OnErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->escape, 1);
}

void OnMessage(j_common_ptr, int) {}

// Kept free of C++ objects with destructors: longjmp may leave it at any point.
bool CompressInto(jpeg_compress_struct& cinfo, ErrorManager& errors, const RgbImage& image,
                  int quality, unsigned char** out, unsigned long* size) {
    if (setjmp(errors.escape)) return false;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride = static_cast<std::size_t>(image.width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg's API is not const-correct; it only reads the rows.
        auto* row = const_cast<JSAMPLE*>(image.pixels.data() + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

}  // namespace

std::expected<std::vector<std::uint8_t>, std::string> EncodeJpeg(const RgbImage& image,
                                                                 int quality) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 3)
        return std::unexpected(std::string("empty image"));
    jpeg_compress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnErrorExit;
    errors.base.emit_message = OnMessage;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const bool ok = CompressInto(cinfo, errors, image, quality, &out, &size);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> bytes;
    if (ok && out) bytes.assign(out, out + size);
    std::free(out);
    if (!ok) return std::unexpected(std::string("JPEG encoding failed"));
    return bytes;
}
#else
std::expected<std::vector<std::uint8_t>, std::string> EncodeJpeg(const RgbImage&, int) {
    return std::unexpected(std::string("built without JPEG support"));
}
#endif

std::expected<void, std::string> WriteJpegFile(const std::filesystem::path& path,
                                               const RgbImage& image) {
    const auto bytes = EncodeJpeg(image);
    if (!bytes) return std::unexpected(bytes.error());
    auto sink = FileSink::create(path.string());
    if (!sink) return std::unexpected(sink.error());
    if (!(*sink)->write(*bytes)) {
        const std::string why = (*sink)->last_error();
        (*sink)->discard();
        return std::unexpected(why);
    }
    if (!(*sink)->close()) {
        const std::string why = (*sink)->last_error();
        (*sink)->discard();
        return std::unexpected(why);
    }
    return {};
}

}  // namespace tav::preview
