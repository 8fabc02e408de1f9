#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>

class QWidget;

// The standard dialogs the two settings windows open: folder, font, colour and file choosers.
// Each answers absent when the user cancels. The program uses QtSettingsDialogs; tests answer
// from a script instead of running modal dialogs.
class SettingsDialogs
{
public:
    virtual ~SettingsDialogs() = default;

    // start: the folder the dialog opens in (the user's home when empty or missing).
    virtual std::optional<QString> chooseFolder(const QString& title, const QString& start,
                                                QWidget* parent) = 0;
    virtual std::optional<QFont> chooseFont(const QFont& initial, QWidget* parent) = 0;
    virtual std::optional<QColor> chooseColor(const QColor& initial, QWidget* parent) = 0;
    // A file-open box; filter in Qt's form, for instance "Sound Files (*.wav)".
    virtual std::optional<QString> chooseFile(const QString& title, const QString& filter,
                                              const QString& initialFile, QWidget* parent) = 0;
};
