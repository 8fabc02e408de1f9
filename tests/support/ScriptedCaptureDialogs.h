#pragma once

#include "AnswerQueue.h"
#include "ui/CaptureDialogs.h"

#include <QStringList>

// CaptureDialogs for tests: the save dialogs answer from a script and the printer is whatever
// the test hands in, null for a system without one.
class ScriptedCaptureDialogs final : public CaptureDialogs
{
public:
    std::optional<QString> saveImagePath(QWidget*) override
    {
        m_asked << QStringLiteral("image");
        return m_images.next();
    }
    std::optional<QString> saveMoviePath(QWidget*) override
    {
        m_asked << QStringLiteral("movie");
        return m_movies.next();
    }
    QPrinter* printer() override
    {
        m_asked << QStringLiteral("printer");
        return m_printer;
    }

    std::optional<NetworkCamera> networkCamera(QWidget*) override
    {
        m_asked << QStringLiteral("network camera");
        return m_cameras.next();
    }

    void cameraNext(std::optional<NetworkCamera> camera) { m_cameras.push(std::move(camera)); }
    void imageNext(std::optional<QString> path) { m_images.push(std::move(path)); }
    void movieNext(std::optional<QString> path) { m_movies.push(std::move(path)); }
    void setPrinter(QPrinter* printer) { m_printer = printer; }
    const QStringList& asked() const { return m_asked; }

private:
    AnswerQueue<QString> m_images, m_movies;
    AnswerQueue<NetworkCamera> m_cameras;
    QPrinter* m_printer = nullptr;
    QStringList m_asked;
};
