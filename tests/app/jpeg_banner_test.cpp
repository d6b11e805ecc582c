// The banner decoder: the shipped picture decodes; damaged data gives no
// picture instead of a crash or a half-grey banner.

#include <QFile>
#include <QTest>

#include <QApplication>

#include "app_windows.hpp"
#include "jpeg_image.hpp"
#include "widgets.hpp"

using namespace tav::app;

namespace {

QByteArray shipped_banner() {
    QFile file(":/pictures/banner.jpg");
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QImage decode(const QByteArray& bytes) {
    return DecodeJpeg(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                static_cast<std::size_t>(bytes.size())));
}

}  // namespace

class JpegBannerTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { SetUpApplication(*qApp); }

    void shipped_banner_is_76_pixels_high() {
        const QByteArray bytes = shipped_banner();
        QVERIFY(!bytes.isEmpty());
        const QImage image = decode(bytes);
        QVERIFY(!image.isNull());
        QCOMPARE(image.height(), kBannerHeight);
        QVERIFY(image.width() >= 1000);
        QVERIFY(!LoadBannerPicture().isNull());
        // The picture for scaled screens covers the same strip at twice the pixels.
        QCOMPARE(LoadBannerPicture(2).height(), 2 * kBannerHeight);
        QCOMPARE(LoadBannerPicture(2).width(), 2 * image.width());
    }

    void truncated_copies_give_no_picture() {
        const QByteArray bytes = shipped_banner();
        for (const qsizetype keep :
             {bytes.size() - 2, bytes.size() / 2, qsizetype{700}, qsizetype{20}, qsizetype{2}})
            QVERIFY2(decode(bytes.left(keep)).isNull(), qPrintable(QString::number(keep)));
    }

    void corrupt_data_gives_no_picture() {
        QByteArray bytes = shipped_banner();
        QVERIFY(decode(QByteArray()).isNull());
        QVERIFY(decode(QByteArray(4096, '\x5a')).isNull());
        // Scramble the entropy-coded data after the headers.
        for (qsizetype i = bytes.size() / 3; i < bytes.size() - 2; i += 7) bytes[i] = '\xff';
        QVERIFY(decode(bytes).isNull());
    }

    void banner_without_picture_still_paints() {
        BannerWidget banner{QImage()};
        banner.resize(400, kBannerHeight);
        QVERIFY(!banner.has_picture());
        QVERIFY(!banner.grab().isNull());
    }
};

QTEST_MAIN(JpegBannerTest)
#include "jpeg_banner_test.moc"
