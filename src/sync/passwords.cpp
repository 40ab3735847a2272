#include "sync/passwords.h"

#include <qt6keychain/keychain.h>

namespace Sync {

namespace {

const QString service = QStringLiteral("Kinfolio");

QString keyOf(const QUrl &server, const QString &user)
{
    return user + u'@' + server.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
                             .toString(QUrl::FullyEncoded);
}

// Starts the job, handing it to `done` once it has finished; it deletes itself then.
void run(QKeychain::Job *job, QObject *context, const QUrl &server, const QString &user,
         std::function<void(QKeychain::Job *)> done)
{
    // Never a plain text file in place of a missing Secret Service.
    job->setInsecureFallback(false);
    job->setKey(keyOf(server, user));
    QObject::connect(job, &QKeychain::Job::finished, context, std::move(done));
    job->start();
}

} // namespace

void storePassword(QObject *context, const QUrl &server, const QString &user, const QString &password,
                   std::function<void(const QString &)> done)
{
    auto *job = new QKeychain::WritePasswordJob(service);
    job->setTextData(password);
    run(job, context, server, user, [done](QKeychain::Job *job) { done(job->error() ? job->errorString() : QString()); });
}

void readPassword(QObject *context, const QUrl &server, const QString &user,
                  std::function<void(const QString &, const QString &)> done)
{
    auto *job = new QKeychain::ReadPasswordJob(service);
    run(job, context, server, user, [done, job](QKeychain::Job *) {
        done(job->error() ? QString() : job->textData(), job->error() ? job->errorString() : QString());
    });
}

} // namespace Sync
