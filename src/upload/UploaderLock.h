#pragma once

#include <QString>

// One uploader per settings store. The program that uploads with a store holds this lock for as long
// as it runs; a second program on the same store (the windowed one beside the user service, a second
// --headless) finds it taken and uploads nothing, so one account never uploads twice per tick.
//
// The lock is the system's whole-file lock (flock) on a descriptor of the store file that is ours
// alone. It needs no write access, so a read-only store is guarded too; it is independent of the
// record locks the store's database takes; it goes with the process however that ends; and only who
// may read the store (its owner) can take it.
class UploaderLock final
{
public:
    explicit UploaderLock(const QString& storePath);
    ~UploaderLock();
    UploaderLock(const UploaderLock&) = delete;
    UploaderLock& operator=(const UploaderLock&) = delete;

    // False when another program holds the lock. True when this one holds it now, and also when
    // the store file cannot be opened or locked at all: the program then runs on defaults, which
    // upload nothing, and two programs are better than none.
    bool acquire();
    bool isHeld() const { return m_fd >= 0; }

private:
    QString m_path;
    int m_fd = -1;
};
