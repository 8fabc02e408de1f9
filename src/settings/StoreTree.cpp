#include "settings/StoreTree.h"

#include "common/SystemError.h"

#include <sqlite3.h>

namespace {
const QChar kSeparator = QLatin1Char('\\');

// Resets a cached statement when the call is done with it.
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

Failure::Kind kindOf(int error, int systemError)
{
    if (systemError != 0)
        return SystemError::kind(systemError);
    switch (error & 0xFF) {
    case SQLITE_FULL:
        return Failure::Kind::NoSpace;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Failure::Kind::NoAccess;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Failure::Kind::TimedOut;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return Failure::Kind::Invalid;
    case SQLITE_NOMEM:
        return Failure::Kind::Internal;
    default:
        return Failure::Kind::Io;
    }
}
} // namespace

void StoreTree::Finalize::operator()(sqlite3_stmt* stmt) const
{
    sqlite3_finalize(stmt);
}

StoreTree::StoreTree(sqlite3* db) : m_db(db) {}

StoreTree::~StoreTree() = default;

bool StoreTree::exec(const char* sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Result<void> StoreTree::finish(bool ok)
{
    if (ok && exec("COMMIT"))
        return {};
    // SQLite's words before the rollback replaces them.
    QString cause = QString::fromUtf8(sqlite3_errmsg(m_db));
    const int system = sqlite3_system_errno(m_db);
    if (system != 0)
        cause += QStringLiteral(": ") + SystemError::text(system);
    const Failure::Kind kind = kindOf(sqlite3_extended_errcode(m_db), system);
    exec("ROLLBACK");
    return Failure::of(kind, cause);
}

sqlite3_stmt* StoreTree::statement(const char* sql)
{
    if (!m_db)
        return nullptr;
    if (const auto found = m_statements.find(sql); found != m_statements.end())
        return found->second.get();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    m_statements.emplace(sql, std::unique_ptr<sqlite3_stmt, Finalize>(stmt));
    return stmt;
}

std::optional<qint64> StoreTree::findKey(RegRoot root, const QString& key)
{
    sqlite3_stmt* stmt = statement("SELECT id FROM keys WHERE root=?1 AND fold=?2");
    if (!stmt)
        return std::nullopt;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, Regedit::fold(key));
    if (sqlite3_step(stmt) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int64(stmt, 0);
}

std::optional<qint64> StoreTree::ensureKey(RegRoot root, const QString& key)
{
    if (auto existing = findKey(root, key))
        return existing;
    std::optional<qint64> parent;
    const qsizetype at = key.lastIndexOf(kSeparator);
    if (!key.isEmpty()) {
        parent = ensureKey(root, at < 0 ? QString() : key.left(at));
        if (!parent)
            return std::nullopt;
    }
    sqlite3_stmt* stmt = statement("INSERT INTO keys(root, path, fold, parent) VALUES(?1, ?2, ?3, ?4)");
    if (!stmt)
        return std::nullopt;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, key);
    bindText(stmt, 3, Regedit::fold(key));
    if (parent)
        sqlite3_bind_int64(stmt, 4, *parent);
    else
        sqlite3_bind_null(stmt, 4);
    if (sqlite3_step(stmt) != SQLITE_DONE)
        return std::nullopt;
    return sqlite3_last_insert_rowid(m_db);
}

Result<void> StoreTree::createKey(RegRoot root, const QString& key)
{
    return finish(exec("BEGIN IMMEDIATE") && ensureKey(root, key));
}

std::optional<QString> StoreTree::getString(RegRoot root, const QString& key, const QString& name)
{
    sqlite3_stmt* stmt = statement("SELECT v.type, v.data FROM vals v JOIN keys k ON k.id = v.key_id"
                                   " WHERE k.root=?1 AND k.fold=?2 AND v.fold=?3");
    if (!stmt)
        return std::nullopt;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, Regedit::fold(key));
    bindText(stmt, 3, Regedit::fold(name));
    if (sqlite3_step(stmt) != SQLITE_ROW || sqlite3_column_int(stmt, 0) != Regedit::kStringType)
        return std::nullopt;
    return valueText(stmt, 1);
}

