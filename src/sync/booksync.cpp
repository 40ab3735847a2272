#include "sync/booksync.h"

#include "sync/passwords.h"

#include "store/contactfiles.h"
#include "store/keptcards.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "store/saver.h"
#include "model/vcardcontact.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QScopedValueRollback>
#include <QtConcurrent/QtConcurrentMap>

#include <sys/stat.h>

namespace Sync {

namespace {

// A write answered "changed there since" sends the sync round again, after
// the card there is fetched and merged; one still answered so in the last is
// told, and the next sync tries it again.
constexpr int maxRounds = 3;

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

QString refusedFile()
{
    return folder() + QStringLiteral("Refused");
}

// The address book the records, the token, the cards left out and the
// conflicts are of.
QString bookFile()
{
    return folder() + QStringLiteral("Book");
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

// What a contact's files are on the disk now: each one's inode, size and
// time of change, which every rewrite (a new file put in place) changes.
// Empty, matching no record, while a rewrite of one waits to be written.
QByteArray signature(const QString &category, const QString &name)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QStringList files{KeptCards::file(category, name)};
    for (const QString &suffix : FileName::contactSuffixes)
        files.append(Store::dataFile(category, name, suffix));
    for (const QString &file : std::as_const(files)) {
        const QByteArray path = QFile::encodeName(file);
        QByteArray waiting;
        if (Saver::instance().pending(path, waiting))
            return {};
        struct stat status{};
        if (::stat(path.constData(), &status) != 0)
            status = {};
        const qint64 values[] = {qint64(status.st_ino), qint64(status.st_size), qint64(status.st_ctim.tv_sec),
                                 qint64(status.st_ctim.tv_nsec)};
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(values), sizeof values));
    }
    return hash.result().toHex();
}

// Whether the program sees the same contact in both cards.
bool sameFields(const QByteArray &a, const QByteArray &b)
{
    return !merge(a, b, a).send;
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

// A picture that cannot be read here (its file deleted or moved, its drive not mounted) is no picture removed: the
// contact goes out with the one it was last synced with. Whether there was one.
bool photoAsSynced(Vcard::StoredContact &contact, const QByteArray &lastSynced)
{
    const Vcard::Card card = Vcard::parse(lastSynced).value(0);
    const Vcard::Property *photo = card.first("PHOTO");
    contact.picture = photo ? photo->binary() : QByteArray();
    return !contact.picture.isEmpty();
}

QString cardName(const QByteArray &card)
{
    const Vcard::Card parsed = Vcard::parse(card).value(0);
    const Vcard::Property *name = parsed.first("FN");
    return name ? name->text() : QString();
}

// A value on one line of the conflicts file, between its tabs, and back.
QString oneLine(QString text)
{
    return text.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'\n', QStringLiteral("\\n"))
        .replace(u'\t', QStringLiteral("\\t"));
}

QString fromOneLine(const QString &line)
{
    QString text;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] != u'\\' || i + 1 == line.size())
            text += line[i];
        else if (const QChar escaped = line[++i]; escaped == u'n' || escaped == u't')
            text += escaped == u'n' ? u'\n' : u'\t';
        else
            text += escaped;
    }
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

bool restoreKeptCards(const std::function<bool()> &mayWrite)
{
    const QString cards = QDir::cleanPath(KeptCards::folder());
    const QDir records(cardsFolder());
    if (QFileInfo::exists(cards) || !records.exists())
        return true;
    if (mayWrite && !mayWrite())
        return false;
    // Made whole beside its place and then put there: a restore cut short
    // leaves no folder, and the next start restores every card again.
    const QString building = cards + QStringLiteral(".restoring");
    if (!QDir(building).removeRecursively() || !makeFolder(building))
        return false;
    QHash<QString, QSet<QString>> listed; // each category's names, read once
    RecordFile::WriteGroup group;
    for (const QString &name : records.entryList(QDir::Files)) {
        QByteArray bytes;
        QString uid;
        Known::Record record;
        if (name.size() != 40 || !RecordFile::readBytes(records.filePath(name), bytes) || !Known::read(bytes, uid, record, true)
            || record.incoming)
            continue;
        auto names = listed.find(record.category);
        if (names == listed.end()) {
            QStringList list;
            ContactFiles::readWhole(ContactFiles::namesList(record.category), list);
            names = listed.insert(record.category, QSet<QString>(list.cbegin(), list.cend()));
        }
        Vcard::Card synced = Vcard::importCard(Vcard::parse(record.synced.card).value(0)).kept;
        if (!synced.first("UID"))
            synced.properties.prepend({{}, "UID", {}, uid});
        const QString file = KeptCards::file(record.category, record.name);
        if (names->contains(record.name) && synced.first("UID")->text() == uid && !file.isEmpty())
            RecordFile::rewriteBytes(building + file.sliced(cards.size()), Vcard::write(synced), RecordFile::Fresh);
    }
    return group.commit() && RecordFile::move(building, cards);
}

