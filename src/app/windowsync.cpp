#include "app/windowsync.h"

#include "model/addressbook.h"
#include "store/recordfile.h"
#include "sync/decisions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextDocument>
#include <QTime>
#include <QVBoxLayout>

using namespace std::chrono_literals;

namespace {
constexpr std::chrono::milliseconds retryLast = 15min;

// The wait after a first failure: 30 s, or what KINFOLIO_SYNC_RETRY_MS says, which is for tests, so that they see
// the waits grow without waiting minutes.
std::chrono::milliseconds retryFirst()
{
    static const std::chrono::milliseconds first = qEnvironmentVariableIsSet("KINFOLIO_SYNC_RETRY_MS")
                                                       ? std::chrono::milliseconds(qEnvironmentVariableIntValue("KINFOLIO_SYNC_RETRY_MS"))
                                                       : std::chrono::milliseconds(30s);
    return first;
}
} // namespace

FrmSyncSettings::FrmSyncSettings(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSyncSettings"));
    setWindowTitle(QStringLiteral("Sync Settings"));
    auto *form = new QFormLayout(this);
    const auto line = [&](const char *name, const QString &caption) {
        auto *box = new QLineEdit;
        box->setObjectName(QString::fromLatin1(name));
        box->setMinimumWidth(320);
        form->addRow(caption, box);
        return box;
    };
    txtServer = line("txtServer", QStringLiteral("Server address:"));
    txtServer->setPlaceholderText(QStringLiteral("https://dav.example.org/"));
    txtUser = line("txtUser", QStringLiteral("User name:"));
    txtPassword = line("txtPassword", QStringLiteral("Password:"));
    txtPassword->setEchoMode(QLineEdit::Password);
    cboBook = new QComboBox;
    cboBook->setObjectName(QStringLiteral("cboBook"));
    cboBook->setEditable(true);
    cboBook->lineEdit()->setPlaceholderText(QStringLiteral("the first one found, or its address"));
    form->addRow(QStringLiteral("Address book:"), cboBook);
    chkTrust = new QCheckBox(QStringLiteral("Trust this certificate"));
    chkTrust->setObjectName(QStringLiteral("chkTrust"));
    chkTrust->hide();
    form->addRow(chkTrust);
    lblMessage = new QLabel;
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setTextFormat(Qt::PlainText); // a server's words, never its markup
    lblMessage->setWordWrap(true);
    lblMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(lblMessage);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &FrmSyncSettings::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &FrmSyncSettings::reject);

    Sync::Settings settings;
    if (Sync::readSettings(settings)) {
        txtServer->setText(settings.book.toString());
        txtUser->setText(settings.user);
    }
}

void FrmSyncSettings::say(const QString &message)
{
    lblMessage->setText(message);
    buttons->setEnabled(true);
}

// Finds the address books at the address given, or the one chosen; keeps the
// only or chosen one, else lists them to choose from.
void FrmSyncSettings::accept()
{
    const QUrl server = Sync::serverAddress(txtServer->text());
    const QString user = txtUser->text();
    if (!server.isValid())
        return say(QStringLiteral("Give the server's address, starting http:// or https://, or its name."));
    if (user.contains(RecordFile::unquotable))
        return say(QStringLiteral("A user name cannot hold a line break or a double quote."));
    const QString chosen = cboBook->currentText().trimmed();
    const int listed = cboBook->findText(chosen);
    const QUrl address = listed >= 0 ? cboBook->itemData(listed).toUrl() : chosen.isEmpty() ? server : server.resolved(QUrl(chosen));
    const QByteArray certificate = chkTrust->isVisible() && chkTrust->isChecked() ? m_certificate : QByteArray();
    if (!certificate.isEmpty())
        m_client.trustCertificate(address, certificate);
    const QString password = txtPassword->text();
    m_client.setCredentials(user, password);
    buttons->setEnabled(false);
    lblMessage->setText(QStringLiteral("Looking for the address books..."));
    m_client.findAddressBooks(address, [=, this](const CardDav::Outcome &outcome, const QList<CardDav::AddressBook> &books) {
        if (!outcome.ok()) {
            m_certificate = outcome.certificate;
            chkTrust->setChecked(false);
            chkTrust->setVisible(!m_certificate.isEmpty());
            return say(outcome.error);
        }
        if (books.isEmpty())
            return say(QStringLiteral("There is no address book there."));
        if (books.size() > 1 && address == server) {
            cboBook->clear();
            for (const CardDav::AddressBook &book : books)
                cboBook->addItem(book.displayName, book.url);
            return say(QStringLiteral("Choose the address book to sync with."));
        }
        const CardDav::AddressBook &book = books.first();
        Sync::setUp(this, {book.url, user, book.versions, book.syncCollection, certificate}, password, [this](const QString &error) {
            if (!error.isEmpty())
                return say(error);
            emit settingsStored();
            QDialog::accept();
        });
    });
}

