#include "sync/carddav.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QNetworkReply>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QXmlStreamReader>

namespace CardDav {

namespace {

const QByteArray davNamespaces = R"(xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:carddav")";

// What one <response> of a multistatus says, from its propstats that
// answered 200 only: a property the server does not have is no value.
struct Response
{
    QString href; // decoded path
    int status = 0; // the response's own status (sync-collection's 404 for a removal), 0 when none
    QByteArray etag;
    QString displayName;
    QSet<QString> types;
    QString principal;
    QStringList homes;
    QStringList versions;
    bool syncCollection = false;
    QByteArray addressData;
};

// A server's href (an absolute path, or a whole URL) joined to the URL it came from.
QUrl resolve(const QUrl &base, const QString &href)
{
    return base.resolved(QUrl::fromEncoded(href.toUtf8()));
}

int statusOf(const QString &line)
{
    // "HTTP/1.1 200 OK"
    return line.simplified().section(u' ', 1, 1).toInt();
}

// Reads a multistatus as its bytes arrive, handing over each response as it
// ends, so a long answer is never held whole.
class MultistatusReader
{
public:
    explicit MultistatusReader(QUrl base, std::function<void(const Response &)> each)
        : base(std::move(base))
        , each(std::move(each))
    {}

    void feed(const QByteArray &bytes)
    {
        xml.addData(bytes);
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::StartElement) {
                const QString name = xml.name().toString();
                const QString parent = path.value(path.size() - 1);
                path.append(name);
                text.clear();
                if (name == u"response")
                    response = {};
                else if (name == u"propstat")
                    props = {}, propstatStatus = 0;
                else if (parent == u"resourcetype")
                    props.types.insert(name);
                else if (parent == u"supported-address-data")
                    props.versions.append(xml.attributes().value(QStringLiteral("version")).toString());
                else if (name == u"sync-collection" && path.contains(u"supported-report-set"))
                    props.syncCollection = true;
            } else if (token == QXmlStreamReader::Characters) {
                text += xml.text();
            } else if (token == QXmlStreamReader::EndElement) {
                const QString name = path.takeLast();
                end(name, path.value(path.size() - 1));
            }
        }
        // Stopped at the end of the bytes so far (PrematureEndOfDocumentError):
        // the next feed goes on from there.
    }

    // Whether the whole answer was a well-formed multistatus. Fed in parts,
    // the reader waits for more even after the root element's end.
    bool complete() const
    {
        return sawMultistatus && (xml.error() == QXmlStreamReader::NoError || xml.error() == QXmlStreamReader::PrematureEndOfDocumentError);
    }
    QByteArray syncToken;

private:
    void end(const QString &name, const QString &parent)
    {
        if (name == u"href" && parent == u"response")
            response.href = resolve(base, text.trimmed()).path(QUrl::FullyDecoded);
        else if (name == u"href" && parent == u"current-user-principal")
            props.principal = text.trimmed();
        else if (name == u"href" && parent == u"addressbook-home-set")
            props.homes.append(text.trimmed());
        else if (name == u"status" && parent == u"propstat")
            propstatStatus = statusOf(text);
        else if (name == u"status" && parent == u"response")
            response.status = statusOf(text);
        else if (name == u"getetag")
            props.etag = text.trimmed().toUtf8();
        else if (name == u"displayname")
            props.displayName = text.trimmed();
        else if (name == u"address-data")
            props.addressData = text.toUtf8();
        else if (name == u"sync-token" && parent == u"multistatus")
            syncToken = text.trimmed().toUtf8();
        else if (name == u"propstat" && propstatStatus / 100 == 2)
            take(props);
        else if (name == u"response")
            each(response);
        else if (name == u"multistatus")
            sawMultistatus = true;
        text.clear();
    }

    void take(const Response &from)
    {
        if (!from.etag.isEmpty())
            response.etag = from.etag;
        if (!from.displayName.isEmpty())
            response.displayName = from.displayName;
        response.types += from.types;
        if (!from.principal.isEmpty())
            response.principal = from.principal;
        response.homes += from.homes;
        response.versions += from.versions;
        response.syncCollection = response.syncCollection || from.syncCollection;
        if (!from.addressData.isEmpty())
            response.addressData = from.addressData;
    }

    QUrl base;
    std::function<void(const Response &)> each;
    QXmlStreamReader xml;
    QStringList path;
    QString text;
    Response response;
    Response props; // of the propstat being read
    int propstatStatus = 0;
    bool sawMultistatus = false;
};

