// The pictures must keep the exact formats that the windows were laid out
// for; these checks read the files' own bytes rather than trusting a
// decoder, which would accept a progressive or CMYK JPEG just as well.

#include <QFile>
#include <QImage>
#include <QtTest>

#include "data/images/vantrel_images.h"

namespace {

struct JpegFacts {
  bool jfif = false;
  int jfifMajor = 0, jfifMinor = 0;
  int densityUnits = -1, xDensity = 0, yDensity = 0;
  int frameMarker = 0;  // 0xC0 baseline, 0xC2 progressive, ...
  int precision = 0, width = 0, height = 0, components = 0;
};

int be16(const QByteArray& b, qsizetype at) {
  return (static_cast<unsigned char>(b[at]) << 8) |
         static_cast<unsigned char>(b[at + 1]);
}

// Walks the marker segments up to the first frame header.
bool readJpeg(const QByteArray& b, JpegFacts* facts) {
  if (b.size() < 4 || b.at(0) != '\xFF' || b.at(1) != '\xD8') return false;
  qsizetype at = 2;
  while (at + 4 <= b.size()) {
    if (b.at(at) != '\xFF') return false;
    const int marker = static_cast<unsigned char>(b[at + 1]);
    const int length = be16(b, at + 2);
    const qsizetype body = at + 4;
    if (length < 2 || body + length - 2 > b.size()) return false;
    if (marker == 0xE0 && length >= 16 &&
        b.mid(body, 5) == QByteArray("JFIF\0", 5)) {
      facts->jfif = true;
      facts->jfifMajor = static_cast<unsigned char>(b[body + 5]);
      facts->jfifMinor = static_cast<unsigned char>(b[body + 6]);
      facts->densityUnits = static_cast<unsigned char>(b[body + 7]);
      facts->xDensity = be16(b, body + 8);
      facts->yDensity = be16(b, body + 10);
    }
    const bool frameHeader = marker >= 0xC0 && marker <= 0xCF &&
                             marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frameHeader) {
      facts->frameMarker = marker;
      facts->precision = static_cast<unsigned char>(b[body]);
      facts->height = be16(b, body + 1);
      facts->width = be16(b, body + 3);
      facts->components = static_cast<unsigned char>(b[body + 5]);
      return true;
    }
    at = body + length - 2;
  }
  return false;
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class BannerTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { initVantrelImages(); }

  // The file in the source tree and the copy compiled into the program.
  void bannerIsJfif101Baseline300Dpi_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("source") << VANTREL_SOURCE_DIR "/data/images/banner.jpg";
    QTest::newRow("resource") << vantrelImagePath("banner.jpg");
  }
  void bannerIsJfif101Baseline300Dpi() {
    QFETCH(QString, path);
    const QByteArray bytes = readAll(path);
    QVERIFY2(!bytes.isEmpty(), qPrintable(path));
    JpegFacts facts;
    QVERIFY(readJpeg(bytes, &facts));
    QVERIFY(facts.jfif);
    QCOMPARE(facts.jfifMajor, 1);
    QCOMPARE(facts.jfifMinor, 1);
    QCOMPARE(facts.densityUnits, 1);  // dots per inch
    QCOMPARE(facts.xDensity, 300);
    QCOMPARE(facts.yDensity, 300);
    QCOMPARE(facts.frameMarker, 0xC0);
    QCOMPARE(facts.precision, 8);
    QCOMPARE(facts.components, 3);
    QCOMPARE(facts.width, 307);
    QCOMPARE(facts.height, 87);
  }

  void bannerAndSourceAreTheSameFile() {
    QCOMPARE(readAll(vantrelImagePath("banner.jpg")),
             readAll(VANTREL_SOURCE_DIR "/data/images/banner.jpg"));
  }

  void otherPicturesHaveTheirSizes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("main window picture") << "picture1.png" << QSize(150, 225);
    QTest::newRow("icon 32") << "vantrel-32.png" << QSize(32, 32);
    QTest::newRow("icon 16") << "vantrel-16.png" << QSize(16, 16);
  }
  void otherPicturesHaveTheirSizes() {
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QImage image(vantrelImagePath(qPrintable(name)));
    QVERIFY2(!image.isNull(), qPrintable(name));
    QCOMPARE(image.size(), size);
  }

  // The icon sizes are drawn separately, so a 16 x 16 request must not get
  // a scaled-down 32 x 32.
  void iconOffersBothDrawnSizes() {
    const QList<QSize> sizes = vantrelIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(sizes.contains(QSize(32, 32)));
  }
};

QTEST_MAIN(BannerTest)
#include "banner_test.moc"
