#pragma once

// SQLite keeps its file locks as POSIX record locks, and those belong to the whole process: when
// anything else in the process closes a descriptor of the same file (a file dialog reading the
// store's first bytes to learn its type, a picture loader), every lock of the process on it is
// gone. Another process then takes itself for the last user and removes the store's journal
// files while they are still in use. install() hands SQLite's lock requests to locks of an open
// file description that only SQLite's own descriptors lead to, so no other descriptor can drop them.
namespace StoreLocks {
// Installs the lock routing once per process; it must run before the first database is opened.
void install();
// True when the routing is in place (false on a kernel without open file description locks).
bool isPrivate();
} // namespace StoreLocks
