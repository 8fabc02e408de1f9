#include "ui/QtSettingsDialogs.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>

std::optional<QString> QtSettingsDialogs::chooseFolder(const QString& title, QWidget* parent)
{
    const QString folder =
        QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(folder);
}

std::optional<QFont> QtSettingsDialogs::chooseFont(const QFont& initial, QWidget* parent)
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, parent);
    if (!ok)
        return std::nullopt;
    return font;
}

std::optional<QColor> QtSettingsDialogs::chooseColor(const QColor& initial, QWidget* parent)
{
    const QColor color = QColorDialog::getColor(initial, parent);
    if (!color.isValid())
        return std::nullopt;
    return color;
}

std::optional<QString> QtSettingsDialogs::chooseFile(const QString& title, const QString& filter,
                                                     const QString& initialFile, QWidget* parent)
{
    const QString file = QFileDialog::getOpenFileName(parent, title, initialFile, filter);
    if (file.isEmpty())
        return std::nullopt;
    return file;
}
