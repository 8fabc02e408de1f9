#include "ScriptServer.h"

#include <QDeadlineTimer>

namespace ScriptServer {
QString python()
{
    const QString python = qEnvironmentVariable("VELMORA_PYTHON");
    return python.isEmpty() ? QStringLiteral("/usr/bin/python3") : python;
}

int start(QProcess& process, const QString& script, const QStringList& arguments, QString* error)
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(python(),
                  QStringList{QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/") + script} + arguments);
    if (!process.waitForStarted(5000)) {
        *error = process.errorString();
        return 0;
    }
    const QDeadlineTimer deadline(10000);
    QByteArray output;
    while (!deadline.hasExpired()) {
        if (!process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        output += process.readAllStandardOutput();
        const qsizetype at = output.indexOf("PORT ");
        const qsizetype end = output.indexOf('\n', at);
        if (at >= 0 && end > at) {
            const int port = output.mid(at + 5, end - at - 5).trimmed().toInt();
            if (port > 0)
                return port;
            break;
        }
    }
    *error = QString::fromLocal8Bit(output + process.readAllStandardError());
    stop(process);
    return 0;
}

void stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(5000);
}
} // namespace ScriptServer
