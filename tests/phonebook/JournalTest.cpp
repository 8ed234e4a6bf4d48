// The file db.mdb alone holds the book whenever nothing is being written: it
// is kept in the rollback-journal mode, and a write-ahead log found beside it
// is written back into it on opening.
#include "PhonebookFile.h"
#include "phonebook/PhonebookDatabase.h"

#include <QFileInfo>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

enum class Found { RollbackJournal, WriteAheadLog, LogLeftByAKill };

struct JournalCase {
    const char* name;
    Found found;
    int rows; // the book's rows before this program writes
};

void PrintTo(const JournalCase& tested, std::ostream* out) {
    *out << tested.name;
}

class JournalTest : public ::testing::TestWithParam<JournalCase> {
protected:
    void SetUp() override {
        file.add({{"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"}});
        if (GetParam().found == Found::WriteAheadLog) {
            file.exec("PRAGMA journal_mode=WAL");
        } else if (GetParam().found == Found::LogLeftByAKill) {
            file.addToWriteAheadLogOnly({{"Mehmet Öz", "05329876543", "Vodafone", "İstanbul"}});
            ASSERT_EQ(backupOf(file.path()).rows, 1) << "the killed run's row is in the log only";
        }
    }

    bool besideTheFile(const char* suffix) const {
        return QFileInfo::exists(file.path() + QString::fromLatin1(suffix));
    }

    PhonebookFile file;
    PhonebookDatabase conn;
};

TEST_P(JournalTest, OpeningLeavesTheFileAloneHoldingTheWholeBook) {
    conn.open(file.path());
    EXPECT_FALSE(conn.isReadOnly());
    EXPECT_EQ(file.scalar("PRAGMA journal_mode"), "delete");
    EXPECT_FALSE(besideTheFile("-wal"));
    EXPECT_FALSE(besideTheFile("-shm"));
    EXPECT_EQ(static_cast<int>(conn.select().size()), GetParam().rows);

    Contact added;
    added.adsoyad = QStringLiteral("Yeni Kişi");
    conn.insert(added);
    const Backup backup = backupOf(file.path());
    EXPECT_EQ(backup.integrity, "ok");
    EXPECT_EQ(backup.rows, GetParam().rows + 1) << "a saved contact is in db.mdb at once";
}

INSTANTIATE_TEST_SUITE_P(Found, JournalTest,
                         ::testing::Values(JournalCase{"RollbackJournal", Found::RollbackJournal, 1},
                                           JournalCase{"WriteAheadLog", Found::WriteAheadLog, 1},
                                           JournalCase{"LogLeftByAKill", Found::LogLeftByAKill, 2}),
                         [](const ::testing::TestParamInfo<JournalCase>& param) {
                             return std::string(param.param.name);
                         });

// Another program that holds the file open in write-ahead-log mode keeps it
// in that mode; every commit of ours is then copied into the file at once.
TEST(JournalHeldTest, FileKeptInWriteAheadLogModeStillHoldsEverySavedContact) {
    PhonebookFile file;
    file.add({{"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"}});
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "PRAGMA journal_mode=WAL; select count(*) from numara", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);

    PhonebookDatabase conn;
    conn.open(file.path());
    EXPECT_EQ(file.scalar("PRAGMA journal_mode"), "wal");
    Contact added;
    added.adsoyad = QStringLiteral("Yeni Kişi");
    conn.insert(added);
    conn.begin();
    conn.insert(added);
    conn.commit();
    const Backup backup = backupOf(file.path());
    EXPECT_EQ(backup.integrity, "ok");
    EXPECT_EQ(backup.rows, 3);
    sqlite3_close(other);
}

} // namespace
