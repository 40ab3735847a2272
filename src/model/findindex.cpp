#include "model/findindex.h"

#include "model/addressbook.h"
#include "model/contactfields.h"
#include "store/contactfiles.h"
#include "store/paths.h"
#include "store/recordfile.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

// What each NUL-ended part of a contact's text is, by its place.
const QList<QString> &partNames()
{
    static const QList<QString> names = [] {
        QList<QString> parts{QStringLiteral("Name"), QStringLiteral("Category")};
        QList<QString> phones;
        for (const ContactField &field : contactFields) {
            QString label = QString::fromLatin1(field.label).trimmed();
            if (label.endsWith(u':'))
                label.chop(1);
            parts.append(label);
            if (field.phone)
                phones.append(label);
        }
        return parts + phones;
    }();
    return names;
}

QByteArray digitsOf(QStringView text)
{
    QByteArray digits;
    for (const QChar c : text) {
        if (c.isDigit())
            digits.append(char('0' + c.digitValue()));
    }
    return digits;
}

// A query made of a telephone number's characters, as typed or pasted, is
// also looked for as its digits alone.
QByteArray phoneQuery(QStringView query)
{
    bool digit = false;
    for (const QChar c : query) {
        if (c.isDigit())
            digit = true;
        else if (!QStringView(u" ()-+./").contains(c))
            return {};
    }
    return digit ? digitsOf(query) : QByteArray();
}

// The part of text holding the first place needle is found at; -1 when it is not there.
int partOf(const QByteArray &text, const QByteArray &needle)
{
    const char *found =
        static_cast<const char *>(::memmem(text.constData(), size_t(text.size()), needle.constData(), size_t(needle.size())));
    return found ? int(std::count(text.constData(), found, '\0')) : -1;
}

} // namespace

FindIndex::FindIndex(AddressBook &book, QObject *parent) : QObject(parent), m_book(book), m_reader(new QObject)
{
    m_reader->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("FindIndex"));
    m_thread.start(QThread::LowPriority);
    m_typing.setSingleShot(true);
    m_typing.setInterval(300);
    // A contact renamed or removed since it was typed into is gone from the index, and stays gone.
    connect(&m_typing, &QTimer::timeout, this, [this] {
        QList<Key> typed;
        for (const Key &key : std::exchange(m_typed, {})) {
            if (m_rows.contains(key))
                typed.append(key);
        }
        readContacts(typed);
    });

    connect(&book, &AddressBook::categoryAdded, this, [this](const QString &category) {
        m_categories.insert(category);
        listCategory(category);
    });
    connect(&book, &AddressBook::categoryRemoved, this, [this](const QString &category) {
        dropCategory(category);
        emit changed();
    });
    connect(&book, &AddressBook::categoriesReset, this, &FindIndex::followCategories);
    connect(&book, &AddressBook::nameAdded, this,
            [this](const QString &category, const QString &name) { readContacts({{category, name}}); });
    connect(&book, &AddressBook::nameRemoved, this, [this](const QString &category, const QString &name) {
        drop({category, name});
        emit changed();
    });
    connect(&book, &AddressBook::filesChanged, this, &FindIndex::followFiles);
    // Typing costs a keystroke no more than noting whose it was.
    const auto typed = [this] {
        if (m_book.openName().isEmpty())
            return;
        m_typed.insert({m_book.openCategory(), m_book.openName()});
        if (!m_typing.isActive())
            m_typing.start();
    };
    connect(&book, &AddressBook::contactEdited, this, typed);
    connect(&book, &AddressBook::contactFileChanged, this, typed);
    rebuild();
}

FindIndex::~FindIndex()
{
    m_stopping = true;
    m_thread.quit();
    m_thread.wait();
    delete m_reader;
}

