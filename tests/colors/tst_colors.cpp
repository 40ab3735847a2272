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
    // Each of the dialog's buttons picks one role's colour, which is stored
    // in its file and painted at once on every window, by kind of control:
    // the form and its frames, their titles, the boxes and the buttons.
    void pickColors()
    {
        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        FrmPic &pic = w.picture.frmPic();
        const QStringList buttons{"cmdFormBackColor", "cmdContactNameTitle", "cmdFrameTitleText", "cmdDetailTitles",
                                  "cmdTextBoxBack",   "cmdTextBoxText",      "cmdMinorBack",      "cmdMainBack"};
        const QStringList files{"FormBackColor", "NameTitleColor", "FrameTitleColor", "DetailTitleColor",
                                "TextBoxBackColor", "TextBoxTextColor", "MinorButtonsColor", "MainButtonsColor"};
        Files stored;
        for (int i = 0; i < buttons.size(); ++i) { // as 0x00BBGGRR, red i + 1
            f->platform.colors.enqueue(QColor(i + 1, 0, 0));
            dialog.findChild<QPushButton *>(buttons[i])->click();
            stored.insert(files[i], QByteArray(" ") + QByteArray::number(i + 1) + " \r\n");
        }
        QCOMPARE(f->files(), stored);

        QStringList wrong;
        const auto expect = [&](const QWidget *widget, QPalette::ColorRole part, const QString &file) {
            if (colorOf(widget, part) != QColor(int(files.indexOf(file)) + 1, 0, 0))
                wrong << widget->objectName() + '/' + QVariant::fromValue(part).toString();
        };
        for (const QWidget *widget : w.findChildren<QWidget *>(QRegularExpression("^(fra|lbl|txt|lst|cbo|cmd)"))) {
            if (qobject_cast<const QGroupBox *>(widget)) {
                expect(widget, QPalette::Window, "FormBackColor");
                expect(widget, QPalette::WindowText, "FrameTitleColor");
            } else if (qobject_cast<const QLabel *>(widget)) {
                expect(widget, QPalette::WindowText, widget == w.lblName ? "NameTitleColor" : "DetailTitleColor");
            } else if (const auto *button = qobject_cast<const QPushButton *>(widget)) {
                expect(button, QPalette::Button, button->parent() == w.fraButtons ? "MainButtonsColor" : "MinorButtonsColor");
            } else {
                expect(widget, QPalette::Base, "TextBoxBackColor");
                expect(widget, QPalette::Text, "TextBoxTextColor");
            }
        }
        // The drop-down list is drawn as a button.
        expect(w.cboRelationship, QPalette::Button, "TextBoxBackColor");
        expect(w.cboRelationship, QPalette::ButtonText, "TextBoxTextColor");
        for (const QWidget *form : QList<const QWidget *>{w.client, w.chkPic, &pic, &dialog})
            expect(form, QPalette::Window, "FormBackColor");
        expect(w.chkPic, QPalette::WindowText, "DetailTitleColor");
        expect(pic.cmdAddPic, QPalette::Button, "MinorButtonsColor");
        for (const QWidget *button : QList<const QWidget *>{pic.cmdClose, dialog.cmdClose})
            expect(button, QPalette::Button, "MainButtonsColor");
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(' ')));
        // Never painted by the scheme: the E-Mail label and the dialog's own buttons.
        QCOMPARE(colorOf(w.Label1, QPalette::WindowText), QColor(Qt::black));
        QVERIFY(colorOf(dialog.cmdMainBack, QPalette::Button) != QColor(8, 0, 0));
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
        QVERIFY(f->put(files));
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
