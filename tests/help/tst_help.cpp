// The Readme window and the About box with its System Info button.

#include "support/testsupport.h"

#include "help/frmabout.h"
#include "help/frmreadme.h"

#include <QTextBrowser>

class TestHelp : public FixtureTest
{
    Q_OBJECT

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
        const QString path = ScriptedPlatform::registryKey("HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH");
        f->platform.registry.insert(path, {Platform::RegSz, "info"});
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

    // What System Info starts, by the registry's keys and whether programs start.
    void startSysInfo_data()
    {
        QTest::addColumn<int>("type"); QTest::addColumn<QByteArray>("bytes"); // type 0: no PATH value
        QTest::addColumn<int>("second"); // 0: no second key, 1: it names a directory, 2: with MSINFO32.EXE in it
        QTest::addColumn<bool>("starts"); QTest::addColumn<QString>("started"); // "<dir>" stands for the directory

        QTest::newRow("text with its NUL, first key wins") << 1 << QByteArray("C:\\a.exe\0", 9) << 2 << true << "C:\\a.exe";
        QTest::newRow("text without NUL") << 1 << QByteArray("abc") << 0 << true << "abc";
        QTest::newRow("little-endian number") << 4 << QByteArray("\x39\x30\0\0", 4) << 0 << true << "12345";
        QTest::newRow("largest number") << 4 << QByteArray("\xff\xff\xff\xff") << 0 << true << "4294967295";
        QTest::newRow("another type: read, but names nothing") << 2 << QByteArray("%WINDIR%\0", 9) << 2 << true << "";
        QTest::newRow("too long for the buffer") << 1 << QByteArray(1025, 'x') << 2 << true << "<dir>\\MSINFO32.EXE";
        QTest::newRow("it cannot start") << 1 << QByteArray("abc") << 0 << false << "";
        QTest::newRow("no MSINFO32.EXE there") << 0 << QByteArray() << 1 << true << "";
        QTest::newRow("neither key") << 0 << QByteArray() << 0 << true << "";
    }

    void startSysInfo()
    {
        QFETCH(int, type); QFETCH(QByteArray, bytes); QFETCH(int, second); QFETCH(bool, starts); QFETCH(QString, started);
        ScriptedPlatform &platform = f->platform;
        const QString machine = "HKEY_LOCAL_MACHINE", tools = "SOFTWARE\\Microsoft\\Shared Tools";
        if (type)
            platform.registry.insert(ScriptedPlatform::registryKey(machine, tools + "\\MSINFO", "PATH"), {quint32(type), bytes});
        // On Linux a backslash is part of a file name: "<dir>\MSINFO32.EXE" is a file beside the directory.
        const QString dir = f->home.filePath("Info");
        if (second)
            platform.registry.insert(ScriptedPlatform::registryKey(machine, tools + " Location", "MSINFO"),
                                     {Platform::RegSz, dir.toUtf8() + '\0'});
        QVERIFY(second < 2 || QFile(dir + "\\MSINFO32.EXE").open(QIODevice::WriteOnly));
        platform.canStartPrograms = starts;
        FrmAbout(platform).cmdSysInfo->click();
        started.replace("<dir>", dir);
        QCOMPARE(platform.started, started.isEmpty() ? QStringList() : QStringList{started});
        QCOMPARE(platform.messages(),
                 started.isEmpty() ? QStringList{"System Information Is Unavailable At This Time"} : QStringList());
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
