#include <QFile>

#include "jpeg_image.hpp"
#include "widgets.hpp"

namespace tav::app {

QImage LoadBannerPicture(int scale) {
    QFile file(scale == 2 ? ":/pictures/banner@2x.jpg" : ":/pictures/banner.jpg");
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    return DecodeJpeg(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                static_cast<std::size_t>(bytes.size())));
}

}  // namespace tav::app
