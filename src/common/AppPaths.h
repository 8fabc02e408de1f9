#pragma once

#include "common/Result.h"

#include <QString>

// Where the program keeps its files. The settings store and the working folder default to the
// user's XDG folders; the command line and VELMORA_STORE override them.
namespace AppPaths {
// $VELMORA_STORE, else $XDG_CONFIG_HOME/velmora/velmora.db (~/.config when unset).
QString defaultStorePath();
// $XDG_DATA_HOME/velmora (~/.local/share when unset): the upload cycle's working files,
// "capture.bmp" and "print.bmp".
QString defaultWorkDir();
// Makes folder and the folders on the way to it that are missing, each private to the user (0700)
// whatever the file mode mask says: they hold the settings with the passwords, or the pictures
// before they are uploaded. Folders that exist are left as they are. A failure has the system's
// words ("Permission denied").
Result<void> makePrivateFolder(const QString& folder);
// The folder of the running program.
QString programFolder();
// The program's own data (the help pages under "Help/HTML"): share/velmora beside the program's
// bin folder, the same in the build tree as in an installation.
QString dataFolder();
// dataFolder() for a program in programFolder.
QString dataFolderFor(const QString& programFolder);
} // namespace AppPaths
