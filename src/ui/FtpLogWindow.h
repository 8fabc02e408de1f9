#pragma once

#include <QWidget>

class FtpLog;
class QPlainTextEdit;
class QPushButton;

// "FTP Log" (FTPLog): shows the FTP log as it grows. Additions are appended to the view rather
// than the whole text being set again, so a long log stays cheap. Created once, hidden and shown;
// "&Close" is its only way out. After its first showing it stays on top.
class FtpLogWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FtpLogWindow)

public:
    explicit FtpLogWindow(FtpLog& log, QWidget* parent = nullptr);

    // "Show FTP &Log...": hides and shows the window, on top of the other windows from now on.
    void showLog();
    // "&Reset": empties the log.
    void reset();
    // "&Close": hides the window and asks for the main window.
    void closeLog();

    // The text as the view shows it (line ends as the view keeps them).
    QString viewText() const;

signals:
    void mainWindowRequested();

private:
    void appendToView(const QString& addition);
    void reloadView();

    FtpLog& m_log;
    qsizetype m_shownLength = 0; // characters of the log that the view holds
    bool m_everShown = false;
    QPlainTextEdit* m_text;
    QPushButton* m_reset;
    QPushButton* m_close;
};
