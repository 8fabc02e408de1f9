#include "settings/StoreSchema.h"

#include <sqlite3.h>

#include <utility>

std::optional<QStringList> StoreSchema::column(const char* sql, int index)
{
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr);
    QStringList texts;
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, index));
            texts << QString::fromUtf8(data, sqlite3_column_bytes(stmt, index));
        }
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        return std::nullopt;
    return texts;
}

bool StoreSchema::exec(const char* sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

StoreSchema::State StoreSchema::probe()
{
    m_storedVersion = 0;
    const std::optional<QStringList> tables = column("SELECT name FROM sqlite_master WHERE type='table'", 0);
    if (!tables)
        return State::Unreadable;
    if (tables->isEmpty())
        return State::Empty;
    const std::pair<const char*, QStringList> layout[] = {
        {"PRAGMA table_info(store_meta)", {"name", "value"}},
        {"PRAGMA table_info(keys)", {"id", "root", "path", "fold", "parent"}},
        {"PRAGMA table_info(vals)", {"key_id", "name", "fold", "type", "data"}}};
    for (const auto& [pragma, wanted] : layout) {
        const std::optional<QStringList> columns = column(pragma, 1);
        if (!columns)
            return State::Unreadable;
        for (const QString& name : wanted) {
            if (!columns->contains(name))
                return State::Foreign;
        }
    }
    const std::optional<QStringList> version =
        column("SELECT value FROM store_meta WHERE name='schema_version'", 0);
    if (!version)
        return State::Unreadable;
    bool number = false;
    m_storedVersion = version->isEmpty() ? 0 : version->first().trimmed().toLongLong(&number);
    if (!number || m_storedVersion < 1)
        return State::Foreign;
    return m_storedVersion > kVersion ? State::Newer : State::Ours;
}

Result<StoreSchema::State> StoreSchema::initialize()
{
    if (exec("BEGIN IMMEDIATE")) {
        const State found = probe();
        if (found != State::Empty) {
            exec("ROLLBACK");
            return found;
        }
        if (exec("CREATE TABLE store_meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)") &&
            exec("CREATE TABLE keys(id INTEGER PRIMARY KEY, root INTEGER NOT NULL, path TEXT NOT NULL,"
                 " fold TEXT NOT NULL, parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
                 " UNIQUE(root, fold))") &&
            exec("CREATE INDEX keys_parent ON keys(parent)") &&
            exec("CREATE TABLE vals(key_id INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
                 " name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB,"
                 " PRIMARY KEY(key_id, fold)) WITHOUT ROWID") &&
            exec(QStringLiteral("INSERT INTO store_meta VALUES('schema_version', '%1')")
                     .arg(kVersion)
                     .toUtf8()
                     .constData()) &&
            exec("COMMIT")) {
            m_storedVersion = kVersion;
            return State::Ours;
        }
    }
    const QString cause = QString::fromUtf8(sqlite3_errmsg(m_db));
    exec("ROLLBACK");
    return Failure::of(Failure::Kind::Io, cause);
}
