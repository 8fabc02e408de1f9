#pragma once

#include "AnswerQueue.h"
#include "ui/SettingsDialogs.h"

#include <QStringList>

// SettingsDialogs for tests: answers from a script and records what was asked.
class ScriptedDialogs final : public SettingsDialogs
{
public:
    std::optional<QString> chooseFolder(const QString& title, const QString& start, QWidget*) override
    {
        m_asked << QStringLiteral("folder|") + title + QLatin1Char('|') + start;
        return m_folders.next();
    }
    std::optional<QFont> chooseFont(const QFont& initial, QWidget*) override
    {
        m_asked << QStringLiteral("font|") + initial.family();
        lastFont = initial;
        return m_fonts.next();
    }
    std::optional<QColor> chooseColor(const QColor& initial, QWidget*) override
    {
        m_asked << QStringLiteral("color|") + initial.name();
        return m_colors.next();
    }
    std::optional<QString> chooseFile(const QString& title, const QString& filter, const QString& initialFile,
                                      QWidget*) override
    {
        m_asked << QStringLiteral("file|%1|%2|%3").arg(title, filter, initialFile);
        return m_files.next();
    }

    void folderNext(std::optional<QString> folder) { m_folders.push(std::move(folder)); }
    void fontNext(std::optional<QFont> font) { m_fonts.push(std::move(font)); }
    void colorNext(std::optional<QColor> color) { m_colors.push(std::move(color)); }
    void fileNext(std::optional<QString> file) { m_files.push(std::move(file)); }
    const QStringList& asked() const { return m_asked; }
    QFont lastFont; // the font the font dialog was primed with

private:
    AnswerQueue<QString> m_folders, m_files;
    AnswerQueue<QFont> m_fonts;
    AnswerQueue<QColor> m_colors;
    QStringList m_asked;
};
