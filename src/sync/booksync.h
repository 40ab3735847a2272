#pragma once

#include "sync/carddav.h"
#include "sync/decisions.h"

#include "model/addressbook.h"
#include "model/vcardcontact.h"

#include <QObject>
#include <QSet>

#include <deque>
#include <functional>

// One sync of the book with its address book on a CardDAV server, and what
// it keeps between syncs beside the data directory (never in it): the
// settings (never the password, which the Secret Service keeps), each
// contact's href, ETag and last synced card by UID, the sync token and the
// conflicts left for the user. What comes from the server goes into the
// book through its operations, by the import's rules; what goes out is the
// contact's files merged into its last synced card. Each contact's record is
// stored once the server or the disk has confirmed its step, so a sync cut
// at any moment is finished by the next without a second card either side.
namespace Sync {

struct Settings
{
    QUrl book;
    QString user;
    QStringList versions = {QStringLiteral("3.0")}; // the vCard versions the address book takes
    bool syncCollection = false;                      // it lists what changed since a token
    QByteArray certificate; // the SHA-256 of a certificate the user trusts for it; empty for none
};

// The folder of what the sync keeps, with a trailing '/'.
QString folder();
// The server's address as the user gives it: a host ("dav.example.org",
// "localhost:5232") taken as http, or an http or https address with a host;
// invalid where it is none of those ("ftp://...", "file:///...", a broken
// "http://[::1").
QUrl serverAddress(const QString &given);
bool readSettings(Settings &settings);
bool storeSettings(const Settings &settings);

struct Summary
{
    int sent = 0, received = 0, removed = 0, conflicts = 0;
    QString error; // why the sync did not finish; empty when it did
    // What it did, a line each: "Sent Ann (Family)", "Received ...", "Removed here ...", "Removed there ...",
    // then the conflicts open with both values.
    QStringList details;
    int leftOut = 0; // cards not received
    int notSent = 0; // changes here that did not go there: a contact's file unreadable, a card or removal refused
    // What the user is told below the line: each card left out ("Left out Ann: why"), an address book found emptied.
    QStringList told;
    // "Sent 3, received 5, removed 1, 0 conflicts", then "; 2 cards left out" and "; 1 change not sent" where
    // there were such.
    QString line() const;
    // The line, then what is told below it, a line each.
    QString report() const;
    // A change here that did not go there, counted on the line and told below it.
    void notSentBecause(const QString &told)
    {
        ++notSent;
        this->told.append(told);
    }
};

// Keeps the password (for a user) and then the settings: the address book chosen, how it was found.
// `done` runs once, later, with an error for the user or empty.
void setUp(QObject *context, const Settings &settings, const QString &password,
           std::function<void(const QString &error)> done);

// A conflict open for the user: a field of a contact both sides changed, or
// "(contact)" for one removed on one side and changed on the other; the
// value here and the server's. `choice` is the user's, empty until chosen:
// "mine" or "theirs", carried out by the next sync.
struct OpenConflict
{
    QString uid, category, name, field, here, there, choice;
};

QList<OpenConflict> conflicts();
// The user's choice for a conflict's field; false when it could not be stored.
bool choose(const QString &uid, const QString &field, bool mine);

// Where the kept cards' folder is lost (deleted, a backup of the data folder
// alone restored), each contact a record places here takes the card it was
// last synced as again, before an export, an import or a sync could give it a
// new UID: it would then go there as a second card, without what the program
// does not show. A single card missing says no such thing: a contact removed
// and another of its name added before a sync is a new one. False where the
// cards could not be stored, or mayWrite, asked only where there is something
// to restore, says the data is not to be written.
bool restoreKeptCards(const std::function<bool()> &mayWrite = {});

class Run;

// What the syncs of one process know from one to the next: each contact's
// record as the last sync left it, read from the disk once, and the contacts
// changed here since, so that a sync reads and exports only those. The first
// sync, and one after noteAll(), looks at every contact, but reads only those
// whose files' signature (each file's inode, size and time) is no longer the
// one kept with its record: a change made while no sync was watching (the
// program killed just after an edit, another program's) is never missed.
class Known
{
public:
    // A contact added, removed, renamed or edited here since the last sync.
    void noteContact(const QString &category, const QString &name);
    // Every contact of the category, as listed now and as the records have it.
    void noteCategory(const QString &category);
    // Every contact, by the signatures of their files.
    void noteAll() { m_all = ++m_notes; }
    // The contacts that files of the data directory (by name) belong to,
    // where the records place them; whether there were any.
    bool noteFiles(const QSet<QString> &fileNames);
    // Whether the book's signals now tell a sync's own change to it, which
    // the next sync has nothing to do for.
    bool applying() const { return m_applying; }
    // Whether what was noted is as the last sync left it, each contact's
    // files as its record has them: those notes are then forgotten, and
    // there is nothing to sync. Another program's writes the sync made
    // itself are told after it has ended.
    bool settled();

private:
    friend class Run;
    friend bool restoreKeptCards(const std::function<bool()> &mayWrite);
    struct Record
    {
        Synced synced;          // without its card (see read)
        QString category, name; // where the contact was here then
        QByteArray signature;   // of its files then
        bool incoming = false;  // it may not be here yet
    };
    void forget(const QString &uid);
    void forgetAll();
    void keep(const QString &uid, const Record &record);
    // A record as its file holds it; false when the file is not one. Its
    // card only when asked for: the records in memory hold none, however
    // many contacts there are.
    static bool read(const QByteArray &bytes, QString &uid, Record &record, bool withCard = false);

