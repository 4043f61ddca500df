#pragma once

// One running instance per user. The running instance listens on a per-user local channel; a
// later start connects to it, asks it to show itself and ends. A channel left behind by an
// instance that died is taken over, and a lock serialises starts so that two starts at the same
// moment give exactly one running instance.

#include <QObject>
#include <QString>

class QLocalServer;

namespace platform {

// The fixed channel name of this user's instance: a constant text plus the user id; at most 63
// characters.
QString MainWindowClassName();

class InstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit InstanceChannel(QString name = MainWindowClassName(), QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Returns true when this process is now the running instance and listens on the channel.
    // Returns false when another instance runs; it has been sent the show request.
    bool Claim();

    QString Name() const { return name_; }

signals:
    // A later start asked this instance to show itself.
    void ShowRequested();

private:
    bool SendShowRequest();
    void OnNewConnection();

    QString name_;
    QLocalServer* server_ = nullptr;
};

} // namespace platform
