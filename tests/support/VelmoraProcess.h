#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <grp.h>
#include <map>
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

// A throwaway ordinary user for cases where file modes must bind. CI runs as root, whom modes do
// not bind: there commands run under setpriv with a uid and gid that no account uses, and give()
// hands files to that user. Run by an ordinary user, commands run as that user unchanged.
class OrdinaryUser final
{
public:
    OrdinaryUser()
    {
        if (::geteuid() != 0)
            return;
        for (uid_t id = 61000; id < 62000 && m_id == 0; ++id) {
            if (!::getpwuid(id) && !::getgrgid(static_cast<gid_t>(id)))
                m_id = id;
        }
    }

    // The command line that runs program with arguments as this user.
    QStringList command(const QString& program, const QStringList& arguments) const
    {
        if (m_id == 0)
            return QStringList{program} + arguments;
        return QStringList{QStringLiteral("setpriv"),
                           QStringLiteral("--reuid=%1").arg(m_id),
                           QStringLiteral("--regid=%1").arg(m_id),
                           QStringLiteral("--clear-groups"),
                           QStringLiteral("--"),
                           program} +
               arguments;
    }
    // Hands a file or folder (not what it holds) to the user; false when that failed.
    bool give(const QString& path) const
    {
        return m_id == 0 || ::chown(path.toLocal8Bit().constData(), m_id, m_id) == 0;
    }

private:
    uid_t m_id = 0;
};

// The built program run as a second process, the way a person runs it from a shell.
struct ProgramRun
{
    int status = -1; // the exit code; -1 when it crashed or did not end within 20 s
    QString out;
    QString err;
};

struct RunWith
{
    std::map<QString, QString> environment; // set for the child; VELMORA_STORE is removed otherwise
    std::function<void()> childSetup;       // runs in the child before the program (limits, umask)
    const OrdinaryUser* user = nullptr;
};

inline ProgramRun runVelmora(const QStringList& arguments, const RunWith& with = {})
{
    static const QString program = QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("VELMORA_STORE"));
    for (const auto& [name, value] : with.environment)
        env.insert(name, value);
    process.setProcessEnvironment(env);
    if (with.childSetup)
        process.setChildProcessModifier(with.childSetup);
    const QStringList command =
        with.user ? with.user->command(program, arguments) : QStringList{program} + arguments;
    process.start(command.first(), command.mid(1));
    ProgramRun result;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(2000);
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    // A coverage build's runtime complains on standard error where it cannot write its counters
    // (a file size limit, a folder the user cannot write); that is the build's, not the program's.
    const QStringList errLines = QString::fromUtf8(process.readAllStandardError()).split(u'\n');
    for (qsizetype i = 0; i < errLines.size(); ++i) {
        if (errLines[i].startsWith(QLatin1String("profiling:")) ||
            errLines[i].startsWith(QLatin1String("libgcov profiling error:")))
            continue;
        result.err += errLines[i];
        if (i + 1 < errLines.size())
            result.err += u'\n';
    }
    return result;
}
