#pragma once

#include <QString>

// The start-at-logon entry: an XDG autostart file that runs the program from where it is now.
namespace AutostartEntry {
// $XDG_CONFIG_HOME/autostart/velmora.desktop, with ~/.config when the variable is unset or relative.
QString path();
// Writes the entry for the program at programPath; false when the file could not be written.
bool write(const QString& programPath);
// Removes the entry; a missing entry is no error.
bool remove();
// The program path as one argument of an Exec line, quoted and escaped as desktop entries require.
QString execArgument(const QString& programPath);
} // namespace AutostartEntry
