// The picture window: the selected contact's picture, showing and hiding the
// window, and choosing another picture.

#include "support/testsupport.h"

#include <QImageReader>

class TestPicture : public FixtureTest
{
    Q_OBJECT

private:
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

    // Family's Ann has a 200 × 100 picture, Bo none.
    FrmMain &startOnFamily()
    {
        f->putStandardBook();
        f->put("FamilyAnnPic", image("ann.jpg", {200, 100}).toUtf8() + "\r\n");
        return f->startOn("Family");
    }

    // The window fits the picture box: outer size = box + (350, 1800) twips.
    void verifyFitted()
    {
        FrmPic &pic = f->window().picture.frmPic();
        const auto twips = [&pic](QSize pixels) {
            return QSize(qRound(pixels.width() * 1440.0 / pic.logicalDpiX()),
                         qRound(pixels.height() * 1440.0 / pic.logicalDpiY()));
        };
        const QSize box = twips(pic.picItem->size());
        const QSize frame = pic.frameGeometry().size() - pic.size();
        const QSize outer = frame.isEmpty() ? twips(pic.size()) + QSize(50, 570) : twips(pic.size() + frame);
        QVERIFY(qAbs(outer.width() - box.width() - 350) <= 15);
        QVERIFY(qAbs(outer.height() - box.height() - 1800) <= 15);
        QVERIFY(qAbs(twips({0, pic.cmdClose->y()}).height() - (box.height() + 1800 - 1075)) <= 15);
        QVERIFY(qAbs(twips(pic.cmdAddPic->size()).width() - box.width()) <= 15);
    }

private slots:
    void readsJpegAndGif()
    {
        const QList<QByteArray> formats = QImageReader::supportedImageFormats();
        QVERIFY(formats.contains("jpeg") && formats.contains("gif"));
    }

    // Removing the contact deletes its picture file, not the image.
    void selectingShowsThePicture()
    {
        FrmMain &w = startOnFamily();
        FrmPic &pic = w.picture.frmPic();
        f->pickName("Ann");
        QVERIFY(!pic.isVisible());
        QCOMPARE(w.PicPath, m_images.filePath("ann.jpg"));
        QCOMPARE(pic.picItem->size(), QSize(200, 100));
        verifyFitted();

        f->pickName("Bo"); // no picture file: the previous image goes
        QVERIFY(pic.picItem->pixmap().isNull());
        QCOMPARE(w.PicPath, QString());
        verifyFitted();

        f->pickName("Ann");
        f->pickCategory("work");
        QVERIFY(pic.picItem->pixmap().isNull());
        f->pickCategory("Family");
        f->pickName("Ann");
        f->platform.answers.enqueue(true);
        w.cmdRemoveName->click();
        QVERIFY(pic.picItem->pixmap().isNull());
        QVERIFY(!f->files().contains("FamilyAnnPic") && QFile::exists(m_images.filePath("ann.jpg")));
    }

    // The check box, Close and the title bar's close keep window and check box in step.
    void showHideAndClose()
    {
        FrmMain &w = startOnFamily();
        FrmPic &pic = w.picture.frmPic();
        f->pickName("Bo");
        w.chkPic->click();
        QVERIFY(pic.isVisible() && pic.picItem->pixmap().isNull());
        f->pickName("Ann"); // an open window follows the selection
        QCOMPARE(pic.picItem->size(), QSize(200, 100));
        pic.cmdClose->click();
        QVERIFY(!pic.isVisible() && !w.chkPic->isChecked());
        w.chkPic->click();
        QVERIFY(pic.isVisible() && !pic.picItem->pixmap().isNull());
        pic.close();
        QVERIFY(!pic.isVisible() && !w.chkPic->isChecked());
    }

    void changePicture_data()
    {
        QTest::addColumn<QString>("chosen"); // empty: cancel; "-": with no contact selected
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("a JPEG") << "big.jpg" << true << QStringList{};
        QTest::newRow("cancel") << "" << false << QStringList{};
        QTest::newRow("no contact does nothing") << "-" << false << QStringList{};
        QTest::newRow("not an image")
            << "notes.jpg" << false
            << QStringList{"Sorry, <path> cannot be shown as a picture. Please choose a JPEG or GIF file."};
    }

    void changePicture()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, stored);
        QFETCH(QStringList, messages);

        FrmMain &w = startOnFamily();
        if (chosen != "-")
            f->pickName("Bo");
        image("big.jpg", {400, 300});
        const QString path = chosen.isEmpty() || chosen == "-" ? QString() : m_images.filePath(chosen);
        QFile notes(m_images.filePath("notes.jpg"));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a picture") > 0);
        notes.close();
        if (chosen != "-")
            f->platform.files.enqueue(path);
        w.picture.frmPic().cmdAddPic->click();

        const QList<Shown> chooser{{Shown::FileChooser, FrmPic::pictureFilter(), ""}};
        QCOMPARE(f->platform.shown.mid(0, 1), chosen == "-" ? QList<Shown>{} : chooser);
        QCOMPARE(f->platform.messages(), messages.replaceInStrings("<path>", path));
        QCOMPARE(f->files().value("FamilyBoPic", "none"), stored ? path.toUtf8() + "\r\n" : "none");
        QCOMPARE(w.picture.frmPic().picItem->pixmap().size(), stored ? QSize(400, 300) : QSize(0, 0));
        verifyFitted();
    }

    // The print form cuts a value at a comma: such a picture is not found, but its file keeps the whole path.
    void pathWithCommaIsNotFoundButKept()
    {
        FrmMain &w = startOnFamily();
        const QString path = image("a,b.jpg", {20, 20});
        f->pickName("Bo");
        f->platform.files.enqueue(path);
        w.picture.frmPic().cmdAddPic->click();
        f->pickName("Ann");
        f->pickName("Bo");
        QVERIFY(w.picture.frmPic().picItem->pixmap().isNull());
        QCOMPARE(f->file("FamilyBoPic"), path.toUtf8() + "\r\n");
    }
};

QTEST_MAIN(TestPicture)
#include "tst_picture.moc"
