#pragma once

#include <QString>

// The rule for the names of the files an account writes into its folders (the destination file
// name, the time file's name): a name, never a path, so nothing lands outside the folder the user
// gave, locally or on the server.
namespace DestinationName {
// Why name cannot be used, to follow the words "the file name" ("contains \"/\" or \"\\\""), or
// empty when it can. Names with "/" or "\", the names "." and "..", and names with a control
// character are refused.
QString problem(const QString& name);
} // namespace DestinationName