QUrl serverAddress(const QString &given)
{
    const QString text = given.trimmed();
    // An address the user wrote whole is read as written: the guess at a mistyped one makes another ("http://http//").
    const QUrl url = text.contains(QLatin1String("://")) ? QUrl(text, QUrl::StrictMode) : QUrl::fromUserInput(text);
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    return url.isValid() && web && !url.host().isEmpty() ? url : QUrl();
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
        .arg(conflicts == 1 ? QStringLiteral("conflict") : QStringLiteral("conflicts"))
        + (leftOut == 0 ? QString()
                        : QStringLiteral("; %1 left out").arg(leftOut == 1 ? QStringLiteral("1 card") : QStringLiteral("%1 cards").arg(leftOut)))
        + (notSent == 0 ? QString()
                        : QStringLiteral("; %1 not sent").arg(notSent == 1 ? QStringLiteral("1 change") : QStringLiteral("%1 changes").arg(notSent)));
}

QString Summary::report() const
{
    return (QStringList{line()} + told).join(u'\n');
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

void Known::noteContact(const QString &category, const QString &name)
{
    m_contacts.insert({category, name}, ++m_notes);
}

void Known::noteCategory(const QString &category)
{
    m_categories.insert(category, ++m_notes);
}

bool Known::noteFiles(const QSet<QString> &fileNames)
{
    bool noted = false;
    for (const QString &file : fileNames) {
        for (const QString &suffix : FileName::contactSuffixes) {
            if (!file.endsWith(suffix))
                continue;
            const auto [from, to] = m_atFile.equal_range(file.chopped(suffix.size()));
            for (auto it = from; it != to; ++it)
                noteContact(it->first, it->second), noted = true;
        }
    }
    return noted;
}

bool Known::read(const QByteArray &bytes, QString &uid, Record &record, bool withCard)
{
    QList<QByteArray> lines;
    qsizetype at = 0;
    for (int line = 0; line < 7 && at >= 0; ++line) {
        // One written before records named the contact's place has its card after four lines:
        // the place is found again when every contact is looked at, and written then.
        if (line == 4 && QByteArrayView(bytes).sliced(at).startsWith("BEGIN:VCARD")) {
            lines << QByteArray() << QByteArray() << QByteArray();
            break;
        }
        const qsizetype end = bytes.indexOf('\n', at);
        lines.append(bytes.mid(at, end - at));
        at = end < 0 ? end : end + 1;
    }
    if (at < 0)
        return false;
    uid = QString::fromUtf8(lines[0]);
    record = {{QString::fromUtf8(lines[1]), lines[2], withCard ? bytes.mid(at) : QByteArray()}, QString::fromUtf8(lines[4]),
              QString::fromUtf8(lines[5]), lines[6], lines[3] == "incoming"};
    return true;
}

bool Known::settled()
{
    if (m_all != 0 || !m_categories.isEmpty())
        return false;
    for (auto it = m_contacts.cbegin(); it != m_contacts.cend(); ++it) {
        const auto record = m_records.constFind(m_uidAt.value(it.key()));
        if (record == m_records.cend() || record->incoming || record->signature != signature(it.key().first, it.key().second))
            return false;
    }
    m_contacts.clear();
    return true;
}

void Known::keep(const QString &uid, const Record &record)
{
    forget(uid);
    m_records.insert(uid, record);
    const std::pair<QString, QString> at{record.category, record.name};
    if (!m_uidAt.contains(at))
        m_atFile.insert(record.category + record.name, at);
    m_uidAt.insert(at, uid);
}

void Known::forgetAll()
{
    m_records.clear();
    m_uidAt.clear();
    m_atFile.clear();
    noteAll();
}

void Known::forget(const QString &uid)
{
    const auto record = m_records.constFind(uid);
    if (record == m_records.cend())
        return;
    const auto at = m_uidAt.constFind({record->category, record->name});
    if (at != m_uidAt.cend() && *at == uid) {
        m_atFile.remove(record->category + record->name, at.key());
        m_uidAt.erase(at);
    }
    m_records.erase(record);
}

void syncOnce(AddressBook &book, CardDav::Client &client, const Settings &settings, std::function<void(const Summary &)> done,
              Known *known)
{
    if (!settings.certificate.isEmpty())
        client.trustCertificate(settings.book, settings.certificate);
    const auto run = [&book, &client, settings, done, known] {
        auto *run = new Run(book, client, settings, known, &client);
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

Run::Run(AddressBook &book, CardDav::Client &client, const Settings &settings, Known *known, QObject *parent)
    : QObject(parent), m_book(book), m_client(client), m_known(known ? *known : m_own), m_settings(settings)
{
}

void Run::start(std::function<void(const Summary &)> done)
{
    m_done = std::move(done);
    m_summary = {};
    m_rounds = 0;
    m_noted = m_known.m_notes;
    m_created = false;
    m_summary.error = ofThisBook();
    if (!m_summary.error.isEmpty())
        return std::exchange(m_done, {})(m_summary);
    round();
}

// Another address book's records say nothing of this one: kept, they would
// have every contact here taken for one removed there. They are forgotten,
// the book they are of written last, so that a cut is finished by the next
// sync; this book then meets the contacts as at a first sync, by their UIDs.
// Records made before the book was written down are of the book set up.
QString Run::ofThisBook()
{
    const QString book = m_settings.book.toString(QUrl::FullyEncoded);
    QString of;
    if (RecordFile::readValue(bookFile(), of) && of == book)
        return {};
    if (!of.isEmpty()) {
        RecordFile::WriteGroup forgetting;
        bool forgotten = true;
        const QDir records(cardsFolder());
        for (const QString &name : records.entryList(QDir::Files))
            forgotten = RecordFile::remove(records.filePath(name)) && forgotten;
        for (const QString &file : {tokenFile(), refusedFile(), conflictsFile()})
            forgotten = RecordFile::remove(file) && forgotten;
        if (!forgetting.commit() || !forgotten)
            return QStringLiteral("what was synced with the address book set up before could not be forgotten");
        m_known.forgetAll();
    }
    if (!makeFolder(folder()) || !RecordFile::rewriteValue(bookFile(), book))
        return bookFile() + QStringLiteral(" could not be written");
    return {};
}

bool Run::keep(const QString &uid, const Synced &synced, bool incoming)
{
    const Here here = m_here.value(uid);
    // A contact read in this sync is as its files were before they were read:
    // a change made since is seen by the next. One stored by the sync is as it is now.
    const QByteArray signature = incoming ? QByteArray() : here.card.isEmpty() ? Sync::signature(here.category, here.name) : here.signature;
    const QString lines = uid + here.category + here.name;
    if (lines.contains(u'\n'))
        return false; // it could not be read back
    // Without a card: the one its record holds, as the last sync left it.
    const QByteArray card = synced.card.isEmpty() ? lastCard(uid) : synced.card;
    // The UID, href, ETag, whether the contact may not be here yet, its
    // category, name and files' signature, a line each; then the card.
    const QByteArray bytes = uid.toUtf8() + '\n' + synced.href.toUtf8() + '\n' + synced.etag + '\n'
                             + (incoming ? "incoming" : "") + '\n' + here.category.toUtf8() + '\n' + here.name.toUtf8() + '\n'
                             + signature + '\n' + card;
    // Written behind the sync, as typing is: one lost to a kill leaves the
    // server's side to be found again, which the next sync does without a
    // second card. One noted before its contact is stored here is stored first.
    if (!makeFolder(cardsFolder())
        || !RecordFile::rewriteBytes(recordFile(uid), bytes, incoming ? RecordFile::Stored : RecordFile::Queued))
        return false;
    m_known.keep(uid, {{synced.href, synced.etag, {}}, here.category, here.name, signature, incoming});
    return true;
}

bool Run::forget(const QString &uid)
{
    m_known.forget(uid);
    return RecordFile::remove(recordFile(uid));
}

void Run::readRecords()
{
    if (std::exchange(m_known.m_read, true))
        return;
    const QDir records(cardsFolder());
    for (const QString &name : records.entryList(QDir::Files)) {
        QByteArray bytes;
        QString uid;
        Known::Record record;
        if (name.size() == 40 && RecordFile::readBytes(records.filePath(name), bytes) && Known::read(bytes, uid, record))
            m_known.keep(uid, record);
    }
}

QByteArray Run::lastCard(const QString &uid) const
{
    QByteArray bytes;
    QString read;
    Known::Record record;
    if (!RecordFile::readBytes(recordFile(uid), bytes) || !Known::read(bytes, read, record, true) || read != uid)
        return {};
    return record.synced.card;
}

// A contact here now, as far as its files tell (now, their signature):
// unchanged since its record when their signature is the record's, else read
// and exported. One without a UID is given one, kept as an export keeps it;
// false where it could not be kept, as the next sync would give it another.
bool Run::look(const QString &category, const QString &name, const QByteArray &now)
{
    const QString recorded = m_known.m_uidAt.value({category, name});
    const Known::Record record = m_known.m_records.value(recorded);
    if (!recorded.isEmpty() && !now.isEmpty() && now == record.signature && !record.incoming) {
        m_here.insert(recorded, {category, name, {}, now, false, false});
        return true;
    }
    Vcard::StoredContact contact = Vcard::readContact(category, name);
    // A file that cannot be read is not an emptied field: the contact is not
    // sent until it can be, and stays as its record says.
    if (!contact.unreadable.isEmpty()) {
        m_summary.notSentBecause(QStringLiteral("Not sent %1 (%2): its %3 cannot be read")
                                     .arg(name, category, contact.unreadable.join(QStringLiteral(", "))));
        if (!recorded.isEmpty())
            m_here.insert(recorded, {category, name, {}, record.signature, false, false});
        return true;
    }
    // Two contacts of one UID (cards imported with one before each import gave its own) would be one card there:
    // the one looked at second, not the one a record places there, is given its own. One moved keeps its UID.
    const Vcard::Property *own = contact.kept.first("UID");
    const auto other = own ? m_here.constFind(own->text()) : m_here.cend();
    const bool shared = other != m_here.cend() && (other->category != category || other->name != name)
                        && m_book.listed(other->category, other->name);
    const bool given = KeptCards::giveUid(contact.kept, shared);
    if (given && !KeptCards::keep(category, name, contact.kept))
        return false;
    const QString uid = contact.kept.first("UID")->text();
    const auto last = m_last.constFind(uid);
    const QByteArray lastSynced = last == m_last.cend() ? QByteArray() : lastCard(uid);
    if (contact.pictureUnread && photoAsSynced(contact, lastSynced))
        m_summary.told.append(
            QStringLiteral("The picture of %1 (%2) cannot be read here: the server's is left as it is").arg(name, category));
    Here here{category, name, Vcard::exportContact(contact), now, true, given};
    here.changed = last == m_last.cend() || !sameFields(lastSynced, here.card);
    m_here.insert(uid, here);
    return true;
}

const QByteArray &Run::cardHere(const QString &uid)
{
    Here &here = m_here[uid];
    if (here.card.isEmpty()) {
        here.signature = signature(here.category, here.name);
        here.card = Vcard::exportContact(Vcard::readContact(here.category, here.name));
    }
    return here.card;
}

void Run::round()
{
    ++m_rounds;
    m_again = false;
    m_last.clear(), m_uidOf.clear(), m_here.clear(), m_conflicts.clear(), m_held.clear(), m_settling.clear();
    m_steps.clear(), m_adding.clear(), m_addingSynced.clear();

    readRecords();
    // The conflicts left open: their contacts wait for the user on both
    // sides, but for those whose every field the user has chosen for. Read
    // first, so that a sync ended early keeps them.
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
    if (!restoreKeptCards())
        return ended(QStringLiteral("The cards kept in ") + KeptCards::folder() + QStringLiteral(" were lost and could not be restored"));
    // The contacts to look at: every one, or those noted since the last sync;
    // any other is where its record says, unchanged.
    const bool all = m_known.m_all != 0;
    QHash<std::pair<QString, QString>, bool> looking; // whether it is known to be listed
    QSet<QString> categories = all ? QSet<QString>(m_book.categories().cbegin(), m_book.categories().cend()) : QSet<QString>();
    for (auto it = m_known.m_categories.cbegin(); it != m_known.m_categories.cend(); ++it)
        categories.insert(it.key());
    for (auto it = m_known.m_contacts.cbegin(); it != m_known.m_contacts.cend(); ++it)
        looking.insert(it.key(), false);
    for (auto it = m_known.m_records.cbegin(); it != m_known.m_records.cend(); ++it) {
        m_last.insert(it.key(), it->synced);
        m_uidOf.insert(it->synced.href, it.key());
        const std::pair<QString, QString> at{it->category, it->name};
        if (all || it->incoming || categories.contains(it->category))
            looking.insert(at, false);
        else if (!looking.contains(at))
            m_here.insert(it.key(), {it->category, it->name, {}, it->signature, false, false});
    }
    for (const QString &category : std::as_const(categories)) {
        if (m_book.categories().contains(category)) {
            for (const QString &name : m_book.names(category))
                looking.insert({category, name}, true);
        }
    }
    {
        QHash<QString, QSet<QString>> listed; // by category, of those asked about
        const auto isListed = [&](const QString &category, const QString &name) {
            if (!m_book.categories().contains(category))
                return false;
            auto names = listed.find(category);
            if (names == listed.end())
                names = listed.insert(category, QSet<QString>(m_book.names(category).cbegin(), m_book.names(category).cend()));
            return names->contains(name);
        };
        // The files' signatures on every core: a stat of each file of every contact is most of the time a round
        // with little to do holds the window's thread. A look changes no other contact's files.
        const QList<std::pair<QString, QString>> contacts = looking.keys();
        // Made here, not on a worker, should nothing have read or written yet: a QObject keeps the thread it was made on.
        Saver::instance();
        const QList<QByteArray> signatures = QtConcurrent::blockingMapped(
            contacts, [](const std::pair<QString, QString> &contact) { return signature(contact.first, contact.second); });
        RecordFile::WriteGroup uids;
        bool kept = true;
        for (const bool recorded : {true, false}) { // a UID two contacts have stays with the one synced with it
            for (qsizetype i = 0; i < contacts.size(); ++i) {
                const auto &[category, name] = contacts[i];
                if (m_known.m_uidAt.contains(contacts[i]) == recorded && (looking.value(contacts[i]) || isListed(category, name)))
                    kept = look(category, name, signatures[i]) && kept;
            }
        }
        if (!uids.commit() || !kept)
            return ended(QStringLiteral("The contacts' UIDs could not be kept"));
        // A names list that cannot be read now says nothing of its contacts: each stays as its record says, never
        // taken for one removed here.
        for (auto it = m_known.m_records.cbegin(); it != m_known.m_records.cend(); ++it) {
            if (!m_here.contains(it.key()) && m_book.categories().contains(it->category) && !m_book.namesWhole(it->category))
                m_here.insert(it.key(), {it->category, it->name, {}, it->signature, false, false});
        }
        // Those given a UID were read as they are now, their UIDs kept.
        for (Here &here : m_here) {
            if (here.givenUid)
                here.signature = signature(here.category, here.name);
        }
        // A record that does not say where its contact is now (one written before records named the
        // place, or the contact moved while no sync watched) is written again, so that the syncs that
        // look only at what changed find it there.
        RecordFile::WriteGroup places;
        for (auto it = m_here.cbegin(); it != m_here.cend(); ++it) {
            const auto record = m_known.m_records.constFind(it.key());
            if (it->card.isEmpty() || it->changed || record == m_known.m_records.cend() || record->incoming
                || (record->category == it->category && record->name == it->name))
                continue;
            const Synced synced = record->synced;
            keep(it.key(), synced);
        }
    }

    // A card whose contact was not yet stored here when a sync was cut short
    // was never here: it comes again as new. One whose contact is here is synced.
    {
        RecordFile::WriteGroup records;
        const QHash<QString, Known::Record> known = m_known.m_records;
        for (auto it = known.cbegin(); it != known.cend(); ++it) {
            if (!it->incoming)
                continue;
            if (m_here.contains(it.key()))
                keep(it.key(), it->synced);
            else
                m_uidOf.remove(m_last.take(it.key()).href);
        }
    }

    const auto whole = [this] {
        m_client.list(m_settings.book, [this](const CardDav::Outcome &outcome, const QList<CardDav::Entry> &entries) {
            if (!outcome.ok())
                return ended(outcome.error);
            QHash<QString, QByteArray> there;
            for (const CardDav::Entry &entry : entries)
                there.insert(entry.href, entry.etag);
            listed(there, {}, true);
        });
    };
    // While a conflict is open its card is listed whole, so a change there meanwhile is seen once the user has chosen.
    QByteArray token;
    if (m_held.isEmpty() && m_settling.isEmpty())
        RecordFile::readBytes(tokenFile(), token);
    if (!m_settings.syncCollection)
        return whole();
    m_client.changes(m_settings.book, token, [this, whole, token](const CardDav::Outcome &outcome, const CardDav::Changes &changes) {
        // A token the server no longer knows, or changes it gave only some of (which a server need not be asked
        // for: the rest would never come): compared whole.
        if (outcome.kind == CardDav::Outcome::Precondition || (outcome.ok() && changes.truncated))
            return whole();
        if (!outcome.ok())
            return ended(outcome.error);
        QHash<QString, QByteArray> changed;
        for (const CardDav::Entry &entry : changes.changed)
            changed.insert(entry.href, entry.etag);
        // Hrefs the last sync did not keep (cards refused here, or cut short) are listed as they are now.
        listed(token.isEmpty() ? changed : listingAfter(m_last, changed, changes.removed), changes.token, token.isEmpty(),
               changes.removed);
    });
}

void Run::listed(const QHash<QString, QByteArray> &there, const QByteArray &token, bool complete, const QStringList &removed)
{
    m_token = token;
    QHash<QString, Synced> last = m_last;
    QHash<QString, Sync::Here> here;
    QHash<QString, QByteArray> listing = there;
    // An address book that holds none of the cards synced with it was emptied
    // or replaced (a server restored from nothing, another account at the same
    // address), and a book here without any of their contacts was emptied too
    // (a restore, a folder-sync tool), far more often than either was cleared
    // on purpose: nothing is removed on the other side for it, and the two
    // meet as at a first sync, by the cards' UIDs, each getting back what it lost.
    const bool goneThere = std::ranges::none_of(m_last, [&](const Synced &synced) { return there.contains(synced.href); });
    const bool goneHere = std::ranges::none_of(m_last.keys(), [&](const QString &uid) { return m_here.contains(uid); });
    if (!m_last.isEmpty() && (goneThere || goneHere)) {
        for (const QString &uid : m_last.keys())
            forget(uid);
        m_last.clear(), last.clear(), m_uidOf.clear();
        m_summary.told.append(goneThere ? QStringLiteral("None of the cards synced before is in the address book now: nothing was "
                                                         "removed here, and the contacts were sent there again.")
                                        : QStringLiteral("None of the contacts synced before is here now: nothing was removed "
                                                         "there, and the cards came back here."));
    }
    // A card left out before, unchanged since, is not fetched again while it
    // would still be left out; once its place here is free it is, listed or not.
    QByteArray refused;
    RecordFile::readBytes(refusedFile(), refused);
    m_refused.clear();
    for (const QByteArray &line : refused.split('\n')) {
        const QStringList parts = QString::fromUtf8(line).split(u'\t');
        if (parts.size() != 4 || m_uidOf.contains(parts[0]))
            continue;
        const auto etag = listing.constFind(parts[0]);
        if (etag == listing.cend()) {
            if (complete || removed.contains(parts[0]))
                continue;
            if (leftOut(parts[2], parts[3]))
                m_refused.insert(parts[0], line + '\n');
            else
                listing.insert(parts[0], parts[1].toUtf8());
        } else if (*etag == parts[1].toUtf8() && !etag->isEmpty() && leftOut(parts[2], parts[3])) {
            m_refused.insert(parts[0], line + '\n');
            listing.remove(parts[0]);
        }
    }
    RecordFile::WriteGroup records;
    for (auto it = m_here.cbegin(); it != m_here.cend(); ++it) {
        here.insert(it.key(), it->changed ? Sync::Here::Changed : Sync::Here::Unchanged);
        // Read but the same: its record names its files as they are, so they are not read again.
        const Known::Record record = m_known.m_records.value(it.key());
        if (!it->changed && !it->signature.isEmpty() && it->signature != record.signature && !m_held.contains(it.key()))
            keep(it.key(), record.synced);
    }
    records.commit();
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
    {
        const QScopedValueRollback applying(m_known.m_applying, true);
        for (const QString &uid : std::as_const(m_plan.removeHere)) {
            const Here &contact = m_here[uid];
            if (m_book.removeContact(contact.category, contact.name) == AddressBook::Removal::NotRemoved)
                return ended(QStringLiteral("%1 in %2 could not be removed").arg(contact.name, contact.category));
            forget(uid);
            ++m_summary.removed;
            tell("Removed here", contact.category, contact.name);
        }
    }
    for (const QString &uid : std::as_const(m_plan.forget)) {
        forget(uid);
        m_last.remove(uid);
    }

    // The cards synced before that are still there hold their UIDs: another card of one of them is another contact.
    m_claimed.clear();
    for (auto it = m_last.cbegin(); it != m_last.cend(); ++it) {
        if (there.contains(it->href))
            m_claimed.insert(it.key(), it->href);
    }

    // Cards in, then cards out: the steps run one after the other.
    m_steps.append([this] {
        // A sync ended by a failure here is gone before the cards still on their way.
        m_client.fetch(
            m_settings.book, m_plan.fetch,
            [run = QPointer(this)](const CardDav::Entry &entry, const QByteArray &card) {
                if (run && run->m_done)
                    run->received(entry, card);
            },
            [this, run = QPointer(this)](const CardDav::Outcome &outcome) {
                if (!run || !m_done)
                    return;
                storeAdded();
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
                send(uid, {}, inVersion(cardHere(uid), m_settings.versions), true);
            else
                next();
        });
    for (const QString &uid : std::as_const(m_plan.update)) {
        const Synced &synced = m_last[uid];
        m_steps.append([this, uid, synced] {
            const QByteArray last = lastCard(uid);
            send(uid, {synced.href, synced.etag}, merge(last, m_here[uid].card, last).card, false);
        });
    }
    for (const QString &uid : std::as_const(m_plan.removeThere)) {
        const Synced &synced = m_last[uid];
        // The ETag listed: the last sync's, but where the user chose to remove a card changed there since.
        const QByteArray etag = listing.value(synced.href);
        m_steps.append([this, uid, href = synced.href, etag] {
            m_client.remove(m_settings.book, {href, etag}, [this, uid](const CardDav::Outcome &outcome) {
                const QString name = cardName(lastCard(uid));
                if (!notDone(outcome, QStringLiteral("Not removed there %1: %2").arg(name, outcome.error))) {
                    if (!outcome.ok())
                        return ended(outcome.error);
                    if (forget(uid))
                        ++m_summary.removed, tell("Removed there", {}, name);
                }
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

// A write the server did not carry out, for this card alone: changed there
// since (or a card there already), fetched and merged in another round; or
// refused, which holds up no other card. Either is told once no round is
// left, and the next sync tries it again.
bool Run::notDone(const CardDav::Outcome &outcome, const QString &told)
{
    const bool changedThere = outcome.kind == CardDav::Outcome::Precondition;
    if (!changedThere && !outcome.refused())
        return false;
    m_again |= changedThere;
    if (!changedThere || m_rounds == maxRounds)
        m_summary.notSentBecause(told);
    return true;
}

void Run::send(const QString &uid, const CardDav::Entry &entry, const QByteArray &card, bool create)
{
    const auto sent = [this, uid, card, create](const CardDav::Outcome &outcome, const CardDav::Entry &entry) {
        const Here here = m_here.value(uid);
        if (!notDone(outcome, QStringLiteral("Not sent %1 (%2): %3").arg(here.name, here.category, outcome.error))) {
            if (!outcome.ok())
                return ended(outcome.error);
            if (keep(uid, {entry.href, entry.etag, card}))
                ++m_summary.sent, tell("Sent", here.category, here.name), m_created |= create;
        }
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
        const Vcard::Imported last = Vcard::importCard(Vcard::parse(lastCard(uid)).value(0));
        contact = {last.category, last.name, {}, {}, false, false};
    }
    for (const FieldConflict &field : fields)
        m_conflicts.append({uid, contact.category, contact.name, QString::fromUtf8(field.field), field.here, field.there, {}});
    m_held.insert(uid);
    m_settling.remove(uid); // the server changed it again: to be chosen anew
}

void Run::received(const CardDav::Entry &entry, const QByteArray &card)
{
    const Vcard::Card parsed = Vcard::parse(card).value(0);
    if (Vcard::isGroup(parsed))
        return;
    QString uid = m_uidOf.value(entry.href);
    if (uid.isEmpty() && parsed.first("UID")) {
        uid = parsed.first("UID")->text();
        // Two cards there of one UID (another client's copy, a file copied into the server's folder) are two
        // contacts, never one taken for the other: the second is given a UID of its own here, as one without any is.
        if (const auto claimed = m_claimed.constFind(uid); claimed != m_claimed.cend() && *claimed != entry.href)
            uid.clear();
        else
            m_claimed.insert(uid, entry.href);
    }
    if (m_held.contains(uid))
        return;
    if (!m_here.contains(uid))
        return addReceived(uid, entry, card, parsed);
    const QByteArray cardHere = this->cardHere(uid);
    const Here here = m_here.value(uid);

    const bool known = m_last.contains(uid);
    const Synced now{entry.href, entry.etag, card};
    QByteArray merged = card;
    if (m_merging.contains(uid) || !known) {
        QHash<QByteArray, Choice> chosen;
        for (const OpenConflict &conflict : m_settling.value(uid))
            chosen.insert(conflict.field.toUtf8(), {conflict.choice == u"mine", conflict.there});
        const Merged merging = merge(known ? lastCard(uid) : QByteArray(), cardHere, card, chosen);
        if (!merging.conflicts.isEmpty())
            return hold(uid, merging.conflicts);
        merged = merging.card;
        if (merging.send) {
            // Written back before the next step, with the ETag just read.
            m_steps.prepend([this, uid, entry, merged] { send(uid, entry, merged, false); });
        }
    }
    m_last.insert(uid, {entry.href, entry.etag, {}});
    if (sameFields(cardHere, merged)) {
        // Found there as it is here with no record of it: a card sent earlier whose answer never came.
        // Or one that came back with its category, as it was.
        if (keep(uid, now) && !known) {
            ++(here.cameBack ? m_summary.received : m_summary.sent);
            tell(here.cameBack ? "Received" : "Sent", here.category, here.name);
        }
        return;
    }
    // Renamed or moved there, or changed: its files replaced, through the
    // book, once the contacts added before are listed (a change at a time).
    storeAdded();
    Vcard::Imported in = Vcard::importCard(merged == card ? parsed : Vcard::parse(merged).value(0));
    if (!place(in))
        return;
    // Numbered here for another of its name, it keeps its number while its card keeps the name.
    if (in.category == here.category && Vcard::isNumbered(here.name, in.name))
        in.name = here.name;
    const QScopedValueRollback applying(m_known.m_applying, true);
    AddressBook::NewContact contact{in.category, in.name, std::move(in.files), std::move(in.picture), in.pictureSuffix, std::move(in.kept)};
    AddressBook::Added added = m_book.replaceContact(here.category, here.name, contact);
    if (added.refusal != AddressBook::Refusal::None) {
        if (contact.name = freeName(contact.category, contact.name); !contact.name.isEmpty())
            added = m_book.replaceContact(here.category, here.name, contact);
    }
    if (!added.stored)
        return;
    in.name = contact.name;
    m_here.insert(uid, {in.category, in.name, {}, {}, false, false}); // as stored now
    if (keep(uid, now))
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

// A name another contact has here, or whose files would be another's, is
// numbered, "Ann (2)", as a person tells two people of one name apart; the
// card's own FN stays as it is. Empty where no number frees it.
QString Run::freeName(const QString &category, const QString &name)
{
    using Refusal = AddressBook::Refusal;
    for (int number = 2; number < 100; ++number) {
        const QString numbered = Vcard::numberedName(name, number);
        bool storedEarlier = false;
        const Refusal refusal = m_book.checkContact(category, numbered, storedEarlier);
        if (refusal == Refusal::None && !storedEarlier)
            return numbered;
        if (refusal != Refusal::None && refusal != Refusal::Listed && refusal != Refusal::Repeated && refusal != Refusal::Taken
            && refusal != Refusal::Reserved)
            break;
    }
    return {};
}

// The name the category lists the contact whose kept card has this UID under: the card's own, or numbered as a
// second of that name was; empty where it lists none.
QString Run::listedAs(const QString &uid, const QString &category, const QString &name)
{
    for (int number = 1; !uid.isEmpty() && number < 100; ++number) {
        const QString at = number == 1 ? name : Vcard::numberedName(name, number);
        if (!m_book.listed(category, at))
            break;
        if (m_book.noted(category, at)) // a card's new here in this sync, its kept card not yet written
            continue;
        const Vcard::Card kept = KeptCards::read(category, at);
        if (const Vcard::Property *own = kept.first("UID"); own && own->text() == uid)
            return at;
    }
    return {};
}

// Whether a card placed there would be left out now; a card that cannot be used at all has no place.
bool Run::leftOut(const QString &category, const QString &name)
{
    if (category.isEmpty())
        return true;
    const QString listed = m_book.listedCategory(category);
    if (listed.isEmpty())
        return m_book.checkCategory(category) != AddressBook::Refusal::None;
    AddressBook::Refusal refusal;
    return nameHere(listed, name, refusal).isEmpty();
}

// The name a card's contact takes here: its own, else numbered; empty, with why, where neither can be.
QString Run::nameHere(const QString &category, const QString &name, AddressBook::Refusal &refusal)
{
    bool storedEarlier = false;
    refusal = m_book.checkContact(category, name, storedEarlier);
    return refusal == AddressBook::Refusal::None && !storedEarlier ? name : freeName(category, name);
}

void Run::addReceived(const QString &cardUid, const CardDav::Entry &entry, const QByteArray &card, const Vcard::Card &parsed)
{
    Vcard::Imported in = Vcard::importCard(parsed);
    // A card refused here is left out, as an import leaves it, told, and
    // remembered with its ETag and place: fetched again once changed there,
    // or once its place here is free.
    const auto refuse = [&](const QString &why) {
        const bool usable = in.skipped.isEmpty();
        m_refused.insert(entry.href, QStringList{entry.href, QString::fromUtf8(entry.etag), usable ? in.category : QString(),
                                                 usable ? in.name : QString()}
                                             .join(u'\t')
                                             .toUtf8()
                                         + '\n');
        const QString named = in.cardName.startsWith(QLatin1String("card ")) ? entry.href.section(u'/', -1) : in.cardName;
        ++m_summary.leftOut;
        m_summary.told.append(QStringLiteral("Left out ") + named + QStringLiteral(": ") + why);
    };
    if (!place(in))
        return refuse(in.skipped.isEmpty() ? QStringLiteral("the category ") + in.category + QStringLiteral(" cannot be used")
                                           : in.skipped);
    // Its contact still here, under its own name or numbered, where the category list alone lost it (a folder-sync
    // tool's older copy): the category listed again brings back its names, and the card is synced as that contact's.
    if (const QString at = listedAs(cardUid, in.category, in.name); !at.isEmpty()) {
        if (m_book.listedCategory(in.category).isEmpty()) {
            const QScopedValueRollback applying(m_known.m_applying, true);
            if (!m_book.addCategory(in.category).stored)
                return ended(QStringLiteral("The categories could not be stored"));
        }
        m_here.insert(cardUid, {in.category, at, {}, {}, false, false, true});
        return received(entry, card);
    }
    if (m_book.listedCategory(in.category).isEmpty())
        m_book.noteCategory(in.category);
    AddressBook::Refusal refusal;
    in.name = nameHere(in.category, in.name, refusal);
    if (in.name.isEmpty())
        return refuse(AddressBook::reason(refusal, in.category));
    m_book.noteContact(in.category, in.name);
    KeptCards::giveUid(in.kept, cardUid.isEmpty()); // a card with none, or with another card's: one of its own
    const QString uid = cardUid.isEmpty() ? in.kept.first("UID")->text() : cardUid;
    m_here.insert(uid, {in.category, in.name, {}, {}, false, false});
    m_addingSynced.append({uid, {entry.href, entry.etag, card}});
    m_adding.push_back({in.category, in.name, std::move(in.files), std::move(in.picture), in.pictureSuffix, std::move(in.kept)});
    static const qsizetype perGroup = AddressBook::contactsPerGroup();
    if (qsizetype(m_adding.size()) == perGroup)
        storeAdded();
}

// A group at a time, stored and listed, so that what is held stays the size
// of a group however many cards come.
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
    const QScopedValueRollback applying(m_known.m_applying, true);
    const QList<bool> stored = m_book.storeContacts(group);
    const QStringList unlisted = m_book.listStored();
    RecordFile::WriteGroup records;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const auto &[uid, synced] = m_addingSynced[i];
        const Here &here = m_here[uid];
        if (stored[i] && !unlisted.contains(here.category))
            keep(uid, synced), ++m_summary.received, tell("Received", here.category, here.name);
    }
    m_adding.clear();
    m_addingSynced.clear();
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
    if (error.isEmpty() && m_again && m_rounds < maxRounds)
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
    if (error.isEmpty()) {
        QByteArray refused;
        for (const QByteArray &line : std::as_const(m_refused))
            refused += line;
        RecordFile::rewriteBytes(refusedFile(), refused);
    }
    // The token only once everything it covers is done here and there. A
    // server may tell changes since a token as the difference of then and
    // now (Xandikos does), which never names a card made after it and
    // removed since: after cards are made, the next sync compares whole.
    if (error.isEmpty() && !m_again) {
        RecordFile::rewriteBytes(tokenFile(), m_created ? QByteArray() : m_token);
        // What was noted before it began is done with, but for the contacts
        // held: they are looked at again once the user has chosen.
        m_known.m_contacts.removeIf([this](const auto &noted) { return noted.value() <= m_noted; });
        m_known.m_categories.removeIf([this](const auto &noted) { return noted.value() <= m_noted; });
        if (m_known.m_all <= m_noted)
            m_known.m_all = 0;
        for (const OpenConflict &conflict : std::as_const(m_conflicts)) {
            if (const auto here = m_here.constFind(conflict.uid); here != m_here.cend())
                m_known.noteContact(here->category, here->name);
        }
    }
    const auto done = std::exchange(m_done, {});
    done(m_summary);
}

} // namespace Sync
