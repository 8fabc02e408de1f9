#pragma once

#include "common/Result.h"

#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class StoreFile;
class StoreTree;

// The two roots of the store. Every caller of the program uses the machine-wide root; the other
// exists because the operations take the root as an argument.
enum class RegRoot { LocalMachine = 0, CurrentUser = 1 };
inline constexpr RegRoot HKEY_LOCAL_MACHINE = RegRoot::LocalMachine;

// The settings store: a tree of keys named by backslash paths, each holding named string values,
// kept in one SQLite file (StoreFile opens it, StoreSchema knows its tables, StoreTree holds the
// keys and values). Key and value names compare without regard to case; a trailing separator is
// the same as none. Every write is its own committed transaction. A write that does not reach the
// store reads back as absent or as the earlier value, and fails with the reason: "the last change
// could not be saved (...)", or why the store takes no changes at all. Callers that have no one to
// tell leave it at that, as the store's failures are silent to the user.
class Regedit final
{
public:
    // Value type codes; only strings are written, other types read as absent.
    static constexpr int kStringType = 1;

    explicit Regedit(const QString& storePath);
    ~Regedit();
    Regedit(const Regedit&) = delete;
    Regedit& operator=(const Regedit&) = delete;

    Result<void> CreateKey(RegRoot root, const QString& keyPath);
    // Absent is no failure: a value nobody stored, or one the store cannot give.
    std::optional<QString> GetString(RegRoot root, const QString& keyPath, const QString& name);
    Result<void> SaveString(RegRoot root, const QString& keyPath, const QString& name, const QString& text);
    // Removes the key's values, and the key itself unless keys lie below it: a subkey (an account
    // whose name holds a backslash) keeps its values, as a registry key with subkeys is not
    // deleted. The root key itself is never removed.
    Result<void> DeleteKey(RegRoot root, const QString& keyPath);
    Result<void> DeleteValue(RegRoot root, const QString& keyPath, const QString& name);

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
    bool isWritable() const;
    bool isReadable() const;
    const QString& path() const { return m_path; }
    // Ok while the store takes changes; otherwise the failure that says why it was opened
    // read-only or not at all, as every write would fail.
    Result<void> writable() const;
    // The store's state for a window's status line: why changes are not being saved (why it was
    // opened read-only or not at all, or why the last write failed). Empty while writes arrive.
    QString writeProblem() const;

    static QString fold(const QString& name);
    static QString normalizeKey(const QString& keyPath);

private:
    // The failure of the last write, said once on standard error, remembered for writeProblem().
    Result<void> written(Result<void> result, const char* operation);

    QString m_path;
    std::unique_ptr<StoreFile> m_file;
    std::unique_ptr<StoreTree> m_tree;
    bool m_reportedWriteFailure = false;
    QString m_writeFailure;
    mutable std::recursive_mutex m_mutex;
};