    bool m_read = false; // the records read from the disk
    bool m_applying = false;
    QHash<QString, Record> m_records; // by UID
    QHash<std::pair<QString, QString>, QString> m_uidAt; // by category and name
    // The places of m_uidAt by their files' names, a category's and a name's
    // joined: several may join alike ("Fam" and "ilyAnn", "Family" and "Ann").
    QMultiHash<QString, std::pair<QString, QString>> m_atFile;
    // What was noted, each with the count of notes made then, so that a sync
    // forgets only what it looked at.
    quint64 m_notes = 1, m_all = 1; // m_all: when every contact was last noted, 0 once looked at
    QHash<std::pair<QString, QString>, quint64> m_contacts;
    QHash<QString, quint64> m_categories;
};

// One sync with the address book set up: the certificate trusted, the
// password read, then a Run, deleted once `done` has been called. Without
// `known`, every contact is looked at.
void syncOnce(AddressBook &book, CardDav::Client &client, const Settings &settings,
              std::function<void(const Summary &)> done, Known *known = nullptr);

class Run : public QObject
{
    Q_OBJECT

public:
    Run(AddressBook &book, CardDav::Client &client, const Settings &settings, Known *known = nullptr, QObject *parent = nullptr);

    // Runs the sync; `done` is called once, when it has ended.
    void start(std::function<void(const Summary &)> done);

private:
    struct Here
    {
        QString category, name;
        QByteArray card;      // as it would go out now; empty while not read
        QByteArray signature; // of its files before they were read
        bool changed = false; // since its last synced card
        bool givenUid = false; // its kept card written with one
        bool cameBack = false; // listed again with its category, by its card
    };
    // Empty once the records are of the address book set up; else why not.
    QString ofThisBook();
    void round();
    // Reads the records once, then looks at the contacts noted (all at first).
    void readRecords();
    bool look(const QString &category, const QString &name, const QByteArray &now);
    const QByteArray &cardHere(const QString &uid);
    // The contact's card as the last sync left it, read from its record; empty for none.
    QByteArray lastCard(const QString &uid) const;
    // `complete`: every card there is listed, not only those changed; else `removed` names those removed there.
    void listed(const QHash<QString, QByteArray> &there, const QByteArray &token, bool complete, const QStringList &removed = {});
    bool leftOut(const QString &category, const QString &name);
    void received(const CardDav::Entry &entry, const QByteArray &card);
    // The card's contact placed as the import places it; false when its category cannot be used.
    bool place(Vcard::Imported &in) const;
    QString freeName(const QString &category, const QString &name);
    QString nameHere(const QString &category, const QString &name, AddressBook::Refusal &refusal);
    QString listedAs(const QString &uid, const QString &category, const QString &name);
    void addReceived(const QString &uid, const CardDav::Entry &entry, const QByteArray &card, const Vcard::Card &parsed);
    void storeAdded();
    void send(const QString &uid, const CardDav::Entry &entry, const QByteArray &card, bool create);
    bool notDone(const CardDav::Outcome &outcome, const QString &told);
    void next();
    void ended(const QString &error = {});
    bool keep(const QString &uid, const Synced &synced, bool incoming = false);
    bool forget(const QString &uid);
    void hold(const QString &uid, const QList<FieldConflict> &fields);
    void tell(const char *what, const QString &category, const QString &name);

    AddressBook &m_book;
    CardDav::Client &m_client;
    Known m_own;
    Known &m_known;
    quint64 m_noted = 0; // the notes made before this sync began
    Settings m_settings;
    std::function<void(const Summary &)> m_done;
    Summary m_summary;
    int m_rounds = 0;
    bool m_again = false; // a write found the card changed on the server: a round more
    bool m_created = false; // a card made there after the token was read

    QHash<QString, Synced> m_last;   // by UID
    QHash<QString, QString> m_uidOf; // by href
    QHash<QString, QString> m_claimed; // the href of the card there each UID names, by UID
    QHash<QString, Here> m_here;     // by UID
    QList<OpenConflict> m_conflicts; // open, the held UIDs' and this sync's
    QSet<QString> m_held;
    // The conflicts the user has chosen for, by UID: each kept until the sync that carries the choices out ends.
    QHash<QString, QList<OpenConflict>> m_settling;
    Plan m_plan;
    QSet<QString> m_merging; // the plan's merges
    QHash<QString, QByteArray> m_refused; // by href, the line of each card left out
    QByteArray m_token;
    QList<std::function<void()>> m_steps;
    // Contacts new here from the cards received, stored and listed together, and their records.
    std::deque<AddressBook::NewContact> m_adding;
    QList<std::pair<QString, Synced>> m_addingSynced;
};

} // namespace Sync
