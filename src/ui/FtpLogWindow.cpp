#include "ui/FtpLogWindow.h"

#include "common/ProgramIcon.h"
#include "ui/CloseGuard.h"
#include "ui/WindowParts.h"
#include "upload/FtpLog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {
QString forView(QString text)
{
    // The log keeps CR LF; the view wants one line break per line.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}
} // namespace

FtpLogWindow::FtpLogWindow(FtpLog& log, QWidget* parent) : QWidget(parent), m_log(log)
{
    setObjectName(QStringLiteral("FTPLog"));
    setWindowTitle(QStringLiteral("FTP Log"));
    setWindowIcon(ProgramIcon::icon());
    CloseGuard::apply(*this);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("txtERR"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_reset = WindowParts::button(QStringLiteral("&Reset"), QStringLiteral("cmdReset"), this);
    m_close = WindowParts::button(QStringLiteral("&Close"), QStringLiteral("cmdClose"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addLayout(WindowParts::buttonRow({m_reset, m_close}));
    resize(480, 360);

    connect(m_reset, &QPushButton::clicked, this, &FtpLogWindow::reset);
    connect(m_close, &QPushButton::clicked, this, &FtpLogWindow::closeLog);
    WindowParts::closeWithEscape(*this, m_close);
    connect(&m_log, &FtpLog::appended, this, &FtpLogWindow::appendToView);
    connect(&m_log, &FtpLog::changed, this, [this] {
        // A reset, or the log dropped its oldest entries: show what it holds now.
        if (m_shownLength != m_log.text().size())
            reloadView();
    });
    reloadView();

    // Half the screen's height minus half the window's; the left edge at the screen's centre.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center().x(), area.center().y() - frameGeometry().height() / 2);
    }
}

void FtpLogWindow::showLog()
{
    hide();
    if (!m_everShown) {
        m_everShown = true;
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    show();
    raise();
}

void FtpLogWindow::reset()
{
    m_log.reset();
}

void FtpLogWindow::closeLog()
{
    hide();
    emit mainWindowRequested();
}

QString FtpLogWindow::viewText() const
{
    return m_text->toPlainText();
}

void FtpLogWindow::appendToView(const QString& addition)
{
    if (m_shownLength + addition.size() != m_log.text().size()) {
        reloadView();
        return;
    }
    QScrollBar* bar = m_text->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(m_text->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(forView(addition));
    m_shownLength += addition.size();
    if (atEnd)
        bar->setValue(bar->maximum());
}

void FtpLogWindow::reloadView()
{
    m_text->setPlainText(forView(m_log.text()));
    m_shownLength = m_log.text().size();
    m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());
}
