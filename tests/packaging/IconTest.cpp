// The program icon's rasters against the drawing they come from: each
// hicolor PNG that Linux desktops draw, and each image of updater.ico that
// Windows and the Qt window pick from, shows what resources/updater.svg draws
// at its size, as rsvg-convert renders it on this machine. The rasters are
// committed (resources/draw-icons.sh); this catches a drawing changed without
// them, a raster edited by hand, and an image missing or of the wrong size.
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QtTest>

namespace {

const QString resources = QStringLiteral(UPDATER_RESOURCES_DIR);

QImage Premultiplied(const QImage& image) {
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage Drawn(int size) {
    QProcess rsvg;
    rsvg.start(QStringLiteral("rsvg-convert"), {QStringLiteral("-w"), QString::number(size), QStringLiteral("-h"),
                                                QString::number(size), resources + "/updater.svg"});
    if (!rsvg.waitForFinished(30000) || rsvg.exitStatus() != QProcess::NormalExit || rsvg.exitCode() != 0) return {};
    return Premultiplied(QImage::fromData(rsvg.readAllStandardOutput(), "PNG"));
}

// The image of this size in the .ico, as Qt's reader (the Qt window's) has it.
QImage IcoImage(int size) {
    QImageReader reader(resources + "/updater.ico");
    for (int i = 0; i < reader.imageCount(); ++i) {
        reader.jumpToImage(i);
        const QImage image = reader.read();
        if (image.width() == size) return Premultiplied(image);
    }
    return {};
}

// Pixels whose colour or opacity differs by more than renderers of other
// versions differ in anti-aliasing (a few steps, at shape edges): any
// channel by more than 48 of 255.
int PixelsDiffering(const QImage& a, const QImage& b) {
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int most = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                       std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            if (most > 48) ++differing;
        }
    }
    return differing;
}

}  // namespace

class IconTest : public QObject {
    Q_OBJECT

private slots:
    void showsTheDrawing_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("size");
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            QTest::newRow(qPrintable(QStringLiteral("hicolor %1").arg(size))) << QStringLiteral("png") << size;
        // What Windows asks for at 100 % to 200 % display scaling (small and
        // large icons), and Explorer's largest view.
        for (int size : {16, 20, 24, 32, 40, 48, 64, 256})
            QTest::newRow(qPrintable(QStringLiteral("ico %1").arg(size))) << QStringLiteral("ico") << size;
    }

    void showsTheDrawing() {
        QFETCH(QString, where);
        QFETCH(int, size);
        const QImage raster = where == "png"
                                  ? Premultiplied(QImage(resources + QStringLiteral("/icons/updater-%1.png").arg(size)))
                                  : IcoImage(size);
        QVERIFY2(!raster.isNull(), "no image of this size");
        QCOMPARE(raster.size(), QSize(size, size));
        const QImage drawn = Drawn(size);
        QVERIFY2(!drawn.isNull(), "rsvg-convert (librsvg2-bin) drew nothing");
        // At most one pixel in 200: moving the LED by half a pixel at 16
        // pixels, or its colour, is more.
        const int differing = PixelsDiffering(raster, drawn);
        QVERIFY2(differing <= size * size / 200,
                 qPrintable(QStringLiteral("%1 of %2 pixels differ").arg(differing).arg(size * size)));
    }
};

QTEST_GUILESS_MAIN(IconTest)
#include "IconTest.moc"
