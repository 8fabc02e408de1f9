#pragma once

#include <QString>

// Where the upload state text goes: the main window's first status panel, or standard output
// in a headless run.
class UploadStatus
{
public:
    // What the state says while no upload has told anything yet.
    static inline const QString kClickToUpload = QStringLiteral("Click 'Upload now' to upload");

    virtual ~UploadStatus() = default;
    virtual QString uploadState() const = 0;
    virtual void setUploadState(const QString& text) = 0;
};
