#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

// One copy of the program writes a data directory: two would each rewrite
// the lists from their own memory and undo each other's changes. The first
// copy to start holds a lock in the data directory, which a copy that
// crashed does not leave stuck, and listens; a copy started later asks that
// one to bring its window to the front instead of opening its own.
class OneCopy : public QObject
{
    Q_OBJECT

public:
    explicit OneCopy(const QString &dataDir);

    // Takes the data directory for this copy: false when another running
    // copy holds it. Where no lock can be made at all (a directory that
    // cannot be written), this copy goes on, and its saves tell why they fail.
    bool lead();
    // Asks the copy that holds the data directory to come to the front;
    // whether it answered within the time.
    bool raiseRunning(int milliseconds = 5000);

signals:
    // A copy started later asked this one to come to the front.
    void raiseRequested();

private:
    QLockFile m_lock;
    QLocalServer m_server;
    QString m_serverName;
};
