#pragma once

#include "settings/Regedit.h"
#include "settings/StoreLocks.h"

#include <QString>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>

// Direct access to a store file, for what the store's own interface cannot show or write: values
// of other types, stored terminators, leftover rows, the journal mode.
class RawDatabase final
{
public:
    explicit RawDatabase(const QString& path)
    {
        // Locks of this process are kept the way the store keeps them, or the two would collide.
        StoreLocks::install();
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~RawDatabase() { sqlite3_close(m_db); }
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;

    bool exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

    // The first column of the first row as text; empty when there is none.
    QString scalar(const char* sql)
    {
        sqlite3_stmt* stmt = nullptr;
        QString result;
        if (sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        return result;
    }

    // Stores raw bytes of any type into an existing key's value (the key is found by folded path).
    bool putRaw(const QString& foldedKey, const QString& foldedName, int type, const QByteArray& data)
    {
        sqlite3_stmt* stmt = nullptr;
        const char* sql = "INSERT OR REPLACE INTO vals(key_id, name, fold, type, data)"
                          " SELECT id, ?2, ?2, ?3, ?4 FROM keys WHERE fold=?1";
        if (sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) != SQLITE_OK)
            return false;
        const QByteArray key = foldedKey.toUtf8();
        const QByteArray name = foldedName.toUtf8();
        sqlite3_bind_text(stmt, 1, key.constData(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, name.constData(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(stmt, 3, type);
        sqlite3_bind_blob(stmt, 4, data.constData(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
        const bool ok = sqlite3_step(stmt) == SQLITE_DONE && sqlite3_changes(m_db) == 1;
        sqlite3_finalize(stmt);
        return ok;
    }

private:
    sqlite3* m_db = nullptr;
};

// A store this program reads but never writes: one value written into it, then marked as made by
// a newer version. The warning of its opening is swallowed.
inline std::unique_ptr<Regedit> newerVersionStore(const QString& path, const QString& keyPath,
                                                  const QString& name, const QString& text)
{
    Regedit(path).SaveString(HKEY_LOCAL_MACHINE, keyPath, name, text);
    EXPECT_TRUE(RawDatabase(path).exec("UPDATE store_meta SET value='2' WHERE name='schema_version'"));
    testing::internal::CaptureStderr();
    auto store = std::make_unique<Regedit>(path);
    testing::internal::GetCapturedStderr();
    return store;
}
