#include "support/testsupport.h"

#include "colors/frmcolors.h"
#include "picture/frmpic.h"

#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using Files = QMap<QString, QByteArray>;

namespace {

QColor colorOf(const QWidget *widget, QPalette::ColorRole role)
{
    return widget->palette().color(QPalette::Active, role);
}

const QColor red(255, 0, 0);

} // namespace

class TestColors : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Fixture> f;

    // Every window background the form colour reaches.
    QList<QWidget *> backgrounds()
    {
        FrmMain &w = f->window();
        return {w.client, w.fraCategories, w.fraContactName, w.fraMiscInfo, w.fraInfo, w.fraNumbers, w.fraButtons,
                w.chkPic, &w.colors.frmColors(), &w.picture.frmPic()};
    }

private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup()
    {
        QVERIFY2(f->platform.unanswered.isEmpty(), qPrintable(f->platform.unanswered.join('|')));
        f.reset();
    }

    void loadColorFiles_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<int>("role");
        QTest::addColumn<QColor>("colour");

        const int formBack = int(ColorRole::FormBack);
        const int mainButtons = int(ColorRole::MainButtons);
        QTest::newRow("no files: built-in") << Files{} << formBack << QColor(0, 192, 192);
        QTest::newRow("255 is red") << Files{{"FormBackColor", " 255 \r\n"}} << formBack << red;
        QTest::newRow("written by hand without blanks") << Files{{"FormBackColor", "65280\r\n"}} << formBack
                                                        << QColor(0, 255, 0);
        QTest::newRow("letters keep the built-in") << Files{{"FormBackColor", "teal\r\n"}, {"MainButtonsColor", " 255 \r\n"}}
                                                   << formBack << QColor(0, 192, 192);
        QTest::newRow("other roles still load") << Files{{"FormBackColor", "teal\r\n"}, {"MainButtonsColor", " 255 \r\n"}}
                                                << mainButtons << red;
        QTest::newRow("above 16777215") << Files{{"FormBackColor", " 16777216 \r\n"}} << formBack << QColor(0, 192, 192);
        QTest::newRow("negative") << Files{{"FormBackColor", "-1 \r\n"}} << formBack << QColor(0, 192, 192);
        QTest::newRow("empty file") << Files{{"FormBackColor", ""}} << formBack << QColor(0, 192, 192);
    }

    void loadColorFiles()
    {
        QFETCH(Files, files);
        QFETCH(int, role);
        QFETCH(QColor, colour);

        for (auto it = files.cbegin(); it != files.cend(); ++it)
            f->put(it.key(), it.value());
        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        QCOMPARE(toQColor(dialog.fillColor(ColorRole(role))), colour);
        if (ColorRole(role) == ColorRole::FormBack) {
            for (QWidget *widget : backgrounds())
                QCOMPARE(colorOf(widget, QPalette::Window), colour);
        } else {
            for (QWidget *button : {static_cast<QWidget *>(w.cmdExit), static_cast<QWidget *>(dialog.cmdClose),
                                    static_cast<QWidget *>(w.picture.frmPic().cmdClose)})
                QCOMPARE(colorOf(button, QPalette::Button), colour);
        }
        QCOMPARE(f->files(), files); // loading writes nothing
    }

    void pickColor_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("painted"); // control/palette role: W window, T text, B button, b base, t box text

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
        QTest::newRow("main buttons") << "cmdMainBack" << "MainButtonsColor"
                                      << each({"cmdExit", "cmdPrintText", "frmPic.cmdClose", "frmColors.cmdClose"}, "B");
        QTest::newRow("minor buttons") << "cmdMinorBack" << "MinorButtonsColor"
                                       << each({"cmdAddName", "cmdRemoveChildren", "frmPic.cmdAddPic"}, "B");
        QTest::newRow("frame titles") << "cmdFrameTitleText" << "FrameTitleColor"
                                      << each({"fraCategories", "fraContactName", "fraButtons"}, "T");
        QTest::newRow("contact name") << "cmdContactNameTitle" << "NameTitleColor" << QStringList{"lblName/T"};
    }

    // A pick takes effect at once: swatch, file and every window that role paints.
    void pickColor()
    {
        QFETCH(QString, button);
        QFETCH(QString, file);
        QFETCH(QStringList, painted);

        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        const auto find = [&](const QString &name) -> QWidget * {
            if (name == "frmColors" || name == "frmPic")
                return name == "frmColors" ? static_cast<QWidget *>(&dialog) : &w.picture.frmPic();
            if (name.startsWith("frmPic."))
                return w.picture.frmPic().findChild<QWidget *>(name.mid(7));
            if (name.startsWith("frmColors."))
                return dialog.findChild<QWidget *>(name.mid(10));
            return w.findChild<QWidget *>(name);
        };
        const QHash<QString, QPalette::ColorRole> roles{{"W", QPalette::Window}, {"T", QPalette::WindowText},
                                                        {"B", QPalette::Button}, {"b", QPalette::Base},
                                                        {"t", QPalette::Text}};
        f->platform.colors.enqueue(red);
        dialog.findChild<QPushButton *>(button)->click();

        QCOMPARE(f->files(), (Files{{file, " 255 \r\n"}}));
        for (const QString &entry : painted) {
            QWidget *widget = find(entry.section('/', 0, 0));
            QVERIFY2(widget, qPrintable(entry));
            QVERIFY2(colorOf(widget, roles[entry.section('/', 1)]) == red, qPrintable(entry));
        }
        // Never painted by the scheme.
        QCOMPARE(colorOf(w.Label1, QPalette::WindowText), QColor(Qt::black));
        QVERIFY(colorOf(dialog.cmdMainBack, QPalette::Button) != red);
    }

    void cancelledChooserChangesNothing()
    {
        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        f->platform.colors.enqueue(std::nullopt);
        dialog.cmdFormBackColor->click();
        QCOMPARE(toQColor(dialog.fillColor(ColorRole::FormBack)), QColor(0, 192, 192));
        QCOMPARE(colorOf(w.client, QPalette::Window), QColor(0, 192, 192));
        QCOMPARE(f->files(), Files{});
    }

    // The pick still applies for this run when its file cannot be written.
    void pickWithoutDataDirectory()
    {
        FrmMain &w = f->start();
        QVERIFY(QDir(f->dataDir()).removeRecursively());
        f->platform.colors.enqueue(red);
        w.colors.frmColors().cmdFormBackColor->click();
        QCOMPARE(colorOf(w.client, QPalette::Window), red);
    }

    void oneDialogShownAndHidden()
    {
        f->put("NameTitleColor", " 255 \r\n");
        FrmMain &w = f->start();
        FrmColors &dialog = w.colors.frmColors();
        QVERIFY(!dialog.isVisible());
        w.cmdEditColors->click();
        w.mnuEditColors->trigger();
        QVERIFY(dialog.isVisible());
        QCOMPARE(&w.colors.frmColors(), &dialog);
        QCOMPARE(dialog.windowTitle(), "Edit Colors");
        dialog.close(); // the title bar's close only hides
        QVERIFY(!dialog.isVisible());
        w.cmdEditColors->click();
        dialog.cmdClose->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(toQColor(dialog.fillColor(ColorRole::NameTitle)), red);
    }
};

QTEST_MAIN(TestColors)
#include "tst_colors.moc"
