#include "settings/Regedit.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 5000;

const QChar kSeparator = QLatin1Char('\\');

// Small RAII guard that resets a cached statement when the call is done with it.
class Reset final
{
public:
    explicit Reset(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~Reset()
    {
        if (m_stmt) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    Reset(const Reset&) = delete;
    Reset& operator=(const Reset&) = delete;

private:
    sqlite3_stmt* m_stmt;
};

void bindText(sqlite3_stmt* stmt, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

QString columnText(sqlite3_stmt* stmt, int column)
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
    const int size = sqlite3_column_bytes(stmt, column);
    return QString::fromUtf8(data, size);
}

// A stored text that carries a NUL reads only up to it, as string values always have.
QString valueText(sqlite3_stmt* stmt, int column)
{
    QString text = columnText(stmt, column);
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

QString lastComponent(const QString& normalized)
{
    const qsizetype at = normalized.lastIndexOf(kSeparator);
    return at < 0 ? normalized : normalized.mid(at + 1);
}
} // namespace

Regedit::Regedit(const QString& storePath) : m_path(storePath)
{
    open();
}

Regedit::~Regedit()
{
    for (auto& [sql, stmt] : m_statements)
        sqlite3_finalize(stmt);
    if (m_db)
        sqlite3_close(m_db);
}

QString Regedit::fold(const QString& name)
{
    return name.toCaseFolded();
}

QString Regedit::normalizeKey(const QString& keyPath)
{
    const QStringList parts = keyPath.split(kSeparator, Qt::SkipEmptyParts);
    return parts.join(kSeparator);
}

void Regedit::warn(const QString& what) const
{
    std::fprintf(stderr, "velmora: settings store %s: %s\n", qPrintable(m_path), qPrintable(what));
}

void Regedit::writeFailed(const char* operation)
{
    if (m_reportedWriteFailure || !m_writable)
        return;
    m_reportedWriteFailure = true;
    warn(QStringLiteral("%1 failed (%2); the change is lost")
             .arg(QLatin1String(operation), QString::fromUtf8(sqlite3_errmsg(m_db))));
}

void Regedit::open()
{
    const QFileInfo info(m_path);
    if (!info.exists()) {
        // Create the file ourselves so that it is private from the first byte: it holds passwords.
        QDir().mkpath(info.absolutePath());
        const int fd =
            ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            warn(QStringLiteral("cannot be created (%1); running on defaults, changes will not be saved")
                     .arg(QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        if (fd >= 0)
            ::close(fd);
    }

    const QByteArray file = QFile::encodeName(m_path);
    int rc = sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    // SQLite falls back to read-only on a write-protected file without saying so.
    m_writable = rc == SQLITE_OK && sqlite3_db_readonly(m_db, "main") == 0;
    if (rc != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        rc = sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            warn(QStringLiteral("cannot be opened (%1); running on defaults, changes will not be saved")
                     .arg(QString::fromUtf8(sqlite3_errstr(rc))));
            sqlite3_close(m_db);
            m_db = nullptr;
            return;
        }
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);
    exec("PRAGMA foreign_keys=ON");

    if (!initializeSchema()) {
        if (!m_writable && !m_reportedOpenFailure)
            warn(QStringLiteral("is read-only and holds no settings yet; running on defaults, changes will "
                                "not be saved"));
        sqlite3_close(m_db);
        m_db = nullptr;
        m_writable = false;
        return;
    }
    if (!m_writable)
        warn(QStringLiteral("is read-only; changes will not be saved"));
}

bool Regedit::exec(const char* sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Regedit::SchemaState Regedit::probeSchema()
{
    sqlite3_stmt* probe = nullptr;
    int rc =
        sqlite3_prepare_v2(m_db, "SELECT name FROM sqlite_master WHERE type='table'", -1, &probe, nullptr);
    int tables = 0;
    int ours = 0;
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(probe)) == SQLITE_ROW) {
            ++tables;
            const QString table = columnText(probe, 0);
            if (table == QLatin1String("store_meta") || table == QLatin1String("keys") ||
                table == QLatin1String("vals"))
                ++ours;
        }
    }
    sqlite3_finalize(probe);
    if (rc != SQLITE_DONE)
        return SchemaState::Unreadable;
    if (tables == 0)
        return SchemaState::Empty;
    return ours == 3 ? SchemaState::Ours : SchemaState::Foreign;
}

bool Regedit::initializeSchema()
{
    // Look before writing anything: a file that is not a store of ours is never touched.
    SchemaState state = probeSchema();
    if (!reportForeign(state))
        return false;

    if (m_writable) {
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
    }
    if (state == SchemaState::Ours)
        return true;
    if (!m_writable)
        return false;

    // Another process may be creating the same new store right now: decide again under the lock.
    if (!exec("BEGIN IMMEDIATE")) {
        warn(QStringLiteral("could not be initialised (%1); changes will not be saved")
                 .arg(QString::fromUtf8(sqlite3_errmsg(m_db))));
        return false;
    }
    state = probeSchema();
    if (state == SchemaState::Ours)
        return exec("COMMIT");
    if (state != SchemaState::Empty) {
        exec("ROLLBACK");
        reportForeign(state);
        return false;
    }
    const bool created =
        exec("CREATE TABLE store_meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)") &&
        exec("CREATE TABLE keys(id INTEGER PRIMARY KEY, root INTEGER NOT NULL, path TEXT NOT NULL,"
             " fold TEXT NOT NULL, parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
             " UNIQUE(root, fold))") &&
        exec("CREATE INDEX keys_parent ON keys(parent)") &&
        exec("CREATE TABLE vals(key_id INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
             " name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB,"
             " PRIMARY KEY(key_id, fold)) WITHOUT ROWID") &&
        exec(QStringLiteral("INSERT INTO store_meta VALUES('schema_version', '%1')")
                 .arg(kSchemaVersion)
                 .toUtf8()
                 .constData()) &&
        exec("COMMIT");
    if (!created) {
        warn(QStringLiteral("could not be initialised (%1); changes will not be saved")
                 .arg(QString::fromUtf8(sqlite3_errmsg(m_db))));
        exec("ROLLBACK");
    }
    return created;
}

bool Regedit::reportForeign(SchemaState state)
{
    if (state == SchemaState::Unreadable) {
        m_reportedOpenFailure = true;
        warn(QStringLiteral("is not a valid settings store (%1); it is left untouched, the program runs "
                            "on defaults and changes will not be saved")
                 .arg(QString::fromUtf8(sqlite3_errmsg(m_db))));
        return false;
    }
    if (state == SchemaState::Foreign) {
        m_reportedOpenFailure = true;
        warn(QStringLiteral("is a database of another program; it is left untouched, the program runs on "
                            "defaults and changes will not be saved"));
        return false;
    }
    return true;
}

sqlite3_stmt* Regedit::statement(const char* sql)
{
    auto found = m_statements.find(sql);
    if (found != m_statements.end())
        return found->second;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    m_statements.emplace(sql, stmt);
    return stmt;
}

std::optional<qint64> Regedit::findKey(RegRoot root, const QString& normalized)
{
    sqlite3_stmt* stmt = statement("SELECT id FROM keys WHERE root=?1 AND fold=?2");
    if (!stmt)
        return std::nullopt;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, fold(normalized));
    if (sqlite3_step(stmt) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int64(stmt, 0);
}

std::optional<qint64> Regedit::ensureKey(RegRoot root, const QString& normalized)
{
    if (auto existing = findKey(root, normalized))
        return existing;
    std::optional<qint64> parent;
    const qsizetype at = normalized.lastIndexOf(kSeparator);
    if (!normalized.isEmpty()) {
        parent = ensureKey(root, at < 0 ? QString() : normalized.left(at));
        if (!parent)
            return std::nullopt;
    }
    sqlite3_stmt* stmt = statement("INSERT INTO keys(root, path, fold, parent) VALUES(?1, ?2, ?3, ?4)");
    if (!stmt)
        return std::nullopt;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, normalized);
    bindText(stmt, 3, fold(normalized));
    if (parent)
        sqlite3_bind_int64(stmt, 4, *parent);
    else
        sqlite3_bind_null(stmt, 4);
    if (sqlite3_step(stmt) != SQLITE_DONE)
        return std::nullopt;
    return sqlite3_last_insert_rowid(m_db);
}

