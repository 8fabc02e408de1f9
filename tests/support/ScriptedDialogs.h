#pragma once

#include "ui/SettingsDialogs.h"

#include <QStringList>

#include <deque>

// SettingsDialogs for tests: answers from a script and records what was asked. Without a scripted
// answer every dialog is cancelled.
class ScriptedDialogs final : public SettingsDialogs
{
public:
    void folderNext(std::optional<QString> folder) { m_folders.push_back(std::move(folder)); }
    void fontNext(std::optional<QFont> font) { m_fonts.push_back(std::move(font)); }
    void colorNext(std::optional<QColor> color) { m_colors.push_back(std::move(color)); }
    void fileNext(std::optional<QString> file) { m_files.push_back(std::move(file)); }

    std::optional<QString> chooseFolder(const QString& title, QWidget*) override
    {
        m_asked << QStringLiteral("folder|") + title;
        return next(m_folders);
    }
    std::optional<QFont> chooseFont(const QFont& initial, QWidget*) override
    {
        m_asked << QStringLiteral("font|") + initial.family();
        lastFont = initial;
        return next(m_fonts);
    }
    std::optional<QColor> chooseColor(const QColor& initial, QWidget*) override
    {
        m_asked << QStringLiteral("color|") + initial.name();
        return next(m_colors);
    }
    std::optional<QString> chooseFile(const QString& title, const QString& filter, const QString& initialFile,
                                      QWidget*) override
    {
        m_asked << QStringLiteral("file|%1|%2|%3").arg(title, filter, initialFile);
        return next(m_files);
    }

    const QStringList& asked() const { return m_asked; }
    QFont lastFont; // the font the font dialog was primed with

private:
    template <typename T> static std::optional<T> next(std::deque<std::optional<T>>& script)
    {
        if (script.empty())
            return std::nullopt;
        std::optional<T> answer = std::move(script.front());
        script.pop_front();
        return answer;
    }

    std::deque<std::optional<QString>> m_folders;
    std::deque<std::optional<QFont>> m_fonts;
    std::deque<std::optional<QColor>> m_colors;
    std::deque<std::optional<QString>> m_files;
    QStringList m_asked;
};
