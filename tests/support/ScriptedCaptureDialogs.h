#pragma once

#include "ui/CaptureDialogs.h"

#include <QStringList>

#include <deque>

// CaptureDialogs for tests: the save dialogs answer from a script (cancelled when it is empty)
// and the printer is whatever the test hands in, null for a system without one.
class ScriptedCaptureDialogs final : public CaptureDialogs
{
public:
    void imageNext(std::optional<QString> path) { m_images.push_back(std::move(path)); }
    void movieNext(std::optional<QString> path) { m_movies.push_back(std::move(path)); }
    void setPrinter(QPrinter* printer) { m_printer = printer; }

    std::optional<QString> saveImagePath(QWidget*) override
    {
        m_asked << QStringLiteral("image");
        return next(m_images);
    }
    std::optional<QString> saveMoviePath(QWidget*) override
    {
        m_asked << QStringLiteral("movie");
        return next(m_movies);
    }
    QPrinter* printer() override
    {
        m_asked << QStringLiteral("printer");
        return m_printer;
    }

    const QStringList& asked() const { return m_asked; }

private:
    static std::optional<QString> next(std::deque<std::optional<QString>>& script)
    {
        if (script.empty())
            return std::nullopt;
        std::optional<QString> answer = std::move(script.front());
        script.pop_front();
        return answer;
    }

    std::deque<std::optional<QString>> m_images;
    std::deque<std::optional<QString>> m_movies;
    QPrinter* m_printer = nullptr;
    QStringList m_asked;
};
