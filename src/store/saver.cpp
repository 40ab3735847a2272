#include "store/saver.h"

#include "store/diskfile.h"
#include "store/paths.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>

namespace {

// Writes a file's new version out. A data directory deleted while the
// program runs is made again, so the change is still stored.
std::optional<DiskFile::NewVersion> writeOut(const Saver::File &file, int &error)
{
    std::optional<DiskFile::NewVersion> version = DiskFile::NewVersion::write(file.target, file.bytes, error);
    if (!version && error == ENOENT) {
        QByteArray dataDir = QFile::encodeName(Store::dataDir());
        dataDir.chop(1);
        if (DiskFile::directoryOf(file.target) == dataDir && Store::makeDataDir())
            version = DiskFile::NewVersion::write(file.target, file.bytes, error);
    }
    return version;
}

} // namespace

Saver &Saver::instance()
{
    static Saver saver;
    return saver;
}

void Saver::queue(const QByteArray &target, const QByteArray &bytes)
{
    {
        QMutexLocker lock(&m_mutex);
        // A rewrite that failed earlier is superseded by this one.
        std::erase_if(m_queue, [&](const Entry &entry) { return entry.failed && entry.file.target == target; });
        if (!m_queue.empty() && m_queue.back().file.target == target && !m_queue.back().waiter)
            m_queue.back().file.bytes = bytes;
        else
            m_queue.push_back({{target, bytes}, nullptr});
    }
    process();
}

int Saver::store(std::vector<File> files, const std::set<QByteArray> &dirs)
{
    const auto waiter = std::make_shared<Waiter>();
    waiter->dirs = dirs;
    {
        QMutexLocker lock(&m_mutex);
        for (File &file : files)
            m_queue.push_back({std::move(file), waiter});
        m_waiters.push_back(waiter);
    }
    process();
    return waiter->error;
}

bool Saver::pending(const QByteArray &target, QByteArray &bytes) const
{
    QMutexLocker lock(&m_mutex);
    const auto last = std::find_if(m_queue.rbegin(), m_queue.rend(),
                                   [&](const Entry &entry) { return entry.file.target == target; });
    if (last == m_queue.rend())
        return false;
    bytes = last->file.bytes;
    return true;
}

void Saver::forget(const QByteArray &target)
{
    QMutexLocker lock(&m_mutex);
    std::erase_if(m_queue, [&](const Entry &entry) { return !entry.waiter && entry.file.target == target; });
}

bool Saver::flush()
{
    process();
    QMutexLocker lock(&m_mutex);
    return m_queue.empty();
}

void Saver::discard()
{
    QMutexLocker lock(&m_mutex);
    std::erase_if(m_queue, [](const Entry &entry) { return entry.failed; });
    m_failing = false;
}

void Saver::process()
{
    std::vector<Entry> batch;
    std::vector<std::shared_ptr<Waiter>> waiters;
    {
        QMutexLocker lock(&m_mutex);
        batch.assign(std::make_move_iterator(m_queue.begin()), std::make_move_iterator(m_queue.end()));
        m_queue.clear();
        waiters.swap(m_waiters);
    }
    if (batch.empty() && waiters.empty())
        return;

    // Every file is written out and on its way to the disk before the first
    // sync: on a journalling file system that sync commits what the others
    // need too, so the rest cost little. Each directory is synced once, after
    // all its renames.
    struct Step
    {
        std::optional<DiskFile::NewVersion> version;
        QByteArray dir;
        int error = 0;
    };
    std::vector<Step> steps(batch.size());
    for (std::size_t i = 0; i < batch.size(); ++i)
        steps[i].version = writeOut(batch[i].file, steps[i].error);
    for (const Step &step : steps) {
        if (step.version)
            step.version->startWriteBack();
    }
    std::map<QByteArray, int> dirs; // each directory changed, and the error of its sync
    for (Step &step : steps) {
        if (!step.version)
            continue;
        step.dir = step.version->directory();
        step.error = step.version->sync();
        if (step.error == 0)
            step.error = step.version->replace();
        if (step.error == 0)
            dirs.emplace(step.dir, 0);
        step.version.reset();
    }
    for (const auto &waiter : waiters)
        for (const QByteArray &dir : waiter->dirs)
            dirs.emplace(dir, 0);
    for (auto &[dir, error] : dirs)
        error = DiskFile::syncDirectory(dir);
    for (Step &step : steps) {
        if (step.error == 0 && !step.dir.isEmpty())
            step.error = dirs[step.dir];
    }
    for (const auto &waiter : waiters) {
        for (const QByteArray &dir : waiter->dirs) {
            if (waiter->error == 0)
                waiter->error = dirs[dir];
        }
    }

    int failure = 0;
    bool stored = false;
    bool tell = false;
    {
        QMutexLocker lock(&m_mutex);
        // Failed background rewrites go back to the front of the queue, in
        // their order, unless newer content for the file is queued already.
        for (std::size_t i = batch.size(); i-- > 0;) {
            Entry &entry = batch[i];
            const int error = steps[i].error;
            if (entry.waiter) {
                if (entry.waiter->error == 0)
                    entry.waiter->error = error;
                continue;
            }
            if (error == 0) {
                stored = true;
                continue;
            }
            failure = error;
            const bool superseded = std::any_of(m_queue.cbegin(), m_queue.cend(),
                                                [&](const Entry &later) { return later.file.target == entry.file.target; });
            if (!superseded) {
                entry.failed = true;
                m_queue.push_front(std::move(entry));
            }
        }
        if (failure != 0 && !m_failing)
            tell = m_failing = true;
        else if (failure == 0 && stored)
            m_failing = std::any_of(m_queue.cbegin(), m_queue.cend(), [](const Entry &entry) { return entry.failed; });
    }
    if (tell)
        emit failed(QString::fromLocal8Bit(std::strerror(failure)));
}
