// The texture loader against the files a hostile game may name: each file ends as an image or as
// a failure with its reason, on the loader's thread, and none of them holds up the others.
#include "HostileFiles.h"
#include "TextureLoader.h"

#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestTextureLoader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString picture(const QString &name, const QSize &size, const char *format = "PNG")
    {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::red);
        const QString path = m_dir.filePath(name);
        return image.save(path, format) ? path : QString();
    }

    // The file of a row, made as the row says.
    QString make(const QString &kind)
    {
        const QString path = m_dir.filePath(kind);
        if (kind == "picture")
            return picture("picture.png", {400, 200});
        if (kind == "small picture named .jpg")
            return picture("small.jpg", {24, 36}, "PNG");
        if (kind == "fifo")
            return HostileFiles::makeFifo(path) ? path : QString();
        if (kind == "folder")
            return QDir(m_dir.path()).mkdir(kind) ? path : QString();
        if (kind == "missing")
            return path;
        if (kind == "bomb")
            return HostileFiles::writeBombPng(path, 60000, 60000) ? path : QString();
        if (kind == "icon holding a large PNG")
            return HostileFiles::writeIco(path, HostileFiles::bombPng(5000, 5000)) ? path
                                                                                   : QString();
        if (kind == "PNG named .ico")
            return picture("png.ico", {24, 36});
        if (kind == "JPEG")
            return picture("plain.jpg", {300, 150}, "JPEG");
        if (kind == "progressive JPEG") {
            QImageWriter writer(m_dir.filePath("progressive.jpg"));
            writer.setProgressiveScanWrite(true);
            QImage image(400, 400, QImage::Format_RGB32);
            image.fill(Qt::blue);
            return writer.write(image) ? writer.fileName() : QString();
        }
        if (kind == "scan bomb" || kind == "many scans of a small picture")
            return HostileFiles::writeScanBombJpeg(path, kind == "scan bomb" ? 4096 : 64,
                                                   TextureLoader::maxScans + 1)
                       ? path
                       : QString();
        if (kind == "GIF")
            return HostileFiles::writeFile(
                       path, QByteArray::fromHex("47494638396101000100800000000000ffffff21f904"
                                                 "01000000002c00000000010001000002024401003b"))
                       ? path
                       : QString();
        if (kind == "BMP")
            return picture("picture.bmp", {8, 8}, "BMP");
        if (kind == "too wide")
            return picture("wide.png", {TextureLoader::maxSide + 1, 2});
        if (kind == "text") {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write("not an image\n") > 0 ? path
                                                                                       : QString();
        }
        if (kind == "over 8 MiB") {
            // A PNG followed by filler: only the size refuses it.
            const QString png = picture("big.png", {16, 16});
            QFile file(png);
            return file.resize(TextureLoader::maxFileBytes + 1) ? png : QString();
        }
        return QString();
    }

