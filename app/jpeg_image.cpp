#include "jpeg_image.hpp"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace tav::app {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;  // first member: libjpeg hands back a pointer to it
    std::jmp_buf escape;
    bool warned = false;
};

[[noreturn]] void on_error_exit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(manager->escape, 1);
}

void on_message(j_common_ptr cinfo, int level) {
    // Negative levels are warnings about corrupt data; the rest are traces.
    if (level < 0) reinterpret_cast<ErrorManager*>(cinfo->err)->warned = true;
}

// Kept free of C++ objects with destructors: longjmp may leave it at any point.
bool decode_into(jpeg_decompress_struct& cinfo, ErrorManager& errors,
                 std::span<const std::uint8_t> data, QImage& image) {
    if (setjmp(errors.escape)) return false;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3 || cinfo.output_width == 0 || cinfo.output_height == 0 ||
        cinfo.output_width > 16384 || cinfo.output_height > 16384)
        return false;
    image = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                   QImage::Format_RGB888);
    if (image.isNull()) return false;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (errors.warned) return false;
    }
    jpeg_finish_decompress(&cinfo);
    return !errors.warned;
}

}  // namespace

QImage DecodeJpeg(std::span<const std::uint8_t> data) {
    if (data.empty()) return {};
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = on_error_exit;
    errors.base.emit_message = on_message;
    QImage image;
    const bool ok = decode_into(cinfo, errors, data, image);
    jpeg_destroy_decompress(&cinfo);
    return ok ? image : QImage();
}

}  // namespace tav::app