QList<Response> responsesOf(const QUrl &base, const QByteArray &body, bool *complete)
{
    QList<Response> responses;
    MultistatusReader reader(base, [&](const Response &r) { responses.append(r); });
    reader.feed(body);
    *complete = reader.complete();
    return responses;
}

QByteArray xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

QString origin(const QUrl &url)
{
    return url.host() + u':' + QString::number(url.port(url.scheme() == u"https" ? 443 : 80));
}

QUrl withPath(const QUrl &book, const QString &decodedPath)
{
    QUrl url = book;
    url.setPath(decodedPath, QUrl::DecodedMode);
    return url;
}

AddressBook bookOf(const QUrl &base, const Response &response)
{
    AddressBook book{withPath(base, response.href), response.displayName, {}, response.syncCollection};
    for (const QString &version : response.versions) {
        if (!version.isEmpty() && !book.versions.contains(version))
            book.versions.append(version);
    }
    if (book.versions.isEmpty())
        book.versions = {QStringLiteral("3.0")}; // RFC 6352: the default when none is named
    return book;
}

// The seconds a Retry-After header asks to wait, as a number or a date; -1 for none.
int retryAfter(QNetworkReply *reply)
{
    const QByteArray value = reply->rawHeader("Retry-After").trimmed();
    bool number = false;
    const int seconds = value.toInt(&number);
    if (number)
        return seconds >= 0 ? seconds : -1;
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(value), Qt::RFC2822Date);
    return when.isValid() ? int(std::clamp<qint64>(QDateTime::currentDateTimeUtc().secsTo(when), 0, INT_MAX)) : -1;
}

// What the server said of an error in the body of its answer, as sabre/dav
// (Nextcloud's, Baïkal's) says it: "<s:message>Validation error in vCard:
// ...</s:message>"; empty where it said nothing so. Peeked at, so that the
// caller still reads the body.
QString serverMessage(QNetworkReply *reply)
{
    QXmlStreamReader xml(reply->peek(16384));
    while (!xml.atEnd()) { // at a read error too: a body that is no XML says nothing
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"message")
            return xml.readElementText().simplified().left(300);
    }
    return {};
}

// Calls `done` on the next turn of the event loop, as if an answer had come.
template<typename F>
void later(QObject *context, F done)
{
    QTimer::singleShot(0, context, std::move(done));
}

} // namespace

Client::Client(QObject *parent)
    : QObject(parent)
{
    // Redirects are followed here, with the same method and body and never to
    // another server, where WebDAV's methods and the password must not go.
    network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    // A server that stops answering ends the call instead of holding the sync.
    network.setTransferTimeout(60000);
}

void Client::setCredentials(const QString &newUser, const QString &newPassword)
{
    user = newUser;
    password = newPassword;
}

void Client::trustCertificate(const QUrl &server, const QByteArray &sha256)
{
    trusted.insert(origin(server), sha256);
}

QNetworkReply *Client::send(const QByteArray &verb, const QUrl &url, const QByteArray &body,
                            const QList<std::pair<QByteArray, QByteArray>> &headers, const Finished &finished,
                            int redirects, int waits)
{
    QNetworkRequest request(url);
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          verb == "PUT" ? "text/vcard; charset=utf-8" : "application/xml; charset=utf-8");
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    if (!user.isEmpty())
        request.setRawHeader("Authorization", "Basic " + (user + u':' + password).toUtf8().toBase64());
    QNetworkReply *reply = network.sendCustomRequest(request, verb, body);

    connect(reply, &QNetworkReply::sslErrors, this, [this, reply, url](const QList<QSslError> &errors) {
        const QSslCertificate certificate = reply->sslConfiguration().peerCertificate();
        const QByteArray digest = certificate.digest(QCryptographicHash::Sha256);
        if (!certificate.isNull() && trusted.value(origin(url)) == digest)
            reply->ignoreSslErrors(errors);
        else
            sslErrors.insert(reply, errors);
    });
    connect(reply, &QNetworkReply::finished, this, [=, this] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (status / 100 == 3 && status != 304 && target.isValid()) {
            const QUrl next = url.resolved(target);
            if (redirects < 5 && next.scheme() == url.scheme() && origin(next) == origin(url)) {
                send(verb, next, body, headers, finished, redirects + 1, waits);
                return;
            }
        }
        // A server busy for a moment, or asked too often (429, as hosted services answer a first sync), says
        // how long to wait. Every write here is conditional, so asking again can never do a thing twice; a
        // longer wait is left to the next sync.
        const bool busy = status == 503 || status == 429;
        if (const int seconds = retryAfter(reply); busy && seconds >= 0 && seconds <= 60 && waits < 3) {
            QTimer::singleShot(std::chrono::seconds(seconds), this,
                               [=, this] { send(verb, url, body, headers, finished, redirects, waits + 1); });
            return;
        }
        Outcome outcome;
        outcome.status = status;
        if (reply->error() == QNetworkReply::SslHandshakeFailedError || sslErrors.contains(reply)) {
            outcome = sslOutcome(reply);
        } else if (status / 100 == 2) {
            outcome.kind = Outcome::Done;
        } else if (status == 412) {
            outcome.kind = Outcome::Precondition;
            outcome.error = QStringLiteral("%1 changed on the server").arg(url.toDisplayString());
        } else if (status == 401) {
            outcome.error = QStringLiteral("The server refused the user name or password (%1 %2)")
                                .arg(status)
                                .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
        } else if (status != 0) {
            outcome.error = QStringLiteral("The server answered %1 %2 to %3 %4")
                                .arg(status)
                                .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(),
                                     QString::fromLatin1(verb), url.toDisplayString());
            if (const QString message = serverMessage(reply); !message.isEmpty())
                outcome.error += QStringLiteral(": ") + message;
        } else {
            outcome.error = QStringLiteral("Could not reach %1: %2").arg(url.host(), reply->errorString());
        }
        sslErrors.remove(reply);
        finished(reply, outcome);
    });
    return reply;
}

