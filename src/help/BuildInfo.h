#pragma once

#include <QString>

// What the build fixes: the version and the contact points. A build that sets no web or mail
// address has none, and the windows show none.
namespace BuildInfo {
QString programVersion(); // "3.0.0": major, minor and revision joined with full stops
QString webAddress();
QString mailAddress();
} // namespace BuildInfo
