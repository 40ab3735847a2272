#pragma once

#include "app/frmmain.h"
#include "platform/scriptedplatform.h"

#include <QMap>
#include <QTemporaryDir>

#include <memory>

// One test's own data directory, a scripted user and the real main window.
class Fixture
{
public:
    Fixture();
    ~Fixture();

    // The data directory's path, with a trailing '/'; it exists only once
    // the window has started (or a file has been put there).
    QString dataDir() const;
    // Puts a file into the data directory before or while the window runs.
    void put(const QString &name, const QByteArray &bytes) const;
    // Every file of the data directory, name to content.
    QMap<QString, QByteArray> files() const;
    QByteArray file(const QString &name) const;

    // Starts the main window (runs its start-up).
    FrmMain &start();
    FrmMain &window() { return *m_window; }

    // The user picks a category / a name, as with the mouse.
    void pickCategory(const QString &category);
    void pickName(const QString &name);

    ScriptedPlatform platform;
    QTemporaryDir home;

private:
    std::unique_ptr<FrmMain> m_window;
};

// The bytes of a list file holding these entries.
QByteArray listBytes(const QStringList &entries);
