#include "support/testsupport.h"

#include "picture/frmpic.h"

#include <QCheckBox>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using Files = QMap<QString, QByteArray>;

class TestPicture : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Fixture> f;
    QTemporaryDir m_images;

    // A JPEG of the given size, outside the data directory.
    QString image(const QString &name, QSize size)
    {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        const QString path = m_images.filePath(name);
        if (!QFile::exists(path))
            picture.save(path, "JPEG");
        return path;
    }

    // Family holds Ann, with a 200 × 100 picture, and Bo, without one.
    FrmMain &startWithFamily()
    {
        f->put("RelationsList", listBytes({"Family", "Work"}));
        f->put("NamesListFamily", listBytes({"Ann", "Bo"}));
        f->put("FamilyAnnPic", image("ann.jpg", {200, 100}).toUtf8() + "\r\n");
        FrmMain &w = f->start();
        f->pickCategory("Family");
        return w;
    }

    QSize twips(QSize pixels)
    {
        const FrmPic &pic = f->window().picture.frmPic();
        return {qRound(pixels.width() * 1440.0 / pic.logicalDpiX()), qRound(pixels.height() * 1440.0 / pic.logicalDpiY())};
    }

    // The window fits the picture box: outer size = box + (350, 1800) twips.
    void verifyFitted()
    {
        FrmPic &pic = f->window().picture.frmPic();
        const QSize box = twips(pic.picItem->size());
        const QSize frame = pic.frameGeometry().size() - pic.size();
        const QSize outer = twips(pic.size() + (frame.isEmpty() ? QSize() : frame));
        const QSize nominal = frame.isEmpty() ? QSize(50, 570) : QSize();
        QVERIFY(qAbs(outer.width() + nominal.width() - box.width() - 350) <= 15);
        QVERIFY(qAbs(outer.height() + nominal.height() - box.height() - 1800) <= 15);
        QVERIFY(qAbs(twips(pic.cmdClose->pos()).height() - (box.height() + 1800 - 1075)) <= 15);
        QVERIFY(qAbs(twips(pic.cmdAddPic->size()).width() - box.width()) <= 15);
    }

    QSize twips(QPoint p) { return twips(QSize(p.x(), p.y())); }

private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup()
    {
        QVERIFY2(f->platform.unanswered.isEmpty(), qPrintable(f->platform.unanswered.join('|')));
        f.reset();
    }

    void readsJpegAndGif()
    {
        const QList<QByteArray> formats = QImageReader::supportedImageFormats();
        QVERIFY(formats.contains("jpeg"));
        QVERIFY(formats.contains("gif"));
    }

    void selectingShowsThePicture()
    {
        FrmMain &w = startWithFamily();
        FrmPic &pic = w.picture.frmPic();
        QVERIFY(!pic.isVisible());
        f->pickName("Ann");
        QCOMPARE(w.PicPath, m_images.filePath("ann.jpg"));
        QCOMPARE(pic.picItem->size(), QSize(200, 100));
        verifyFitted();

        f->pickName("Bo"); // no picture file: the previous image goes
        QVERIFY(pic.picItem->pixmap().isNull());
        QCOMPARE(w.PicPath, QString());
        verifyFitted();

        f->pickName("Ann");
        f->pickCategory("Work");
        QVERIFY(pic.picItem->pixmap().isNull());
    }

    void showHideAndClose()
    {
        FrmMain &w = startWithFamily();
        FrmPic &pic = w.picture.frmPic();
        f->pickName("Bo");
        w.chkPic->click();
        QVERIFY(pic.isVisible());
        QVERIFY(pic.picItem->pixmap().isNull());

        f->pickName("Ann"); // an open window follows the selection
        QCOMPARE(pic.picItem->size(), QSize(200, 100));
        pic.cmdClose->click();
        QVERIFY(!pic.isVisible());
        QVERIFY(!w.chkPic->isChecked());
        w.chkPic->click();
        QVERIFY(pic.isVisible());
        QVERIFY(!pic.picItem->pixmap().isNull());
        pic.close(); // the title bar's close does what Close does
        QVERIFY(!pic.isVisible());
        QVERIFY(!w.chkPic->isChecked());
    }

    void changePicture_data()
    {
        QTest::addColumn<QString>("chosen"); // empty: cancel
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("stored");

        QTest::newRow("a JPEG") << "big.jpg" << "" << QByteArray("big.jpg");
        QTest::newRow("cancel") << "" << "" << QByteArray();
        QTest::newRow("not an image") << "notes.jpg" << "cannot be shown" << QByteArray();
    }

    void changePicture()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, message);
        QFETCH(QByteArray, stored);

        FrmMain &w = startWithFamily();
        f->pickName("Bo");
        const QString big = image("big.jpg", {400, 300});
        QFile notes(m_images.filePath("notes.jpg"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("not a picture");
        notes.close();
        f->platform.files.enqueue(chosen.isEmpty() ? QString() : m_images.filePath(chosen));
        w.picture.frmPic().cmdAddPic->click();

        QCOMPARE(f->platform.shown.first().prompt, FrmPic::pictureFilter());
        QCOMPARE(f->platform.messages().join(' ').contains("cannot be shown"), !message.isEmpty());
        if (stored.isEmpty()) {
            QVERIFY(!f->files().contains("FamilyBoPic"));
            QVERIFY(w.picture.frmPic().picItem->pixmap().isNull());
            return;
        }
        QCOMPARE(f->file("FamilyBoPic"), big.toUtf8() + "\r\n");
        QCOMPARE(w.picture.frmPic().picItem->size(), QSize(400, 300));
        verifyFitted();
    }

    void changePictureWithoutContactDoesNothing()
    {
        FrmMain &w = startWithFamily();
        const Files before = f->files();
        w.picture.frmPic().cmdAddPic->click();
        QCOMPARE(f->platform.shown.size(), 0);
        QCOMPARE(f->files(), before);
    }

    // The print form cuts a value at a comma: such a picture is not found, but its file keeps the whole path.
    void pathWithCommaIsNotFoundButKept()
    {
        FrmMain &w = startWithFamily();
        const QString path = image("a,b.jpg", {20, 20});
        f->pickName("Bo");
        f->platform.files.enqueue(path);
        w.picture.frmPic().cmdAddPic->click();
        QCOMPARE(f->file("FamilyBoPic"), path.toUtf8() + "\r\n");
        f->pickName("Ann");
        f->pickName("Bo");
        QVERIFY(w.picture.frmPic().picItem->pixmap().isNull());
        QCOMPARE(f->file("FamilyBoPic"), path.toUtf8() + "\r\n");
    }

    void removingTheContactKeepsTheImage()
    {
        FrmMain &w = startWithFamily();
        f->pickName("Ann");
        f->platform.answers.enqueue(true);
        w.cmdRemoveName->click();
        QVERIFY(!f->files().contains("FamilyAnnPic"));
        QVERIFY(QFile::exists(m_images.filePath("ann.jpg")));
        QVERIFY(w.picture.frmPic().picItem->pixmap().isNull());
    }
};

QTEST_MAIN(TestPicture)
#include "tst_picture.moc"
