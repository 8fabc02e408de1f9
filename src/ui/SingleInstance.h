#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One running program per user and settings store. The first program holds a lock file and
// listens on a local socket beside it that only its user may reach; a later start finds the lock
// taken, asks the running program through the socket to show its main window, and ends. A lock
// left by a program that died is taken over.
class SingleInstance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    // folder: where the lock and the socket go ($XDG_RUNTIME_DIR normally); key: what makes
    // programs the same one (the store's path).
    SingleInstance(const QString& folder, const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR, else fallback.
    static QString runtimeFolder(const QString& fallback);

    // True when this is the only program: it now holds the lock and listens. A folder where no
    // lock can be made also gives true: better two programs than none.
    bool acquire();
    // Asks the program holding the lock to show itself; false when none answered. Waits at most
    // a second: it runs in a second start, before that program has any window.
    bool askToShow() const;

    QString lockPath() const { return m_base + QStringLiteral(".lock"); }
    QString socketPath() const { return m_base + QStringLiteral(".sock"); }

signals:
    // Another start asked for the main window.
    void showRequested();

private:
    void acceptConnections();

    QString m_base;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
};
