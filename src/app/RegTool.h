#pragma once

#include <QStringList>

class QTextStream;
class Regedit;

// The store tool behind "velmora reg": get, set, delete and list values in the machine-wide root.
// Exit status 0 on success, 1 when the value is absent (or a write did not reach the store),
// 2 on a usage error.
class RegTool final
{
public:
    static constexpr int kOk = 0;
    static constexpr int kAbsent = 1;
    static constexpr int kUsage = 2;

    RegTool(Regedit& store, QTextStream& out, QTextStream& err);
    int run(const QStringList& arguments);

private:
    int get(const QStringList& args);
    int set(const QStringList& args);
    int remove(const QStringList& args);
    int list(const QStringList& args);
    int usageError(const QString& what);

    Regedit& m_store;
    QTextStream& m_out;
    QTextStream& m_err;
};
