#pragma once

#include <QString>
#include <QTemporaryDir>

// A temporary folder that disappears with the test.
class TempDir final
{
public:
    TempDir() = default;
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};
