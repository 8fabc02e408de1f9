#pragma once

#include <QFont>

struct Account;

// The font an account's time stamp is drawn with, for the uploaded picture and for the preview
// in the Upload Settings window alike: the stored family, bold and italic, and the stored size
// when it is one (a size of 0 or less keeps the family's own, as Qt refuses it).
QFont stampFont(const Account& account);
