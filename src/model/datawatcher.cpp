#include "model/datawatcher.h"

#include <QFile>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace {

// What another program does to a file: writing it in place (told when it is
// closed, not at every write), replacing it by a rename (as sync tools and
// most editors do), making, deleting or making it unreadable.
constexpr uint32_t events = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ATTRIB;

// A change is read once the folder has been quiet this long, so that a file
// another program is still writing in place is read whole, after it is
// closed; but never later than the longest wait after the first change, so
// that a change shows within a second even while a sync tool keeps writing.
constexpr int settleMs = 150;
constexpr int longestWaitMs = 700;

} // namespace

DataWatcher::DataWatcher(const QString &folder, QObject *parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        QSet<QString> changed;
        changed.swap(m_changed);
        if (m_overflowed)
            changed.clear();
        m_overflowed = false;
        emit this->changed(changed);
    });
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    m_watch = ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), events | IN_ONLYDIR);
    if (m_watch < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DataWatcher::readEvents);
}

DataWatcher::~DataWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void DataWatcher::readEvents()
{
    // One bufferful at a time: while a sync tool keeps writing, the events
    // never end, and the rest is read at the loop's next turn, the window
    // served in between.
    alignas(inotify_event) char buffer[64 * 1024];
    ssize_t size;
    do
        size = ::read(m_fd, buffer, sizeof buffer);
    while (size < 0 && errno == EINTR);
    for (ssize_t at = 0; at < size;) {
        const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
        if (event->mask & IN_Q_OVERFLOW)
            m_overflowed = true;
        else if (event->len > 0)
            m_changed.insert(QFile::decodeName(event->name));
        at += ssize_t(sizeof(inotify_event) + event->len);
    }
    if (!m_overflowed && m_changed.isEmpty())
        return;
    if (!m_settle.isActive())
        m_waiting.start();
    if (m_waiting.elapsed() < longestWaitMs - settleMs)
        m_settle.start();
}