Outcome Client::sslOutcome(QNetworkReply *reply) const
{
    Outcome outcome;
    const QSslCertificate certificate = reply->sslConfiguration().peerCertificate();
    QStringList reasons;
    for (const QSslError &error : sslErrors.value(reply))
        reasons.append(error.errorString());
    if (reasons.isEmpty())
        reasons.append(reply->errorString());
    if (certificate.isNull()) {
        outcome.error = QStringLiteral("The secure connection to %1 failed: %2").arg(reply->url().host(), reasons.join("; "));
        return outcome;
    }
    outcome.certificate = certificate.digest(QCryptographicHash::Sha256);
    outcome.error = QStringLiteral("The certificate of %1 is not trusted (%2). Its SHA-256 fingerprint is %3.")
                        .arg(reply->url().host(), reasons.join("; "), QString::fromLatin1(outcome.certificate.toHex(':').toUpper()));
    return outcome;
}

void Client::propfind(const QUrl &url, int depth, const QByteArray &props,
                      std::function<void(const Outcome &, const QByteArray &, const QUrl &)> done)
{
    const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:propfind " + davNamespaces + "><d:prop>" + props
                            + "</d:prop></d:propfind>";
    send("PROPFIND", url, body, {{"Depth", QByteArray::number(depth)}}, [done](QNetworkReply *reply, const Outcome &outcome) {
        done(outcome, outcome.ok() ? reply->readAll() : QByteArray(), reply->url());
    });
}

void Client::findAddressBooks(const QUrl &url, std::function<void(const Outcome &, const QList<AddressBook> &)> done)
{
    discover(url, false, 0, std::move(done));
}

void Client::discover(const QUrl &url, bool wellKnownTried, int hops,
                      std::function<void(const Outcome &, const QList<AddressBook> &)> done)
{
    const QByteArray props = "<d:resourcetype/><d:displayname/><d:current-user-principal/><d:supported-report-set/>"
                             "<c:addressbook-home-set/><c:supported-address-data/>";
    propfind(url, 0, props, [=, this](const Outcome &outcome, const QByteArray &body, const QUrl &answered) {
        const auto failed = [&](const QString &why) {
            Outcome failure = outcome;
            failure.kind = Outcome::Failed;
            failure.error = why;
            done(failure, {});
        };
        const auto wellKnown = [&] {
            discover(url.resolved(QUrl(QStringLiteral("/.well-known/carddav"))), true, hops + 1, done);
        };
        // Certificates and passwords are not a matter of finding the right address.
        if (!outcome.certificate.isEmpty() || outcome.status == 401)
            return done(outcome, {});
        bool complete = false;
        const QList<Response> responses = responsesOf(answered, body, &complete);
        if (!outcome.ok() || !complete || responses.isEmpty()) {
            if (!wellKnownTried && hops < 6)
                return wellKnown();
            return failed(outcome.ok() ? QStringLiteral("%1 is not a CardDAV server").arg(url.toDisplayString()) : outcome.error);
        }
        const Response &here = responses.first();
        if (here.types.contains(QStringLiteral("addressbook")))
            return done(outcome, {bookOf(answered, here)});
        if (!here.homes.isEmpty()) {
            const QUrl home = resolve(answered, here.homes.first());
            propfind(home, 1, props, [done, home](const Outcome &outcome, const QByteArray &body, const QUrl &answered) {
                bool complete = false;
                QList<AddressBook> books;
                for (const Response &response : responsesOf(answered, body, &complete)) {
                    if (response.types.contains(QStringLiteral("addressbook")))
                        books.append(bookOf(answered, response));
                }
                if (!outcome.ok())
                    return done(outcome, {});
                if (books.isEmpty())
                    return done({Outcome::Failed, outcome.status, QStringLiteral("There is no address book in %1").arg(home.toDisplayString()), {}},
                                {});
                done(outcome, books);
            });
            return;
        }
        const QUrl principal = resolve(answered, here.principal);
        if (!here.principal.isEmpty() && principal != answered && hops < 6)
            return discover(principal, wellKnownTried, hops + 1, done);
        if (!wellKnownTried)
            return wellKnown();
        failed(QStringLiteral("Found no address book at %1").arg(url.toDisplayString()));
    });
}

