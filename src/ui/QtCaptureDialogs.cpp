#include "ui/QtCaptureDialogs.h"

#include "ui/NetworkCameraDialog.h"

#include <QFileDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>

QtCaptureDialogs::QtCaptureDialogs() = default;
QtCaptureDialogs::~QtCaptureDialogs() = default;

std::optional<QString> QtCaptureDialogs::saveImagePath(QWidget* parent)
{
    return runSaveDialog(parent, kImageTitle, kImageFilters, QStringLiteral("bmp"), true);
}

std::optional<QString> QtCaptureDialogs::saveMoviePath(QWidget* parent)
{
    return runSaveDialog(parent, kMovieTitle, kMovieFilters, QStringLiteral("avi"), false);
}

QPrinter* QtCaptureDialogs::printer()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        m_printer.reset();
        return nullptr;
    }
    // A fresh printer each time, so a changed default printer or page setup applies.
    m_printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    return m_printer.get();
}

std::optional<NetworkCamera> QtCaptureDialogs::networkCamera(QWidget* parent)
{
    NetworkCameraDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.camera();
}

std::optional<QString> QtCaptureDialogs::runSaveDialog(QWidget* parent, const QString& title,
                                                       const QStringList& filters,
                                                       const QString& defaultSuffix, bool confirmOverwrite)
{
    QFileDialog dialog(parent, title);
    dialog.setObjectName(QStringLiteral("saveFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog everywhere: the same behaviour on every desktop, and testable offscreen.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
    dialog.setDefaultSuffix(defaultSuffix);
    // A name typed without an extension gets the one of the chosen file type, so picking
    // "JPEG files" and typing "snap" writes a JPEG, not a bitmap named "snap.bmp".
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.(\\w+)\\)"));
        const QRegularExpressionMatch match = pattern.match(filter);
        if (match.hasMatch())
            dialog.setDefaultSuffix(match.captured(1));
    });
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    return files.first();
}
