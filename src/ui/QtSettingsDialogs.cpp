#include "ui/QtSettingsDialogs.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>

std::optional<QString> QtSettingsDialogs::chooseFolder(const QString& title, const QString& start,
                                                       QWidget* parent)
{
    // Not the folder the program happened to be started from.
    const QString from = !start.isEmpty() && QDir(start).exists() ? start : QDir::homePath();
    const QString folder = QFileDialog::getExistingDirectory(parent, title, from, QFileDialog::ShowDirsOnly);
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
