#pragma once

#include "common/Result.h"
#include "settings/Regedit.h"

#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The keys and values in an open store, by normalized key path: prepared statements kept for
// the connection's life, every write its own committed transaction, rolled back whole when any
// part of it fails. A failure's sentence is SQLite's words, with the system's where it gave them.
class StoreTree final
{
public:
    // db may be null (a store that could not be opened): nothing is found then.
    explicit StoreTree(sqlite3* db);
    ~StoreTree();
    StoreTree(const StoreTree&) = delete;
    StoreTree& operator=(const StoreTree&) = delete;

    Result<void> createKey(RegRoot root, const QString& key);
    std::optional<QString> getString(RegRoot root, const QString& key, const QString& name);
    Result<void> saveString(RegRoot root, const QString& key, const QString& name, const QString& text);
    // Leaves a key with keys below it, and the root key; see Regedit::DeleteKey.
    Result<void> deleteKey(RegRoot root, const QString& key);
    Result<void> deleteValue(RegRoot root, const QString& key, const QString& name);

    std::map<QString, QString> values(RegRoot root, const QString& key);
    std::map<QString, std::map<QString, QString>> subkeyValues(RegRoot root, const QString& key,
                                                               const std::vector<QString>& names);
    std::vector<Regedit::Entry> list(RegRoot root, const QString& key);

private:
    struct Finalize
    {
        void operator()(sqlite3_stmt* stmt) const;
    };

    sqlite3_stmt* statement(const char* sql);
    std::optional<qint64> findKey(RegRoot root, const QString& key);
    std::optional<qint64> ensureKey(RegRoot root, const QString& key);
    bool exec(const char* sql);
    // Ends the transaction a write began: committed when ok, rolled back otherwise.
    Result<void> finish(bool ok);

    sqlite3* m_db;
    std::map<const char*, std::unique_ptr<sqlite3_stmt, Finalize>> m_statements;
};
