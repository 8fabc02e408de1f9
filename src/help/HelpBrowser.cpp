#include "help/HelpBrowser.h"

#include <QDesktopServices>
#include <QEvent>
#include <QPalette>
#include <QTextDocument>
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
    const QUrl page = QUrl::fromLocalFile(path);
    if (page != source()) // the same page again would only add a step to Back
        setSource(page);
}

namespace {
QString mixed(const QColor& a, const QColor& b, double share)
{
    const auto channel = [share](int x, int y) { return int(x + (y - x) * share + 0.5); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()))
        .name();
}
} // namespace

QString HelpBrowser::paletteStyle(const QPalette& palette)
{
    // Every colour is a blend of the palette's text and base colours, so none can vanish into the
    // background of a light or a dark theme.
    const QColor text = palette.color(QPalette::Text);
    const QColor base = palette.color(QPalette::Base);
    const QColor link = palette.color(QPalette::Link);
    const QString heading = mixed(text, link, 0.5);
    const QString dim = mixed(text, base, 0.3);
    const QString shade = mixed(base, text, 0.1);
    return QStringLiteral("\n/* from the palette */\n"
                          "body { color: %1; background-color: %2; }\n"
                          "h1, h2, h3 { color: %3; }\n"
                          "a { color: %4; }\n"
                          "p.nav, p.see { color: %5; }\n"
                          "th, pre { background-color: %6; }\n"
                          "p.note { background-color: %7; }\n"
                          ".msg { color: %8; }\n")
        .arg(text.name(), base.name(), heading, mixed(text, link, 0.7), dim, shade,
             mixed(base, QColor(255, 200, 0), 0.18), mixed(text, QColor(230, 90, 0), 0.5));
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name)
{
    QVariant resource = QTextBrowser::loadResource(type, name);
    if (type == QTextDocument::StyleSheetResource) {
        const QString sheet = resource.userType() == QMetaType::QByteArray
                                  ? QString::fromUtf8(resource.toByteArray())
                                  : resource.toString();
        return sheet + paletteStyle(palette());
    }
    return resource;
}

void HelpBrowser::changeEvent(QEvent* event)
{
    QTextBrowser::changeEvent(event);
    // The page's colours come from the palette: show it again with the new ones.
    if (event->type() == QEvent::PaletteChange && !source().isEmpty())
        reload();
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
