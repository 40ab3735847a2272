// The colour scheme: colour files read at start-up, the Edit Colors dialog,
// and which controls each colour reaches.

#include "support/testsupport.h"

class TestColors : public FixtureTest
{
    Q_OBJECT

private slots:
    // Each of the dialog's buttons picks one role's colour (the n-th button red
    // n), which is stored in its file and painted at once on every window, as
    // in tests/data/colored.txt.
    void pickColors()
    {
        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        int red = 0;
        for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
            if (button != dialog.cmdClose) {
                f->platform.colors.enqueue(QColor(++red, 0, 0));
                button->click();
            }
        }
        QString seen = describe({&w, &w.picture.frmPic(), &dialog});
        for (const auto &[file, bytes] : f->files().asKeyValueRange())
            seen += file + ": " + bytes;
        QVERIFY(sameAsStored(seen, "colored.txt"));
    }

    // Only what the program itself writes is a colour (0 to 16777215); anything
    // else keeps that role's built-in colour while the other roles still load.
    // One dialog, shown by the button and the menu and hidden by Close and the
    // title bar, keeps them in its swatches. A cancelled chooser changes nothing;
    // a pick whose file cannot be written still applies for this run.
    void colorFilesAndDialog()
    {
        const Files files{{"FormBackColor", ""}, {"NameTitleColor", "teal\r\n"}, {"FrameTitleColor", " 16777216 \r\n"},
                          {"TextBoxTextColor", " 16777215 \r\n"}, {"MinorButtonsColor", " 255 \r\n"}, {"MainButtonsColor", "-1 \r\n"}};
        QVERIFY(f->put(files));
        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        QCOMPARE(w.cmdAddName->palette().color(QPalette::Button), QColor(Qt::red)); // start-up paints with them
        QVERIFY(!dialog.isVisible());
        w.cmdEditColors->click();
        w.mnuEditColors->trigger();
        QVERIFY(dialog.isVisible());
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
        f->platform.colors.enqueue(QColor(Qt::red));
        dialog.cmdFormBackColor->click();
        QCOMPARE(w.client->palette().color(QPalette::Window), QColor(Qt::red));
    }
};

QTEST_MAIN(TestColors)
#include "tst_colors.moc"
