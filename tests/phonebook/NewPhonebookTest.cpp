#include "phonebook/NewPhonebook.h"

#include "phonebook/PhonebookDatabase.h"
#include "phonebook/PhonebookError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray contents(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(NewPhonebookTest, MakesAnEmptyBookTheProgramOpensAndLeavesNothingElse) {
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("new/folder/db.mdb"));
    ASSERT_TRUE(createPhonebook(fileName));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("new/folder"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{"db.mdb"})
        << "no draft is left behind";
    PhonebookDatabase conn;
    conn.open(fileName);
    EXPECT_TRUE(conn.select().empty());
}

TEST(NewPhonebookTest, NeverReplacesAFileThatIsThere) {
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("db.mdb"));
    for (const QByteArray& existing : {QByteArray("not a database"), QByteArray()}) {
        QFile file(fileName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(existing);
        file.close();
        EXPECT_FALSE(createPhonebook(fileName));
        EXPECT_EQ(contents(fileName), existing);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"db.mdb"});
    }
}

TEST(NewPhonebookTest, AFolderThatCannotBeMadeIsTheError) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("data")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    try {
        createPhonebook(dir.filePath(QStringLiteral("data/db.mdb")));
        FAIL() << "no error";
    } catch (const PhonebookError& error) {
        EXPECT_TRUE(QString::fromUtf8(error.what()).startsWith("Rehber oluşturulamadı: ")) << error.what();
    }
}

} // namespace
