#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QNetworkReply;

// The client side of CardDAV (RFC 6352 on WebDAV, RFC 4918): finding a user's
// address books, listing and fetching their cards, writing them back.
//
// Every call returns at once; its callback runs later on the thread the
// client lives on, once, and never after the client is destroyed. Writes are
// conditional, so that a retry can never make a second card and a card
// changed elsewhere is never overwritten unseen.
namespace CardDav {

// How a call ended. `status` is the HTTP status, 0 when no answer came.
struct Outcome
{
    enum Kind {
        Done,
        // A create found a card at its address (a retry of a create the server
        // stored), an update or a removal found the card changed since its
        // ETag was read, or a sync token the server no longer knows.
        Precondition,
        Failed,
    };
    Kind kind = Failed;
    int status = 0;
    QString error; // for the user, empty when done
    // The SHA-256 digest of a certificate refused as untrusted, for the
    // caller to show and, if the user agrees, to pass to trustCertificate().
    QByteArray certificate;
    bool ok() const { return kind == Done; }
    // The server will not take this one request as it is (the card invalid
    // to it or too large, its UID another card's, the card not to be
    // removed): a matter of that card, not of the connection or the account.
    bool refused() const
    {
        return kind == Failed && (status == 400 || status == 403 || status == 409 || status == 413 || status == 415 || status == 422);
    }
};

struct AddressBook
{
    QUrl url;
    QString displayName;
    QStringList versions;    // vCard versions the server takes; {"3.0"} when it names none
    bool syncCollection = false; // offers the incremental listing of RFC 6578
};

// A card as a listing names it: its path on the server and its ETag.
struct Entry
{
    QString href;
    QByteArray etag;
    bool operator==(const Entry &) const = default;
};

struct Changes
{
    QByteArray token;     // for the next call
    QList<Entry> changed; // added or changed since the token given
    QStringList removed;  // hrefs
    bool truncated = false; // only some of them, as the server marks a list it cut short (RFC 6578's 507)
};

class Client : public QObject
{
    Q_OBJECT

public:
    explicit Client(QObject *parent = nullptr);

    // Sent as basic authentication when the server asks; none when empty.
    void setCredentials(const QString &user, const QString &password);
    // A certificate the system does not trust, accepted from now on for the
    // host and port of `server` only, as the SHA-256 digest of its DER form.
    void trustCertificate(const QUrl &server, const QByteArray &sha256);

    // The address books from a server's root, a user's principal or home, or
    // an address book's own URL: RFC 6764's well-known address, then
    // current-user-principal and addressbook-home-set.
    void findAddressBooks(const QUrl &url, std::function<void(const Outcome &, const QList<AddressBook> &)> done);
    // Every card of the address book with its ETag.
    void list(const QUrl &book, std::function<void(const Outcome &, const QList<Entry> &)> done);
    // What changed since `token` (all of it for an empty token). A token the
    // server no longer knows ends in Precondition: list() and compare instead.
    void changes(const QUrl &book, const QByteArray &token,
                 std::function<void(const Outcome &, const Changes &)> done);
    // The cards at `hrefs`, each handed to `card` as it arrives, so that
    // memory stays flat however many there are, asked for a few hundred at a
    // time, two requests at once (the cards of both may come interleaved). A
    // card the server no longer has is left out; none comes after a failure.
    void fetch(const QUrl &book, const QStringList &hrefs,
               std::function<void(const Entry &, const QByteArray &)> card, std::function<void(const Outcome &)> done);
    // A new card at <book>/<uid>.vcf. Precondition when one is there already:
    // never a second card. A UID holding '/' cannot name a card there: Failed.
    void create(const QUrl &book, const QString &uid, const QByteArray &vcard,
                std::function<void(const Outcome &, const Entry &)> done);
    // The card at `href` replaced, if it still has `etag`; else Precondition.
    void update(const QUrl &book, const Entry &entry, const QByteArray &vcard,
                std::function<void(const Outcome &, const Entry &)> done);
    // The card removed, if it still has `etag`; else Precondition. A card
    // already gone counts as removed.
    void remove(const QUrl &book, const Entry &entry, std::function<void(const Outcome &)> done);

private:
    using Finished = std::function<void(QNetworkReply *, const Outcome &)>;
    QNetworkReply *send(const QByteArray &verb, const QUrl &url, const QByteArray &body,
                        const QList<std::pair<QByteArray, QByteArray>> &headers, const Finished &finished,
                        int redirects = 0, int waits = 0);
    void propfind(const QUrl &url, int depth, const QByteArray &props,
                  std::function<void(const Outcome &, const QByteArray &, const QUrl &)> done);
    // One addressbook-multiget, its cards handed over as they arrive.
    void multiget(const QUrl &book, const QStringList &hrefs, const std::function<void(const Entry &, const QByteArray &)> &card,
                  const std::function<void(const Outcome &)> &done);
    void discover(const QUrl &url, bool wellKnownTried, int hops,
                  std::function<void(const Outcome &, const QList<AddressBook> &)> done);
    Outcome sslOutcome(QNetworkReply *reply) const;

    QString user;
    QString password;
    QHash<QString, QByteArray> trusted; // "host:port" -> SHA-256 of the certificate
    QHash<QNetworkReply *, QList<QSslError>> sslErrors;
    // Last, so that the replies it ends find everything above still there.
    QNetworkAccessManager network;
};

} // namespace CardDav
