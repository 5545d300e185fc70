#include "keyring/keyring_secret_store.h"

#include <qt6keychain/keychain.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <memory>

namespace {

const QString kServiceName = QStringLiteral("Lumivox");

// Runs `job` to its end in a local event loop. False when it did not end in time; the job then
// deletes itself when it does end.
bool runToEnd(QKeychain::Job& job) {
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(KeyringSecretStore::kPatienceMs, &loop, &QEventLoop::quit);
    job.start();
    if (!finished) {
        loop.exec();
    }
    return finished;
}

// Failures that mean "no keyring here" rather than "this entry".
bool meansNoKeyring(QKeychain::Error error) {
    return error == QKeychain::NoBackendAvailable || error == QKeychain::NotImplemented ||
           error == QKeychain::OtherError;
}

}  // namespace

Status KeyringSecretStore::usable() const {
    if (unreachable_) {
        return Failure{*unreachable_};
    }
    if (QCoreApplication::instance() == nullptr ||
        QThread::currentThread() != QCoreApplication::instance()->thread()) {
        return Failure{"the keyring is used only from the program's main thread"};
    }
    return {};
}

Result<std::optional<std::string>> KeyringSecretStore::read(const std::string& key) {
    if (Status ready = usable(); !ready) {
        return ready.failure();
    }
    auto* job = new QKeychain::ReadPasswordJob(kServiceName);
    job->setAutoDelete(false);
    job->setKey(QString::fromStdString(key));
    if (!runToEnd(*job)) {
        job->setAutoDelete(true);
        unreachable_ = "the keyring did not answer";
        return Failure{*unreachable_};
    }
    const std::unique_ptr<QKeychain::ReadPasswordJob> done(job);
    if (done->error() == QKeychain::EntryNotFound) {
        return std::optional<std::string>();
    }
    if (done->error() != QKeychain::NoError) {
        const std::string why = done->errorString().toStdString();
        if (meansNoKeyring(done->error())) {
            unreachable_ = why;
        }
        return Failure{why};
    }
    return std::optional<std::string>(done->textData().toStdString());
}

Status KeyringSecretStore::write(const std::string& key, const std::string& value) {
    if (Status ready = usable(); !ready) {
        return ready;
    }
    QKeychain::Job* job = nullptr;
    if (value.empty()) {
        job = new QKeychain::DeletePasswordJob(kServiceName);
    } else {
        auto* writeJob = new QKeychain::WritePasswordJob(kServiceName);
        writeJob->setTextData(QString::fromStdString(value));
        job = writeJob;
    }
    job->setAutoDelete(false);
    job->setKey(QString::fromStdString(key));
    if (!runToEnd(*job)) {
        job->setAutoDelete(true);
        unreachable_ = "the keyring did not answer";
        return Failure{*unreachable_};
    }
    const std::unique_ptr<QKeychain::Job> done(job);
    // Removing what is not there has done what was asked.
    if (done->error() == QKeychain::NoError ||
        (value.empty() && done->error() == QKeychain::EntryNotFound)) {
        return {};
    }
    const std::string why = done->errorString().toStdString();
    if (meansNoKeyring(done->error())) {
        unreachable_ = why;
    }
    return Failure{why};
}
