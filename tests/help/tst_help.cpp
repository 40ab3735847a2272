#include "support/testsupport.h"

#include "colors/frmcolors.h"
#include "help/frmabout.h"
#include "help/frmreadme.h"
#include "picture/frmpic.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

namespace {

const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE");
const QString msinfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString locationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString unavailable = QStringLiteral("System Information Is Unavailable At This Time");

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

class TestHelp : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Fixture> f;

private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup()
    {
        QVERIFY2(f->platform.unanswered.isEmpty(), qPrintable(f->platform.unanswered.join('|')));
        f.reset();
    }

    void helpWindowsOpenOnce()
    {
        FrmMain &w = f->start();
        QVERIFY(!w.help.frmReadme() && !w.help.frmAbout());
        w.mnuReadme->trigger();
        w.mnuAbout->trigger();
        const QPointer<FrmReadme> readme = w.help.frmReadme();
        const QPointer<FrmAbout> about = w.help.frmAbout();
        QVERIFY(readme && readme->isVisible() && about && about->isVisible());
        QVERIFY(!QApplication::activeModalWidget()); // the main window stays usable
        QCOMPARE(readme->wbsReadme->source(), QUrl::fromLocalFile(Store::appDir() + "Readme.htm"));
        QCOMPARE(readme->wbsReadme->documentTitle(), QString("How does Kinfolio work?"));
        QVERIFY(readme->wbsReadme->toPlainText().contains("~/.local/share/Kinfolio/Data/"));
        QCOMPARE(about->lblVersion->text(), QString("Version 1.0.0"));

        // One icon, drawn for the program, on every window and in the About box.
        const QImage icon = w.windowIcon().pixmap(32, 32).toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
        const QList<QWidget *> windows{&w.picture.frmPic(), &w.colors.frmColors(), readme, about};
        for (const QWidget *window : windows)
            QCOMPARE(window->windowIcon().pixmap(32, 32).toImage(), icon);
        QCOMPARE(about->picIcon->pixmap().toImage(), icon);

        w.mnuReadme->trigger();
        w.mnuAbout->trigger();
        QVERIFY(readme && w.help.frmReadme() == readme && about && w.help.frmAbout() == about);
    }

    // The resize rule, in twips of the outer size: the browser 325 narrower and
    // 1375 shorter, the button's top 1125 above the bottom, never a negative size.
    void readmeResize_data()
    {
        QTest::addColumn<QSize>("client"); // pixels; empty: as first shown
        QTest::newRow("first showing") << QSize();
        QTest::newRow("large") << QSize(1000, 700);
        QTest::newRow("narrower than the margins") << QSize(10, 500);
        QTest::newRow("shorter than the margins") << QSize(500, 30);
        QTest::newRow("tiny") << QSize(1, 1);
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

    // Every way of closing discards the window; the next opening makes a new
    // one, and a new Readme window loads the page again.
    void closeAndReopen_data()
    {
        QTest::addColumn<bool>("readme"); // or the About box
        QTest::addColumn<QString>("how");
        QTest::newRow("Readme: Close") << true << "button";
        QTest::newRow("Readme: Esc") << true << "Esc";
        QTest::newRow("Readme: title bar") << true << "title bar";
        QTest::newRow("About: OK") << false << "button";
        QTest::newRow("About: Enter") << false << "Enter";
        QTest::newRow("About: Esc") << false << "Esc";
        QTest::newRow("About: title bar") << false << "title bar";
    }

    void closeAndReopen()
    {
        QFETCH(bool, readme);
        QFETCH(QString, how);
        FrmMain &w = f->start();
        QAction *open = readme ? w.mnuReadme : w.mnuAbout;
        const auto window = [&]() -> QWidget * {
            return readme ? static_cast<QWidget *>(w.help.frmReadme()) : w.help.frmAbout();
        };
        open->trigger();
        const QPointer<QWidget> first = window();
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
        QTest::addColumn<QString>("where"); // what is stored: "value", "other value", "other key"
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("text"); // KeyVal afterwards; it holds "before" when called

        const auto value = [](const char *bytes, int size) { return QByteArray(bytes, size); };
        QTest::newRow("text with its NUL") << "value" << 1 << value("C:\\Info\\a.exe\0", 14) << true
                                           << "C:\\Info\\a.exe";
        QTest::newRow("text without NUL") << "value" << 1 << QByteArray("abc") << true << "abc";
        QTest::newRow("empty text") << "value" << 1 << QByteArray() << true << "";
        QTest::newRow("number") << "value" << 4 << value("\x39\x30\0\0", 4) << true << "12345";
        QTest::newRow("number, little-endian") << "value" << 4 << QByteArray("\x01\x02\x03\x04") << true << "67305985";
        QTest::newRow("largest number") << "value" << 4 << QByteArray("\xff\xff\xff\xff") << true << "4294967295";
        QTest::newRow("another type") << "value" << 2 << QByteArray("%WINDIR%\0", 9) << true << "before";
        QTest::newRow("too long for the buffer") << "value" << 1 << QByteArray(1025, 'x') << false << "";
        QTest::newRow("missing value") << "other value" << 1 << QByteArray("abc") << false << "";
        QTest::newRow("missing key") << "other key" << 1 << QByteArray("abc") << false << "";
    }

    void getKeyValue()
    {
        QFETCH(QString, where);
        QFETCH(int, type);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, read);
        QFETCH(QString, text);

        CountingPlatform platform;
        const QString key = where == "other key" ? "SOFTWARE\\B" : "SOFTWARE\\A";
        const QString name = where == "other value" ? "Other" : "Value";
        platform.registry.insert(ScriptedPlatform::registryKey(machine, key, name), {quint32(type), bytes});
        FrmAbout about(platform);
        QString keyVal = "before";
        QCOMPARE(about.GetKeyValue(machine, "SOFTWARE\\A", "Value", keyVal), read);
        QCOMPARE(keyVal, text);
    }