void Client::list(const QUrl &book, std::function<void(const Outcome &, const QList<Entry> &)> done)
{
    propfind(book, 1, "<d:resourcetype/><d:getetag/>", [done](const Outcome &outcome, const QByteArray &body, const QUrl &answered) {
        bool complete = false;
        QList<Entry> entries;
        for (const Response &response : responsesOf(answered, body, &complete)) {
            // A card listed without an ETag is still there: taken as changed, never as gone.
            if (!response.types.contains(QStringLiteral("collection")) && response.status / 100 != 4)
                entries.append({response.href, response.etag});
        }
        if (outcome.ok() && !complete)
            return done({Outcome::Failed, outcome.status, QStringLiteral("The server's listing of %1 was cut short").arg(answered.toDisplayString()), {}},
                        {});
        done(outcome, entries);
    });
}

void Client::changes(const QUrl &book, const QByteArray &token, std::function<void(const Outcome &, const Changes &)> done)
{
    const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:sync-collection " + davNamespaces + "><d:sync-token>"
                            + xmlEscaped(QString::fromUtf8(token))
                            + "</d:sync-token><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>";
    const QString self = book.path(QUrl::FullyDecoded);
    send("REPORT", book, body, {{"Depth", "0"}}, [done, self, token](QNetworkReply *reply, const Outcome &outcome) {
        const QByteArray answer = reply->readAll();
        if (!outcome.ok()) {
            Outcome failure = outcome;
            // RFC 6578's precondition names the token the server no longer
            // knows, with 403 or 409; Xandikos answers 500 without it. A full
            // comparison is right whatever went wrong, so any refusal of a
            // token but a login or a passing overload gets one.
            if (answer.contains("valid-sync-token")
                || (!token.isEmpty() && outcome.status >= 400 && outcome.status != 401 && outcome.status != 503
                    && outcome.status != 429)) {
                failure.kind = Outcome::Precondition;
                failure.error = QStringLiteral("The server no longer knows the sync token");
            }
            return done(failure, {});
        }
        Changes changes;
        MultistatusReader reader(reply->url(), [&](const Response &response) {
            if (response.href == self) {
                changes.truncated |= response.status == 507;
                return;
            }
            if (response.status == 404)
                changes.removed.append(response.href);
            else
                changes.changed.append({response.href, response.etag});
        });
        reader.feed(answer);
        if (!reader.complete() || reader.syncToken.isEmpty())
            return done({Outcome::Failed, outcome.status, QStringLiteral("The server's list of changes was cut short"), {}}, {});
        changes.token = reader.syncToken;
        done(outcome, changes);
    });
}

void Client::fetch(const QUrl &book, const QStringList &hrefs, std::function<void(const Entry &, const QByteArray &)> card,
                   std::function<void(const Outcome &)> done)
{
    if (hrefs.isEmpty())
        return later(this, [done] { done({Outcome::Done, 0, {}, {}}); });
    // A few hundred at a time: a server that gathers its whole answer before sending any of it
    // (Xandikos does) would otherwise be silent past the transfer timeout on a large address book.
    // Two asked at once, so that the server gathers the next while the cards of one are read.
    constexpr qsizetype perRequest = 200;
    constexpr int inFlight = 2;
    struct Batches
    {
        QStringList hrefs;
        qsizetype next = 0;
        int running = 0;
        bool failed = false; // told: no card is handed over after it
    };
    auto batches = std::make_shared<Batches>(Batches{hrefs, 0, 0, false});
    const auto each = [card, batches](const Entry &entry, const QByteArray &bytes) {
        if (!batches->failed)
            card(entry, bytes);
    };
    auto ask = std::make_shared<std::function<void()>>();
    *ask = [this, book, each, done, batches, weak = std::weak_ptr(ask)] {
        const QStringList some = batches->hrefs.mid(batches->next, perRequest);
        batches->next += some.size();
        ++batches->running;
        multiget(book, some, each, [done, batches, self = weak.lock()](const Outcome &outcome) {
            --batches->running;
            if (batches->failed)
                return;
            if (!outcome.ok()) {
                batches->failed = true;
                return done(outcome);
            }
            if (batches->next < batches->hrefs.size())
                (*self)();
            else if (batches->running == 0)
                done(outcome);
        });
    };
    for (int i = 0; i < inFlight && batches->next < hrefs.size(); ++i)
        (*ask)();
}

