#pragma once

#include <memory>

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QtNetwork/QLocalServer>

class QWidget;

// The one-instance rule across processes of one user: the first process holds a lock file and
// listens on a local socket; a later one finds the lock taken, sends "activate" to the first
// and is told to end. Both names carry the user id, so two users each get their own instance.
class TSingleInstance : public QObject {
    Q_OBJECT

public:
    static constexpr const char* DefaultName = "QVVela";
    static constexpr const char* ActivateMessage = "activate";

    explicit TSingleInstance(const QString& baseName = DefaultName, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // True for the first instance (it now holds the lock and listens). False when another
    // instance holds the lock; "activate" has then been sent to it when it listens already.
    bool Claim();

    QString ServerName() const { return Name; }
    // What the first instance does with its main window on a request: restore it when it is
    // minimised, show it, raise it and give it the focus.
    static void BringToFront(QWidget& window);
    QString LockPath() const;

signals:
    // A later start asked the first instance to come to the front.
    void ActivateRequested();

private:
    void AcceptConnections();
    static bool SendActivate(const QString& serverName);

    QString Name;
    QLockFile Lock;
    std::unique_ptr<QLocalServer> Server;
};
