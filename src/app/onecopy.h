#pragma once

#include <QLocalServer>
#include <QObject>

#include <functional>

// One copy of the program writes a data directory: two would each rewrite
// the lists from their own memory and undo each other's changes. The copy
// that writes holds a lock named after the data directory in the user's
// runtime directory (per machine, private), where neither a full data disk,
// a deleted data folder nor a folder-sync tool can touch it. The kernel lets
// go of it when its copy ends, however it ends, so a lock is never stale. A
// window that holds it also listens, so that a copy started later can ask it
// to come to the front instead of opening its own.
class OneCopy : public QObject
{
    Q_OBJECT

public:
    // What holds the data directory (an import stands for a sync from the command line too).
    enum class Role { Window, Import, Export };

    OneCopy(const QString &dataDir, Role role);
    ~OneCopy() override;

    // Takes the data directory for this copy, trying for up to milliseconds
    // while a copy other than a window holds it. False when another copy
    // holds it, or when the lock cannot be had at all: refusal() says which.
    bool lead(int milliseconds = 0);
    // Why lead() failed, as a sentence naming the data directory.
    QString refusal() const;
    // Whether the copy that holds the data directory is a window.
    bool heldByWindow() const { return m_holder == Holder::Window; }
    // Asks the window that holds the data directory to come to the front;
    // whether it answered within the time.
    bool raiseRunning(int milliseconds = 5000);
    // Asks the window that holds the data directory to sync now, and waits
    // for the sync's summary line and why it failed (empty when it did not);
    // false when the window did not answer.
    bool askToSync(QString &line, QString &error);

    using SyncAnswer = std::function<void(const QString &line, const QString &error)>;

signals:
    // A copy started later asked this one to come to the front.
    void raiseRequested();
    // A copy started later asked this one to sync; answer once it has.
    void syncRequested(const OneCopy::SyncAnswer &answer);

private:
    enum class Holder { Nobody, Window, Import, Other };

    bool tryLead();
    // A socket connected to the window, once it listens (which it may not yet, starting).
    bool connectToWindow(class QLocalSocket &socket, const class QDeadlineTimer &deadline);

    QString m_dataDir;
    Role m_role;
    QString m_problem; // why the lock cannot be had
    QString m_dir; // the runtime directory, empty when there is none of the user's own
    QString m_lockPath;
    QString m_serverName;
    int m_fd = -1;
    Holder m_holder = Holder::Nobody;
    qint64 m_holderPid = 0;
    QLocalServer m_server;
};
