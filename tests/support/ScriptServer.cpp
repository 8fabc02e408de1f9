#include "ScriptServer.h"

namespace ScriptServer {
QString python()
{
    const QString python = qEnvironmentVariable("VELMORA_PYTHON");
    return python.isEmpty() ? QStringLiteral("/usr/bin/python3") : python;
}

int start(ChildProcess& process, const QString& script, const QStringList& arguments, QString* error)
{
    if (!process.start(python(), QStringList{QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/") + script} +
                                     arguments)) {
        *error = process.error();
        return 0;
    }
    const QByteArray output = process.readUntil("PORT ", 10000);
    const qsizetype at = output.indexOf("PORT ");
    const qsizetype end = output.indexOf('\n', at);
    if (at >= 0 && end > at) {
        const int port = output.mid(at + 5, end - at - 5).trimmed().toInt();
        if (port > 0)
            return port;
    }
    *error = QString::fromLocal8Bit(output) + QStringLiteral(" (no port from the server)");
    stop(process);
    return 0;
}

void stop(ChildProcess& process)
{
    process.kill();
}
} // namespace ScriptServer
