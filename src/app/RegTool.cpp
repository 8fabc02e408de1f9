#include "app/RegTool.h"

#include "app/CommandLine.h"
#include "settings/Regedit.h"

#include <QTextStream>

RegTool::RegTool(const QString& storePath, QTextStream& out, QTextStream& err)
    : m_storePath(storePath), m_out(out), m_err(err)
{
}

QString RegTool::usageProblem(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return QStringLiteral("reg needs a command");
    const QString& command = arguments.first();
    const qsizetype words = arguments.size() - 1;
    if (command == QLatin1String("get"))
        return words == 2 ? QString() : QStringLiteral("reg get needs KEY and NAME");
    if (command == QLatin1String("set"))
        return words == 3 ? QString() : QStringLiteral("reg set needs KEY, NAME and TEXT");
    if (command == QLatin1String("delete"))
        return words == 1 || words == 2 ? QString()
                                        : QStringLiteral("reg delete needs KEY and an optional NAME");
    if (command == QLatin1String("list"))
        return words <= 1 ? QString() : QStringLiteral("reg list takes at most one KEY");
    return QStringLiteral("unknown reg command %1").arg(command);
}

int RegTool::run(const QStringList& arguments)
{
    if (const QString problem = usageProblem(arguments); !problem.isEmpty()) {
        m_err << "velmora: " << problem << "\n" << CommandLine::usage();
        m_err.flush();
        return kUsage;
    }
    Regedit store(m_storePath);
    const QString& command = arguments.first();
    const QStringList args = arguments.mid(1);
    if (command == QLatin1String("get"))
        return get(store, args);
    if (command == QLatin1String("set"))
        return set(store, args);
    if (command == QLatin1String("delete"))
        return remove(store, args);
    return list(store, args);
}

int RegTool::get(Regedit& store, const QStringList& args)
{
    const std::optional<QString> text = store.GetString(HKEY_LOCAL_MACHINE, args[0], args[1]);
    if (!text)
        return kAbsent;
    m_out << *text << "\n";
    m_out.flush();
    return kOk;
}

int RegTool::set(Regedit& store, const QStringList& args)
{
    const Result<void> saved = store.SaveString(HKEY_LOCAL_MACHINE, args[0], args[1], args[2]);
    return saved && store.GetString(HKEY_LOCAL_MACHINE, args[0], args[1]) == args[2] ? kOk : kAbsent;
}

int RegTool::remove(Regedit& store, const QStringList& args)
{
    // Deleting what does not exist is no error; a store that cannot be written is.
    const Result<void> deleted = args.size() == 1 ? store.DeleteKey(HKEY_LOCAL_MACHINE, args[0])
                                                  : store.DeleteValue(HKEY_LOCAL_MACHINE, args[0], args[1]);
    return deleted ? kOk : kAbsent;
}

int RegTool::list(Regedit& store, const QStringList& args)
{
    if (!store.isReadable())
        return kAbsent;
    const QString key = args.isEmpty() ? QString() : args[0];
    for (const Regedit::Entry& entry : store.List(HKEY_LOCAL_MACHINE, key))
        m_out << entry.key << '\t' << entry.name << '\t' << entry.text << '\n';
    m_out.flush();
    return kOk;
}
