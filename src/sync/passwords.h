#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// A server account's password, kept by the desktop's Secret Service (GNOME
// Keyring, KWallet) and never in a file. Each call returns at once; `done`
// runs later on the caller's thread, never after `context` is destroyed.
namespace Sync {

// Stores the password of `user` on the server (its scheme, host and port).
// `error` is empty when it is stored.
void storePassword(QObject *context, const QUrl &server, const QString &user, const QString &password,
                   std::function<void(const QString &error)> done);
// The stored password; an error when there is none or the service failed.
void readPassword(QObject *context, const QUrl &server, const QString &user,
                  std::function<void(const QString &password, const QString &error)> done);

} // namespace Sync