Result<void> StoreTree::saveString(RegRoot root, const QString& key, const QString& name, const QString& text)
{
    if (!exec("BEGIN IMMEDIATE"))
        return finish(false);
    const std::optional<qint64> id = ensureKey(root, key);
    sqlite3_stmt* stmt =
        id ? statement("INSERT INTO vals(key_id, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                       " ON CONFLICT(key_id, fold) DO UPDATE SET name=excluded.name,"
                       " type=excluded.type, data=excluded.data")
           : nullptr;
    bool ok = false;
    if (stmt) {
        Reset reset(stmt);
        sqlite3_bind_int64(stmt, 1, *id);
        bindText(stmt, 2, name);
        bindText(stmt, 3, Regedit::fold(name));
        sqlite3_bind_int(stmt, 4, Regedit::kStringType);
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_blob(stmt, 5, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
    }
    return finish(ok);
}

Result<void> StoreTree::deleteKey(RegRoot root, const QString& key)
{
    sqlite3_stmt* values = statement("DELETE FROM vals WHERE key_id=?1");
    sqlite3_stmt* keyRow =
        statement("DELETE FROM keys WHERE id=?1 AND NOT EXISTS (SELECT 1 FROM keys WHERE parent=?1)");
    if (!values || !keyRow || !exec("BEGIN IMMEDIATE"))
        return finish(false);
    bool ok = true;
    if (const std::optional<qint64> id = findKey(root, key)) {
        for (sqlite3_stmt* stmt : {values, keyRow}) {
            Reset reset(stmt);
            sqlite3_bind_int64(stmt, 1, *id);
            ok = ok && sqlite3_step(stmt) == SQLITE_DONE;
        }
    }
    return finish(ok);
}

Result<void> StoreTree::deleteValue(RegRoot root, const QString& key, const QString& name)
{
    sqlite3_stmt* stmt = statement(
        "DELETE FROM vals WHERE fold=?3 AND key_id=(SELECT id FROM keys WHERE root=?1 AND fold=?2)");
    if (!stmt || !exec("BEGIN IMMEDIATE"))
        return finish(false);
    bool ok = false;
    {
        Reset reset(stmt);
        sqlite3_bind_int(stmt, 1, static_cast<int>(root));
        bindText(stmt, 2, Regedit::fold(key));
        bindText(stmt, 3, Regedit::fold(name));
        ok = sqlite3_step(stmt) == SQLITE_DONE;
    }
    return finish(ok);
}

std::map<QString, QString> StoreTree::values(RegRoot root, const QString& key)
{
    std::map<QString, QString> values;
    sqlite3_stmt* stmt = statement("SELECT v.fold, v.data FROM vals v JOIN keys k ON k.id = v.key_id"
                                   " WHERE k.root=?1 AND k.fold=?2 AND v.type=1");
    if (!stmt)
        return values;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, Regedit::fold(key));
    while (sqlite3_step(stmt) == SQLITE_ROW)
        values.emplace(columnText(stmt, 0), valueText(stmt, 1));
    return values;
}

std::map<QString, std::map<QString, QString>> StoreTree::subkeyValues(RegRoot root, const QString& key,
                                                                      const std::vector<QString>& names)
{
    std::map<QString, std::map<QString, QString>> result;
    const std::optional<qint64> parent = findKey(root, key);
    if (!parent)
        return result;
    // One indexed query per wanted name rather than a scan of every value below the key.
    sqlite3_stmt* stmt = statement("SELECT k.fold, v.data FROM keys k JOIN vals v ON v.key_id = k.id"
                                   " WHERE k.parent=?1 AND v.fold=?2 AND v.type=1");
    if (!stmt)
        return result;
    for (const QString& name : names) {
        Reset reset(stmt);
        const QString wanted = Regedit::fold(name);
        sqlite3_bind_int64(stmt, 1, *parent);
        bindText(stmt, 2, wanted);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            result[lastComponent(columnText(stmt, 0))].insert_or_assign(wanted, valueText(stmt, 1));
    }
    return result;
}

std::vector<Regedit::Entry> StoreTree::list(RegRoot root, const QString& key)
{
    std::vector<Regedit::Entry> entries;
    const QString folded = Regedit::fold(key);
    sqlite3_stmt* stmt =
        statement("SELECT k.path, k.fold, v.name, v.data FROM keys k JOIN vals v ON v.key_id = k.id"
                  " WHERE k.root=?1 AND v.type=1 ORDER BY k.fold, v.fold");
    if (!stmt)
        return entries;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    const QString prefix = folded + kSeparator;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const QString keyFold = columnText(stmt, 1);
        if (!folded.isEmpty() && keyFold != folded && !keyFold.startsWith(prefix))
            continue;
        entries.push_back({columnText(stmt, 0), columnText(stmt, 2), valueText(stmt, 3)});
    }
    return entries;
}
