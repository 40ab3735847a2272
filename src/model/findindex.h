#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <utility>
#include <vector>

class AddressBook;

// Every contact of the book in a form a query runs through fast: per contact
// one byte string holding its name, category and every field (the table of
// fields), each folded (case, accents and compatibility forms gone) and ended
// by a NUL, then the digits alone of each telephone number. A query is folded
// the same way and looked for in each string in turn; which NUL-ended part it
// lands in is the field that matched.
//
// The files are read on a thread of the index's own: the first time whole,
// with what is read shown in batches as it arrives (changed()), then only
// what the book says has changed (added, removed, renamed, typed here, an
// import, a sync, another program), so the window thread never waits for it.
class FindIndex : public QObject
{
    Q_OBJECT

public:
    struct Match
    {
        QString category, name;
        QString field; // "Name", "Category" or the field's report label
    };

    // Starts reading every contact of the book in the background.
    explicit FindIndex(AddressBook &book, QObject *parent = nullptr);
    ~FindIndex() override;

    // Every contact matching the query (any part of any field), ordered by
    // name then category, ignoring case and accents; none for an empty query.
    QList<Match> search(const QString &query) const;

    // Whether files are still being read.
    bool filling() const { return m_jobs > 0; }
    qsizetype contacts() const { return qsizetype(m_entries.size()); }
    // The folded text held, in bytes.
    qsizetype textBytes() const;

    // How text is compared: compatibility-decomposed, combining marks
    // dropped, case-folded, as UTF-8. NUL, which ends a part, becomes a space.
    static QByteArray fold(QStringView text);

signals:
    // Contacts were added, removed or read again: a query's results may differ.
    void changed();

private:
    using Key = std::pair<QString, QString>; // category, name
    struct Entry
    {
        QString category, name;
        QByteArray text;
    };

    // The reader's results, back on the index's thread.
    void listed(quint64 seq, const QString &category, const QStringList &names);
    void read(quint64 seq, const QList<Entry> &entries, bool last);
    // On the reader's thread.
    static Entry readEntry(const Key &key);

    void listCategory(const QString &category);
    void readContacts(const QList<Key> &keys);
    void put(const Entry &entry);
    void drop(const Key &key);
    void dropCategory(const QString &category);
    void followCategories();
    void followFiles(const QSet<QString> &fileNames);
    void rebuild();
    bool current(quint64 seq, const Key &key) const;

    AddressBook &m_book;
    QThread m_thread;
    QObject *m_reader = nullptr; // lives in m_thread: the reading is posted to it
    std::atomic<bool> m_stopping{false};

    std::vector<Entry> m_entries;
    mutable std::vector<quint32> m_order; // of the entries, by their text; empty once they change
    QHash<Key, qsizetype> m_rows;
    QHash<QString, Key> m_joined; // category and name run together, as the files are named
    QHash<QString, qsizetype> m_perCategory;
    QSet<QString> m_categories;

    // Each request and each change the book tells is numbered; what a reader
    // brings back from a request older than the last change of its contact
    // or category, or than the last rebuild, is out of date and dropped.
    quint64 m_seq = 0;
    quint64 m_floor = 0;
    QHash<Key, quint64> m_keySeq;
    QHash<QString, quint64> m_categorySeq;
    int m_jobs = 0;

    // The contacts typed into lately, read again once the typing pauses.
    QSet<Key> m_typed;
    QTimer m_typing;
};
