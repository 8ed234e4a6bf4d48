// A phone book whose file or folder cannot be written opens read-only: it is
// read as it is, every write is refused with one Turkish message, and the
// folder is left exactly as it was.
#include "PhonebookFile.h"
#include "ReadOnlyFolder.h"
#include "phonebook/PhonebookDatabase.h"
#include "phonebook/PhonebookError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace {

enum class Journal { Rollback, WriteAheadLog, LogLeftByAKill };

struct ReadOnlyCase {
    const char* name;
    mode_t folder;
    mode_t file; // db.mdb and whatever lies beside it
    Journal journal;
    int rows; // what the book shows
};

void PrintTo(const ReadOnlyCase& tested, std::ostream* out) {
    *out << tested.name;
}

// The folder's names with their files' digests. The log's lock file is left
// out: SQLite may rebuild its index, which holds no contact.
QStringList snapshot(const QString& dir) {
    QStringList entries;
    for (const QFileInfo& entry : QDir(dir).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
        QFile content(entry.filePath());
        QByteArray digest;
        if (!entry.fileName().endsWith(QStringLiteral("-shm")) && content.open(QIODevice::ReadOnly)) {
            digest = QCryptographicHash::hash(content.readAll(), QCryptographicHash::Sha1).toHex();
        }
        entries << entry.fileName() + QLatin1Char(' ') + QString::fromLatin1(digest);
    }
    return entries;
}

std::string refusalFor(const QString& path) {
    return "Rehber dosyası salt okunur: " +
           QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdString();
}

class ReadOnlyBookTest : public ::testing::TestWithParam<ReadOnlyCase> {
protected:
    void SetUp() override {
        file.add({{"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"},
                  {"Mehmet Öz", "05329876543", "Vodafone", "İstanbul"}});
        if (GetParam().journal == Journal::WriteAheadLog) {
            file.exec("PRAGMA journal_mode=WAL");
        } else if (GetParam().journal == Journal::LogLeftByAKill) {
            file.addToWriteAheadLogOnly({{"Zeynep Çelik", "05551112233", "Avea", "Ankara"}});
        }
        before = snapshot(file.dir());
        folder.emplace(file.dir(), GetParam().folder, GetParam().file);
        if (!folder->holds(GetParam().folder, GetParam().file)) {
            GTEST_SKIP() << ReadOnlyFolder::kCannot;
        }
    }

    void TearDown() override {
        conn.reset();
        folder.reset();
        EXPECT_EQ(snapshot(file.dir()), before) << "the folder is as it was";
    }

    PhonebookFile file;
    QStringList before;
    std::optional<ReadOnlyFolder> folder;
    std::optional<PhonebookDatabase> conn{std::in_place};
};

TEST_P(ReadOnlyBookTest, ShowsTheBookAndRefusesEveryWrite) {
    conn->open(file.path());
    EXPECT_TRUE(conn->isReadOnly());
    const std::vector<Contact> rows = conn->select();
    ASSERT_EQ(static_cast<int>(rows.size()), GetParam().rows);
    EXPECT_EQ(conn->select(boxes({{Field::grup, "ank"}})).size(), GetParam().rows == 3 ? 2u : 1u);

    Contact changed = rows.front();
    changed.adsoyad = QStringLiteral("Başka");
    const std::pair<const char*, std::function<void()>> writes[] = {
        {"insert", [&] { conn->insert(changed); }},
        {"update", [&] { conn->update(changed); }},
        {"remove", [&] { conn->remove(changed.id); }},
        {"begin", [&] { conn->begin(); }},
    };
    for (const auto& [name, write] : writes) {
        try {
            write();
            ADD_FAILURE() << name << " was not refused";
        } catch (const PhonebookError& error) {
            EXPECT_EQ(error.what(), refusalFor(file.path())) << name;
        }
    }
    EXPECT_EQ(conn->select().size(), rows.size());
}

INSTANTIATE_TEST_SUITE_P(
    Book, ReadOnlyBookTest,
    ::testing::Values(ReadOnlyCase{"FolderReadOnly", 0555, 0666, Journal::Rollback, 2},
                      ReadOnlyCase{"FileReadOnly", 0777, 0444, Journal::Rollback, 2},
                      ReadOnlyCase{"BothReadOnly", 0555, 0444, Journal::Rollback, 2},
                      ReadOnlyCase{"WriteAheadLogModeInAReadOnlyFolder", 0555, 0666, Journal::WriteAheadLog,
                                   2},
                      ReadOnlyCase{"LogLeftByAKillInAReadOnlyFolder", 0555, 0666, Journal::LogLeftByAKill, 3},
                      ReadOnlyCase{"LogLeftByAKillAllReadOnly", 0555, 0444, Journal::LogLeftByAKill, 3}),
    [](const ::testing::TestParamInfo<ReadOnlyCase>& param) { return std::string(param.param.name); });

TEST(ReadOnlyFolderTest, MissingBookIsStillAnError) {
    PhonebookFile file;
    QFile::remove(file.path());
    const ReadOnlyFolder folder(file.dir(), 0555, 0666);
    if (!folder.holds(0555, 0444)) {
        GTEST_SKIP() << ReadOnlyFolder::kCannot;
    }
    PhonebookDatabase conn;
    EXPECT_THROW(conn.open(file.path()), PhonebookError);
    EXPECT_FALSE(QFileInfo::exists(file.path()));
}

} // namespace

namespace {

// A write cut short leaves db.mdb half-written and its journal beside it: a folder nobody here may write
// cannot roll it back, so the book is not opened (immutable, it would show the half-written pages).
TEST(ReadOnlyFolderTest, AJournalLeftByACrashIsNotPassedOver) {
    PhonebookFile file;
    file.add({{"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"}});
    QProcess writer;
    writer.start(QStringLiteral(PHONEBOOK_WRITER_PROGRAM),
                 {file.path(), QStringLiteral("20000"), QStringLiteral("1"), QStringLiteral("spill")});
    ASSERT_TRUE(writer.waitForStarted(20000));
    QByteArray output;
    while (!output.contains("open")) {
        ASSERT_TRUE(writer.waitForReadyRead(20000)) << writer.readAllStandardError().constData();
        output += writer.readAllStandardOutput();
    }
    writer.kill();
    ASSERT_TRUE(writer.waitForFinished(20000));
    ASSERT_TRUE(QFileInfo::exists(file.path() + QStringLiteral("-journal")));
    const QStringList before = snapshot(file.dir());
    {
        const ReadOnlyFolder folder(file.dir(), 0555, 0444);
        if (!folder.holds(0555, 0444)) {
            GTEST_SKIP() << ReadOnlyFolder::kCannot;
        }
        EXPECT_EQ(openingFailure(file.path()),
                  "Rehber dosyasının yarım kalmış bir yazması var; klasörüne yazabilen "
                  "biri programı bir kez açıp kapatmalı: " +
                      QDir::toNativeSeparators(file.path()).toStdString());
    }
    EXPECT_EQ(snapshot(file.dir()), before) << "the folder is as it was";
    PhonebookDatabase conn;
    conn.open(file.path());
    EXPECT_EQ(conn.select().size(), 1u) << "opened where it may be written, the journal is rolled back";
}

} // namespace
