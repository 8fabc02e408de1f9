#pragma once

#include "upload/UploadStatus.h"

#include <QObject>
#include <QString>

#include <array>

// The texts of the main window's four status panels: 1 the upload state, 2 the capture device's
// status, 3 the movie hint, 4 the video size. It exists before the main window (the upload engine
// writes panel 1 from its start), and the main window's status bar shows it.
class StatusPanels final : public QObject, public UploadStatus
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusPanels)

public:
    static constexpr int kCount = 4;

    explicit StatusPanels(QObject* parent = nullptr);

    // Panels are numbered from 1; other numbers read empty and write nothing.
    QString panel(int number) const;
    void setPanel(int number, const QString& text);

    QString uploadState() const override { return panel(1); }
    void setUploadState(const QString& text) override { setPanel(1, text); }

signals:
    void panelChanged(int number, const QString& text);

private:
    std::array<QString, kCount> m_texts;
};
