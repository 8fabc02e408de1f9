#pragma once

#include "common/Result.h"

#include <QStringList>

#include <optional>

struct sqlite3;

// The layout of the store's tables in an open file: which layout the file holds, and setting ours
// up in a file that holds none. A file is ours only with our tables, our columns and a version
// this program understands.
class StoreSchema final
{
public:
    // The layout this program reads and writes; a store of a higher version is only read.
    static constexpr int kVersion = 1;

    enum class State { Unreadable, Empty, Ours, Newer, Foreign };

    explicit StoreSchema(sqlite3* db) : m_db(db) {}

    State probe();
    // The version the last probe found; 0 when there was none.
    qint64 storedVersion() const { return m_storedVersion; }
    // Sets up our tables in an empty file and gives the state the file is in then: another
    // process may be creating the same new store, so it is decided again under the write lock.
    // Fails with SQLite's words.
    Result<State> initialize();

private:
    // The first column of a query's rows; absent when the query failed.
    std::optional<QStringList> column(const char* sql, int index);
    bool exec(const char* sql);

    sqlite3* m_db;
    qint64 m_storedVersion = 0;
};
