// The picture window: the selected contact's picture, showing and hiding the
// window, and choosing another picture.

#include "support/testsupport.h"

#include <QAccessible>
#include <QImageReader>

class TestPicture : public FixtureTest
{
    Q_OBJECT

private:
    QTemporaryDir m_images; // outside the data directory

    // Family's Ann has a 200 × 100 picture, Bo none.
    FrmMain &startOnFamily()
    {
        f->putStandardBook();
        f->put("FamilyAnnPic", m_images.filePath("ann.jpg").toUtf8() + "\r\n");
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
    void initTestCase()
    {
        // Reading JPEG and GIF takes plug-ins that must come with the program.
        const QList<QByteArray> formats = QImageReader::supportedImageFormats();
        QVERIFY(formats.contains("jpeg") && formats.contains("gif"));
        const QMap<QString, QSize> pictures{{"ann.jpg", {200, 100}}, {"big.jpg", {400, 300}}, {"a,b.jpg", {20, 20}},
                                            {"phone.jpg", {6000, 4000}}};
        for (auto picture = pictures.begin(); picture != pictures.end(); ++picture) {
            QImage image(picture.value(), QImage::Format_RGB32);
            image.fill(Qt::darkGreen);
            QVERIFY(image.save(m_images.filePath(picture.key()), "JPEG"));
        }
        QFile notes(m_images.filePath("notes.jpg"));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a picture") > 0);
    }

    // The check box, Close and the title bar's close keep window and check box
    // in step; shown or hidden, the window follows the selection. Removing the
    // contact deletes its picture file, not the image.
    void selectShowAndHide()
    {
        FrmMain &w = startOnFamily();
        FrmPic &pic = w.picture.frmPic();
        f->pickName("Bo");
        w.chkPic->click();
        QVERIFY(pic.isVisible());
        const auto spoken = [&pic] {
            return QAccessible::queryAccessibleInterface(pic.picItem)->text(QAccessible::Description);
        };
        QCOMPARE(spoken(), QString("No picture"));
        f->pickName("Ann");
        QCOMPARE(spoken(), QString("Picture of Ann"));
        QCOMPARE(w.picture.PicPath, m_images.filePath("ann.jpg"));
        QCOMPARE(pic.picItem->size(), QSize(200, 100));
        verifyFitted();
        QTest::keyClick(&pic, Qt::Key_Return); // Close is the default button
        QVERIFY(!pic.isVisible() && !w.chkPic->isChecked());
        w.chkPic->click();
        QVERIFY(pic.isVisible() && !pic.picItem->pixmap().isNull());
        pic.close();
        QVERIFY(!pic.isVisible() && !w.chkPic->isChecked());

        f->pickName("Bo"); // no picture file: the previous image goes
        QVERIFY(pic.picItem->pixmap().isNull());
        QCOMPARE(w.picture.PicPath, QString());
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

    // What is shown is recorded, as the whole path, and read back whole,
    // commas and all.
    void changePicture_data()
    {
        QTest::addColumn<QString>("chosen"); // empty: cancel; "-": with no contact selected
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QSize>("readBack");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("a JPEG") << "big.jpg" << QSize(400, 300) << QSize(400, 300) << QStringList{};
        QTest::newRow("comma in the path") << "a,b.jpg" << QSize(20, 20) << QSize(20, 20) << QStringList{};
        QTest::newRow("cancel") << "" << QSize(0, 0) << QSize(0, 0) << QStringList{};
        QTest::newRow("no contact does nothing") << "-" << QSize(0, 0) << QSize(0, 0) << QStringList{};
        QTest::newRow("not an image")
            << "notes.jpg" << QSize(0, 0) << QSize(0, 0)
            << QStringList{"Sorry, <path> cannot be shown as a picture. Please choose a JPEG or GIF file."};
    }

    void changePicture()
    {
        QFETCH(QString, chosen);
        QFETCH(QSize, shown);
        QFETCH(QSize, readBack);
        QFETCH(QStringList, messages);

        FrmMain &w = startOnFamily();
        FrmPic &pic = w.picture.frmPic();
        const QString path = chosen.size() > 1 ? m_images.filePath(chosen) : QString();
        if (chosen != "-") {
            f->pickName("Bo");
            w.chkPic->click();
            f->platform.files.enqueue(path);
        }
        pic.cmdAddPic->click();

        const QList<Shown> chooser{{Shown::FileChooser, FrmPic::pictureFilter(), ""}};
        QCOMPARE(f->platform.shown.mid(0, 1), chosen == "-" ? QList<Shown>{} : chooser);
        QCOMPARE(f->platform.messages(), messages.replaceInStrings("<path>", path));
        QCOMPARE(f->files().value("FamilyBoPic", "none"), shown.isEmpty() ? "none" : path.toUtf8() + "\r\n");
        QCOMPARE(pic.picItem->pixmap().size(), shown);
        verifyFitted();
        f->pickName("Ann");
        f->pickName("Bo");
        QCOMPARE(pic.picItem->pixmap().size(), readBack);
    }

    // A refused choice goes back to the picture stored, not to one shown
    // before it. A picture larger than the screen is shown smaller, in its
    // own proportions, so the window and its buttons fit the screen.
    void storedAndOnScreen()
    {
        FrmMain &w = startOnFamily();
        FrmPic &pic = w.picture.frmPic();
        f->pickName("Bo");
        w.chkPic->click();
        f->platform.files << m_images.filePath("big.jpg") << m_images.filePath("notes.jpg")
                          << m_images.filePath("phone.jpg");
        pic.cmdAddPic->click();
        pic.cmdAddPic->click();
        QCOMPARE(pic.picItem->pixmap().size(), QSize(400, 300));
        QCOMPARE(f->file("FamilyBoPic"), m_images.filePath("big.jpg").toUtf8() + "\r\n");

        pic.cmdAddPic->click();
        const QSize scaled = pic.picItem->pixmap().size();
        QVERIFY(qAbs(scaled.width() * 4000 - scaled.height() * 6000) <= 6000);
        QVERIFY(pic.screen()->availableGeometry().size().boundedTo(pic.frameGeometry().size()) == pic.frameGeometry().size());
        verifyFitted();
    }
};

QTEST_MAIN(TestPicture)
#include "tst_picture.moc"
