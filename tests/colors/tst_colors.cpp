// The colour scheme: colour files read at start-up, the Edit Colors dialog,
// and which controls each colour reaches.

#include "support/testsupport.h"

static QColor colorOf(const QWidget *widget, QPalette::ColorRole role)
{
    return widget->palette().color(QPalette::Active, role);
}

const QColor red(255, 0, 0);

class TestColors : public FixtureTest
{
    Q_OBJECT

private slots:
    // One row for each time the scheme paints: the palette parts (W window,
    // T text, B button, b base, t box text, x button text) of every control named.
    void pickColor_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("parts");
        QTest::addColumn<QString>("painted");

        const QString frames = "fraCategories fraContactName fraMiscInfo fraInfo fraNumbers fraButtons";
        const QString boxes = "lstNames txtAddress txtDrivingDirections txtRelation txtBirthday lstChildren txtHome "
                              "txtCell txtWork txtFax txtEmail txtNumNotes";
        QTest::newRow("form background") << "cmdFormBackColor" << "FormBackColor" << "W"
                                         << "client chkPic frmColors frmPic " + frames;
        QTest::newRow("contact name") << "cmdContactNameTitle" << "NameTitleColor" << "T" << "lblName";
        QTest::newRow("frame titles") << "cmdFrameTitleText" << "FrameTitleColor" << "T" << frames;
        QTest::newRow("detail titles") << "cmdDetailTitles" << "DetailTitleColor" << "T"
                                       << "lblCategory lblNames lblRelation lblBirthday lblDependants lblAddress "
                                          "lblDrivingDirections lblHome lblCell lblWork lblFax lblNotes chkPic";
        QTest::newRow("box backgrounds") << "cmdTextBoxBack" << "TextBoxBackColor" << "b" << boxes;
        QTest::newRow("drop-down background") << "cmdTextBoxBack" << "TextBoxBackColor" << "bB" << "cboRelationship";
        QTest::newRow("box text") << "cmdTextBoxText" << "TextBoxTextColor" << "t" << boxes;
        QTest::newRow("drop-down text") << "cmdTextBoxText" << "TextBoxTextColor" << "tx" << "cboRelationship";
        QTest::newRow("minor buttons") << "cmdMinorBack" << "MinorButtonsColor" << "B"
                                       << "cmdAddRelationship cmdRemoveRelationship cmdAddName cmdRemoveName "
                                          "cmdAddChildren cmdRemoveChildren frmPic.cmdAddPic";
        QTest::newRow("main buttons")
            << "cmdMainBack" << "MainButtonsColor" << "B"
            << "cmdEditColors cmdPrintScreen cmdPrintText cmdExit frmPic.cmdClose frmColors.cmdClose";
    }

    // A pick takes effect at once: file and every window that role paints.
    void pickColor()
    {
        QFETCH(QString, button);
        QFETCH(QString, file);
        QFETCH(QString, parts);
        QFETCH(QString, painted);

        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        f->platform.colors.enqueue(red);
        dialog.findChild<QPushButton *>(button)->click();
        QCOMPARE(f->files(), (Files{{file, " 255 \r\n"}}));

        const QList<QPalette::ColorRole> roles{QPalette::Window, QPalette::WindowText, QPalette::Button,
                                               QPalette::Base,   QPalette::Text,       QPalette::ButtonText};
        for (const QString &name : painted.split(' ')) {
            // "frmPic" is the picture window, "frmPic.cmdClose" one of its controls.
            QWidget *window = name.startsWith("frmPic") ? &w.picture.frmPic() : static_cast<QWidget *>(&w);
            window = name.startsWith("frmColors") ? &dialog : window;
            const QWidget *widget =
                window == &w || name.contains('.') ? window->findChild<QWidget *>(name.section('.', -1)) : window;
            for (const QChar part : parts)
                QVERIFY2(widget && colorOf(widget, roles[QString("WTBbtx").indexOf(part)]) == red,
                         qPrintable(name + '/' + part));
        }
        // Never painted by the scheme: the E-Mail label and the dialog's own buttons.
        QCOMPARE(colorOf(w.Label1, QPalette::WindowText), QColor(Qt::black));
        QVERIFY(colorOf(dialog.cmdMainBack, QPalette::Button) != red);
    }

    // Only what the program itself writes is a colour (0 to 16777215); anything
    // else keeps that role's built-in colour while the other roles still load.
    // One dialog, shown by the button and the menu and hidden by Close and the
    // title bar, keeps them in its swatches. A cancelled chooser changes nothing;
    // a pick whose file cannot be written still applies for this run.
    void colorFilesAndDialog()
    {
        const Files files{{"FormBackColor", ""}, {"NameTitleColor", "teal\r\n"}, {"FrameTitleColor", " 16777216 \r\n"},
                          {"TextBoxTextColor", " 16777215 \r\n"}, {"MinorButtonsColor", " 255 \r\n"},
                          {"MainButtonsColor", "-1 \r\n"}};
        f->put(files);
        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        QCOMPARE(colorOf(w.cmdAddName, QPalette::Button), red); // start-up paints with them
        QVERIFY(!dialog.isVisible());
        w.cmdEditColors->click();
        w.mnuEditColors->trigger();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.windowTitle(), "Edit Colors");
        dialog.close();
        QVERIFY(!dialog.isVisible());
        w.cmdEditColors->click();
        dialog.cmdClose->click();
        QVERIFY(!dialog.isVisible());

        f->platform.colors.enqueue(std::nullopt);
        dialog.cmdFormBackColor->click();
        QCOMPARE(f->files(), files); // neither loading nor a cancel writes
        // In role order, as 0x00BBGGRR: the built-in colours but for the two valid files.
        const QList<ColorValue> expected{0xC0C000, 0xC00000, 0xC00000, 0, 0xFFFFFF, 0xFFFFFF, 0x0000FF, 0xFF8080};
        for (const ColorRoleInfo &role : colorRoles)
            QVERIFY2(dialog.fillColor(role.role) == expected[int(role.role)], qPrintable(role.file));

        QVERIFY(QDir(f->dataDir()).removeRecursively());
        f->platform.colors.enqueue(red);
        dialog.cmdFormBackColor->click();
        QCOMPARE(colorOf(w.client, QPalette::Window), red);
    }
};

QTEST_MAIN(TestColors)
#include "tst_colors.moc"