void Regedit::CreateKey(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    if (!m_writable)
        return;
    if (!exec("BEGIN IMMEDIATE")) {
        writeFailed("CreateKey");
        return;
    }
    if (ensureKey(root, normalizeKey(keyPath)) && exec("COMMIT"))
        return;
    writeFailed("CreateKey");
    exec("ROLLBACK");
}

std::optional<QString> Regedit::GetString(RegRoot root, const QString& keyPath, const QString& name)
{
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return std::nullopt;
    sqlite3_stmt* stmt = statement("SELECT v.type, v.data FROM vals v JOIN keys k ON k.id = v.key_id"
                                   " WHERE k.root=?1 AND k.fold=?2 AND v.fold=?3");
    if (!stmt)
        return std::nullopt;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, fold(normalizeKey(keyPath)));
    bindText(stmt, 3, fold(name));
    if (sqlite3_step(stmt) != SQLITE_ROW || sqlite3_column_int(stmt, 0) != kStringType)
        return std::nullopt;
    return valueText(stmt, 1);
}

void Regedit::SaveString(RegRoot root, const QString& keyPath, const QString& name, const QString& text)
{
    std::lock_guard lock(m_mutex);
    if (!m_writable)
        return;
    if (!exec("BEGIN IMMEDIATE")) {
        writeFailed("SaveString");
        return;
    }
    const std::optional<qint64> key = ensureKey(root, normalizeKey(keyPath));
    sqlite3_stmt* stmt =
        key ? statement("INSERT INTO vals(key_id, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                        " ON CONFLICT(key_id, fold) DO UPDATE SET name=excluded.name,"
                        " type=excluded.type, data=excluded.data")
            : nullptr;
    bool ok = false;
    if (stmt) {
        Reset reset(stmt);
        sqlite3_bind_int64(stmt, 1, *key);
        bindText(stmt, 2, name);
        bindText(stmt, 3, fold(name));
        sqlite3_bind_int(stmt, 4, kStringType);
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_blob(stmt, 5, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
    }
    if (ok && exec("COMMIT"))
        return;
    writeFailed("SaveString");
    exec("ROLLBACK");
}

void Regedit::DeleteKey(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    const QString normalized = normalizeKey(keyPath);
    // The root itself cannot be deleted, as in the registry; a stray empty path must not wipe the store.
    if (!m_writable || normalized.isEmpty())
        return;
    // The key, its subkeys and every value below them go in one transaction. The subtree is matched
    // by path prefix rather than through the parent links alone, so no value can stay behind.
    sqlite3_stmt* values = statement("DELETE FROM vals WHERE key_id IN (SELECT id FROM keys WHERE root=?1"
                                     " AND (fold=?2 OR substr(fold, 1, length(?3))=?3))");
    sqlite3_stmt* keys =
        statement("DELETE FROM keys WHERE root=?1 AND (fold=?2 OR substr(fold, 1, length(?3))=?3)");
    if (!values || !keys || !exec("BEGIN IMMEDIATE"))
        return writeFailed("DeleteKey");
    const QString folded = fold(normalized);
    bool ok = true;
    for (sqlite3_stmt* stmt : {values, keys}) {
        Reset reset(stmt);
        sqlite3_bind_int(stmt, 1, static_cast<int>(root));
        bindText(stmt, 2, folded);
        bindText(stmt, 3, folded + kSeparator);
        ok = ok && sqlite3_step(stmt) == SQLITE_DONE;
    }
    if (ok && exec("COMMIT"))
        return;
    writeFailed("DeleteKey");
    exec("ROLLBACK");
}

void Regedit::DeleteValue(RegRoot root, const QString& keyPath, const QString& name)
{
    std::lock_guard lock(m_mutex);
    if (!m_writable)
        return;
    sqlite3_stmt* stmt = statement(
        "DELETE FROM vals WHERE fold=?3 AND key_id=(SELECT id FROM keys WHERE root=?1 AND fold=?2)");
    if (!stmt)
        return writeFailed("DeleteValue");
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, fold(normalizeKey(keyPath)));
    bindText(stmt, 3, fold(name));
    if (sqlite3_step(stmt) != SQLITE_DONE)
        writeFailed("DeleteValue");
}

