#include "platform/keyring.h"

#include <qt6keychain/keychain.h>

#include <functional>

#include <QEventLoop>
#include <QTimer>

#include "platform/keyring_lock.h"

namespace {

TKeyringResult Unavailable(const std::string& reason) {
    return {TKeyringStatus::Unavailable, "The desktop keyring is not available: " + reason, reason};
}

TKeyringResult ResultOf(const QKeychain::Job& job) {
    switch (job.error()) {
        case QKeychain::NoError:
            return {};
        case QKeychain::EntryNotFound:
            return {TKeyringStatus::NotFound,
                    "The keyring holds no item " + job.key().toStdString(),
                    {}};
        default:
            return Unavailable(job.errorString().toStdString());
    }
}

// Starts the job and waits for it within the bound; taken sees the job when it answered Ok. A
// job that has not answered by then is left to finish and delete itself: its handler goes with
// the loop, so nothing here hears from it again.
TKeyringResult RunJob(QKeychain::Job* job, std::chrono::milliseconds bound,
                      const std::function<void(QKeychain::Job&)>& taken = {}) {
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    QEventLoop loop;
    TKeyringResult result =
        Unavailable("no answer within " + std::to_string(bound.count() / 1000) + " s");
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        result = ResultOf(*done);
        if (result.IsOk() && taken) taken(*done);
        loop.quit();
    });
    QTimer::singleShot(bound, &loop, &QEventLoop::quit);
    job->start();
    loop.exec();
    return result;
}

}  // namespace

std::string KeyringKey(TKeyringItem item, const std::string& user, const std::string& host,
                       uint16_t port) {
    const char* kind = item == TKeyringItem::Password ? "password:" : "oauth:";
    return kind + user + "@" + host + ":" + std::to_string(port);
}

TKeyringResult TKeyring::Read(const std::string& key, std::string& secret) const {
    auto* job = new QKeychain::ReadPasswordJob(Service);
    job->setKey(QString::fromStdString(key));
    // The job deletes itself once it has answered, so its data is taken in the handler.
    TKeyringResult result = RunJob(job, bound_, [&secret](QKeychain::Job& done) {
        secret = static_cast<QKeychain::ReadPasswordJob&>(done).textData().toStdString();
    });
    // A locked item reads as missing; the user is told the keyring is locked instead.
    if (result.Status == TKeyringStatus::NotFound && SecretServiceLocked(bound_))
        return Unavailable("locked");
    return result;
}

TKeyringResult TKeyring::Write(const std::string& key, const std::string& secret) const {
    auto* job = new QKeychain::WritePasswordJob(Service);
    job->setKey(QString::fromStdString(key));
    job->setTextData(QString::fromStdString(secret));
    return RunJob(job, bound_);
}

TKeyringResult TKeyring::Remove(const std::string& key) const {
    auto* job = new QKeychain::DeletePasswordJob(Service);
    job->setKey(QString::fromStdString(key));
    return RunJob(job, bound_);
}
