// The Readme window and the About box with its System Info button.

#include "support/testsupport.h"

#include "help/frmabout.h"
#include "help/frmreadme.h"

#include <QTextBrowser>

class TestHelp : public FixtureTest
{
    Q_OBJECT

    // The registry value that names the System Information program, the only one read on Linux.
    const QString msinfo = ScriptedPlatform::registryKey("HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH");

private slots:
    // Both windows leave the main window usable and show the program's one icon.
    void helpWindows()
    {
        FrmMain &w = f->start();
        const auto openBoth = [&w] { w.mnuReadme->trigger(); w.mnuAbout->trigger(); };
        openBoth();
        const QPointer<FrmReadme> readme = w.help.frmReadme();
        const QPointer<FrmAbout> about = w.help.frmAbout();
        QVERIFY(readme && about && !QApplication::activeModalWidget());
        QVERIFY(readme->wbsReadme->toPlainText().contains("~/.local/share/Kinfolio/Data/"));
        // Drawn at every size a desktop asks for, not scaled from one.
        QCOMPARE(w.windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}}));
        const QImage icon = w.windowIcon().pixmap(32, 32).toImage();
        for (const QWidget *window : QList<QWidget *>{&w.picture.frmPic(), &w.colors.frmColors(), readme, about})
            QCOMPARE(window->windowIcon().pixmap(32, 32).toImage(), icon);
        QCOMPARE(about->picIcon->pixmap().toImage(), icon);
        // The controls follow the window's size (its first size is in tests/data/windows.txt).
        const QRect browser = readme->wbsReadme->geometry(), button = readme->cmdClose->geometry();
        readme->resize(readme->size() + QSize(100, 50));
        QCOMPARE(readme->wbsReadme->geometry(), browser.adjusted(0, 0, 100, 50));
        QCOMPARE(readme->cmdClose->geometry(), button.adjusted(0, 50, 100, 50));
        // Opened again at once, a window closed a moment ago (its deletion still waiting) comes anew.
        readme->close();
        about->close();
        openBoth();
        QVERIFY(!readme && !about && w.help.frmReadme() && w.help.frmAbout());
    }

    // A window opens once; every way of closing discards it, starting no System Info.
    void closeAndReopen_data()
    {
        QTest::addColumn<bool>("readme"); QTest::addColumn<Qt::Key>("key"); // or About; Key_unknown: its button clicked
        QTest::addColumn<bool>("sysInfo"); // started by a click first
        QTest::newRow("Readme: button") << true << Qt::Key_unknown << false;
        QTest::newRow("Readme: Esc") << true << Qt::Key_Escape << false;
        QTest::newRow("About: button") << false << Qt::Key_unknown << false;
        QTest::newRow("About: Enter") << false << Qt::Key_Return << false;
        QTest::newRow("About: Esc") << false << Qt::Key_Escape << false;
        QTest::newRow("About: Enter after System Info") << false << Qt::Key_Return << true;
    }

    void closeAndReopen()
    {
        QFETCH(bool, readme); QFETCH(Qt::Key, key); QFETCH(bool, sysInfo);
        // As the desktop's registry view gives it: the text with its closing NUL.
        f->platform.registry.insert(msinfo, {Platform::RegSz, QByteArray("info\0", 5)});
        FrmMain &w = f->start();
        const auto open = [&]() -> QWidget * {
            (readme ? w.mnuReadme : w.mnuAbout)->trigger();
            return readme ? static_cast<QWidget *>(w.help.frmReadme()) : w.help.frmAbout();
        };
        const QPointer<QWidget> first = open();
        QCOMPARE(open(), first.data());
        QVERIFY(!sysInfo || QTest::qWaitForWindowActive(first));
        if (sysInfo)
            QTest::mouseClick(w.help.frmAbout()->cmdSysInfo, Qt::LeftButton);
        if (key == Qt::Key_unknown)
            (readme ? w.help.frmReadme()->cmdClose : w.help.frmAbout()->cmdOK)->click();
        else
            QTest::keyClick(sysInfo ? QApplication::focusWidget() : first.data(), key);
        QTRY_VERIFY(first.isNull()); // discarded, not hidden
        QCOMPARE(f->platform.started, sysInfo ? QStringList{"info"} : QStringList());
        QVERIFY(open());
    }

    // Where the registry names no program, or it cannot start, System Info says so.
    void sysInfoUnavailable()
    {
        for (const bool named : {false, true}) {
            ScriptedPlatform platform;
            if (named)
                platform.registry.insert(msinfo, {Platform::RegSz, QByteArray("info\0", 5)});
            platform.canStartPrograms = !named;
            FrmAbout(platform).cmdSysInfo->click();
            QCOMPARE(platform.messages(), QStringList{"System Information Is Unavailable At This Time"});
        }
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
