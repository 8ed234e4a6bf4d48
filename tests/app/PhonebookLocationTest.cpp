#include "app/PhonebookLocation.h"

#include "PhonebookFile.h"
#include "phonebook/PhonebookDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

enum class Book { none, valid, unopenable };
enum class Place { beside, dataFolder };

struct LocationCase {
    const char* name;
    Book beside;        // what lies beside the executable
    bool folderIsUsers; // whether the user may write into the executable's folder
    Book inDataFolder;  // what lies in the user's data folder
    Place expected;
    bool created;
    bool bySetup = false; // whether the Windows setup program's uninstaller lies beside the executable
};

const LocationCase kCases[] = {
    {"BookBesideAWritableExecutable", Book::valid, true, Book::none, Place::beside, false},
    {"BookBesideAnInstalledExecutable", Book::valid, false, Book::valid, Place::beside, false},
    {"UnopenableBookBesideIsStillTheBook", Book::unopenable, false, Book::none, Place::beside, false},
    {"NoBookInAWritableFolderIsTheStartUpError", Book::none, true, Book::none, Place::beside, false},
    {"NoBookInAWritableFolderIgnoresTheDataFolder", Book::none, true, Book::valid, Place::beside, false},
    {"InstalledFirstStartMakesTheBook", Book::none, false, Book::none, Place::dataFolder, true},
    {"InstalledLaterStartsUseTheBook", Book::none, false, Book::valid, Place::dataFolder, false},
    {"InstalledUnopenableBookIsNeverReplaced", Book::none, false, Book::unopenable, Place::dataFolder, false},
    // The setup program installs into a folder of the user's own.
    {"SetupFirstStartMakesTheBook", Book::none, true, Book::none, Place::dataFolder, true, true},
    {"SetupLaterStartsUseTheBook", Book::none, true, Book::valid, Place::dataFolder, false, true},
    {"SetupWithABookBesideKeepsIt", Book::valid, true, Book::valid, Place::beside, false, true},
};

const QByteArray kGarbage("this is no phone book\n");

QByteArray bytes(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class PhonebookLocationTest : public ::testing::TestWithParam<LocationCase> {
protected:
    // Puts `book` at `fileName`, in a folder made for it.
    void put(Book book, const QString& fileName) const {
        QDir().mkpath(QFileInfo(fileName).path());
        if (book == Book::valid) {
            ASSERT_TRUE(QFile::copy(source.path(), fileName));
        } else if (book == Book::unopenable) {
            QFile file(fileName);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(kGarbage);
        } else {
            QDir(QFileInfo(fileName).path()).removeRecursively();
        }
    }

    PhonebookFile source;
    QTemporaryDir executableDir;
    QTemporaryDir home;
    QString dataDir = home.filePath(QStringLiteral("share/zemvora-sms"));
};

TEST_P(PhonebookLocationTest, DecidedOnceAtStartUp) {
    const LocationCase& c = GetParam();
    source.add({{"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"}});
    const QString beside = executableDir.filePath(QStringLiteral("db.mdb"));
    const QString own = QDir(dataDir).filePath(QStringLiteral("db.mdb"));
    if (c.beside != Book::none) {
        put(c.beside, beside);
    }
    put(c.inDataFolder, own);
    if (c.bySetup) {
        QFile uninstaller(executableDir.filePath(QStringLiteral("uninstall.exe")));
        ASSERT_TRUE(uninstaller.open(QIODevice::WriteOnly));
    }
    const QByteArray besideBefore = bytes(beside);
    const QByteArray ownBefore = bytes(own);
    QStringList asked;
    const auto mayWrite = [&](const QString& folder) {
        asked << folder;
        return c.folderIsUsers;
    };

    const PhonebookLocation location = locatePhonebook(executableDir.path(), dataDir, mayWrite);

    EXPECT_EQ(location.fileName, c.expected == Place::beside ? beside : own);
    EXPECT_EQ(location.created, c.created);
    EXPECT_TRUE(asked.isEmpty() || asked == QStringList{executableDir.path()})
        << asked.join(',').toStdString();
    EXPECT_EQ(QFileInfo::exists(beside), c.beside != Book::none) << "nothing is made beside the executable";
    EXPECT_EQ(bytes(beside), besideBefore) << "the book beside the executable is untouched";
    if (c.created) {
        PhonebookDatabase conn;
        conn.open(own);
        EXPECT_TRUE(conn.select().empty()) << "the new book is empty";
    } else {
        EXPECT_EQ(QFileInfo::exists(own), c.inDataFolder != Book::none)
            << "nothing is made in the data folder";
        EXPECT_EQ(bytes(own), ownBefore) << "the data folder's book is untouched";
    }

    const PhonebookLocation again = locatePhonebook(executableDir.path(), dataDir, mayWrite);
    EXPECT_EQ(again.fileName, location.fileName) << "the next start finds the same book";
    EXPECT_FALSE(again.created) << "the new book is announced once";
}

INSTANTIATE_TEST_SUITE_P(Rules, PhonebookLocationTest, ::testing::ValuesIn(kCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(PhonebookLocationRulesTest, TheUsersFoldersAreDecidedByTheSystemsAccessCheck) {
    QTemporaryDir dir;
    EXPECT_TRUE(userMayWrite(dir.path()));
    EXPECT_FALSE(userMayWrite(dir.filePath(QStringLiteral("missing"))));
    QFile file(dir.filePath(QStringLiteral("plain-file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_FALSE(userMayWrite(file.fileName())) << "a file is no folder";
#ifdef Q_OS_WIN
    EXPECT_TRUE(userDataFolder().endsWith(QStringLiteral("/AppData/Local/Zemvora Sms")))
        << userDataFolder().toStdString();
#else
    EXPECT_TRUE(userDataFolder().endsWith(QStringLiteral("/zemvora-sms")));
#endif
}

} // namespace
