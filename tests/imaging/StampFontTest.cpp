#include "imaging/StampFont.h"

#include "settings/Account.h"

#include <QFont>
#include <QStringList>

#include <gtest/gtest.h>

namespace {
// Qt's warnings while it lasts ("QFont::setPointSizeF: Point size <= 0 ...").
class QtWarnings final
{
public:
    QtWarnings() { s_previous = qInstallMessageHandler(&QtWarnings::keep); }
    ~QtWarnings() { qInstallMessageHandler(s_previous); }
    QtWarnings(const QtWarnings&) = delete;
    QtWarnings& operator=(const QtWarnings&) = delete;

    static QStringList& seen()
    {
        static QStringList lines;
        return lines;
    }

private:
    static void keep(QtMsgType, const QMessageLogContext&, const QString& text) { seen() << text; }
    static inline QtMessageHandler s_previous = nullptr;
};
} // namespace

TEST(StampFont, TheStoredFamilyStyleAndSizeAndTheFamilysOwnSizeForNone)
{
    Account account;
    account.fontName = QStringLiteral("Tahoma");
    account.fontBold = true;
    account.fontItalic = false;
    account.fontSize = 13.5;
    const QFont stored = stampFont(account);
    EXPECT_EQ(stored.family(), QStringLiteral("Tahoma"));
    EXPECT_TRUE(stored.bold());
    EXPECT_FALSE(stored.italic());
    EXPECT_DOUBLE_EQ(stored.pointSizeF(), 13.5);

    // A size that is none keeps the family's own, without Qt complaining about it.
    account.fontBold = false;
    account.fontItalic = true;
    const double ownSize = QFont(account.fontName).pointSizeF();
    QtWarnings::seen().clear();
    for (const double none : {0.0, -4.0}) {
        const QtWarnings warnings;
        account.fontSize = none;
        const QFont font = stampFont(account);
        EXPECT_DOUBLE_EQ(font.pointSizeF(), ownSize) << none;
        EXPECT_FALSE(font.bold());
        EXPECT_TRUE(font.italic());
    }
    EXPECT_EQ(QtWarnings::seen(), QStringList());
}
