#pragma once

#include <QString>

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
// separator is the same as none. Every write is its own committed transaction. Failures are
// silent to callers: a lost write reads back as absent or as the earlier value.
class Regedit final
{
public:
    // Value type codes; only strings are written, other types read as absent.
    static constexpr int kStringType = 1;

    explicit Regedit(const QString& storePath);
    ~Regedit();
    Regedit(const Regedit&) = delete;
    Regedit& operator=(const Regedit&) = delete;

    void CreateKey(RegRoot root, const QString& keyPath);
    std::optional<QString> GetString(RegRoot root, const QString& keyPath, const QString& name);
    void SaveString(RegRoot root, const QString& keyPath, const QString& name, const QString& text);
    // Removes the key with its values and everything below it. The root key itself is never removed.
    void DeleteKey(RegRoot root, const QString& keyPath);
    void DeleteValue(RegRoot root, const QString& keyPath, const QString& name);

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

    static QString fold(const QString& name);
    static QString normalizeKey(const QString& keyPath);

private:
    void open();
    enum class SchemaState { Unreadable, Empty, Ours, Foreign };
    SchemaState probeSchema();
    bool initializeSchema();
    bool reportForeign(SchemaState state);
    void warn(const QString& what) const;
    void writeFailed(const char* operation);
    sqlite3_stmt* statement(const char* sql);
    std::optional<qint64> findKey(RegRoot root, const QString& normalized);
    std::optional<qint64> ensureKey(RegRoot root, const QString& normalized);
    bool exec(const char* sql);

    QString m_path;
    sqlite3* m_db = nullptr;
    bool m_writable = false;
    bool m_reportedWriteFailure = false;
    bool m_reportedOpenFailure = false;
    std::map<const char*, sqlite3_stmt*> m_statements;
    std::recursive_mutex m_mutex;
};
