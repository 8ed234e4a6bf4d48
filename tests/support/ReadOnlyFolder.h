#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

// While alive, this thread opens, creates and checks files as the
// unprivileged user "nobody" would when the test runs as root, so that the
// permissions a test sets really refuse writes. Other threads keep theirs.
class UnprivilegedFiles {
public:
    UnprivilegedFiles() {
        if (geteuid() == 0) {
            setfsgid(kNobody);
            setfsuid(kNobody);
            switched_ = true;
        }
    }
    ~UnprivilegedFiles() {
        if (switched_) {
            setfsuid(0);
            setfsgid(0);
        }
    }
    UnprivilegedFiles(const UnprivilegedFiles&) = delete;
    UnprivilegedFiles& operator=(const UnprivilegedFiles&) = delete;

private:
    static constexpr uid_t kNobody = 65534;
    bool switched_ = false;
};

// A folder, and the files in it, given modes that refuse writes to this
// thread as they would to a user without rights there, whoever runs the
// tests. The folder is made the test's own again when this ends.
class ReadOnlyFolder {
public:
    ReadOnlyFolder(const QString& dir, mode_t folder, mode_t files) : dir_(dir) {
        for (const QFileInfo& entry : QDir(dir).entryInfoList(QDir::Files | QDir::Hidden)) {
            ::chmod(QFile::encodeName(entry.filePath()).constData(), files);
        }
        ::chmod(QFile::encodeName(dir).constData(), folder);
        unprivileged_.emplace();
        QFile probe(QDir(dir).filePath(QStringLiteral("probe")));
        folderRefuses_ = !probe.open(QIODevice::WriteOnly);
        probe.remove();
        QFile book(QDir(dir).filePath(QStringLiteral("db.mdb")));
        fileRefuses_ = !book.open(QIODevice::ReadWrite | QIODevice::ExistingOnly);
    }
    ~ReadOnlyFolder() {
        unprivileged_.reset();
        ::chmod(QFile::encodeName(dir_).constData(), 0700);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // Whether the modes hold for this thread: a root process that may not
    // take another user's file identity still writes anywhere.
    bool holds(mode_t folder, mode_t files) const {
        return folderRefuses_ == ((folder & 0222) == 0) && fileRefuses_ == ((files & 0222) == 0);
    }

    static constexpr const char* kCannot = "this process cannot give up its right to write the test's folder "
                                           "(root without CAP_SETUID?): read-only books are not tested here";

private:
    QString dir_;
    std::optional<UnprivilegedFiles> unprivileged_;
    bool folderRefuses_ = false;
    bool fileRefuses_ = false;
};
