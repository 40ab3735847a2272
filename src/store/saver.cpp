#include "store/saver.h"

#include "store/diskfile.h"
#include "store/paths.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <thread>

namespace {

constexpr std::chrono::seconds retryEvery{2};

// What stands for a data directory deleted or replaced while the program
// runs: nothing is written in its place.
constexpr int dataDirGone = ESTALE;

} // namespace

Saver &Saver::instance()
{
    static Saver saver;
    return saver;
}

Saver::Saver() : m_thread([this] { run(); }) {}

Saver::~Saver()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_work.notify_one();
    m_thread.join();
}

void Saver::queue(const QByteArray &target, const QByteArray &bytes)
{
    {
        const std::lock_guard lock(m_mutex);
        // A rewrite that failed earlier is superseded by this one, and one
        // still waiting for the writer takes the new content: each file is
        // written once per sync however fast the user types.
        std::erase_if(m_queue, [&](const Entry &entry) { return entry.failed && entry.file.target == target; });
        const auto waiting = std::find_if(m_queue.begin(), m_queue.end(),
                                          [&](const Entry &entry) { return !entry.waiter && entry.file.target == target; });
        if (waiting != m_queue.end())
            waiting->file.bytes = bytes;
        else
            m_queue.push_back({{target, bytes}, nullptr});
    }
    m_work.notify_one();
}

int Saver::store(std::vector<File> files, const std::set<QByteArray> &dirs)
{
    const auto waiter = std::make_shared<Waiter>();
    waiter->dirs = dirs;
    std::unique_lock lock(m_mutex);
    for (File &file : files)
        m_queue.push_back({std::move(file), waiter});
    m_waiters.push_back(waiter);
    m_retryNow = true;
    // The caller waits for the disk in any case: with the writer idle it
    // writes the queue itself, which spares two hand-overs between threads.
    if (!m_busy)
        writeQueued(lock);
    else
        m_work.notify_one();
    m_settled.wait(lock, [&] { return waiter->done; });
    return waiter->error;
}

bool Saver::pending(const QByteArray &target, QByteArray &bytes) const
{
    const std::lock_guard lock(m_mutex);
    const auto same = [&](const Entry &entry) { return entry.file.target == target; };
    const auto queued = std::find_if(m_queue.rbegin(), m_queue.rend(), same);
    if (queued != m_queue.rend()) {
        bytes = queued->file.bytes;
        return true;
    }
    const auto writing = std::find_if(m_inFlight.rbegin(), m_inFlight.rend(), same);
    if (writing != m_inFlight.rend()) {
        bytes = writing->file.bytes;
        return true;
    }
    return false;
}

void Saver::forget(const QByteArray &target)
{
    const auto background = [&](const Entry &entry) { return !entry.waiter && entry.file.target == target; };
    std::unique_lock lock(m_mutex);
    std::erase_if(m_queue, background);
    if (std::none_of(m_inFlight.cbegin(), m_inFlight.cend(), background))
        return;
    m_settled.wait(lock, [&] { return std::none_of(m_inFlight.cbegin(), m_inFlight.cend(), background); });
    std::erase_if(m_queue, background); // back again, had it failed
}

bool Saver::flush()
{
    store({});
    const std::lock_guard lock(m_mutex);
    return m_queue.empty();
}

void Saver::discard()
{
    const std::lock_guard lock(m_mutex);
    std::erase_if(m_queue, [](const Entry &entry) { return entry.failed; });
    m_failing = false;
}

bool Saver::hasWork() const
{
    return m_retryNow || !m_waiters.empty()
           || std::any_of(m_queue.cbegin(), m_queue.cend(), [](const Entry &entry) { return !entry.failed; });
}

void Saver::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // Rewrites that failed wait for the next change, or a while.
        const bool woken = m_work.wait_for(lock, retryEvery, [this] { return m_stop || (!m_busy && hasWork()); });
        if (m_busy || (!woken && m_queue.empty()))
            continue;
        if (m_stop && !hasWork())
            return;
        writeQueued(lock);
    }
}

void Saver::writeQueued(std::unique_lock<std::mutex> &lock)
{
    m_busy = true;
    m_retryNow = false;
    m_inFlight.assign(std::make_move_iterator(m_queue.begin()), std::make_move_iterator(m_queue.end()));
    m_queue.clear();
    std::vector<std::shared_ptr<Waiter>> waiters;
    waiters.swap(m_waiters);
    lock.unlock();

    std::vector<int> errors;
    const int failure = write(m_inFlight, waiters, errors);

    lock.lock();
    bool stored = false;
    // Failed background rewrites go back to the front of the queue, in
    // their order, unless newer content for the file is queued already.
    for (std::size_t i = m_inFlight.size(); i-- > 0;) {
        Entry &entry = m_inFlight[i];
        if (entry.waiter) {
            if (entry.waiter->error == 0)
                entry.waiter->error = errors[i];
            continue;
        }
        stored = stored || errors[i] == 0;
        const auto newer = [&](const Entry &later) { return later.file.target == entry.file.target; };
        if (errors[i] != 0 && std::none_of(m_queue.cbegin(), m_queue.cend(), newer)) {
            entry.failed = true;
            m_queue.push_front(std::move(entry));
        }
    }
    m_inFlight.clear();
    for (const auto &waiter : waiters)
        waiter->done = true;
    bool tell = false;
    if (failure != 0 && !m_failing)
        tell = m_failing = true;
    else if (failure == 0 && stored)
        m_failing = std::any_of(m_queue.cbegin(), m_queue.cend(), [](const Entry &entry) { return entry.failed; });
    // Told before the batch counts as done, so a caller that waited for it
    // finds the failure already on its way to the window.
    if (tell) {
        lock.unlock();
        emit failed(failure == dataDirGone ? QStringLiteral("the folder was deleted or replaced while Kinfolio was open")
                                           : QString::fromLocal8Bit(std::strerror(failure)));
        lock.lock();
    }
    m_busy = false;
    m_settled.notify_all();
    m_work.notify_one(); // anything queued meanwhile
}