private Q_SLOTS:
    void fileOutcomes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QSize>("decoded"); // invalid: refused
        QTest::addColumn<QString>("reason");
        QTest::newRow("picture, decoded at most 192 a side")
            << "picture" << QSize(192, 96) << QString();
        QTest::newRow("small picture named .jpg")
            << "small picture named .jpg" << QSize(24, 36) << QString();
        QTest::newRow("fifo") << "fifo" << QSize() << "not a regular file";
        QTest::newRow("folder") << "folder" << QSize() << "not a regular file";
        QTest::newRow("missing") << "missing" << QSize() << "no such file";
        QTest::newRow("bomb") << "bomb" << QSize()
                              << "image of 60000×60000 pixels, above 4096×4096";
        QTest::newRow("too wide") << "too wide" << QSize() << "image of 4097×2 pixels";
        QTest::newRow("text") << "text" << QSize() << "neither a PNG nor a JPEG image";
        // Told by content, not by name; only the formats whose decoding can be bounded.
        QTest::newRow("icon holding a large PNG")
            << "icon holding a large PNG" << QSize() << "neither a PNG nor a JPEG image";
        QTest::newRow("PNG named .ico") << "PNG named .ico" << QSize(24, 36) << QString();
        QTest::newRow("GIF") << "GIF" << QSize() << "neither a PNG nor a JPEG image";
        QTest::newRow("BMP") << "BMP" << QSize() << "neither a PNG nor a JPEG image";
        QTest::newRow("JPEG") << "JPEG" << QSize(192, 96) << QString();
        QTest::newRow("progressive JPEG") << "progressive JPEG" << QSize(192, 192) << QString();
        QTest::newRow("scan bomb")
            << "scan bomb" << QSize() << "JPEG whose scans pass over more than 6291456 blocks";
        QTest::newRow("many scans of a small picture")
            << "many scans of a small picture" << QSize() << "JPEG of more than 100 scans";
        QTest::newRow("over 8 MiB") << "over 8 MiB" << QSize() << "file larger than 8388608 bytes";
    }

    void fileOutcomes()
    {
        QFETCH(QString, kind);
        QFETCH(QSize, decoded);
        QFETCH(QString, reason);
        QVERIFY(m_dir.isValid());
        const QString path = make(kind);
        QVERIFY2(!path.isEmpty(), "the test could not make its file");

        TextureLoader loader;
        QSignalSpy loaded(&loader, &TextureLoader::loaded);
        const quint64 before = loader.epoch();
        QCOMPARE(loader.request(path).state, TextureLoader::State::Pending);
        // Not loaded.wait(): the announcement may come before it starts waiting. The loader
        // announces a file before it stops counting as pending.
        QVERIFY(loader.waitForIdle(10000));
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(loaded.first().at(0).toString(), path);
        QCOMPARE(loaded.first().at(1).toBool(), decoded.isValid());
        QCOMPARE(loader.epoch(), before + 1);

        // Known now: answered from the cache, and never read again.
        const TextureLoader::Result result = loader.request(path);
        QCOMPARE(result.state,
                 decoded.isValid() ? TextureLoader::State::Ready : TextureLoader::State::Failed);
        if (decoded.isValid()) {
            QCOMPARE(result.image.size(), decoded);
        } else {
            QVERIFY(result.image.isNull());
            QVERIFY(!result.error.isEmpty());
            QVERIFY2(result.error.startsWith(reason), qPrintable(result.error));
        }
        QVERIFY(loader.waitForIdle(10000)); // a second reading would be announced by now
        QCOMPARE(loaded.size(), 1);
    }

    void stallingFileHoldsUpNoOther()
    {
        // Files asked after a FIFO and bombs still arrive, and before large pictures asked first
        // (the first may be decoding already while the others are asked; the second is not); each
        // file is read once however often it is asked.
        const QString busy = picture("busy.png", {2100, 2100});
        const QString large = picture("large.png", {2100, 2100});
        const QString fifo = make("fifo");
        const QString bomb = make("bomb");
        const QString scans = make("scan bomb");
        const QString good = make("picture");
        TextureLoader loader;
        QSignalSpy loaded(&loader, &TextureLoader::loaded);
        for (int round = 0; round < 3; ++round)
            for (const QString &path : {busy, large, fifo, bomb, scans, good})
                loader.request(path);
        QVERIFY(loader.waitForIdle(20000));
        QStringList order;
        for (const QList<QVariant> &arrival : loaded)
            order.append(arrival.at(0).toString());
        order.removeOne(busy);
        QCOMPARE(order, (QStringList{fifo, bomb, scans, good, large}));
        QCOMPARE(loader.request(good).state, TextureLoader::State::Ready);
        QCOMPARE(loader.request(large).state, TextureLoader::State::Ready);

        loader.clear();
        QCOMPARE(loader.request(good).state, TextureLoader::State::Pending);
        QVERIFY(loader.waitForIdle(10000));
        QCOMPARE(loader.request(good).state, TextureLoader::State::Ready);
    }

    void missingFileIsAskedAgainLater()
    {
        // A file the game has not written yet is read again once the retry interval has passed;
        // a refused one is not.
        const QString later = m_dir.filePath("later.png");
        const QString fifo = m_dir.filePath("later-fifo");
        QVERIFY(HostileFiles::makeFifo(fifo));
        TextureLoader loader;
        loader.setRetryAfterMs(200);
        loader.request(later);
        loader.request(fifo);
        QVERIFY(loader.waitForIdle(10000));
        QCOMPARE(loader.request(later).state, TextureLoader::State::Failed);
        QVERIFY(!picture("later.png", {8, 8}).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(loader.request(later).state, TextureLoader::State::Ready, 10000);
        QCOMPARE(loader.request(fifo).state, TextureLoader::State::Failed);
        QCOMPARE(loader.pendingCount(), 0);
    }

    void stoppedLoaderRefuses()
    {
        TextureLoader loader;
        loader.request(picture("stopped.png", {8, 8}));
        QVERIFY(loader.stop(10000));
        const TextureLoader::Result result = loader.request(m_dir.filePath("stopped.png"));
        QCOMPARE(result.state, TextureLoader::State::Failed);
        QCOMPARE(result.error, QString("the loader has stopped"));
    }
};

QTEST_GUILESS_MAIN(TestTextureLoader)
#include "tst_textureloader.moc"
