#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

// One running program per user and settings store. The first program holds a lock file and
// listens on a Unix-domain socket beside it; a later start finds the lock taken, asks the running
// program through the socket to show its main window, and ends.
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

    // True when this is the only program: it now holds the lock and listens.
    bool acquire();
    // Asks the program holding the lock to show itself; false when none answered.
    bool askToShow() const;

    QString lockPath() const { return m_base + QStringLiteral(".lock"); }
    QString socketPath() const { return m_base + QStringLiteral(".sock"); }

signals:
    // Another start asked for the main window.
    void showRequested();

private:
    void acceptConnection();

    QString m_base;
    int m_lockFd = -1;
    int m_listenFd = -1;
    QSocketNotifier* m_notifier = nullptr;
};
