// The printing face: each glyph of an ideograph is reached from that
// ideograph alone, everything else of the font stays; a broken or cut font
// file gives nothing rather than a crash.
#include "controls/FontCmap.h"

#include <QFile>
#include <QRawFont>
#include <QtTest>

class FontCmapTest : public QObject {
    Q_OBJECT

private slots:
    void ideographsOnlyAndBrokenFilesRefused()
    {
        QFile file(QStringLiteral("/usr/share/fonts/opentype/noto/NotoSerifCJK-Regular.ttc"));
        // scripts/setup installs it (fonts-noto-cjk).
        QVERIFY2(file.open(QIODevice::ReadOnly), "Noto Serif CJK is not installed");
        const QByteArray collection = file.readAll();
        const QRawFont original(collection, 20);
        QVERIFY(original.isValid());
        const QByteArray copy = ui::fontWithIdeographGlyphsOnly(collection, 0, QStringLiteral("Test Serif"));
        const QRawFont made(copy, 20);
        QVERIFY(made.isValid());
        QCOMPARE(made.familyName(), QStringLiteral("Test Serif"));
        for (const char32_t c : {U'目', U'十', U'用', U'门', U'A', U'7', U'（'}) {
            const QString s = QString::fromUcs4(&c, 1);
            QVERIFY2(made.supportsCharacter(c), qPrintable(s));
            QCOMPARE(made.glyphIndexesForString(s), original.glyphIndexesForString(s));
        }
        // The simplified Chinese face (2 in Debian's collection) draws 门 with
        // the glyph of the radical ⻔ as well; the Japanese one (0) does not,
        // and keeps ⻔ as a character of its own.
        const QRawFont sc(ui::fontWithIdeographGlyphsOnly(collection, 2, QStringLiteral("Test Serif SC")), 20);
        QVERIFY(sc.isValid());
        for (const char32_t c : {U'⽬', U'⼗', U'⽤', U'⻔'}) {
            QVERIFY2(original.supportsCharacter(c), qPrintable(QString::fromUcs4(&c, 1)));
            QVERIFY2(!sc.supportsCharacter(c), qPrintable(QString::fromUcs4(&c, 1)));
        }
        for (const char32_t c : {U'⽬', U'⼗', U'⽤'})
            QVERIFY2(!made.supportsCharacter(c), qPrintable(QString::fromUcs4(&c, 1)));
        QVERIFY(sc.supportsCharacter(U'门'));

        for (const qsizetype size : {qsizetype(0), qsizetype(11), qsizetype(200), qsizetype(5000), collection.size() / 2})
            QVERIFY(ui::fontWithIdeographGlyphsOnly(collection.left(size), 0, QStringLiteral("T")).isEmpty());
        QVERIFY(ui::fontWithIdeographGlyphsOnly(collection, 99, QStringLiteral("T")).isEmpty());
        QVERIFY(ui::fontWithIdeographGlyphsOnly(QByteArray(4096, '\xff'), 0, QStringLiteral("T")).isEmpty());
    }
};

QTEST_MAIN(FontCmapTest)
#include "test_fontcmap.moc"
