#pragma once

#include "ui/CaptureDialogs.h"

#include <QStringList>

#include <memory>

class QFileDialog;

// The capture commands' dialogs as Qt's own save-file dialog, and the system's default printer.
class QtCaptureDialogs final : public CaptureDialogs
{
public:
    static inline const QString kImageTitle = QStringLiteral("Save Picture As File");
    static inline const QStringList kImageFilters = {QStringLiteral("Bitmap files (*.bmp)"),
                                                     QStringLiteral("JPEG files (*.jpg)")};
    static inline const QString kMovieTitle = QStringLiteral("Save AVI File");
    static inline const QStringList kMovieFilters = {QStringLiteral("AVI files (*.avi)")};

    QtCaptureDialogs();
    ~QtCaptureDialogs() override;
    QtCaptureDialogs(const QtCaptureDialogs&) = delete;
    QtCaptureDialogs& operator=(const QtCaptureDialogs&) = delete;

    std::optional<QString> saveImagePath(QWidget* parent) override;
    std::optional<QString> saveMoviePath(QWidget* parent) override;
    QPrinter* printer() override;
    std::optional<NetworkCamera> networkCamera(QWidget* parent) override;

private:
    static std::optional<QString> runSaveDialog(QWidget* parent, const QString& title,
                                                const QStringList& filters, const QString& defaultSuffix,
                                                bool confirmOverwrite);

    std::unique_ptr<QPrinter> m_printer;
};
