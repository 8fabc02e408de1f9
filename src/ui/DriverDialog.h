#pragma once

#include "common/Result.h"

#include <QDialog>

class CaptureComponent;
class QBoxLayout;

// The frame the driver dialogs share: a modal dialog over the capture component with "&OK" and
// "&Cancel" below its content. A choice the component refuses is kept as error() for the caller.
class DriverDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DriverDialog)

public:
    // The component's description of the last refused change; empty when all went through.
    const QString& error() const { return m_error; }

protected:
    DriverDialog(CaptureComponent& capture, const QString& title, QWidget* parent);

    CaptureComponent& capture() { return m_capture; }
    QBoxLayout& content() { return *m_content; }
    // Adds the buttons below the content; with live set there is only "&Close", as the changes
    // have taken effect already.
    void finishLayout(bool live);
    // Keeps the sentence of a change the component refused.
    void keepRefusal(const Result<void>& change);

private:
    CaptureComponent& m_capture;
    QBoxLayout* m_content;
    QString m_error;
};
