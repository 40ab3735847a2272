// The picture window: the selected contact's picture, showing and hiding the
// window, and choosing another picture.

#include "support/testsupport.h"

#include <QAccessible>
#include <QImageReader>

class TestPicture : public FixtureTest
{
    Q_OBJECT

    QTemporaryDir m_images; // outside the data directory

    // On Family and the name: Ann has a 200 × 100 picture, Bo none.
    [[nodiscard]] bool startOn(const QString &name)
    {
        return f->putStandardBook() && f->put({{"FamilyAnnPic", m_images.filePath("ann.jpg").toUtf8() + "\r\n"}}) && f->startOn("Family", name);
    }

private slots:
    void initTestCase()
    {
        // Reading JPEG and GIF takes plug-ins that must come with the program.
        QVERIFY(QImageReader::supportedImageFormats().contains("jpeg") && QImageReader::supportedImageFormats().contains("gif"));
        const QMap<QString, QSize> pictures{{"ann.jpg", {200, 100}}, {"big.jpg", {400, 300}}, {"a,b.jpg", {20, 20}}, {"phone.jpg", {6000, 4000}}};
        for (auto picture = pictures.begin(); picture != pictures.end(); ++picture) {
            QImage image(picture.value(), QImage::Format_RGB32);
            image.fill(Qt::darkGreen);
            QVERIFY(image.save(m_images.filePath(picture.key()), "JPEG"));
        }
        QFile notes(m_images.filePath("notes.jpg"));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a picture") > 0);
    }

    // The check box, Close (the default button) and the title bar's close keep
    // window and check box in step; shown or hidden, the window follows the
    // selection, and fits the picture (tests/data/picture.txt). Removing the
    // contact deletes its picture file, not the image.
    void selectShowAndHide()
    {
        QVERIFY(startOn("Bo"));
        FrmMain &w = f->window();
        FrmPic &pic = w.picture.frmPic();
        w.chkPic->click();
        const auto spoken = [&pic] { return QAccessible::queryAccessibleInterface(pic.picItem)->text(QAccessible::Description); };
        QVERIFY(pic.isVisible() && spoken() == "No picture");
        QVERIFY(f->pickName("Ann"));
        QCOMPARE(spoken(), "Picture of Ann");
        QVERIFY(sameAsStored(describe({&pic}), "picture.txt"));
        QTest::keyClick(&pic, Qt::Key_Return);
        QVERIFY(!pic.isVisible() && !w.chkPic->isChecked());
        w.chkPic->click();
        QVERIFY(pic.isVisible() && !pic.picItem->pixmap().isNull());
        pic.close();
        QVERIFY(!pic.isVisible() && !w.chkPic->isChecked());
        QVERIFY(f->pickName("Bo")); // no picture file: the previous image goes
        QVERIFY(pic.picItem->pixmap().isNull() && w.picture.PicPath.isEmpty());
        QVERIFY(f->pickName("Ann") && f->pickCategory("work") && pic.picItem->pixmap().isNull());
        QVERIFY(f->pickCategory("Family") && f->pickName("Ann"));
        f->platform.answers.enqueue(true);
        w.cmdRemoveName->click();
        QVERIFY(pic.picItem->pixmap().isNull());
        QVERIFY(!f->files().contains("FamilyAnnPic") && QFile::exists(m_images.filePath("ann.jpg")));
        pic.cmdAddPic->click(); // no contact chosen: nothing to ask
        QCOMPARE(f->platform.shown.size(), 1);
    }

    // Bo chooses pictures in turn: the last one shown is recorded, as the whole
    // path, and read back whole, commas and all. A refused choice goes back to
    // the picture stored; one larger than the screen is shown smaller, in its
    // own proportions, so the window and its buttons fit the screen.
    void changePicture_data()
    {
        QTest::addColumn<QStringList>("chosen"); // an empty path: cancelled
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QSize>("shown"); // none: to fit the screen
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("comma in the path") << QStringList{"a,b.jpg"} << "a,b.jpg" << QSize(20, 20) << QStringList{};
        QTest::newRow("cancel") << QStringList{""} << "" << QSize(0, 0) << QStringList{};
        QTest::newRow("not an image, after a JPEG") << QStringList{"big.jpg", "notes.jpg"} << "big.jpg" << QSize(400, 300)
            << QStringList{"Sorry, " + m_images.filePath("notes.jpg") + " cannot be shown as a picture. Please choose a JPEG or GIF file."};
        QTest::newRow("larger than the screen") << QStringList{"phone.jpg"} << "phone.jpg" << QSize() << QStringList{};
    }
    void changePicture()
    {
        QFETCH(QStringList, chosen);
        QFETCH(QString, stored);
        QFETCH(QSize, shown);
        QFETCH(QStringList, messages);
        QVERIFY(startOn("Bo"));
        FrmPic &pic = f->window().picture.frmPic();
        f->window().chkPic->click();
        for (const QString &file : chosen) {
            f->platform.files.enqueue(file.isEmpty() ? file : m_images.filePath(file));
            pic.cmdAddPic->click();
        }
        QCOMPARE(f->platform.shown.first(), (Shown{Shown::FileChooser, FrmPic::pictureFilter(), ""}));
        QCOMPARE(f->platform.messages(), messages);
        QCOMPARE(f->files().value("FamilyBoPic", "none"), stored.isEmpty() ? "none" : m_images.filePath(stored).toUtf8() + "\r\n");
        for (int readBack = 0; readBack < 2; ++readBack) {
            const QSize size = pic.picItem->pixmap().size();
            QVERIFY(shown.isValid() ? size == shown : qAbs(size.width() * 4000 - size.height() * 6000) <= 6000);
            QVERIFY(pic.screen()->availableGeometry().contains(QRect(QPoint(), pic.frameGeometry().size())));
            QVERIFY(f->pickName("Ann") && f->pickName("Bo"));
        }
    }
};

QTEST_MAIN(TestPicture)
#include "tst_picture.moc"
