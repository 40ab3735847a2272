#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

class QSocketNotifier;

// Tells which files of a folder were written, made, renamed or deleted, by
// this program or any other, as the kernel reports them (inotify). A burst
// of changes, as a folder-sync tool catching up makes, is told as one set a
// short while after its first change, so that each file is read once for
// the whole burst (once the folder is quiet, or soon after the first change
// while it is not); an empty set means too many changed to tell them apart.
class DataWatcher : public QObject
{
    Q_OBJECT

public:
    explicit DataWatcher(const QString &folder, QObject *parent = nullptr);
    ~DataWatcher() override;

    bool watching() const { return m_watch >= 0; }

signals:
    void changed(const QSet<QString> &fileNames);

private:
    void readEvents();

    int m_fd = -1;
    int m_watch = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_settle;
    QElapsedTimer m_waiting; // since the first change not yet told
    QSet<QString> m_changed;
    bool m_overflowed = false;
};