FrmSyncConflicts::FrmSyncConflicts(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSyncConflicts"));
    setWindowTitle(QStringLiteral("Sync Conflicts"));
    auto *table = new QWidget;
    auto *grid = new QGridLayout(table);
    const QStringList headings{QStringLiteral("Contact"), QStringLiteral("Field"), QStringLiteral("Here"), QStringLiteral("On the server")};
    for (int column = 0; column < headings.size(); ++column)
        grid->addWidget(new QLabel(QStringLiteral("<b>") + headings[column] + QStringLiteral("</b>")), 0, column);
    // A value as it is, every line of it, and selectable.
    const auto value = [](const QString &text) {
        auto *box = new QPlainTextEdit(text);
        box->setReadOnly(true);
        box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        const int lines = std::clamp(int(text.count(u'\n')) + 1, 1, 6);
        box->setFixedHeight(box->fontMetrics().lineSpacing() * lines + 2 * (box->frameWidth() + int(box->document()->documentMargin())) + 2);
        box->setMinimumWidth(220);
        return box;
    };
    for (const Sync::OpenConflict &conflict : Sync::conflicts()) {
        const auto same = std::find_if(rows.begin(), rows.end(), [&](const Row &row) {
            return row.conflict.uid == conflict.uid && row.conflict.here == conflict.here && row.conflict.there == conflict.there;
        });
        if (same != rows.end()) {
            same->fields.append(conflict.field);
            continue;
        }
        const int at = int(rows.size()) + 1;
        grid->addWidget(new QLabel(conflict.name + QStringLiteral(" (") + conflict.category + u')'), at, 0, Qt::AlignTop);
        grid->addWidget(new QLabel(Sync::fieldName(conflict.field)), at, 1, Qt::AlignTop);
        grid->addWidget(value(conflict.here), at, 2);
        grid->addWidget(value(conflict.there), at, 3);
        auto *choice = new QWidget; // its own group of two
        auto *choiceLayout = new QVBoxLayout(choice);
        choiceLayout->setContentsMargins(0, 0, 0, 0);
        Row row{conflict, {conflict.field}, new QRadioButton(QStringLiteral("Keep mine")), new QRadioButton(QStringLiteral("Take the server's"))};
        row.optMine->setChecked(conflict.choice == u"mine");
        row.optTheirs->setChecked(conflict.choice == u"theirs");
        choiceLayout->addWidget(row.optMine);
        choiceLayout->addWidget(row.optTheirs);
        grid->addWidget(choice, at, 4, Qt::AlignTop);
        rows.append(row);
    }
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(int(rows.size()) + 1, 1);
    auto *scroll = new QScrollArea;
    scroll->setWidget(table);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumSize(table->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width() + 2 * scroll->frameWidth(), 240);
    auto *note = new QLabel(QStringLiteral("Each side keeps its own value until you choose; the choice is carried out at the next sync, "
                                           "which starts at once."));
    note->setWordWrap(true);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

WindowSync::WindowSync(QMainWindow &window, AddressBook &book) : window(window), book(book)
{
    // Typing goes on in bursts: the sync waits for a pause.
    m_soon.setSingleShot(true);
    m_soon.setInterval(3s);
    m_every.setInterval(15min);
    m_retry.setSingleShot(true);
    m_retryWait = retryFirst();
    // Nothing to do where what was noted is as the last sync left it: another
    // program's notice of the sync's own writes comes after the sync.
    connect(&m_soon, &QTimer::timeout, this, [this] {
        if (!m_known.settled())
            syncNow();
    });
    connect(&m_retry, &QTimer::timeout, this, [this] { syncNow(); });
    // A change no one saw made (the watcher stopped, the program not running) is found by the files' signatures.
    connect(&m_every, &QTimer::timeout, this, [this] {
        m_known.noteAll();
        syncNow();
    });
}

void WindowSync::start()
{
    // What changed is noted for the next sync to look at, and only that;
    // before the first sync there is nothing to note: it looks at every
    // contact. A sync's own changes to the book are none.
    for (const auto signal : {&AddressBook::nameAdded, &AddressBook::nameRemoved}) {
        connect(&book, signal, this, [this](const QString &category, const QString &name) {
            if (noting())
                m_known.noteContact(category, name), changed();
        });
    }
    const auto open = [this] {
        if (noting())
            m_known.noteContact(book.openCategory(), book.openName()), changed();
    };
    connect(&book, &AddressBook::contactEdited, this, open);
    connect(&book, &AddressBook::contactFileChanged, this, open);
    const auto category = [this](const QString &category) {
        if (noting())
            m_known.noteCategory(category), changed();
    };
    connect(&book, &AddressBook::categoryRemoved, this, category);
    connect(&book, &AddressBook::categoryAdded, this, category); // a renamed one's contacts moved into it
    connect(&book, &AddressBook::namesReset, this, category);
    connect(&book, &AddressBook::categoriesReset, this, [this] {
        if (noting())
            m_known.noteAll(), changed();
    });
    // Another program's change to any contact, shown or not, by the files it wrote.
    connect(&book, &AddressBook::filesChanged, this, [this](const QSet<QString> &fileNames) {
        if (!noting())
            return;
        if (fileNames.isEmpty())
            m_known.noteAll(), changed();
        else if (m_known.noteFiles(fileNames))
            changed();
    });
    Sync::Settings settings;
    if (Sync::readSettings(settings))
        syncNow();
    m_every.start();
}

// Only once set up and tried: no settings read at each keystroke.
void WindowSync::changed()
{
    m_soon.start();
}

void WindowSync::mnuSyncNow_Click()
{
    Sync::Settings settings;
    if (!Sync::readSettings(settings))
        return mnuSyncSettings_Click();
    if (lblSync)
        lblSync->setText(QStringLiteral("Syncing..."));
    syncNow();
}

void WindowSync::mnuSyncSettings_Click()
{
    auto *dialog = new FrmSyncSettings(&window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &FrmSyncSettings::settingsStored, this, [this] { syncNow(); });
    dialog->open();
}

void WindowSync::syncNow(std::function<void(const QString &, const QString &)> answer)
{
    if (answer)
        (m_running ? m_next : m_waiting).append(answer);
    if (m_running) {
        m_again = true;
        return;
    }
    m_soon.stop();
    const auto chosen = std::exchange(m_chosen, {});
    for (const auto &[field, mine] : chosen.asKeyValueRange()) {
        if (!Sync::choose(field.first, field.second, mine))
            showStatus(QStringLiteral("Your choices could not be stored in ") + Sync::folder());
    }
    Sync::Settings settings;
    if (!Sync::readSettings(settings)) {
        for (const auto &waiting : std::exchange(m_waiting, {}))
            waiting({}, QStringLiteral("sync is not set up; see Sync Settings... in the File menu"));
        return;
    }
    m_running = true;
    if (!lblSync)
        showStatus(QStringLiteral("Syncing..."));
    m_retry.stop();
    Sync::syncOnce(book, m_client, settings, [this](const Sync::Summary &summary) { finished(summary); }, &m_known);
}

void WindowSync::finished(const Sync::Summary &summary)
{
    if (m_closing)
        return;
    m_running = false;
    if (summary.error.isEmpty()) {
        m_retryWait = retryFirst();
        QString line = summary.line();
        line[0] = line[0].toLower();
        showStatus(QStringLiteral("Synced at ") + QTime::currentTime().toString(QStringLiteral("HH:mm")) + QStringLiteral(": ") + line);
    } else {
        // Told once: the same failure again leaves the line as it is.
        showStatus(QStringLiteral("Sync failed: ") + summary.error + QStringLiteral("; the changes wait for the next sync"));
        // Its own wait: changing a running timer's interval starts it again with the new one.
        m_retry.start(std::exchange(m_retryWait, std::min(m_retryWait * 2, retryLast)));
    }
    m_details = summary.told + summary.details;
    cmdSyncConflicts->setVisible(summary.conflicts > 0);
    for (const auto &answer : std::exchange(m_waiting, std::exchange(m_next, {})))
        answer(summary.report(), summary.error);
    if (std::exchange(m_again, false))
        syncNow();
}

void WindowSync::showStatus(const QString &text)
{
    if (!lblSync) {
        lblSync = new QLabel;
        lblSync->setObjectName(QStringLiteral("lblSync"));
        lblSync->setTextFormat(Qt::PlainText); // a failure quotes the server's words, never its markup
        cmdSyncDetails = new QPushButton(QStringLiteral("Details..."));
        cmdSyncDetails->setObjectName(QStringLiteral("cmdSyncDetails"));
        cmdSyncDetails->setFlat(true);
        connect(cmdSyncDetails, &QPushButton::clicked, this, &WindowSync::showDetails);
        cmdSyncConflicts = new QPushButton(QStringLiteral("Conflicts..."));
        cmdSyncConflicts->setObjectName(QStringLiteral("cmdSyncConflicts"));
        cmdSyncConflicts->setFlat(true);
        cmdSyncConflicts->hide();
        connect(cmdSyncConflicts, &QPushButton::clicked, this, &WindowSync::showConflicts);
        window.statusBar()->setSizeGripEnabled(false);
        window.statusBar()->addWidget(lblSync, 1);
        window.statusBar()->addPermanentWidget(cmdSyncConflicts);
        window.statusBar()->addPermanentWidget(cmdSyncDetails);
    }
    m_status = text;
    lblSync->setText(text);
    lblSync->setToolTip(Qt::convertFromPlainText(text)); // whole, where the line is cut at the window's edge
}

void WindowSync::showDetails()
{
    auto *dialog = new QDialog(&window);
    dialog->setObjectName(QStringLiteral("frmSyncDetails"));
    dialog->setWindowTitle(QStringLiteral("Sync"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto *text = new QPlainTextEdit(m_status + QStringLiteral("\n\n") + m_details.join(u'\n'));
    text->setReadOnly(true);
    text->setMinimumSize(480, 240);
    auto *close = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(close, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(text);
    layout->addWidget(close);
    dialog->show();
}

void WindowSync::showConflicts()
{
    auto *dialog = new FrmSyncConflicts(&window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        for (const FrmSyncConflicts::Row &row : std::as_const(dialog->rows)) {
            for (const QString &field : row.fields) {
                if (row.optMine->isChecked() || row.optTheirs->isChecked())
                    m_chosen.insert({row.conflict.uid, field}, row.optMine->isChecked());
            }
        }
        syncNow(); // a sync under way has them stored before the next
    });
    dialog->open();
}
