#include "widgets.hpp"

namespace tav::app {

// The Windows build's Qt reads no JPEG: the same banner comes as PNG.
QImage LoadBannerPicture(int scale) {
    return QImage(scale == 2 ? QStringLiteral(":/pictures/banner@2x.png")
                             : QStringLiteral(":/pictures/banner.png"));
}

}  // namespace tav::app
