#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>

#include <deque>
#include <memory>
#include <set>
#include <vector>

// The one writer of the data files, under the record files' rewrites and
// removes. Every change goes to the disk in the order it was made, each
// file synced and then its directory, so that it survives a power cut once
// it is called stored.
//
// A background rewrite (a keystroke) returns at once. Should it fail, it
// stays queued and is tried again with the next change, so the first save
// that works stores the latest content of every file; the first failure
// after saving worked is told once, through failed(). A stored rewrite (an
// add or a remove) waits and gives its own result, and is never retried: its
// caller undoes what it showed.
class Saver : public QObject
{
    Q_OBJECT

public:
    // The new content of one file.
    struct File
    {
        QByteArray target;
        QByteArray bytes;
    };

    static Saver &instance();

    // Queues a background rewrite. One queued last for the same file that
    // has not been started yet takes the new content instead.
    void queue(const QByteArray &target, const QByteArray &bytes);
    // Stores the files together (each written out, all synced, each put in
    // place) and syncs their directories and dirs; returns 0 once all that
    // is on the disk, or the first error.
    int store(std::vector<File> files, const std::set<QByteArray> &dirs = {});
    // The content a queued rewrite of target will store, the latest one.
    bool pending(const QByteArray &target, QByteArray &bytes) const;
    // Drops the queued rewrites of a file about to be deleted, so none
    // brings it back.
    void forget(const QByteArray &target);
    // Tries every queued rewrite now; whether all are stored.
    bool flush();
    // Forgets the rewrites that could not be stored, and that any failed.
    void discard();

signals:
    // Background rewrites failed, for this reason, after saving worked (or
    // the first time). Told again only after a save has worked since.
    void failed(const QString &reason);

private:
    // The waiting caller of store(): the first error among its files and directories.
    struct Waiter
    {
        std::set<QByteArray> dirs;
        int error = 0;
    };
    struct Entry
    {
        File file;
        std::shared_ptr<Waiter> waiter; // none for a background rewrite
        bool failed = false;
    };

    // Takes everything queued and writes it, as one group.
    void process();

    mutable QMutex m_mutex;
    std::deque<Entry> m_queue;
    std::vector<std::shared_ptr<Waiter>> m_waiters;
    bool m_failing = false;
};