QByteArray FindIndex::fold(QStringView text)
{
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        QByteArray folded(text.size(), Qt::Uninitialized);
        std::transform(text.begin(), text.end(), folded.begin(), [](QChar c) {
            const char byte = char(c.unicode());
            return byte == '\0' ? ' ' : byte >= 'A' && byte <= 'Z' ? char(byte + ('a' - 'A')) : byte;
        });
        return folded;
    }
    QString folded = text.toString().normalized(QString::NormalizationForm_KD);
    folded.removeIf([](QChar c) { return c.isMark(); });
    folded = std::move(folded).toCaseFolded();
    folded.replace(QChar(0), u' ');
    return folded.toUtf8();
}

QList<FindIndex::Match> FindIndex::search(const QString &query) const
{
    const QByteArray needle = fold(query);
    if (needle.isEmpty())
        return {};
    QByteArray digits = phoneQuery(query);
    if (digits.isEmpty() || digits == needle)
        digits.clear();
    // In the order of the texts, which start with the name, then the
    // category: sorted once after a change, not at every query.
    if (m_order.size() != m_entries.size()) {
        m_order.resize(m_entries.size());
        std::iota(m_order.begin(), m_order.end(), 0);
        std::sort(m_order.begin(), m_order.end(),
                  [this](quint32 a, quint32 b) { return m_entries[a].text < m_entries[b].text; });
    }
    QList<Match> matches;
    for (const quint32 row : m_order) {
        const Entry &entry = m_entries[row];
        int part = partOf(entry.text, needle);
        if (part < 0 && !digits.isEmpty())
            part = partOf(entry.text, digits);
        if (part >= 0)
            matches.append({entry.category, entry.name, partNames().value(part)});
    }
    return matches;
}

qsizetype FindIndex::textBytes() const
{
    qsizetype bytes = 0;
    for (const Entry &entry : m_entries)
        bytes += entry.text.size();
    return bytes;
}

FindIndex::Entry FindIndex::readEntry(const Key &key)
{
    const auto &[category, name] = key;
    QHash<QString, QStringList> files;
    for (const QString &suffix : ContactFields::files())
        RecordFile::readList(Store::dataFile(category, name, suffix), files[suffix]);
    QByteArray text = fold(name) + '\0' + fold(category) + '\0';
    QByteArray phones;
    for (const ContactField &field : contactFields) {
        const QStringList &values = files[field.suffix];
        const QString value = field.isList() ? values.join(u'\n') : values.value(field.index);
        text += fold(value) + '\0';
        if (field.phone)
            phones += digitsOf(value) + '\0';
    }
    text += phones;
    text.squeeze();
    return {category, name, text};
}

