#include "sync/booksync.h"

#include "sync/passwords.h"

#include "store/keptcards.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "store/vcardcontact.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace Sync {

namespace {

// Beside the data directory too, where start-up finds the temporaries a crash left.
QString cardsFolder()
{
    return QDir::cleanPath(Store::dataDir() + QStringLiteral("../Synced")) + u'/';
}

QString settingsFile()
{
    return folder() + QStringLiteral("Settings");
}

QString tokenFile()
{
    return folder() + QStringLiteral("Token");
}

QString conflictsFile()
{
    return folder() + QStringLiteral("Conflicts");
}

// A UID may hold any character, so its record is named by its digest.
QString recordFile(const QString &uid)
{
    return cardsFolder() + QString::fromLatin1(QCryptographicHash::hash(uid.toUtf8(), QCryptographicHash::Sha1).toHex());
}

bool makeFolder(const QString &path)
{
    // Private, as the folders of pictures and kept cards are.
    return QFileInfo::exists(path)
           || (QDir().mkpath(path) && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

// Whether the program sees the same contact in both cards.
bool sameFields(const QByteArray &a, const QByteArray &b)
{
    return !merge(a, b, a).send;
}

bool isGroup(const Vcard::Card &card)
{
    for (const QByteArrayView kind : {"KIND", "X-ADDRESSBOOKSERVER-KIND"}) {
        if (const Vcard::Property *property = card.first(kind); property && property->text().compare(u"group", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// A new card in the form the address book takes: vCard 3.0 unless it names 4.0.
QByteArray inVersion(const QByteArray &card, const QStringList &versions)
{
    if (versions.contains(QStringLiteral("4.0")))
        return card;
    Vcard::Card parsed = Vcard::parse(card).value(0);
    parsed.properties = Vcard::inVersion3(parsed.properties);
    return Vcard::write(parsed).replace("\r\nVERSION:4.0\r\n", "\r\nVERSION:3.0\r\n");
}

QString cardName(const QByteArray &card)
{
    const Vcard::Card parsed = Vcard::parse(card).value(0);
    const Vcard::Property *name = parsed.first("FN");
    return name ? name->text() : QString();
}

// A value on one line of the conflicts file, and back.
QString oneLine(QString text)
{
    return text.replace(u'\\', QStringLiteral("\\\\")).replace(u'\n', QStringLiteral("\\n")).replace(u'\t', u' ');
}

QString fromOneLine(const QString &line)
{
    QString text;
    for (qsizetype i = 0; i < line.size(); ++i)
        text += line[i] == u'\\' && i + 1 < line.size() ? (line[++i] == u'n' ? u'\n' : line[i]) : line[i];
    return text;
}

bool storeConflicts(const QList<OpenConflict> &conflicts)
{
    QByteArray bytes;
    for (const OpenConflict &c : conflicts) {
        QStringList fields{c.uid, c.category, c.name, c.field, c.here, c.there};
        for (QString &field : fields)
            field = oneLine(field);
        if (!c.choice.isEmpty())
            fields.append(c.choice);
        bytes += fields.join(u'\t').toUtf8() + '\n';
    }
    return makeFolder(folder()) && RecordFile::rewriteBytes(conflictsFile(), bytes);
}

} // namespace

QString folder()
{
    return QDir::cleanPath(Store::dataDir() + QStringLiteral("../Sync")) + u'/';
}

bool readSettings(Settings &settings)
{
    QStringList values;
    if (!RecordFile::readList(settingsFile(), values) || values.size() < 5)
        return false;
    settings = {QUrl(values[0]), values[1], values[2].split(u' ', Qt::SkipEmptyParts), values[3] == u"sync-collection",
                QByteArray::fromHex(values[4].toLatin1())};
    return settings.book.isValid();
}

bool storeSettings(const Settings &settings)
{
    return makeFolder(folder())
           && RecordFile::rewriteList(settingsFile(), {settings.book.toString(QUrl::FullyEncoded), settings.user,
                                                       settings.versions.join(u' '),
                                                       settings.syncCollection ? QStringLiteral("sync-collection") : QString(),
                                                       QString::fromLatin1(settings.certificate.toHex())});
}

QList<OpenConflict> conflicts()
{
    QList<OpenConflict> open;
    QByteArray bytes;
    RecordFile::readBytes(conflictsFile(), bytes);
    for (const QByteArray &line : bytes.split('\n')) {
        QStringList parts = QString::fromUtf8(line).split(u'\t');
        if (parts.size() != 6 && parts.size() != 7)
            continue;
        for (QString &part : parts)
            part = fromOneLine(part);
        open.append({parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], parts.value(6)});
    }
    return open;
}

bool choose(const QString &uid, const QString &field, bool mine)
{
    QList<OpenConflict> open = conflicts();
    for (OpenConflict &conflict : open) {
        if (conflict.uid == uid && conflict.field == field)
            conflict.choice = mine ? QStringLiteral("mine") : QStringLiteral("theirs");
    }
    return storeConflicts(open);
}

QString Summary::line() const
{
    return QStringLiteral("Sent %1, received %2, removed %3, %4 %5")
        .arg(sent)
        .arg(received)
        .arg(removed)
        .arg(conflicts)
        .arg(conflicts == 1 ? QStringLiteral("conflict") : QStringLiteral("conflicts"));
}

void setUp(QObject *context, const Settings &settings, const QString &password, std::function<void(const QString &error)> done)
{
    const auto stored = [settings, done](const QString &error) {
        if (!error.isEmpty())
            done(QStringLiteral("the password could not be kept: ") + error);
        else if (!storeSettings(settings))
            done(QStringLiteral("the settings could not be stored in ") + folder());
        else
            done({});
    };
    if (settings.user.isEmpty())
        stored({});
    else
        storePassword(context, settings.book, settings.user, password, stored);
}

void syncOnce(AddressBook &book, CardDav::Client &client, const Settings &settings, std::function<void(const Summary &)> done)
{
    if (!settings.certificate.isEmpty())
        client.trustCertificate(settings.book, settings.certificate);
    const auto run = [&book, &client, settings, done] {
        auto *run = new Run(book, client, settings, &client);
        run->start([run, done](const Summary &summary) {
            run->deleteLater();
            done(summary);
        });
    };
    if (settings.user.isEmpty()) {
        client.setCredentials({}, {});
        return run();
    }
    readPassword(&client, settings.book, settings.user, [&client, settings, done, run](const QString &password, const QString &error) {
        if (!error.isEmpty()) {
            Summary failed;
            failed.error = QStringLiteral("the password could not be read: ") + error;
            return done(failed);
        }
        client.setCredentials(settings.user, password);
        run();
    });
}

Run::Run(AddressBook &book, CardDav::Client &client, const Settings &settings, QObject *parent)
    : QObject(parent), m_book(book), m_client(client), m_settings(settings)
{
}

void Run::start(std::function<void(const Summary &)> done)
{
    m_done = std::move(done);
    m_summary = {};
    m_rounds = 0;
    m_created = false;
    round();
}

bool Run::keep(const QString &uid, const Synced &synced, bool incoming)
{
    if (uid.contains(u'\n'))
        return false; // it could not be read back
    // The UID, href, ETag and whether the contact may not be here yet, a line each; then the card.
    const QByteArray bytes = uid.toUtf8() + '\n' + synced.href.toUtf8() + '\n' + synced.etag + '\n'
                             + (incoming ? "incoming" : "") + '\n' + synced.card;
    // Written behind the sync, as typing is: one lost to a kill leaves the
    // server's side to be found again, which the next sync does without a
    // second card. One noted before its contact is stored here is stored first.
    return makeFolder(cardsFolder())
           && RecordFile::rewriteBytes(recordFile(uid), bytes, incoming ? RecordFile::Stored : RecordFile::Queued);
}

void Run::round()
{
    ++m_rounds;
    m_again = false;
    QSet<QString> incoming;
    m_last.clear(), m_uidOf.clear(), m_here.clear(), m_conflicts.clear(), m_held.clear(), m_settling.clear();
    m_steps.clear(), m_adding.clear(), m_addingSynced.clear(), m_stored.clear();

    const QDir records(cardsFolder());
    for (const QString &name : records.entryList(QDir::Files)) {
        QByteArray bytes;
        if (name.size() != 40 || !RecordFile::readBytes(records.filePath(name), bytes))
            continue;
        QList<QByteArray> lines;
        qsizetype at = 0;
        for (int line = 0; line < 4 && at >= 0; ++line) {
            const qsizetype end = bytes.indexOf('\n', at);
            lines.append(bytes.mid(at, end - at));
            at = end < 0 ? end : end + 1;
        }
        if (at < 0)
            continue;
        const QString uid = QString::fromUtf8(lines[0]);
        m_last.insert(uid, {QString::fromUtf8(lines[1]), lines[2], bytes.mid(at)});
        m_uidOf.insert(QString::fromUtf8(lines[1]), uid);
        if (lines[3] == "incoming")
            incoming.insert(uid);
    }

    // The conflicts left open: their contacts wait for the user on both
    // sides, but for those whose every field the user has chosen for.
    for (const OpenConflict &conflict : conflicts())
        m_settling[conflict.uid].append(conflict);
    for (auto it = m_settling.begin(); it != m_settling.end();) {
        if (std::any_of(it->cbegin(), it->cend(), [](const OpenConflict &c) { return c.choice.isEmpty(); })) {
            m_conflicts += *it;
            m_held.insert(it.key());
            it = m_settling.erase(it);
        } else {
            ++it;
        }
    }

    // Every contact here by its UID, as its card would go out now. One
    // without a UID is given one, kept as an export keeps it.
    {
        RecordFile::WriteGroup uids;
        for (const QString &category : m_book.categories()) {
            for (const QString &name : m_book.names(category)) {
                Vcard::StoredContact contact = Vcard::readContact(category, name);
                if (KeptCards::giveUid(contact.kept))
                    KeptCards::keep(category, name, contact.kept);
                m_here.insert(contact.kept.first("UID")->text(), {category, name, Vcard::exportContact(contact)});
            }
        }
        if (!uids.commit())
            return ended(QStringLiteral("The contacts' UIDs could not be kept"));
    }
    // A card whose contact was not yet stored here when a sync was cut short
    // was never here: it comes again as new. One whose contact is here is synced.
    {
        RecordFile::WriteGroup records;
        for (const QString &uid : std::as_const(incoming)) {
            if (m_here.contains(uid))
                keep(uid, m_last[uid]);
            else
                m_uidOf.remove(m_last.take(uid).href);
        }
    }

    const auto whole = [this] {
        m_client.list(m_settings.book, [this](const CardDav::Outcome &outcome, const QList<CardDav::Entry> &entries) {
            if (!outcome.ok())
                return ended(outcome.error);
            QHash<QString, QByteArray> there;
            for (const CardDav::Entry &entry : entries)
                there.insert(entry.href, entry.etag);
            listed(there, {});
        });
    };
    // While a conflict is open its card is listed whole, so a change there meanwhile is seen once the user has chosen.
    QByteArray token;
    if (m_held.isEmpty() && m_settling.isEmpty())
        RecordFile::readBytes(tokenFile(), token);
    if (!m_settings.syncCollection)
        return whole();
    m_client.changes(m_settings.book, token, [this, whole, token](const CardDav::Outcome &outcome, const CardDav::Changes &changes) {
        if (outcome.kind == CardDav::Outcome::Precondition)
            return whole(); // a token the server no longer knows: compared whole
        if (!outcome.ok())
            return ended(outcome.error);
        QHash<QString, QByteArray> changed;
        for (const CardDav::Entry &entry : changes.changed)
            changed.insert(entry.href, entry.etag);
        // Hrefs the last sync did not keep (cards refused here, or cut short) are listed as they are now.
        listed(token.isEmpty() ? changed : listingAfter(m_last, changed, changes.removed), changes.token);
    });
}

void Run::listed(const QHash<QString, QByteArray> &there, const QByteArray &token)
{
    m_token = token;
    QHash<QString, Synced> last = m_last;
    QHash<QString, Sync::Here> here;
    QHash<QString, QByteArray> listing = there;
    for (auto it = m_here.cbegin(); it != m_here.cend(); ++it) {
        const auto synced = m_last.constFind(it.key());
        here.insert(it.key(), synced != m_last.cend() && sameFields(synced->card, it->card) ? Sync::Here::Unchanged
                                                                                              : Sync::Here::Changed);
    }
    // A contact in conflict is left as it is on both sides until the user chooses.
    for (const QString &uid : std::as_const(m_held)) {
        here.remove(uid);
        listing.remove(last.take(uid).href);
    }
    QHash<QString, bool> keepMine;
    for (const QList<OpenConflict> &chosen : std::as_const(m_settling)) {
        if (chosen.first().field == u"(contact)")
            keepMine.insert(chosen.first().uid, chosen.first().choice == u"mine");
    }
    QString book = m_settings.book.path(QUrl::FullyDecoded);
    if (!book.endsWith(u'/'))
        book += u'/';
    m_plan = plan(last, here, listing, book, keepMine);
    m_merging = QSet<QString>(m_plan.merge.cbegin(), m_plan.merge.cend());

    for (const Sync::Conflict &conflict : std::as_const(m_plan.conflicts)) {
        const bool removedHere = conflict.kind == Sync::Conflict::RemovedHereChangedThere;
        hold(conflict.uid, {{"(contact)", removedHere ? QStringLiteral("removed") : QStringLiteral("changed"),
                             removedHere ? QStringLiteral("changed") : QStringLiteral("removed")}});
    }
    for (const QString &uid : std::as_const(m_plan.removeHere)) {
        const Here &contact = m_here[uid];
        if (m_book.removeContact(contact.category, contact.name) == AddressBook::Removal::NotRemoved)
            return ended(QStringLiteral("%1 in %2 could not be removed").arg(contact.name, contact.category));
        RecordFile::remove(recordFile(uid));
        ++m_summary.removed;
        tell("Removed here", contact.category, contact.name);
    }
    for (const QString &uid : std::as_const(m_plan.forget)) {
        RecordFile::remove(recordFile(uid));
        m_last.remove(uid);
    }

    // Cards in, then cards out: the steps run one after the other.
    m_steps.append([this] {
        m_client.fetch(
            m_settings.book, m_plan.fetch, [this](const CardDav::Entry &entry, const QByteArray &card) { received(entry, card); },
            [this](const CardDav::Outcome &outcome) {
                listAdded();
                if (!outcome.ok())
                    return ended(outcome.error);
                next();
            });
    });
    for (const QString &uid : std::as_const(m_plan.create))
        m_steps.append([this, uid] {
            // A card of the same UID received in this sync took the contact's place. A UID
            // that cannot name a card, or its record, leaves the contact here only.
            if (!m_last.contains(uid) && !uid.isEmpty() && !uid.contains(u'/') && !uid.contains(u'\n'))
                send(uid, {}, inVersion(m_here[uid].card, m_settings.versions), true);
            else
                next();
        });
    for (const QString &uid : std::as_const(m_plan.update)) {
        const Synced &synced = m_last[uid];
        m_steps.append([this, uid, synced] {
            send(uid, {synced.href, synced.etag}, merge(synced.card, m_here[uid].card, synced.card).card, false);
        });
    }
    for (const QString &uid : std::as_const(m_plan.removeThere)) {
        const Synced &synced = m_last[uid];
        // The ETag listed: the last sync's, but where the user chose to remove a card changed there since.
        const QByteArray etag = listing.value(synced.href);
        m_steps.append([this, uid, href = synced.href, etag] {
            m_client.remove(m_settings.book, {href, etag}, [this, uid](const CardDav::Outcome &outcome) {
                if (outcome.kind == CardDav::Outcome::Precondition)
                    m_again = true;
                else if (!outcome.ok())
                    return ended(outcome.error);
                else if (RecordFile::remove(recordFile(uid)))
                    ++m_summary.removed, tell("Removed there", {}, cardName(m_last.value(uid).card));
                next();
            });
        });
    }
    next();
}

void Run::next()
{
    if (m_steps.isEmpty())
        return ended();
    m_steps.takeFirst()();
}

void Run::send(const QString &uid, const CardDav::Entry &entry, const QByteArray &card, bool create)
{
    const auto sent = [this, uid, card, create](const CardDav::Outcome &outcome, const CardDav::Entry &entry) {
        if (outcome.kind == CardDav::Outcome::Precondition)
            m_again = true; // a card there already, or changed there since: fetched and merged in another round
        else if (!outcome.ok())
            return ended(outcome.error);
        else if (keep(uid, {entry.href, entry.etag, card}))
            ++m_summary.sent, tell("Sent", m_here.value(uid).category, m_here.value(uid).name), m_created |= create;
        next();
    };
    if (create)
        m_client.create(m_settings.book, uid, card, sent);
    else
        m_client.update(m_settings.book, entry, card, sent);
}

void Run::hold(const QString &uid, const QList<FieldConflict> &fields)
{
    Here contact = m_here.value(uid);
    if (contact.name.isEmpty()) { // removed here: named as its last card names it
        const Vcard::Imported last = Vcard::importCard(Vcard::parse(m_last.value(uid).card).value(0));
        contact = {last.category, last.name, {}};
    }
    for (const FieldConflict &field : fields)
        m_conflicts.append({uid, contact.category, contact.name, QString::fromUtf8(field.field), field.here, field.there, {}});
    m_held.insert(uid);
    m_settling.remove(uid); // the server changed it again: to be chosen anew
}

void Run::received(const CardDav::Entry &entry, const QByteArray &card)
{
    const Vcard::Card parsed = Vcard::parse(card).value(0);
    if (isGroup(parsed))
        return;
    QString uid = m_uidOf.value(entry.href);
    if (uid.isEmpty() && parsed.first("UID"))
        uid = parsed.first("UID")->text();
    if (m_held.contains(uid))
        return;
    const auto here = m_here.constFind(uid);
    if (here == m_here.cend())
        return addReceived(uid, entry, card);

    const bool known = m_last.contains(uid);
    const Synced last = m_last.value(uid);
    const Synced now{entry.href, entry.etag, card};
    QByteArray merged = card;
    if (m_merging.contains(uid) || !known) {
        QHash<QByteArray, Choice> chosen;
        for (const OpenConflict &conflict : m_settling.value(uid))
            chosen.insert(conflict.field.toUtf8(), {conflict.choice == u"mine", conflict.there});
        const Merged merging = merge(last.card, here->card, card, chosen);
        if (!merging.conflicts.isEmpty())
            return hold(uid, merging.conflicts);
        merged = merging.card;
        if (merging.send) {
            // Written back before the next step, with the ETag just read.
            m_steps.prepend([this, uid, entry, merged] { send(uid, entry, merged, false); });
        }
    }
    m_last.insert(uid, now);
    if (sameFields(here->card, merged)) {
        // Found there as it is here with no record of it: a card sent earlier whose answer never came.
        if (keep(uid, now) && !known)
            ++m_summary.sent, tell("Sent", here->category, here->name);
        return;
    }
    // Renamed or moved there, or changed: its files replaced, through the
    // book, once the contacts added before are listed (a change at a time).
    listAdded();
    Vcard::Imported in = Vcard::importCard(merged == card ? parsed : Vcard::parse(merged).value(0));
    if (!place(in))
        return;
    const AddressBook::Added added = m_book.replaceContact(
        here->category, here->name, {in.category, in.name, std::move(in.files), std::move(in.picture), in.pictureSuffix, std::move(in.kept)});
    if (added.stored && keep(uid, now))
        ++m_summary.received, tell("Received", in.category, in.name);
}

bool Run::place(Vcard::Imported &in) const
{
    if (!in.skipped.isEmpty())
        return false;
    in.category = AddressBook::tidy(in.category);
    in.name = AddressBook::tidy(in.name);
    // A category listed in other letters is that category.
    if (const QString listed = m_book.listedCategory(in.category); !listed.isEmpty())
        in.category = listed;
    else if (m_book.checkCategory(in.category) != AddressBook::Refusal::None)
        return false;
    return true;
}

void Run::addReceived(const QString &cardUid, const CardDav::Entry &entry, const QByteArray &card)
{
    Vcard::Imported in = Vcard::importCard(Vcard::parse(card).value(0));
    if (!place(in))
        return;
    if (m_book.listedCategory(in.category).isEmpty())
        m_book.noteCategory(in.category);
    // A name refused here leaves the card out, as an import does; it comes again at the next full listing.
    bool storedEarlier = false;
    if (m_book.checkContact(in.category, in.name, storedEarlier) != AddressBook::Refusal::None || storedEarlier)
        return;
    m_book.noteContact(in.category, in.name);
    KeptCards::giveUid(in.kept);
    const QString uid = cardUid.isEmpty() ? in.kept.first("UID")->text() : cardUid;
    m_here.insert(uid, {in.category, in.name, {}});
    m_addingSynced.append({uid, {entry.href, entry.etag, card}});
    m_adding.push_back({in.category, in.name, std::move(in.files), std::move(in.picture), in.pictureSuffix, std::move(in.kept)});
    if (qsizetype(m_adding.size()) == AddressBook::contactsPerGroup())
        storeAdded();
}

void Run::storeAdded()
{
    if (m_adding.empty())
        return;
    // Noted first as maybe not stored here, so that a sync cut short before
    // they are listed neither loses nor doubles them.
    {
        RecordFile::WriteGroup records;
        for (const auto &[uid, synced] : std::as_const(m_addingSynced))
            keep(uid, synced, true);
        if (!records.commit())
            return ended(QStringLiteral("What the sync keeps could not be stored"));
    }
    QList<const AddressBook::NewContact *> group;
    for (const AddressBook::NewContact &contact : m_adding)
        group.append(&contact);
    const QList<bool> stored = m_book.storeContacts(group);
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored[i])
            m_stored.append(m_addingSynced[i]);
    }
    m_adding.clear();
    m_addingSynced.clear();
}

void Run::listAdded()
{
    storeAdded();
    if (m_stored.isEmpty())
        return;
    const QStringList unlisted = m_book.listStored();
    RecordFile::WriteGroup records;
    for (const auto &[uid, synced] : std::as_const(m_stored)) {
        if (!unlisted.contains(m_here.value(uid).category))
            keep(uid, synced), ++m_summary.received, tell("Received", m_here.value(uid).category, m_here.value(uid).name);
    }
    m_stored.clear();
}

void Run::tell(const char *what, const QString &category, const QString &name)
{
    m_summary.details.append(QString::fromLatin1(what) + u' ' + name + (category.isEmpty() ? QString() : QStringLiteral(" (") + category + u')'));
}

void Run::ended(const QString &error)
{
    if (!m_done)
        return;
    m_steps.clear();
    if (error.isEmpty() && m_again && m_rounds < 3)
        return round();
    m_summary.error = error;
    // The choices are carried out once the sync has ended with every step confirmed; else the next does it again.
    if (!error.isEmpty() || m_again) {
        for (const QList<OpenConflict> &chosen : std::as_const(m_settling))
            m_conflicts += chosen;
    }
    QSet<QString> uids;
    for (const OpenConflict &conflict : std::as_const(m_conflicts)) {
        uids.insert(conflict.uid);
        m_summary.details.append(QStringLiteral("Conflict in %1 (%2), %3: here \u201c%4\u201d, there \u201c%5\u201d")
                                     .arg(conflict.name, conflict.category, conflict.field, conflict.here, conflict.there));
    }
    m_summary.conflicts = int(uids.size());
    storeConflicts(m_conflicts);
    // The token only once everything it covers is done here and there. A
    // server may tell changes since a token as the difference of then and
    // now (Xandikos does), which never names a card made after it and
    // removed since: after cards are made, the next sync compares whole.
    if (error.isEmpty() && !m_again)
        RecordFile::rewriteBytes(tokenFile(), m_created ? QByteArray() : m_token);
    const auto done = std::exchange(m_done, {});
    done(m_summary);
}

} // namespace Sync
