#include "app/frmmain.h"
#include "app/onecopy.h"
#include "exchange/vcardfiles.h"
#include "kinfolio/version.h"
#include "platform/qtplatform.h"
#include "store/paths.h"
#include "store/recordfile.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>

#include <cstdio>

namespace {

// The options that work without a window (and without a display).
bool wantsCommandLine(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        for (const char *option : {"--export", "--import", "--category", "--help", "-h", "--help-all", "--version", "-v"}) {
            if (arg == option || arg.startsWith(QByteArray(option) + '='))
                return true;
        }
    }
    return false;
}

int fail(const QString &message)
{
    std::fprintf(stderr, "kinfolio: %s\n", qPrintable(message));
    return 1;
}

int runCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kinfolio, an address book. Without options it opens its window."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption exportOption(QStringLiteral("export"),
                                          QStringLiteral("Writes every contact as vCard 4.0 to <file> (- for standard output)."),
                                          QStringLiteral("file"));
    const QCommandLineOption importOption(QStringLiteral("import"), QStringLiteral("Adds the contacts of the vCard <file>."),
                                          QStringLiteral("file"));
    const QCommandLineOption categoryOption(
        QStringLiteral("category"),
        QStringLiteral("With --export, only this category's contacts; with --import, every contact goes into it."),
        QStringLiteral("name"));
    parser.addOptions({exportOption, importOption, categoryOption});
    parser.process(app); // --help and --version print and exit here

    if (parser.isSet(exportOption) == parser.isSet(importOption))
        return fail(QStringLiteral("give one of --export or --import; see --help"));
    const QString category = parser.value(categoryOption);

    if (parser.isSet(exportOption)) {
        QByteArray cards;
        const VcardFiles::Outcome outcome = VcardFiles::exportCards(cards, category);
        if (!outcome.ok)
            return fail(outcome.message);
        const QString path = parser.value(exportOption);
        if (path == QStringLiteral("-")) {
            QFile out;
            if (!out.open(stdout, QIODevice::WriteOnly) || out.write(cards) != cards.size() || !out.flush())
                return fail(QStringLiteral("cannot write to standard output: ") + out.errorString());
        } else if (const int error = RecordFile::writeNow(path, cards)) {
            return fail(QStringLiteral("cannot write ") + path + QStringLiteral(": ") + qt_error_string(error));
        }
        std::fprintf(path == QStringLiteral("-") ? stderr : stdout, "%s\n", qPrintable(outcome.message));
        return 0;
    }

    // Importing rewrites the lists, which a window working on the same data
    // would rewrite again from its own memory.
    Store::makeDataDir();
    if (const QString untrusted = Store::untrustedDataDir(); !untrusted.isEmpty())
        return fail(untrusted);
    OneCopy oneCopy(Store::dataDir(), OneCopy::Role::Import);
    if (!oneCopy.lead())
        return fail(oneCopy.refusal());
    const QString path = parser.value(importOption);
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read ") + path + QStringLiteral(": ") + in.errorString());
    const VcardFiles::Outcome outcome = VcardFiles::importCards(in, category);
    if (!outcome.ok)
        return fail(path + QStringLiteral(": ") + outcome.message);
    std::printf("%s\n", qPrintable(outcome.message));
    return outcome.failure.isEmpty() ? 0 : fail(path + QStringLiteral(": ") + outcome.failure);
}

} // namespace

int main(int argc, char *argv[])
{
    if (wantsCommandLine(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("kinfolio"));
        QCoreApplication::setApplicationVersion(QStringLiteral(KINFOLIO_VERSION));
        return runCommandLine(app);
    }

    // Fusion draws buttons in their palette colour on every desktop theme.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kinfolio"));
    QApplication::setApplicationVersion(QStringLiteral(KINFOLIO_VERSION));
    // Wayland desktops find the window's menu entry, and with it its icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(KINFOLIO_APP_ID));

    QtPlatform platform;
    Store::makeDataDir();
    if (const QString untrusted = Store::untrustedDataDir(); !untrusted.isEmpty()) {
        platform.showMessage(nullptr, untrusted);
        return 1;
    }
    OneCopy oneCopy(Store::dataDir(), OneCopy::Role::Window);
    // An import from the command line ends soon: the window waits a while for it.
    constexpr int importWait = 5000;
    if (!oneCopy.lead(importWait)) {
        if (oneCopy.heldByWindow() && oneCopy.raiseRunning())
            return 0;
        platform.showMessage(nullptr, oneCopy.refusal());
        return 1;
    }

    FrmMain frmMain(platform);
    QObject::connect(&oneCopy, &OneCopy::raiseRequested, &frmMain, [&frmMain] {
        frmMain.setWindowState(frmMain.windowState() & ~Qt::WindowMinimized);
        frmMain.show();
        frmMain.raise();
        frmMain.activateWindow();
    });
    frmMain.show();
    return QApplication::exec();
}
