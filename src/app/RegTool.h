#pragma once

#include <QString>
#include <QStringList>

class QTextStream;
class Regedit;

// The store tool behind "velmora reg": get, set, delete and list values in the machine-wide root.
// Exit status 0 on success, 1 when the value is absent, a write or delete did not reach the store
// or the store cannot be read, 2 on a usage error. The store is opened only for a well-formed command.
class RegTool final
{
public:
    static constexpr int kOk = 0;
    static constexpr int kAbsent = 1;
    static constexpr int kUsage = 2;

    RegTool(const QString& storePath, QTextStream& out, QTextStream& err);
    int run(const QStringList& arguments);

private:
    // Why the words are no command, or empty when they are one.
    static QString usageProblem(const QStringList& arguments);
    int get(Regedit& store, const QStringList& args);
    int set(Regedit& store, const QStringList& args);
    int remove(Regedit& store, const QStringList& args);
    int list(Regedit& store, const QStringList& args);

    QString m_storePath;
    QTextStream& m_out;
    QTextStream& m_err;
};