    void startSysInfo_data()
    {
        QTest::addColumn<int>("pathType"); // of the first key's PATH value; 0: missing
        QTest::addColumn<bool>("location"); // the second key names a directory
        QTest::addColumn<bool>("msinfo32"); // that directory's MSINFO32.EXE exists
        QTest::addColumn<bool>("canStart");
        QTest::addColumn<QString>("started"); // "<dir>" stands for the directory
        QTest::addColumn<int>("reads");

        QTest::newRow("first key names the program") << 1 << true << true << true << "/opt/info/msinfo" << 1;
        QTest::newRow("it cannot start") << 1 << false << false << false << "" << 1;
        QTest::newRow("first value of another type") << 2 << true << true << true << "" << 1;
        QTest::newRow("second key's directory") << 0 << true << true << true << "<dir>\\MSINFO32.EXE" << 2;
        QTest::newRow("no MSINFO32.EXE there") << 0 << true << false << true << "" << 2;
        QTest::newRow("neither key") << 0 << false << false << true << "" << 2;
    }

    void startSysInfo()
    {
        QFETCH(int, pathType);
        QFETCH(bool, location);
        QFETCH(bool, msinfo32);
        QFETCH(bool, canStart);
        QFETCH(QString, started);
        QFETCH(int, reads);

        // On Linux a backslash is part of a file name: "<dir>\MSINFO32.EXE"
        // is a file beside the directory.
        QTemporaryDir scratch;
        const QString dir = scratch.filePath("Info");
        QVERIFY(QDir().mkpath(dir));
        if (msinfo32) {
            QFile exe(dir + "\\MSINFO32.EXE");
            QVERIFY(exe.open(QIODevice::WriteOnly));
        }
        CountingPlatform platform;
        platform.canStartPrograms = canStart;
        if (pathType)
            platform.registry.insert(ScriptedPlatform::registryKey(machine, msinfoKey, "PATH"),
                                     {quint32(pathType), QByteArray("/opt/info/msinfo\0", 17)});
        if (location)
            platform.registry.insert(ScriptedPlatform::registryKey(machine, locationKey, "MSINFO"),
                                     {Platform::RegSz, dir.toUtf8() + '\0'});

        FrmAbout about(platform);
        about.cmdSysInfo->click();
        started.replace("<dir>", dir);
        QCOMPARE(platform.started, started.isEmpty() ? QStringList() : QStringList{started});
        QCOMPARE(platform.reads.size(), reads);
        QList<ScriptedPlatform::Shown> message;
        if (started.isEmpty())
            message.append({ScriptedPlatform::Shown::Message, unavailable, "Kinfolio"});
        QCOMPARE(platform.shown, message);
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
