#include "app/frmmain.h"
#include "app/onecopy.h"
#include "app/windowsync.h"
#include "exchange/vcardfiles.h"
#include "kinfolio/version.h"
#include "model/addressbook.h"
#include "platform/qtplatform.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "sync/booksync.h"
#include "sync/decisions.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>

#include <cstdio>
#include <iostream>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace {

// The options that work without a window (and without a display).
bool wantsCommandLine(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        for (const char *option : {"--export", "--import", "--category", "--sync", "--sync-settings", "--user", "--addressbook", "--trust-certificate", "--help", "-h", "--help-all", "--version", "-v"}) {
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

// The password from standard input, or asked on the terminal without echo.
QString readPassword(const QString &user)
{
    const bool terminal = ::isatty(STDIN_FILENO);
    termios before{};
    if (terminal) {
        std::fprintf(stderr, "Password for %s: ", qPrintable(user));
        ::tcgetattr(STDIN_FILENO, &before);
        termios quiet = before;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
        std::fputc('\n', stderr);
    }
    return QString::fromStdString(line);
}

// Finds the address books at the address, takes the one asked for (by its
// address or its name) or else the first, and keeps the settings and the password.
int setUpSync(const QString &address, const QString &user, const QString &wanted, const QString &trusted)
{
    const QUrl url = Sync::serverAddress(address);
    if (!address.trimmed().isEmpty() && !url.isValid())
        return fail(address + QStringLiteral(" is no server's address: give one starting http:// or https://, or its name"));
    if (!url.isValid() || user.contains(RecordFile::unquotable))
        return fail(QStringLiteral("give the server's address and a user name; see --help"));
    const QString password = user.isEmpty() ? QString() : readPassword(user);
    CardDav::Client client;
    client.setCredentials(user, password);
    const QByteArray certificate = QByteArray::fromHex(trusted.toLatin1());
    if (!certificate.isEmpty())
        client.trustCertificate(url, certificate);
    int code = -1;
    client.findAddressBooks(url, [&](const CardDav::Outcome &outcome, const QList<CardDav::AddressBook> &books) {
        if (!outcome.ok()) {
            code = fail(outcome.certificate.isEmpty()
                            ? outcome.error
                            : outcome.error + QStringLiteral(" To trust it, add --trust-certificate and that fingerprint."));
            return;
        }
        const auto chosen = std::ranges::find_if(books, [&](const CardDav::AddressBook &book) {
            return wanted.isEmpty() || book.displayName == wanted || book.url == url.resolved(QUrl(wanted))
                   || book.url.path() == QUrl(wanted).path();
        });
        if (chosen == books.cend()) {
            QStringList names;
            for (const CardDav::AddressBook &book : books)
                names.append(book.displayName + QStringLiteral(" (") + book.url.toString() + u')');
            code = fail(QStringLiteral("no address book ") + wanted + QStringLiteral(" there; there are ") + names.join(QStringLiteral(", ")));
            return;
        }
        const Sync::Settings settings{chosen->url, user, chosen->versions, chosen->syncCollection, certificate};
        const QString name = chosen->displayName;
        Sync::setUp(&client, settings, password, [&code, settings, name](const QString &error) {
            if (!error.isEmpty()) {
                code = fail(error);
            } else {
                std::printf("Syncing with %s (%s)\n", qPrintable(name), qPrintable(settings.book.toString()));
                code = 0;
            }
        });
    });
    while (code < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return code;
}

// A sync's report printed (its summary line, then what it tells below it), then the conflicts waiting for the
// user's choice, a line each; the exit code.
int printed(const QString &report, const QString &error)
{
    std::printf("%s\n", qPrintable(report));
    QStringList open;
    QSet<QString> seen;
    for (const Sync::OpenConflict &conflict : Sync::conflicts()) {
        // The notes are two fields of the card, one of the window.
        const QString text = QStringLiteral("Conflict in %1 (%2): %3").arg(conflict.name, conflict.category, Sync::fieldName(conflict.field));
        if (conflict.choice.isEmpty() && !seen.contains(text)) {
            seen.insert(text);
            open.append(text);
        }
    }
    for (const QString &text : std::as_const(open))
        std::printf("%s\n", qPrintable(text));
    if (!open.isEmpty())
        std::printf("To choose, open Kinfolio and click \"Conflicts...\" at the foot of its window.\n");
    return error.isEmpty() ? 0 : fail(QStringLiteral("the sync did not finish: ") + error);
}

// One sync of the book with the address book set up.
int sync()
{
    Sync::Settings settings;
    if (!Sync::readSettings(settings))
        return fail(QStringLiteral("sync is not set up; see --sync-settings in --help"));
    AddressBook::finishInterrupted();
    AddressBook book;
    if (!book.load())
        return fail(QStringLiteral("the list of categories in ") + Store::dataDir() + QStringLiteral(" cannot be read"));
    CardDav::Client client;
    int code = -1;
    Sync::syncOnce(book, client, settings, [&](const Sync::Summary &summary) {
        code = printed(summary.report(), summary.error);
    });
    while (code < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    RecordFile::flush();
    return code;
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
    const QCommandLineOption syncOption(QStringLiteral("sync"), QStringLiteral("Syncs the contacts with the CardDAV address book set up."));
    const QCommandLineOption settingsOption(
        QStringLiteral("sync-settings"),
        QStringLiteral("Sets up sync with the CardDAV server at <address>, the password read from standard input."),
        QStringLiteral("address"));
    const QCommandLineOption userOption(QStringLiteral("user"), QStringLiteral("With --sync-settings, the user name."),
                                        QStringLiteral("name"));
    const QCommandLineOption bookOption(
        QStringLiteral("addressbook"),
        QStringLiteral("With --sync-settings, the address book's address or name where there are several; else the first."),
        QStringLiteral("book"));
    const QCommandLineOption trustOption(
        QStringLiteral("trust-certificate"),
        QStringLiteral("With --sync-settings, trusts the server's certificate of this SHA-256 fingerprint, which the "
                       "system's certificates do not vouch for."),
        QStringLiteral("fingerprint"));
    parser.addOptions({exportOption, importOption, categoryOption, syncOption, settingsOption, userOption, bookOption, trustOption});
    parser.process(app); // --help and --version print and exit here

    if (parser.isSet(settingsOption))
        return setUpSync(parser.value(settingsOption), parser.value(userOption), parser.value(bookOption),
                         parser.value(trustOption));
    const int actions = int(parser.isSet(exportOption)) + int(parser.isSet(importOption)) + int(parser.isSet(syncOption));
    if (actions != 1)
        return fail(QStringLiteral("give one of --export, --import, --sync or --sync-settings; see --help"));
    const QString category = parser.value(categoryOption);

    if (parser.isSet(exportOption)) {
        // The export writes only to restore lost kept cards and to keep the UIDs it gives, and then only while no
        // other copy writes the data: a window syncing would give the same contacts UIDs of its own.
        OneCopy oneCopy(Store::dataDir(), OneCopy::Role::Export);
        const auto mayWrite = [&oneCopy] { return oneCopy.lead(); };
        Sync::restoreKeptCards(mayWrite); // lost kept cards, before the export gives their contacts new UIDs
        const QString path = parser.value(exportOption);
        if (path == QStringLiteral("-")) {
            QFile out;
            const auto write = [&out](const QByteArray &cards) { return out.write(cards) == cards.size(); };
            const VcardFiles::Outcome outcome = out.open(stdout, QIODevice::WriteOnly)
                                                    ? VcardFiles::exportCards(write, category, mayWrite)
                                                    : VcardFiles::Outcome();
            if (!outcome.ok && !outcome.message.isEmpty())
                return fail(outcome.message);
            if (!outcome.ok || !out.flush())
                return fail(QStringLiteral("cannot write to standard output: ") + out.errorString());
            std::fprintf(stderr, "%s\n", qPrintable(outcome.message));
            return 0;
        }
        RecordFile::NewFile file(path);
        const auto append = [&file](const QByteArray &cards) { return file.append(cards) == 0; };
        const VcardFiles::Outcome outcome = VcardFiles::exportCards(append, category, mayWrite);
        if (!outcome.ok && !outcome.message.isEmpty())
            return fail(outcome.message);
        if (const int error = file.commit())
            return fail(QStringLiteral("cannot write ") + path + QStringLiteral(": ") + qt_error_string(error));
        std::fprintf(stdout, "%s\n", qPrintable(outcome.message));
        return 0;
    }

    // Importing and syncing rewrite the lists, which a window working on the same data
    // would rewrite again from its own memory.
    Store::makeDataDir();
    if (const QString untrusted = Store::untrustedDataDir(); !untrusted.isEmpty())
        return fail(untrusted);
    OneCopy oneCopy(Store::dataDir(), OneCopy::Role::Import);
    if (!oneCopy.lead()) {
        // The window syncs, as it alone writes the data.
        if (parser.isSet(syncOption) && oneCopy.heldByWindow()) {
            QString line, error;
            if (!oneCopy.askToSync(line, error))
                return fail(QStringLiteral("Kinfolio is open with the data in ") + Store::dataDir()
                            + QStringLiteral(" but does not answer"));
            return printed(line, error);
        }
        return fail(oneCopy.refusal());
    }
    if (parser.isSet(syncOption))
        return sync();
    Sync::restoreKeptCards(); // lost kept cards, before the import makes their folder anew (a sync does so itself)
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
    QObject::connect(&oneCopy, &OneCopy::syncRequested, &frmMain,
                     [&frmMain](const OneCopy::SyncAnswer &answer) { frmMain.windowSync.syncNow(answer); });
    frmMain.show();
    return QApplication::exec();
}
