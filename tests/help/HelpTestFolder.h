#pragma once

#include <QString>

// The program folder the help tests use: the source tree's data folder holds "Help/HTML" just as
// the folder of the installed program does.
inline QString helpProgramFolder()
{
    return QStringLiteral(VELMORA_SOURCE_DIR "/data");
}

inline QString helpHtmlFolder()
{
    return helpProgramFolder() + QStringLiteral("/Help/HTML");
}
