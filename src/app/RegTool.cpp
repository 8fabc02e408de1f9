#include "app/RegTool.h"

#include "app/CommandLine.h"
#include "settings/Regedit.h"

#include <QTextStream>

RegTool::RegTool(Regedit& store, QTextStream& out, QTextStream& err) : m_store(store), m_out(out), m_err(err)
{
}

int RegTool::run(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return usageError(QStringLiteral("reg needs a command"));
    const QString& command = arguments.first();
    const QStringList args = arguments.mid(1);
    if (command == QLatin1String("get"))
        return get(args);
    if (command == QLatin1String("set"))
        return set(args);
    if (command == QLatin1String("delete"))
        return remove(args);
    if (command == QLatin1String("list"))
        return list(args);
    return usageError(QStringLiteral("unknown reg command %1").arg(command));
}

int RegTool::usageError(const QString& what)
{
    m_err << "velmora: " << what << "\n" << CommandLine::usage();
    m_err.flush();
    return kUsage;
}

int RegTool::get(const QStringList& args)
{
    if (args.size() != 2)
        return usageError(QStringLiteral("reg get needs KEY and NAME"));
    const std::optional<QString> text = m_store.GetString(HKEY_LOCAL_MACHINE, args[0], args[1]);
    if (!text)
        return kAbsent;
    m_out << *text << "\n";
    m_out.flush();
    return kOk;
}

int RegTool::set(const QStringList& args)
{
    if (args.size() != 3)
        return usageError(QStringLiteral("reg set needs KEY, NAME and TEXT"));
    m_store.SaveString(HKEY_LOCAL_MACHINE, args[0], args[1], args[2]);
    // The store keeps failures silent; the tool checks that the text arrived.
    const std::optional<QString> stored = m_store.GetString(HKEY_LOCAL_MACHINE, args[0], args[1]);
    if (!stored || *stored != args[2].left(args[2].indexOf(QChar(0))))
        return kAbsent;
    return kOk;
}

int RegTool::remove(const QStringList& args)
{
    if (args.size() == 1)
        m_store.DeleteKey(HKEY_LOCAL_MACHINE, args[0]);
    else if (args.size() == 2)
        m_store.DeleteValue(HKEY_LOCAL_MACHINE, args[0], args[1]);
    else
        return usageError(QStringLiteral("reg delete needs KEY and an optional NAME"));
    return kOk;
}

int RegTool::list(const QStringList& args)
{
    if (args.size() > 1)
        return usageError(QStringLiteral("reg list takes at most one KEY"));
    const QString key = args.isEmpty() ? QString() : args[0];
    for (const Regedit::Entry& entry : m_store.List(HKEY_LOCAL_MACHINE, key))
        m_out << entry.key << '\t' << entry.name << '\t' << entry.text << '\n';
    m_out.flush();
    return kOk;
}
