#include "imaging/StampFont.h"

#include "settings/Account.h"

QFont stampFont(const Account& account)
{
    QFont font(account.fontName);
    if (account.fontSize > 0)
        font.setPointSizeF(account.fontSize);
    font.setBold(account.fontBold);
    font.setItalic(account.fontItalic);
    return font;
}
