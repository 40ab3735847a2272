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
        w.mnuReadme->trigger();
        w.mnuAbout->trigger();
        const QPointer<FrmReadme> readme = w.help.frmReadme();
        const QPointer<FrmAbout> about = w.help.frmAbout();
        QVERIFY(readme && about && !QApplication::activeModalWidget());
        QCOMPARE(readme->wbsReadme->source(), QUrl::fromLocalFile(Store::appDir() + "Readme.htm"));
        QVERIFY(readme->wbsReadme->toPlainText().contains("~/.local/share/Kinfolio/Data/"));
        QCOMPARE(about->lblVersion->text(), QString("Version 1.0.0"));
        // Drawn at every size a desktop asks for, not scaled from one.
        const QList<QSize> sizes{{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}};
        QCOMPARE(w.windowIcon().availableSizes(), sizes);
        const QImage icon = w.windowIcon().pixmap(32, 32).toImage();
        for (const QWidget *window : QList<QWidget *>{&w.picture.frmPic(), &w.colors.frmColors(), readme, about})
            QCOMPARE(window->windowIcon().pixmap(32, 32).toImage(), icon);
        QCOMPARE(about->picIcon->pixmap().toImage(), icon);
    }

    // The resize rule, in twips of the outer size: the browser 325 narrower and
    // 1375 shorter, the button's top 1125 above the bottom, never a negative size.
    void readmeResize_data()
    {
        QTest::addColumn<QSize>("client"); // pixels; empty: as first shown
        QTest::newRow("first showing") << QSize();
        QTest::newRow("large") << QSize(1000, 700);
        QTest::newRow("smaller than the margins") << QSize(1, 1);
    }

    void readmeResize()
    {
        QFETCH(QSize, client);
        FrmMain &w = f->start();
        w.mnuReadme->trigger();
        FrmReadme &readme = *w.help.frmReadme();
        if (client.isValid())
            readme.resize(client);
        const int dpiX = readme.logicalDpiX();
        const int dpiY = readme.logicalDpiY();
        const auto twips = [](int pixels, int dpi) { return qRound(pixels * 1440.0 / dpi); };
        const auto near = [&](int pixels, int dpi, int expected) { return qAbs(twips(pixels, dpi) - expected) <= 22; };
        // With no frame reported (no window manager) the program allows the
        // frame that leaves 120-twip margins all round.
        const bool framed = readme.frameGeometry().size() != readme.size();
        const int outerWidth = twips(readme.frameGeometry().width(), dpiX) + (framed ? 0 : 85);
        const int outerHeight = twips(readme.frameGeometry().height(), dpiY) + (framed ? 0 : 510);
        const QRect browser = readme.wbsReadme->geometry();
        const QRect button = readme.cmdClose->geometry();
        QVERIFY(near(browser.x(), dpiX, 120) && near(browser.y(), dpiY, 120) && near(button.x(), dpiX, 120));
        QVERIFY(near(browser.width(), dpiX, qMax(0, outerWidth - 325)));
        QVERIFY(near(browser.height(), dpiY, qMax(0, outerHeight - 1375)));
        QVERIFY(near(button.y(), dpiY, outerHeight - 1125) && near(button.height(), dpiY, 495));
        QCOMPARE(button.width(), browser.width());
        QVERIFY(client.isValid() || (near(readme.width(), dpiX, 8880) && near(readme.height(), dpiY, 6030)));
    }

    // A window opens once. Every way of closing discards it, so the next
    // opening makes a new one; none of them starts System Info.
    void closeAndReopen_data()
    {
        QTest::addColumn<bool>("readme"); // or the About box
        QTest::addColumn<Qt::Key>("key"); // pressed; Key_unknown: its button, Key_Close: the title bar's close
        QTest::newRow("Readme: button") << true << Qt::Key_unknown;
        QTest::newRow("Readme: Esc") << true << Qt::Key_Escape;
        QTest::newRow("Readme: title bar") << true << Qt::Key_Close;
        QTest::newRow("About: button") << false << Qt::Key_unknown;
        QTest::newRow("About: Enter") << false << Qt::Key_Return;
        QTest::newRow("About: Esc") << false << Qt::Key_Escape;
        QTest::newRow("About: title bar") << false << Qt::Key_Close;
    }
    void closeAndReopen()
    {
        QFETCH(bool, readme);
        QFETCH(Qt::Key, key);
        FrmMain &w = f->start();
        QAction *open = readme ? w.mnuReadme : w.mnuAbout;
        const auto window = [&]() -> QWidget * {
            return readme ? static_cast<QWidget *>(w.help.frmReadme()) : w.help.frmAbout();
        };
        open->trigger();
        const QPointer<QWidget> first = window();
        open->trigger();
        QCOMPARE(window(), first.data());
        if (key == Qt::Key_unknown)
            (readme ? w.help.frmReadme()->cmdClose : w.help.frmAbout()->cmdOK)->click();
        else if (key == Qt::Key_Close)
            first->close();
        else
            QTest::keyClick(first, key);
        QTRY_VERIFY(first.isNull()); // discarded, not hidden
        QVERIFY(f->platform.started.isEmpty());
        open->trigger();
        QVERIFY(window());
    }

    // The first key's PATH value, read as text or as a little-endian number,
    // and what System Info starts, given the rest of the machine: the second
    // key naming a directory, MSINFO32.EXE in it, and whether programs start.
    void startSysInfo_data()
    {
        QTest::addColumn<int>("type"); // 0: no PATH value
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("location");
        QTest::addColumn<bool>("exe");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("started"); // "<dir>" stands for the directory

        QTest::newRow("text with its NUL, first key wins") << 1 << QByteArray("C:\\a.exe\0", 9) << true << true << true << "C:\\a.exe";
        QTest::newRow("text without NUL") << 1 << QByteArray("abc") << false << false << true << "abc";
        QTest::newRow("little-endian number") << 4 << QByteArray("\x39\x30\0\0", 4) << false << false << true << "12345";
        QTest::newRow("largest number") << 4 << QByteArray("\xff\xff\xff\xff") << false << false << true << "4294967295";
        QTest::newRow("another type: read, but names nothing") << 2 << QByteArray("%WINDIR%\0", 9) << true << true << true << "";
        QTest::newRow("too long for the buffer") << 1 << QByteArray(1025, 'x') << true << true << true << "<dir>\\MSINFO32.EXE";
        QTest::newRow("it cannot start") << 1 << QByteArray("abc") << false << false << false << "";
        QTest::newRow("no MSINFO32.EXE there") << 0 << QByteArray() << true << false << true << "";
        QTest::newRow("neither key") << 0 << QByteArray() << false << false << true << "";
    }
    void startSysInfo()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, location);
        QFETCH(bool, exe);
        QFETCH(bool, starts);
        QFETCH(QString, started);
        ScriptedPlatform &platform = f->platform;
        const QString machine = "HKEY_LOCAL_MACHINE";
        const QString tools = "SOFTWARE\\Microsoft\\Shared Tools";
        if (type)
            platform.registry.insert(ScriptedPlatform::registryKey(machine, tools + "\\MSINFO", "PATH"), {quint32(type), bytes});
        // On Linux a backslash is part of a file name: "<dir>\MSINFO32.EXE"
        // is a file beside the directory.
        const QString dir = f->home.filePath("Info");
        if (location)
            platform.registry.insert(ScriptedPlatform::registryKey(machine, tools + " Location", "MSINFO"),
                                     {Platform::RegSz, dir.toUtf8() + '\0'});
        QFile file(dir + "\\MSINFO32.EXE");
        QVERIFY(!exe || file.open(QIODevice::WriteOnly));
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
