#pragma once

#include <QByteArray>
#include <QObject>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

// The one writer of the data files, under the record files' rewrites and
// removes, on a thread of its own so that the window never waits for the
// disk (a caller that waits anyway writes the queue itself when the thread
// is idle). Every change goes to the disk in the order it was made, each file
// synced and then its directory, so that it survives a power cut once it is
// called stored.
//
// A background rewrite (a keystroke) returns at once; while the writer is
// busy, a rewrite of the same file still waiting takes the newest content,
// so a kill loses at most what was typed during the last sync. Should one fail, it
// stays queued and is tried again with the next change and every two
// seconds, so the first save that works stores the latest content of every
// file; the first failure after saving worked is told once, through
// failed(). A stored rewrite (an add or a remove) waits for everything
// queued before it and for itself, gives its own result, and is never
// retried: its caller undoes what it showed.
class Saver : public QObject
{
    Q_OBJECT

public:
    // The new content of one file.
    struct File
    {
        QByteArray target;
        QByteArray bytes;
        bool fresh = false;   // found absent by the caller (see DiskFile::NewVersion::write)
        bool inPlace = false; // and made under its own name from the start (see there)
    };

    static Saver &instance();
    ~Saver() override;

    // Queues a background rewrite.
    void queue(const QByteArray &target, const QByteArray &bytes);
    // Stores the files together (each written out, all synced, each put in
    // place) and syncs their directories and dirs; returns 0 once all that
    // is on the disk, or the first error.
    int store(std::vector<File> files, const std::set<QByteArray> &dirs = {});
    // The content the latest queued rewrite of target will store, if any.
    bool pending(const QByteArray &target, QByteArray &bytes) const;
    // Drops the queued rewrites of a file about to be deleted, and waits for
    // one under way, so that none brings it back.
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
    Saver();

    // The waiting caller of store(): the first error among its files and directories.
    struct Waiter
    {
        std::set<QByteArray> dirs;
        int error = 0;
        bool done = false;
    };
    struct Entry
    {
        File file;
        std::shared_ptr<Waiter> waiter; // none for a background rewrite
        bool failed = false;
    };

    void run();
    bool hasWork() const;
    // Writes everything queued as one batch, on whichever thread finds no
    // batch under way; called and returns with the lock held.
    void writeQueued(std::unique_lock<std::mutex> &lock);
    // Writes everything taken from the queue, as one group; returns the
    // error of the first background rewrite that failed.
    int write(const std::vector<Entry> &batch, const std::vector<std::shared_ptr<Waiter>> &waiters,
              std::vector<int> &errors) const;

    mutable std::mutex m_mutex;
    std::condition_variable m_work;    // something to write, or the end
    std::condition_variable m_settled; // a batch is done
    std::deque<Entry> m_queue;
    std::vector<std::shared_ptr<Waiter>> m_waiters;
    std::vector<Entry> m_inFlight; // the batch being written; read by others, changed only under the mutex
    bool m_busy = false; // a batch is being written
    bool m_retryNow = false;
    bool m_failing = false;
    bool m_stop = false;
    std::thread m_thread;
};
