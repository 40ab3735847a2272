#pragma once

#include "sync/booksync.h"
#include "sync/carddav.h"

#include <QDialog>
#include <QTimer>

#include <functional>

class AddressBook;
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QRadioButton;

// The File menu's "Sync Settings...": the server, the user and password, and
// the address book, found from the server's address or given by its own. It
// keeps them as the command line's --sync-settings does. The window goes on
// while it looks (the dialog's own buttons wait).
class FrmSyncSettings : public QDialog
{
    Q_OBJECT

public:
    explicit FrmSyncSettings(QWidget *parent);

    QLineEdit *txtServer = nullptr;
    QLineEdit *txtUser = nullptr;
    QLineEdit *txtPassword = nullptr;
    QComboBox *cboBook = nullptr; // the address books found, or one's address typed
    QCheckBox *chkTrust = nullptr; // shown for a certificate the system does not vouch for
    QLabel *lblMessage = nullptr;
    QDialogButtonBox *buttons = nullptr;

    void accept() override;

signals:
    void settingsStored();

private:
    void say(const QString &message);

    CardDav::Client m_client;
    QByteArray m_certificate; // the SHA-256 of the certificate last refused
};

// The conflicts the syncs left open, a row each: the contact, the field,
// the value here and the server's, whole; and for each, "Keep mine" or
// "Take the server's". A choice made is shown as made until a sync has
// carried it out.
class FrmSyncConflicts : public QDialog
{
    Q_OBJECT

public:
    explicit FrmSyncConflicts(QWidget *parent);
    // A row each for a contact's value: the notes, say, are the card's NOTE
    // and this program's own copy of them, one choice for both.
    struct Row
    {
        Sync::OpenConflict conflict;
        QStringList fields;
        QRadioButton *optMine = nullptr, *optTheirs = nullptr;
    };
    QList<Row> rows;
    QDialogButtonBox *buttons = nullptr;
};

// The window's syncs: at start when set up, a few seconds after the last
// change to a contact, every 15 minutes and when asked, one at a time and
// never waited for; one that failed is tried again after 30 seconds, then
// after twice as long each time, up to 15 minutes, until one works. What the
// last one did shows on a line of the status bar, its details a click away.
class WindowSync : public QObject
{
    Q_OBJECT

public:
    WindowSync(QMainWindow &window, AddressBook &book);
    // A sync under way ends with the client, and its end starts nothing more.
    ~WindowSync() override { m_closing = true; }

    // The first sync, when sync is set up, and the timers.
    void start();
    void mnuSyncNow_Click();
    void mnuSyncSettings_Click();
    // A sync now, or after the one under way; `answer` gets its summary line and error.
    void syncNow(std::function<void(const QString &line, const QString &error)> answer = {});

    // The status line and its details' button: made at the first sync; the
    // conflicts' button shown while a conflict is open.
    QLabel *lblSync = nullptr;
    QPushButton *cmdSyncDetails = nullptr;
    QPushButton *cmdSyncConflicts = nullptr;

private:
    void changed();
    void finished(const Sync::Summary &summary);
    void showStatus(const QString &text);
    void showDetails();
    void showConflicts();

    QMainWindow &window;
    AddressBook &book;
    QTimer m_soon;  // after the last change
    QTimer m_every; // the 15 minutes
    QTimer m_retry; // after a sync that failed
    std::chrono::milliseconds m_retryWait; // the next failure's, longer after each failure
    Sync::Known m_known; // the contacts changed since the last sync
    bool m_running = false;
    bool m_again = false; // asked or changed while one ran
    bool m_closing = false;
    QList<std::function<void(const QString &, const QString &)>> m_waiting, m_next;
    QString m_status;
    QStringList m_details;
    // Choices made while a sync ran, stored before the next: by UID and field, true for mine.
    QHash<std::pair<QString, QString>, bool> m_chosen;
    // Last: destroyed first, ending the sync under way while all above is still there.
    CardDav::Client m_client;
};
