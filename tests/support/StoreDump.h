#pragma once

#include "settings/Regedit.h"

#include <QStringList>

// The whole store as "key|name|text" lines, to see that an operation wrote nothing.
inline QStringList storeDump(Regedit& store)
{
    QStringList lines;
    for (const Regedit::Entry& e : store.List(HKEY_LOCAL_MACHINE, QString()))
        lines << e.key + '|' + e.name + '|' + e.text;
    return lines;
}