void FindIndex::listCategory(const QString &category)
{
    const quint64 seq = ++m_seq;
    ++m_jobs;
    QMetaObject::invokeMethod(
        m_reader,
        [this, seq, category] {
            QStringList names;
            ContactFiles::readWhole(ContactFiles::namesList(category), names);
            QMetaObject::invokeMethod(
                this, [this, seq, category, names] { listed(seq, category, names); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void FindIndex::readContacts(const QList<Key> &keys)
{
    if (keys.isEmpty())
        return;
    const quint64 seq = ++m_seq;
    for (const Key &key : keys)
        m_keySeq.insert(key, seq);
    ++m_jobs;
    QMetaObject::invokeMethod(
        m_reader,
        [this, seq, keys] {
            // Sent back as it is read, so the first matches show at once.
            QList<Entry> batch;
            QElapsedTimer since;
            since.start();
            for (const Key &key : keys) {
                if (m_stopping)
                    return;
                batch.append(readEntry(key));
                if (since.elapsed() >= 50) {
                    QMetaObject::invokeMethod(
                        this, [this, seq, batch] { read(seq, batch, false); }, Qt::QueuedConnection);
                    batch.clear();
                    since.restart();
                }
            }
            QMetaObject::invokeMethod(this, [this, seq, batch] { read(seq, batch, true); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

bool FindIndex::current(quint64 seq, const Key &key) const
{
    return seq >= m_floor && seq >= m_categorySeq.value(key.first) && seq >= m_keySeq.value(key);
}

void FindIndex::listed(quint64 seq, const QString &category, const QStringList &names)
{
    --m_jobs;
    if (seq < m_floor || seq < m_categorySeq.value(category) || !m_categories.contains(category)) {
        emit changed();
        return;
    }
    // Names gone from the list since the index read them go; names new to it are read.
    const QSet<QString> listed(names.cbegin(), names.cend());
    if (m_perCategory.value(category) > 0) {
        QList<Key> gone;
        for (const Entry &entry : m_entries) {
            if (entry.category == category && !listed.contains(entry.name) && current(seq, {category, entry.name}))
                gone.append({category, entry.name});
        }
        for (const Key &key : gone)
            drop(key);
    }
    QList<Key> fresh;
    for (const QString &name : names) {
        const Key key{category, name};
        if (!m_rows.contains(key) && current(seq, key))
            fresh.append(key);
    }
    readContacts(fresh);
    emit changed();
}

void FindIndex::read(quint64 seq, const QList<Entry> &entries, bool last)
{
    if (last)
        --m_jobs;
    for (const Entry &entry : entries) {
        const Key key{entry.category, entry.name};
        if (!current(seq, key))
            continue;
        m_keySeq.remove(key);
        put(entry);
    }
    emit changed();
}

void FindIndex::put(const Entry &entry)
{
    const Key key{entry.category, entry.name};
    const auto row = m_rows.constFind(key);
    if (row != m_rows.cend()) {
        m_entries[size_t(*row)].text = entry.text;
        return;
    }
    m_order.clear();
    m_rows.insert(key, qsizetype(m_entries.size()));
    m_joined.insert(entry.category + entry.name, key);
    ++m_perCategory[entry.category];
    m_entries.push_back(entry);
}

void FindIndex::drop(const Key &key)
{
    m_keySeq.insert(key, ++m_seq);
    const auto row = m_rows.constFind(key);
    if (row == m_rows.cend())
        return;
    const qsizetype at = *row;
    m_order.clear();
    m_rows.erase(row);
    m_joined.remove(key.first + key.second);
    --m_perCategory[key.first];
    if (at + 1 < qsizetype(m_entries.size())) {
        m_entries[size_t(at)] = std::move(m_entries.back());
        m_rows.insert({m_entries[size_t(at)].category, m_entries[size_t(at)].name}, at);
    }
    m_entries.pop_back();
}

void FindIndex::dropCategory(const QString &category)
{
    m_categorySeq.insert(category, ++m_seq);
    m_categories.remove(category);
    if (m_perCategory.value(category) == 0)
        return;
    QList<Key> gone;
    for (const Entry &entry : m_entries) {
        if (entry.category == category)
            gone.append({category, entry.name});
    }
    for (const Key &key : gone)
        drop(key);
    m_perCategory.remove(category);
}

void FindIndex::followCategories()
{
    const QStringList &listed = m_book.categories();
    const QSet<QString> now(listed.cbegin(), listed.cend());
    for (const QString &category : m_categories - now)
        dropCategory(category);
    for (const QString &category : listed) {
        if (!m_categories.contains(category)) {
            m_categories.insert(category);
            listCategory(category);
        }
    }
    emit changed();
}

// A names list is read again; a contact's file, the contact.
void FindIndex::followFiles(const QSet<QString> &fileNames)
{
    if (fileNames.isEmpty()) {
        rebuild();
        return;
    }
    const QStringList suffixes = ContactFields::files();
    QSet<Key> contacts;
    for (const QString &file : fileNames) {
        if (file.startsWith(FileName::NamesList)) {
            const QString category = file.mid(FileName::NamesList.size());
            if (m_categories.contains(category))
                listCategory(category);
            continue;
        }
        for (const QString &suffix : suffixes) {
            if (!file.endsWith(suffix))
                continue;
            const auto contact = m_joined.constFind(file.chopped(suffix.size()));
            if (contact != m_joined.cend())
                contacts.insert(*contact);
        }
    }
    readContacts(contacts.values());
}

void FindIndex::rebuild()
{
    m_floor = ++m_seq;
    m_entries.clear();
    m_order.clear();
    m_rows.clear();
    m_joined.clear();
    m_perCategory.clear();
    m_keySeq.clear();
    m_categorySeq.clear();
    m_categories.clear();
    followCategories();
}
