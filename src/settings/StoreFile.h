#pragma once

#include "settings/StoreSchema.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct sqlite3;

// The store's file: found, or made private to the user from its first byte (it holds passwords);
// opened for writing where it can be and for reading where it cannot; its layout checked and, in a
// new file, set up. A file that is no store of ours is never written. Why changes cannot be saved
// is said once on standard error when the file is opened, and kept for the windows.
class StoreFile final
{
public:
    explicit StoreFile(QString path);
    ~StoreFile();
    StoreFile(const StoreFile&) = delete;
    StoreFile& operator=(const StoreFile&) = delete;

    // The connection; null when the file could not be read.
    sqlite3* db() const { return m_db.get(); }
    bool isWritable() const { return m_writable; }
    const QString& path() const { return m_path; }
    // Why changes will not be saved ("the settings store ..."); empty while the file is written.
    const QString& problem() const { return m_problem; }
    // A line on standard error about the store, naming its file.
    void warn(const QString& what) const;

private:
    struct Close
    {
        void operator()(sqlite3* db) const;
    };

    void open();
    bool createFile();
    bool connect(const QByteArray& location, int flags);
    void disconnect();
    bool openReadOnly();
    StoreSchema::State probe();
    void makePrivate() const;
    void repairJournalModes() const;
    QString unwritableCause(int error, int systemError) const;
    bool exec(const char* sql) const;

    QString m_path;
    std::unique_ptr<sqlite3, Close> m_db;
    bool m_writable = false;
    int m_openError = 0; // SQLite's and the system's error of the last failed connect
    int m_openSystemError = 0;
    qint64 m_storedVersion = 0;
    QString m_problem;
};
