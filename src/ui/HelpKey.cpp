#include "ui/HelpKey.h"

#include "help/Help.h"

#include <QApplication>
#include <QShortcut>
#include <QWidget>

#include <array>
#include <utility>

namespace {
// Windows by object name, with the page of the topic tree that describes them.
constexpr std::array<std::pair<const char*, const char*>, 14> kPages{{
    {"Form1", "get_started"},
    {"Form3", "upload_settings"},
    {"prcoForm", "program_configuration"},
    {"Form2", "driver"},
    {"NetworkCameraDialog", "driver"},
    {"movieframerate", "movie_frame_rate"},
    {"FTPLog", "show_ftp_log"},
    {"FormatDialog", "format"},
    {"DisplayDialog", "display"},
    {"SourceDialog", "source"},
    {"CompressionDialog", "movie_compressor"},
    {"AudioFormatDialog", "audio_format"},
    {"news_form", "what_is_news"},
    {"frmAbout", "misc."},
}};
} // namespace

HelpKey::HelpKey(Help& help, QWidget& owner) : QObject(&owner), m_help(help)
{
    auto* key = new QShortcut(QKeySequence::HelpContents, &owner);
    key->setContext(Qt::ApplicationShortcut);
    connect(key, &QShortcut::activated, this, [this] { showHelpFor(QApplication::activeWindow()); });
}

QString HelpKey::pageOf(const QString& windowName)
{
    for (const auto& [name, page] : kPages) {
        if (windowName == QLatin1String(name))
            return QLatin1String(page);
    }
    return {};
}

void HelpKey::showHelpFor(const QWidget* window)
{
    if (!window)
        return;
    const QString page = pageOf(window->objectName());
    if (!page.isEmpty())
        m_help.showPage(page);
}
