// The colour scheme: colour files read at start-up, the Edit Colors dialog,
// and which controls each colour reaches.

#include "support/testsupport.h"

namespace {

QColor colorOf(const QWidget *widget, QPalette::ColorRole role)
{
    return widget->palette().color(QPalette::Active, role);
}

const QColor red(255, 0, 0);
const QColor teal(0, 192, 192);      // the form background's built-in colour
const QColor lilac(128, 128, 255);   // the main buttons' built-in colour

} // namespace

class TestColors : public FixtureTest
{
    Q_OBJECT

private slots:
    // Only what the program itself writes is a colour; anything else keeps
    // that role's built-in colour while the other roles still load.
    void loadColorFiles_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QColor>("formBack");
        QTest::addColumn<QColor>("mainButtons");

        QTest::newRow("no files: built-in") << Files{} << teal << lilac;
        QTest::newRow("255 is red") << Files{{"FormBackColor", " 255 \r\n"}} << red << lilac;
        QTest::newRow("letters") << Files{{"FormBackColor", "teal\r\n"}, {"MainButtonsColor", " 255 \r\n"}} << teal
                                 << red;
        QTest::newRow("above 16777215") << Files{{"FormBackColor", " 16777216 \r\n"}} << teal << lilac;
        QTest::newRow("negative") << Files{{"FormBackColor", "-1 \r\n"}} << teal << lilac;
        QTest::newRow("empty file") << Files{{"FormBackColor", ""}} << teal << lilac;
    }

    void loadColorFiles()
    {
        QFETCH(Files, files);
        QFETCH(QColor, formBack);
        QFETCH(QColor, mainButtons);

        f->put(files);
        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        FrmPic &pic = w.picture.frmPic();
        QCOMPARE(toQColor(dialog.fillColor(ColorRole::FormBack)), formBack);
        QCOMPARE(toQColor(dialog.fillColor(ColorRole::MainButtons)), mainButtons);
        // Every designed background, the hidden picture window and dialog included.
        for (const QWidget *widget : QList<QWidget *>{w.client, w.fraCategories, w.fraContactName, w.fraMiscInfo,
                                                      w.fraInfo, w.fraNumbers, w.fraButtons, w.chkPic, &dialog, &pic})
            QVERIFY2(colorOf(widget, QPalette::Window) == formBack, qPrintable(widget->objectName()));
        QCOMPARE(f->files(), files); // loading writes nothing
    }

    void pickColor_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("file");
        // control/palette role: W window, T text, B button, b base, t box text
        QTest::addColumn<QStringList>("painted");

        const QStringList boxes{"cboRelationship", "lstNames", "txtAddress", "txtDrivingDirections", "txtRelation",
                                "txtBirthday", "lstChildren", "txtHome", "txtCell", "txtWork", "txtFax", "txtEmail",
                                "txtNumNotes"};
        const auto each = [](QStringList names, const QString &role) {
            for (QString &name : names)
                name += '/' + role;
            return names;
        };
        QTest::newRow("text box text") << "cmdTextBoxText" << "TextBoxTextColor" << each(boxes, "t");
        QTest::newRow("text box backgrounds") << "cmdTextBoxBack" << "TextBoxBackColor" << each(boxes, "b");
        QTest::newRow("detail titles") << "cmdDetailTitles" << "DetailTitleColor"
                                       << QStringList{"lblCategory/T", "lblHome/T", "lblNotes/T", "chkPic/T"};
        QTest::newRow("form background")
            << "cmdFormBackColor" << "FormBackColor"
            << each({"client", "fraCategories", "fraButtons", "fraNumbers", "chkPic", "frmColors", "frmPic"}, "W");
        QTest::newRow("main buttons")
            << "cmdMainBack" << "MainButtonsColor"
            << each({"cmdExit", "cmdPrintText", "frmPic.cmdClose", "frmColors.cmdClose"}, "B");
        QTest::newRow("minor buttons") << "cmdMinorBack" << "MinorButtonsColor"
                                       << each({"cmdAddName", "cmdRemoveChildren", "frmPic.cmdAddPic"}, "B");
        QTest::newRow("frame titles") << "cmdFrameTitleText" << "FrameTitleColor"
                                      << each({"fraCategories", "fraContactName", "fraButtons"}, "T");
        QTest::newRow("contact name") << "cmdContactNameTitle" << "NameTitleColor" << QStringList{"lblName/T"};
    }

    // A pick takes effect at once: file and every window that role paints.
    void pickColor()
    {
        QFETCH(QString, button);
        QFETCH(QString, file);
        QFETCH(QStringList, painted);

        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        // "frmPic" is the picture window, "frmPic.cmdClose" one of its controls.
        const auto find = [&](const QString &name) {
            QWidget *window = &w;
            if (name.startsWith("frm"))
                window = name.startsWith("frmPic") ? static_cast<QWidget *>(&w.picture.frmPic()) : &dialog;
            return name.contains('.') || window == &w ? window->findChild<QWidget *>(name.section('.', -1)) : window;
        };
        const QHash<QString, QPalette::ColorRole> roles{{"W", QPalette::Window}, {"T", QPalette::WindowText},
                                                        {"B", QPalette::Button}, {"b", QPalette::Base},
                                                        {"t", QPalette::Text}};
        f->platform.colors.enqueue(red);
        dialog.findChild<QPushButton *>(button)->click();

        QCOMPARE(f->files(), (Files{{file, " 255 \r\n"}}));
        for (const QString &entry : painted) {
            const QWidget *widget = find(entry.section('/', 0, 0));
            QVERIFY2(widget && colorOf(widget, roles[entry.section('/', 1)]) == red, qPrintable(entry));
        }
        // Never painted by the scheme: the E-Mail label and the dialog's own buttons.
        QCOMPARE(colorOf(w.Label1, QPalette::WindowText), QColor(Qt::black));
        QVERIFY(colorOf(dialog.cmdMainBack, QPalette::Button) != red);
    }

    // One dialog, shown by the button and the menu, hidden by Close and the
    // title bar; its swatches keep their colours. A cancelled chooser changes
    // nothing; a pick whose file cannot be written still applies for this run.
    void dialog()
    {
        f->put("NameTitleColor", " 255 \r\n");
        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        QVERIFY(!dialog.isVisible());
        w.cmdEditColors->click();
        w.mnuEditColors->trigger();
        QVERIFY(dialog.isVisible() && &w.colors.frmColors() == &dialog);
        QCOMPARE(dialog.windowTitle(), "Edit Colors");
        dialog.close();
        QVERIFY(!dialog.isVisible());
        w.cmdEditColors->click();
        dialog.cmdClose->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(toQColor(dialog.fillColor(ColorRole::NameTitle)), red);

        f->platform.colors.enqueue(std::nullopt);
        dialog.cmdFormBackColor->click();
        QCOMPARE(toQColor(dialog.fillColor(ColorRole::FormBack)), teal);
        QCOMPARE(colorOf(w.client, QPalette::Window), teal);
        QCOMPARE(f->files(), (Files{{"NameTitleColor", " 255 \r\n"}}));
        QVERIFY(QDir(f->dataDir()).removeRecursively());
        f->platform.colors.enqueue(red);
        dialog.cmdFormBackColor->click();
        QCOMPARE(colorOf(w.client, QPalette::Window), red);
    }
};

QTEST_MAIN(TestColors)
#include "tst_colors.moc"
