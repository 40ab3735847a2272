// The picture window and the colour scheme.

#include "support/testsupport.h"

#include <QAccessible>
#include <QImageReader>
#include <QRegularExpression>
#include <QStandardPaths>

#include <sys/stat.h>

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
        QVERIFY(putFiles(m_images.path() + '/', {{"notes.jpg", "not a picture"}}));
    }

    // Window and check box in step; the window follows the selection and fits the picture; a removal keeps the image.
    void selectShowAndHide()
    {
        QVERIFY(startOn("Bo"));
        FrmMain &w = f->window();
        FrmPic &pic = w.picture.frmPic();
        w.chkPic->click();
        const auto spoken = [&pic] { return QAccessible::queryAccessibleInterface(pic.picItem)->text(QAccessible::Description); };
        QVERIFY(pic.isVisible() && spoken() == "No picture");
        QVERIFY(f->pickName("Ann") && spoken() == "Picture of Ann");
        QCOMPARE(pic.picItem->size(), QSize(200, 100));
        for (const QPushButton *button : {pic.cmdAddPic, pic.cmdClose})
            QVERIFY(button->y() > pic.picItem->geometry().bottom() && button->width() == 200 && pic.rect().contains(button->geometry()));
        QTest::keyClick(&pic, Qt::Key_Return);
        QVERIFY(!pic.isVisible() && !w.chkPic->isChecked());
        w.chkPic->click();
        QVERIFY(pic.isVisible() && !pic.picItem->pixmap().isNull());
        pic.close();
        QVERIFY(!pic.isVisible() && !w.chkPic->isChecked());
        QVERIFY(f->pickName("Bo") && pic.picItem->pixmap().isNull() && w.picture.PicPath.isEmpty()); // no picture: the last one goes
        QVERIFY(f->pickName("Ann") && f->pickCategory("work") && pic.picItem->pixmap().isNull());
        QVERIFY(f->pickCategory("Family") && f->pickName("Ann"));
        f->platform.answers.enqueue(true);
        w.cmdRemoveName->click();
        QVERIFY(pic.picItem->pixmap().isNull() && !f->files().contains("FamilyAnnPic") && QFile::exists(m_images.filePath("ann.jpg")));
        pic.cmdAddPic->click(); // no contact chosen: nothing to ask
        QCOMPARE(f->platform.shown.size(), 1);
        // A pipe in a picture's place is never waited on.
        const QByteArray pipe = QFile::encodeName(m_images.filePath("pipe.jpg"));
        QVERIFY(::mkfifo(pipe, 0600) == 0 && f->put({{"FamilyBoPic", pipe + "\r\n"}}));
        QVERIFY(f->pickName("Bo"));
        w.chkPic->click();
        QVERIFY(f->pickName("Anna") && f->pickName("Bo") && pic.isVisible() && pic.picItem->pixmap().isNull());
    }

    // Bo chooses pictures in turn: the last one shown is stored, whole; a refused choice says so; one larger than the
    // screen is shown smaller, in its proportions.
    void changePicture_data()
    {
        // An empty path chosen is a cancel; no size shown: to fit the screen.
        QTest::addColumn<QStringList>("chosen"); QTest::addColumn<QSize>("shown"); QTest::addColumn<QString>("stored");
        QTest::newRow("comma in the path") << QStringList{"a,b.jpg"} << QSize(20, 20) << "a,b.jpg";
        QTest::newRow("cancel") << QStringList{""} << QSize(0, 0) << "";
        QTest::newRow("not an image, after a JPEG") << QStringList{"big.jpg", "notes.jpg"} << QSize(400, 300) << "big.jpg";
        QTest::newRow("larger than the screen") << QStringList{"phone.jpg"} << QSize() << "phone.jpg";
    }
    void changePicture()
    {
        QFETCH(QStringList, chosen); QFETCH(QSize, shown); QFETCH(QString, stored);
        QVERIFY(startOn("Bo"));
        FrmPic &pic = f->window().picture.frmPic();
        f->window().chkPic->click();
        for (const QString &file : chosen) {
            f->platform.files.enqueue(file.isEmpty() ? file : m_images.filePath(file));
            pic.cmdAddPic->click();
        }
        QCOMPARE(f->file("FamilyBoPic"), stored.isEmpty() ? QByteArray() : QFile::encodeName(m_images.filePath(stored)) + "\r\n");
        QCOMPARE(f->platform.messages(), chosen.contains("notes.jpg") ? QStringList{"Sorry, " + m_images.filePath("notes.jpg")
                     + " cannot be shown as a picture. Please choose a JPEG, PNG, GIF, BMP, WebP or TIFF file."} : QStringList());
        // The chooser opens in Pictures, then where the last was chosen, offering every kind read.
        QCOMPARE(f->platform.openedIn, QStringList({QStandardPaths::writableLocation(QStandardPaths::PicturesLocation), m_images.path()}).mid(0, chosen.size()));
        const QString filter = f->platform.shown.value(0).prompt;
        QVERIFY(filter.section(";;", 0, 0).startsWith("Pictures (") && filter.section(";;", 0, 0).contains("*.png"));
        QCOMPARE(filter.section(";;", 1), "jpg/jpeg Files (*.jpg *.jpeg);;gif Files (*.gif);;All Files (*)");
        for (int readBack = 0; readBack < 2; ++readBack) {
            const QSize size = pic.picItem->pixmap().size();
            QVERIFY(shown.isValid() ? size == shown : qAbs(size.width() * 4000 - size.height() * 6000) <= 6000);
            QVERIFY(pic.screen()->availableGeometry().contains(QRect(QPoint(), pic.frameGeometry().size())));
            QVERIFY(f->pickName("Ann") && f->pickName("Bo"));
        }
    }

    // Only 0 to 16777215 is a colour, anything else the built-in one; one dialog; a cancel changes nothing; the n-th
    // button picks red n, stored and painted at once on the controls listed; a pick that cannot be stored still applies.
    void colors()
    {
        const Files files{{"FormBackColor", ""}, {"NameTitleColor", "teal\r\n"}, {"FrameTitleColor", " 16777216 \r\n"},
                          {"TextBoxTextColor", " 16777215 \r\n"}, {"MinorButtonsColor", " 255 \r\n"}, {"MainButtonsColor", "-1 \r\n"}};
        QVERIFY(f->put(files));
        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        FrmPic &pic = w.picture.frmPic();
        QCOMPARE(w.cmdAddName->palette().color(QPalette::Button), QColor(Qt::red)); // start-up paints with them
        QVERIFY(!dialog.isVisible());
        w.mnuEditColors->trigger();
        QVERIFY(dialog.isVisible());
        dialog.close();
        QVERIFY(!dialog.isVisible());
        w.cmdEditColors->click();
        w.mnuEditColors->trigger(); // shown, not toggled
        QVERIFY(dialog.isVisible());
        dialog.cmdClose->click();
        QVERIFY(!dialog.isVisible());

        f->platform.colors.enqueue(std::nullopt);
        dialog.cmdFormBackColor->click();
        QCOMPARE(f->platform.shown.last().prompt, "#00c0c0");
        QCOMPARE(f->files(), files); // neither loading nor a cancel writes
        // In role order, as 0x00BBGGRR: the built-in colours but for the two valid files.
        const QList<ColorValue> expected{0xC0C000, 0xC00000, 0xC00000, 0, 0xFFFFFF, 0xFFFFFF, 0x0000FF, 0xFF8080};
        for (const ColorRoleInfo &role : colorRoles)
            QVERIFY2(dialog.fillColor(role.role) == expected[int(role.role)], qPrintable(role.file));

        int red = 0;
        for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
            if (button != dialog.cmdClose) {
                f->platform.colors.enqueue(QColor(++red, 0, 0));
                button->click();
            }
        }
        const QStringList order{"FormBack", "TextBoxBack", "NameTitle", "TextBoxText", "FrameTitle", "MinorButtons", "DetailTitle", "MainButtons"};
        Files stored;
        for (int n = 1; n <= 8; ++n)
            stored[order[n - 1] + "Color"] = ' ' + QByteArray::number(n) + " \r\n";
        QCOMPARE(f->files(), stored);
        const QString frames = "fraCategories fraContactName fraMiscInfo fraInfo fraNumbers fraButtons ";
        const QString boxes = "lstNames txtRelation txtBirthday lstChildren txtAddress txtDrivingDirections txtHome txtCell "
                              "txtWork txtFax txtEmail txtNumNotes";
        const QList<std::tuple<QWidget *, QPalette::ColorRole, int, QString>> painted{
            {&w, QPalette::Window, 1, "client " + frames + "chkPic"}, {&pic, QPalette::Window, 1, "frmPic"},
            {&dialog, QPalette::Window, 1, "frmColors"}, {&w, QPalette::WindowText, 3, "lblName"},
            {&w, QPalette::WindowText, 5, frames}, {&w, QPalette::Base, 2, "cboRelationship " + boxes},
            {&w, QPalette::WindowText, 7, "lblCategory lblNames lblRelation lblBirthday lblDependants lblAddress "
                                          "lblDrivingDirections lblHome lblCell lblWork lblFax lblNotes chkPic"},
            {&w, QPalette::Button, 2, "cboRelationship"}, {&w, QPalette::Text, 4, "cboRelationship " + boxes},
            {&w, QPalette::ButtonText, 4, "cboRelationship"},
            {&w, QPalette::Button, 6, "cmdAddRelationship cmdRemoveRelationship cmdAddName cmdRemoveName cmdAddChildren cmdRemoveChildren"},
            {&pic, QPalette::Button, 6, "cmdAddPic"}, {&pic, QPalette::Button, 8, "cmdClose"},
            {&w, QPalette::Button, 8, "cmdEditColors cmdPrintScreen cmdPrintText cmdExit"}, {&dialog, QPalette::Button, 8, "cmdClose"},
            {&w, QPalette::WindowText, 0, "Label1"}}; // black, as the design has it
        for (const auto &[window, part, n, names] : painted) {
            for (const QString &name : names.split(' ', Qt::SkipEmptyParts)) {
                const QWidget *control = window->objectName() == name ? window : window->findChild<QWidget *>(name);
                QVERIFY2(control && control->palette().color(QPalette::Active, part) == QColor(n, 0, 0),
                         qPrintable(name + ' ' + QString::number(n)));
            }
        }
        for (int n = 1; n <= 8; ++n) // the swatches
            QCOMPARE(dialog.findChildren<QFrame *>(QRegularExpression("^shp")).value(n - 1)->palette().color(QPalette::Window).red(), n);

        QVERIFY(QDir(f->dataDir()).removeRecursively());
        f->platform.colors.enqueue(QColor(Qt::red));
        dialog.cmdFormBackColor->click();
        QCOMPARE(w.client->palette().color(QPalette::Window), QColor(Qt::red));
        f->platform.colors.enqueue(std::nullopt);
        dialog.cmdTextBoxBack->click();
        QCOMPARE(f->platform.shown.last().prompt, "#020000"); // its own, not the last colour picked
    }
};

QTEST_MAIN(TestPicture)
#include "tst_picture.moc"