std::map<QString, QString> Regedit::Values(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    std::map<QString, QString> values;
    if (!m_db)
        return values;
    sqlite3_stmt* stmt = statement("SELECT v.fold, v.data FROM vals v JOIN keys k ON k.id = v.key_id"
                                   " WHERE k.root=?1 AND k.fold=?2 AND v.type=1");
    if (!stmt)
        return values;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, fold(normalizeKey(keyPath)));
    while (sqlite3_step(stmt) == SQLITE_ROW)
        values.emplace(columnText(stmt, 0), valueText(stmt, 1));
    return values;
}

std::map<QString, std::map<QString, QString>> Regedit::SubkeyValues(RegRoot root, const QString& keyPath,
                                                                    const std::vector<QString>& names)
{
    std::lock_guard lock(m_mutex);
    std::map<QString, std::map<QString, QString>> result;
    if (!m_db)
        return result;
    const std::optional<qint64> parent = findKey(root, normalizeKey(keyPath));
    if (!parent)
        return result;
    // One indexed query per wanted name rather than a scan of every value below the key.
    sqlite3_stmt* stmt = statement("SELECT k.fold, v.data FROM keys k JOIN vals v ON v.key_id = k.id"
                                   " WHERE k.parent=?1 AND v.fold=?2 AND v.type=1");
    if (!stmt)
        return result;
    for (const QString& name : names) {
        Reset reset(stmt);
        const QString wanted = fold(name);
        sqlite3_bind_int64(stmt, 1, *parent);
        bindText(stmt, 2, wanted);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            result[lastComponent(columnText(stmt, 0))].insert_or_assign(wanted, valueText(stmt, 1));
    }
    return result;
}

std::vector<Regedit::Entry> Regedit::List(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    std::vector<Entry> entries;
    if (!m_db)
        return entries;
    const QString normalized = fold(normalizeKey(keyPath));
    sqlite3_stmt* stmt =
        statement("SELECT k.path, k.fold, v.name, v.data FROM keys k JOIN vals v ON v.key_id = k.id"
                  " WHERE k.root=?1 AND v.type=1 ORDER BY k.fold, v.fold");
    if (!stmt)
        return entries;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    const QString prefix = normalized + kSeparator;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const QString keyFold = columnText(stmt, 1);
        if (!normalized.isEmpty() && keyFold != normalized && !keyFold.startsWith(prefix))
            continue;
        entries.push_back({columnText(stmt, 0), columnText(stmt, 2), valueText(stmt, 3)});
    }
    return entries;
}
