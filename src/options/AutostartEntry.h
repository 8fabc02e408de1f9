#pragma once

#include "common/Result.h"

#include <QString>

// The start-at-logon entry: an XDG autostart file that runs the program from where it is now,
// on the store and working folder it runs on now.
namespace AutostartEntry {
struct Command
{
    QString program;
    QString store;   // --store; left out when empty
    QString workDir; // --workdir; left out when empty
};

// $XDG_CONFIG_HOME/autostart/velmora.desktop, with ~/.config when the variable is unset or relative.
QString path();
// The Exec line's value: each path absolute, quoted and escaped.
QString execLine(const Command& command);
// Writes the entry whole or not at all; a failure says "The autostart entry ... could not be
// written."
Result<void> write(const Command& command);
// Removes the entry; a missing entry is no failure.
Result<void> remove();
// The program path as one argument of an Exec line, quoted and escaped as desktop entries require.
QString execArgument(const QString& programPath);
} // namespace AutostartEntry
