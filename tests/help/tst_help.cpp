// The Readme window and the About box with its System Info button.

#include "support/testsupport.h"

#include "help/frmabout.h"
#include "help/frmreadme.h"

#include <QTextBrowser>

namespace {

const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE");

// Counts what the About box reads, so a test sees which keys it asked for.
class CountingPlatform : public ScriptedPlatform
{
public:
    QStringList reads;
    std::optional<RegistryValue> readRegistry(const QString &root, const QString &key, const QString &value) override
    {
        reads.append(key);
        return ScriptedPlatform::readRegistry(root, key, value);
    }
};

int twips(int pixels, int dpi) { return qRound(pixels * 1440.0 / dpi); }

} // namespace

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
        QVERIFY(readme && readme->isVisible() && about && about->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(readme->wbsReadme->source(), QUrl::fromLocalFile(Store::appDir() + "Readme.htm"));
        QVERIFY(readme->wbsReadme->toPlainText().contains("~/.local/share/Kinfolio/Data/"));
        QCOMPARE(about->lblVersion->text(), QString("Version 1.0.0"));

        const QImage icon = w.windowIcon().pixmap(32, 32).toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
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
        // With no frame reported (no window manager) the program allows the
        // frame that leaves 120-twip margins all round.
        const QSize frame = readme.frameGeometry().size() - readme.size();
        const bool framed = frame.width() > 0 || frame.height() > 0;
        const int dpiX = readme.logicalDpiX();
        const int dpiY = readme.logicalDpiY();
        const int outerWidth = twips(readme.frameGeometry().width(), dpiX) + (framed ? 0 : 85);
        const int outerHeight = twips(readme.frameGeometry().height(), dpiY) + (framed ? 0 : 510);
        const auto near = [](int pixels, int dpi, int expected) { return qAbs(twips(pixels, dpi) - expected) <= 22; };

        const QRect browser = readme.wbsReadme->geometry();
        const QRect button = readme.cmdClose->geometry();
        QVERIFY(near(browser.x(), dpiX, 120) && near(browser.y(), dpiY, 120) && near(button.x(), dpiX, 120));
        QVERIFY(near(browser.width(), dpiX, qMax(0, outerWidth - 325)));
        QVERIFY(near(browser.height(), dpiY, qMax(0, outerHeight - 1375)));
        QCOMPARE(button.width(), browser.width());
        QVERIFY(near(button.y(), dpiY, outerHeight - 1125));
        QVERIFY(near(button.height(), dpiY, 495));
        if (!client.isValid())
            QVERIFY(near(readme.width(), dpiX, 8880) && near(readme.height(), dpiY, 6030));
    }

    // A window opens once. Every way of closing discards it; the next opening
    // makes a new one, and a new Readme window loads the page again.
    void closeAndReopen_data()
    {
        QTest::addColumn<QString>("how"); // the window, then the way it is closed
        for (const char *how : {"Readme: button", "Readme: Esc", "Readme: title bar", "About: button", "About: Enter",
                                "About: Esc", "About: title bar"})
            QTest::newRow(how) << QString(how);
    }

    void closeAndReopen()
    {
        QFETCH(QString, how);
        const bool readme = how.startsWith("Readme");
        how = how.section(": ", 1);
        FrmMain &w = f->start();
        QAction *open = readme ? w.mnuReadme : w.mnuAbout;
        const auto window = [&]() -> QWidget * {
            return readme ? static_cast<QWidget *>(w.help.frmReadme()) : w.help.frmAbout();
        };
        open->trigger();
        const QPointer<QWidget> first = window();
        open->trigger();
        QCOMPARE(window(), first.data());
        if (readme)
            w.help.frmReadme()->wbsReadme->setHtml("<p>scrolled away</p>");
        if (how == "button")
            (readme ? w.help.frmReadme()->cmdClose : w.help.frmAbout()->cmdOK)->click();
        else if (how == "title bar")
            first->close();
        else
            QTest::keyClick(first, how == "Enter" ? Qt::Key_Return : Qt::Key_Escape);
        QVERIFY(!window());
        QTRY_VERIFY(first.isNull()); // discarded, not hidden
        QVERIFY(f->platform.started.isEmpty());

        open->trigger();
        QVERIFY(window());
        if (readme)
            QCOMPARE(w.help.frmReadme()->wbsReadme->documentTitle(), QString("How does Kinfolio work?"));
    }

    void getKeyValue_data()
    {
        QTest::addColumn<int>("type"); // 0: no such key or value
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("text"); // KeyVal afterwards; it holds "before" when called

        QTest::newRow("text with its NUL") << 1 << QByteArray("C:\\a.exe\0", 9) << true << "C:\\a.exe";
        QTest::newRow("text without NUL") << 1 << QByteArray("abc") << true << "abc";
        QTest::newRow("little-endian number") << 4 << QByteArray("\x39\x30\0\0", 4) << true << "12345";
        QTest::newRow("largest number") << 4 << QByteArray("\xff\xff\xff\xff") << true << "4294967295";
        QTest::newRow("another type") << 2 << QByteArray("%WINDIR%\0", 9) << true << "before";
        QTest::newRow("too long for the buffer") << 1 << QByteArray(1025, 'x') << false << "";
        QTest::newRow("missing key or value") << 0 << QByteArray() << false << "";
    }

    void getKeyValue()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, read);
        QFETCH(QString, text);

        if (type)
            f->platform.registry.insert(ScriptedPlatform::registryKey(machine, "SOFTWARE\\A", "Value"),
                                        {quint32(type), bytes});
        FrmAbout about(f->platform);
        QString keyVal = "before";
        QCOMPARE(about.GetKeyValue(machine, "SOFTWARE\\A", "Value", keyVal), read);
        QCOMPARE(keyVal, text);
    }

    // What the machine has: the first key's PATH value (of text or "another
    // type"), the second key naming a directory, MSINFO32.EXE in it, and
    // whether programs can start ("cannot start").
    void startSysInfo_data()
    {
        QTest::addColumn<QString>("has");
        QTest::addColumn<QString>("started"); // "<dir>" stands for the directory
        QTest::addColumn<int>("reads");

        QTest::newRow("first key names the program") << "PATH, location, MSINFO32.EXE" << "/opt/info/msinfo" << 1;
        QTest::newRow("it cannot start") << "PATH, cannot start" << "" << 1;
        QTest::newRow("first value of another type") << "PATH of another type, location, MSINFO32.EXE" << "" << 1;
        QTest::newRow("second key's directory") << "location, MSINFO32.EXE" << "<dir>\\MSINFO32.EXE" << 2;
        QTest::newRow("no MSINFO32.EXE there") << "location" << "" << 2;
        QTest::newRow("neither key") << "" << "" << 2;
    }

    void startSysInfo()
    {
        QFETCH(QString, has);
        QFETCH(QString, started);
        QFETCH(int, reads);

        // On Linux a backslash is part of a file name: "<dir>\MSINFO32.EXE"
        // is a file beside the directory.
        const QString dir = f->home.filePath("Info");
        QVERIFY(QDir().mkpath(dir));
        QFile exe(dir + "\\MSINFO32.EXE");
        QVERIFY(!has.contains("MSINFO32.EXE") || exe.open(QIODevice::WriteOnly));
        CountingPlatform platform;
        platform.canStartPrograms = !has.contains("cannot start");
        const QString tools = "SOFTWARE\\Microsoft\\Shared Tools";
        if (has.contains("PATH"))
            platform.registry.insert(ScriptedPlatform::registryKey(machine, tools + "\\MSINFO", "PATH"),
                                     {has.contains("another type") ? Platform::RegExpandSz : Platform::RegSz,
                                      QByteArray("/opt/info/msinfo\0", 17)});
        if (has.contains("location"))
            platform.registry.insert(ScriptedPlatform::registryKey(machine, tools + " Location", "MSINFO"),
                                     {Platform::RegSz, dir.toUtf8() + '\0'});

        FrmAbout about(platform);
        about.cmdSysInfo->click();
        started.replace("<dir>", dir);
        QCOMPARE(platform.started, started.isEmpty() ? QStringList() : QStringList{started});
        QCOMPARE(platform.reads.size(), reads);
        QCOMPARE(platform.messages(),
                 started.isEmpty() ? QStringList{"System Information Is Unavailable At This Time"} : QStringList());
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
