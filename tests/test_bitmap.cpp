// Saved maps: the bitmap encoder read back by Qt's own reader at every depth it writes, and the
// batch writer's account of what it could not write.
#include "pipeline/batch_writer.h"
#include "plot/bitmap_encoder.h"

#include <QBuffer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

class TestBitmap : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void batchReportsWhatItCouldNotWrite();
};

void TestBitmap::roundTrip_data()
{
    // Odd widths pad every line; the colour counts choose 4, 8 and 24 bits a pixel.
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("colours");
    QTest::addColumn<int>("bits");
    QTest::newRow("4-bit-width-1") << 1 << 3 << 4;
    QTest::newRow("4-bit-width-7") << 7 << 15 << 4; // and white, always in the palette
    QTest::newRow("8-bit-width-5") << 5 << 17 << 8;
    QTest::newRow("8-bit-width-9") << 9 << 200 << 8;
    QTest::newRow("24-bit-width-3") << 3 << 257 << 24;
    QTest::newRow("24-bit-width-13") << 13 << 300 << 24;
}

void TestBitmap::roundTrip()
{
    QFETCH(int, width);
    QFETCH(int, colours);
    QFETCH(int, bits);
    const int height = (colours + width - 1) / width + 2;
    QImage image(width, height, QImage::Format_RGB32);
    // Every colour distinct in red, green and blue, so a swapped channel shows.
    for (int i = 0; i < width * height; ++i)
        image.setPixel(
            i % width, i / width,
            qRgb((i % colours) * 7 % 256, (i % colours) * 13 % 251, 255 - (i % colours) % 256));
    const QByteArray bytes = encodeBitmap(image);
    QCOMPARE(int(quint8(bytes[28])), bits);
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "bmp");
    const QImage back = reader.read();
    QVERIFY2(!back.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(back.size(), image.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            QCOMPARE(back.pixel(x, y), image.pixel(x, y));
}

void TestBitmap::batchReportsWhatItCouldNotWrite()
{
    QTemporaryDir dir;
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QString good = dir.filePath(QStringLiteral("a.BMP"));
    const QString bad = dir.filePath(QStringLiteral("missing/b.BMP"));
    BitmapWriter writer(Durability::Deferred);
    writer.submit(image, good);
    writer.submit(image, bad);
    const QList<BitmapWriter::Unwritten> unwritten = writer.finish();
    QCOMPARE(unwritten.size(), 1);
    QCOMPARE(unwritten.first().path, bad);
    QCOMPARE(unwritten.first().failure.kind, Failure::Kind::System);
    QVERIFY(QFile::exists(good));
}

QTEST_GUILESS_MAIN(TestBitmap)
#include "test_bitmap.moc"
