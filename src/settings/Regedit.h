#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <mutex>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The two roots of the store. Every caller of the program uses the machine-wide root; the other
// exists because the operations take the root as an argument.
enum class RegRoot { LocalMachine = 0, CurrentUser = 1 };
inline constexpr RegRoot HKEY_LOCAL_MACHINE = RegRoot::LocalMachine;

// The settings store: a tree of keys named by backslash paths, each holding named string values,
// kept in one SQLite file. Key and value names compare without regard to case; a trailing
// separator is the same as none. Every write is its own committed transaction. A write that does
// not reach the store reads back as absent or as the earlier value; the writers answer false then,
// and writeProblem() says why, for callers that tell the user.
class Regedit final
{
public:
    // Value type codes; only strings are written, other types read as absent.
    static constexpr int kStringType = 1;
    // The layout this program reads and writes; a store of a higher version is only read.
    static constexpr int kSchemaVersion = 1;

    explicit Regedit(const QString& storePath);
    ~Regedit();
    Regedit(const Regedit&) = delete;
    Regedit& operator=(const Regedit&) = delete;

    bool CreateKey(RegRoot root, const QString& keyPath);
    std::optional<QString> GetString(RegRoot root, const QString& keyPath, const QString& name);
    bool SaveString(RegRoot root, const QString& keyPath, const QString& name, const QString& text);
    // Removes the key's values, and the key itself unless keys lie below it: a subkey (an account
    // whose name holds a backslash) keeps its values, as a registry key with subkeys is not
    // deleted. The root key itself is never removed.
    bool DeleteKey(RegRoot root, const QString& keyPath);
    bool DeleteValue(RegRoot root, const QString& keyPath, const QString& name);

    // Bulk reads, so that long account lists load without a query per value.
    // All string values of one key, keyed by folded name.
    std::map<QString, QString> Values(RegRoot root, const QString& keyPath);
    // For every direct subkey of keyPath (keyed by its folded name), its string values among
    // `names` (keyed by folded name).
    std::map<QString, std::map<QString, QString>> SubkeyValues(RegRoot root, const QString& keyPath,
                                                               const std::vector<QString>& names);

    struct Entry
    {
        QString key;
        QString name;
        QString text;
    };
    // Every string value of keyPath and the keys below it, in key and name order.
    std::vector<Entry> List(RegRoot root, const QString& keyPath);

    // True when the store could be opened for writing.
    bool isWritable() const { return m_writable; }
    bool isReadable() const { return m_db != nullptr; }
    const QString& path() const { return m_path; }
    // Why changes are not being saved: why the store was opened read-only or not at all, or why
    // the last write failed. Empty while writes reach the store.
    QString writeProblem() const;

    static QString fold(const QString& name);
    static QString normalizeKey(const QString& keyPath);

private:
    // What a file holds; Failed: it could not be set up, and that has been reported.
    enum class SchemaState { Unreadable, Empty, Ours, Newer, Foreign, Failed };

    void open();
    bool createFile();
    bool connect(const QByteArray& location, int flags);
    void disconnect();
    bool openReadOnly();
    // The first column of a query's rows; absent when the query failed.
    std::optional<QStringList> column(const char* sql, int index);
    SchemaState probeSchema();
    SchemaState initializeSchema();
    void makePrivate();
    void repairJournalModes() const;
    QString unwritableCause(int error, int systemError) const;
    void warn(const QString& what) const;
    bool writeDone(bool ok, const char* operation);
    sqlite3_stmt* statement(const char* sql);
    std::optional<qint64> findKey(RegRoot root, const QString& normalized);
    std::optional<qint64> ensureKey(RegRoot root, const QString& normalized);
    bool exec(const char* sql);

    QString m_path;
    sqlite3* m_db = nullptr;
    bool m_writable = false;
    bool m_reportedWriteFailure = false;
    int m_openError = 0; // SQLite's and the system's error of the last failed connect
    int m_openSystemError = 0;
    qint64 m_storedVersion = 0;
    QString m_openProblem;
    QString m_writeFailure;
    std::map<const char*, sqlite3_stmt*> m_statements;
    mutable std::recursive_mutex m_mutex;
};
