#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// One program per phone book. Two programs on one book would each send its campaign and mark the
// other's messages as cut off. The lock is a file beside db.mdb, reached through the book's real
// path (links resolved, however the folder was named); beside a book in a folder the user may not
// write, it is kept in the user's data folder instead. A lock left by a program that crashed does
// not hold: its process is gone. Where no lock can be made at all, the program runs without one.
class PhonebookLock {
public:
    // Takes the lock of `bookFile`; false when another running program holds it.
    bool tryLock(const QString& bookFile, const QString& dataFolder);
    // "/home/ayse/Belgeler/db.mdb.lock"
    QString fileName() const;

private:
    std::unique_ptr<QLockFile> lock_;
};