int Saver::write(const std::vector<Entry> &batch, const std::vector<std::shared_ptr<Waiter>> &waiters,
                 std::vector<int> &errors) const
{
    // Every file is written out (in a small batch, started on its way to the
    // disk too) before the first sync: on a journalling file system that sync
    // commits what the others need too, so the rest cost little. Each
    // directory is synced once, after all its renames.
    std::vector<std::optional<DiskFile::NewVersion>> versions(batch.size());
    std::vector<QByteArray> placedIn(batch.size());
    errors.assign(batch.size(), 0);
    std::map<QByteArray, bool> gone; // each directory written in, and whether it is a data directory gone
    // Where each sync would commit the journal again (every new file is new
    // metadata), a large group, as an import writes, is synced as one. Its
    // files are left for that sync to write out together: started one by
    // one, the tens of thousands of an import took 1.7 times as long.
    constexpr std::size_t syncedTogether = 32;
    const bool together = versions.size() >= syncedTogether;
    // Once half of such a group is written, a sync on another thread takes
    // that half to the disk while the rest is written, so that the sync that
    // counts has only the rest left (an import of 10,000 cards took a tenth
    // less time). It has a handle of its own: a failure it met still reaches
    // the one that counts.
    std::jthread halfway;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const QByteArray dir = DiskFile::directoryOf(batch[i].file.target);
        const auto known = gone.find(dir);
        if (known == gone.end() ? gone.emplace(dir, Store::dataDirGone(dir)).first->second : known->second)
            errors[i] = dataDirGone;
        else
            versions[i] = DiskFile::NewVersion::write(batch[i].file.target, batch[i].file.bytes, errors[i],
                                                      batch[i].file.fresh, batch[i].file.inPlace);
        if (together && versions[i] && !halfway.joinable() && i >= batch.size() / 2)
            halfway = std::jthread([dir] { DiskFile::syncFileSystemOf(dir); });
    }
    if (halfway.joinable())
        halfway.join();
    for (const auto &version : versions) {
        if (version && !together)
            version->startWriteBack();
    }
    // Every file system written to is synced, each through a file written
    // there, whose handle sees every failure since it was made: a data
    // directory linked to another disk leaves the kept cards and pictures
    // on this one.
    std::map<dev_t, std::size_t> oneOnEach;
    for (std::size_t i = 0; together && i < versions.size(); ++i) {
        if (versions[i])
            oneOnEach.try_emplace(versions[i]->device(), i);
    }
    const bool allSynced = !oneOnEach.empty() && std::ranges::all_of(oneOnEach, [&](const auto &one) {
        return versions[one.second]->syncFileSystem() == 0;
    });
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (versions[i])
            errors[i] = allSynced ? 0 : versions[i]->sync();
    }
    // A stored group is put in place only once every one of its files is
    // written and synced, and in its order up to the first file that cannot
    // be: a list written last never names files that were not put in place.
    std::map<const Waiter *, int> groupErrors;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (batch[i].waiter && errors[i] != 0)
            groupErrors.emplace(batch[i].waiter.get(), errors[i]);
    }
    std::map<QByteArray, int> dirs; // each directory changed, and the error of its sync
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const auto group = groupErrors.find(batch[i].waiter.get());
        if (group != groupErrors.end())
            errors[i] = group->second;
        if (errors[i] == 0)
            errors[i] = versions[i]->replace();
        if (errors[i] != 0 && batch[i].waiter)
            groupErrors.emplace(batch[i].waiter.get(), errors[i]);
        if (errors[i] == 0)
            dirs.emplace(placedIn[i] = versions[i]->directory(), 0);
        versions[i].reset();
    }
    for (const auto &waiter : waiters) {
        for (const QByteArray &dir : waiter->dirs)
            dirs.emplace(dir, 0);
    }
    for (auto &[dir, error] : dirs)
        error = DiskFile::syncDirectory(dir);

    int failure = 0;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (errors[i] == 0 && !placedIn[i].isEmpty())
            errors[i] = dirs[placedIn[i]];
        if (failure == 0 && !batch[i].waiter)
            failure = errors[i];
    }
    for (const auto &waiter : waiters) {
        for (const QByteArray &dir : waiter->dirs) {
            if (waiter->error == 0)
                waiter->error = dirs[dir];
        }
    }
    return failure;
}
