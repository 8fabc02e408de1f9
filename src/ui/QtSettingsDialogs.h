#pragma once

#include "ui/SettingsDialogs.h"

// The settings windows' dialogs as the desktop's standard file, font and colour dialogs.
class QtSettingsDialogs final : public SettingsDialogs
{
public:
    std::optional<QString> chooseFolder(const QString& title, const QString& start, QWidget* parent) override;
    std::optional<QFont> chooseFont(const QFont& initial, QWidget* parent) override;
    std::optional<QColor> chooseColor(const QColor& initial, QWidget* parent) override;
    std::optional<QString> chooseFile(const QString& title, const QString& filter, const QString& initialFile,
                                      QWidget* parent) override;
};
