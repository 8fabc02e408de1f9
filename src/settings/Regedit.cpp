#include "settings/Regedit.h"

#include "settings/StoreFile.h"
#include "settings/StoreTree.h"

#include <QStringList>

namespace {
const QChar kSeparator = QLatin1Char('\\');
} // namespace

Regedit::Regedit(const QString& storePath)
    : m_path(storePath), m_file(std::make_unique<StoreFile>(storePath)),
      m_tree(std::make_unique<StoreTree>(m_file->db()))
{
}

// The statements go before the connection they were made on.
Regedit::~Regedit()
{
    m_tree.reset();
    m_file.reset();
}

QString Regedit::fold(const QString& name)
{
    return name.toCaseFolded();
}

QString Regedit::normalizeKey(const QString& keyPath)
{
    const QStringList parts = keyPath.split(kSeparator, Qt::SkipEmptyParts);
    return parts.join(kSeparator);
}

bool Regedit::isWritable() const
{
    return m_file->isWritable();
}

bool Regedit::isReadable() const
{
    return m_file->db() != nullptr;
}

Result<void> Regedit::writable() const
{
    if (m_file->isWritable())
        return {};
    const QString& why = m_file->problem();
    return Failure::of(Failure::Kind::NoAccess,
                       why.isEmpty() ? QStringLiteral("the settings store cannot be written") : why);
}

QString Regedit::writeProblem() const
{
    std::lock_guard lock(m_mutex);
    if (const Result<void> open = writable(); !open)
        return open.failure().sentence;
    if (m_writeFailure.isEmpty())
        return {};
    return QStringLiteral("the last change could not be saved (%1)").arg(m_writeFailure);
}

Result<void> Regedit::written(Result<void> result, const char* operation)
{
    if (result) {
        m_writeFailure.clear();
        return result;
    }
    m_writeFailure = result.failure().sentence;
    if (!m_reportedWriteFailure) {
        m_reportedWriteFailure = true;
        m_file->warn(QStringLiteral("%1 failed (%2); the change is lost")
                         .arg(QLatin1String(operation), m_writeFailure));
    }
    return Failure::of(result.failure().kind,
                       QStringLiteral("the last change could not be saved (%1)").arg(m_writeFailure));
}

Result<void> Regedit::CreateKey(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    if (Result<void> open = writable(); !open)
        return open;
    return written(m_tree->createKey(root, normalizeKey(keyPath)), "CreateKey");
}

std::optional<QString> Regedit::GetString(RegRoot root, const QString& keyPath, const QString& name)
{
    std::lock_guard lock(m_mutex);
    return m_tree->getString(root, normalizeKey(keyPath), name);
}

Result<void> Regedit::SaveString(RegRoot root, const QString& keyPath, const QString& name,
                                 const QString& text)
{
    std::lock_guard lock(m_mutex);
    if (Result<void> open = writable(); !open)
        return open;
    return written(m_tree->saveString(root, normalizeKey(keyPath), name, text), "SaveString");
}

Result<void> Regedit::DeleteKey(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    if (Result<void> open = writable(); !open)
        return open;
    const QString normalized = normalizeKey(keyPath);
    // The root itself cannot be deleted, as in the registry; a stray empty path must not wipe the store.
    if (normalized.isEmpty())
        return Failure::of(Failure::Kind::Invalid, QStringLiteral("the root key cannot be deleted"));
    return written(m_tree->deleteKey(root, normalized), "DeleteKey");
}

Result<void> Regedit::DeleteValue(RegRoot root, const QString& keyPath, const QString& name)
{
    std::lock_guard lock(m_mutex);
    if (Result<void> open = writable(); !open)
        return open;
    return written(m_tree->deleteValue(root, normalizeKey(keyPath), name), "DeleteValue");
}

std::map<QString, QString> Regedit::Values(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    return m_tree->values(root, normalizeKey(keyPath));
}

std::map<QString, std::map<QString, QString>> Regedit::SubkeyValues(RegRoot root, const QString& keyPath,
                                                                    const std::vector<QString>& names)
{
    std::lock_guard lock(m_mutex);
    return m_tree->subkeyValues(root, normalizeKey(keyPath), names);
}

std::vector<Regedit::Entry> Regedit::List(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    return m_tree->list(root, normalizeKey(keyPath));
}
