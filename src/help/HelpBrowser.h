#pragma once

#include <QTextBrowser>

#include <functional>

class QUrl;

// The page view of the help and news windows. Local pages open in place; web, mail and other
// outside addresses go to the desktop's own programs, since this view is no web browser. The
// pages' style sheet gets its colours from the view's palette, so a dark theme shows dark pages.
class HelpBrowser final : public QTextBrowser
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpBrowser)

public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    explicit HelpBrowser(QWidget* parent = nullptr);

    // Shows a local page; a missing file leaves the view empty, as the page simply is not there.
    void showPage(const QString& path);
    // Replaces QDesktopServices::openUrl, for tests.
    void setUrlOpener(UrlOpener opener);

    static bool isOutsideAddress(const QUrl& url);

    // The colours the pages get from the palette, added to their style sheet.
    static QString paletteStyle(const QPalette& palette);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
    void changeEvent(QEvent* event) override;

private:
    void followLink(const QUrl& url);

    UrlOpener m_openUrl;
};
