#include "help/HelpBrowser.h"

#include <QDesktopServices>
#include <QUrl>

HelpBrowser::HelpBrowser(QWidget* parent)
    : QTextBrowser(parent), m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    // Links are followed here, so that web links never end up as a blank page in this view.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpBrowser::followLink);
}

void HelpBrowser::showPage(const QString& path)
{
    setSource(QUrl::fromLocalFile(path));
}

void HelpBrowser::setUrlOpener(UrlOpener opener)
{
    m_openUrl = std::move(opener);
}

bool HelpBrowser::isOutsideAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return !scheme.isEmpty() && scheme != QLatin1String("file") && scheme != QLatin1String("qrc");
}

void HelpBrowser::followLink(const QUrl& url)
{
    if (isOutsideAddress(url)) {
        m_openUrl(url);
        return;
    }
    // The link arrives resolved against the page shown, fragment included.
    setSource(url);
}