void Client::multiget(const QUrl &book, const QStringList &hrefs, const std::function<void(const Entry &, const QByteArray &)> &card,
                      const std::function<void(const Outcome &)> &done)
{
    QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><c:addressbook-multiget " + davNamespaces
                      + "><d:prop><d:getetag/><c:address-data/></d:prop>";
    for (const QString &href : hrefs)
        body += "<d:href>" + xmlEscaped(withPath(book, href).path(QUrl::FullyEncoded)) + "</d:href>";
    body += "</c:addressbook-multiget>";
    auto reader = std::make_shared<MultistatusReader>(book, [card](const Response &response) {
        if (response.status / 100 != 4 && !response.addressData.isEmpty())
            card({response.href, response.etag}, response.addressData);
    });
    QNetworkReply *reply = send("REPORT", book, body, {{"Depth", "1"}}, [reader, done](QNetworkReply *reply, const Outcome &outcome) {
        if (!outcome.ok())
            return done(outcome);
        reader->feed(reply->readAll());
        if (!reader->complete())
            return done({Outcome::Failed, outcome.status, QStringLiteral("The server's cards came cut short"), {}});
        done(outcome);
    });
    // Read as the bytes come, so that only the card being read is held. A
    // redirected request answers through a reply of its own, read at its end.
    connect(reply, &QNetworkReply::readyRead, this, [reply, reader] {
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() / 100 == 2)
            reader->feed(reply->readAll());
    });
}

void Client::create(const QUrl &book, const QString &uid, const QByteArray &vcard,
                    std::function<void(const Outcome &, const Entry &)> done)
{
    if (uid.isEmpty() || uid.contains(u'/'))
        return later(this, [done, uid] { done({Outcome::Failed, 0, QStringLiteral("The UID \"%1\" cannot name a card").arg(uid), {}}, {}); });
    QString path = book.path(QUrl::FullyDecoded);
    if (!path.endsWith(u'/'))
        path += u'/';
    const QUrl url = withPath(book, path + uid + QStringLiteral(".vcf"));
    send("PUT", url, vcard, {{"If-None-Match", "*"}}, [done, url, path](QNetworkReply *reply, const Outcome &outcome) {
        // A server may store a new card under a name of its own, and say
        // where (Google's does): the card is known by that name, or the next
        // listing would show it as another card and this one as removed.
        const QUrl stored = url.resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
        const QString storedPath = stored.path(QUrl::FullyDecoded);
        const bool inBook = stored.adjusted(QUrl::RemovePath) == url.adjusted(QUrl::RemovePath)
                            && storedPath.startsWith(path) && storedPath.size() > path.size()
                            && !storedPath.sliced(path.size()).contains(u'/');
        done(outcome, {inBook ? storedPath : url.path(QUrl::FullyDecoded), reply->rawHeader("ETag")});
    });
}

void Client::update(const QUrl &book, const Entry &entry, const QByteArray &vcard,
                    std::function<void(const Outcome &, const Entry &)> done)
{
    send("PUT", withPath(book, entry.href), vcard, {{"If-Match", entry.etag}}, [done, entry](QNetworkReply *reply, const Outcome &outcome) {
        done(outcome, {entry.href, outcome.ok() ? reply->rawHeader("ETag") : entry.etag});
    });
}

void Client::remove(const QUrl &book, const Entry &entry, std::function<void(const Outcome &)> done)
{
    send("DELETE", withPath(book, entry.href), {}, {{"If-Match", entry.etag}}, [done](QNetworkReply *, const Outcome &outcome) {
        if (outcome.status == 404)
            return done({Outcome::Done, 404, {}, {}});
        done(outcome);
    });
}

} // namespace CardDav
