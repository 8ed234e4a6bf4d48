// The send log of a phone book that cannot be written: a file of its own in the user's data folder.
#include "app/SendLogFile.h"

#include "PhonebookFile.h"
#include "ReadOnlyFolder.h"
#include "messaging/SendLog.h"
#include "phonebook/PhonebookDatabase.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    bool bookWritable;
};

class SendLogFileTest : public ::testing::TestWithParam<Case> {};

TEST_P(SendLogFileTest, MessagesAreRecordedWhereTheyCanBe) {
    PhonebookFile file;
    QTemporaryDir data;
    PhonebookDatabase book;
    if (GetParam().bookWritable) {
        book.open(file.path());
    } else {
        const ReadOnlyFolder folder(file.dir(), 0555, 0444);
        if (!folder.holds(0555, 0444)) {
            GTEST_SKIP() << ReadOnlyFolder::kCannot;
        }
        book.open(file.path());
        ASSERT_TRUE(book.isReadOnly());
    }
    QStringList told;
    SendLogFile where(book, data.path(), [&told](const QString& text) { told << text; });
    SendLog log([&where] { return where.connection(); });
    EXPECT_EQ(where.exists(), GetParam().bookWritable);

    const qint64 id = log.add({"+905321234567", "Ayşe", "Merhaba", {}, SendLog::Durum::Bekliyor});
    log.settle(id, "+CMGS: 4", SendLog::Durum::Gonderildi);
    log.add({"+905321234568", "Can", "Merhaba", {}, SendLog::Durum::Bekliyor});
    EXPECT_TRUE(where.exists());

    const QString separate = data.filePath("gonderim.db");
    if (GetParam().bookWritable) {
        EXPECT_TRUE(told.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(separate));
        EXPECT_EQ(file.scalar("select group_concat(durum) from gonderim"), "gönderildi,bekliyor");
    } else {
        EXPECT_EQ(told, QStringList{"Rehber dosyası salt okunur; gönderim kaydı şurada tutuluyor: " +
                                    QDir::toNativeSeparators(separate)})
            << "said once";
        QSqlQuery rows(where.connection());
        ASSERT_TRUE(rows.exec("select group_concat(durum) from gonderim") && rows.next());
        EXPECT_EQ(rows.value(0).toString(), "gönderildi,bekliyor");
    }
}

INSTANTIATE_TEST_SUITE_P(Books, SendLogFileTest,
                         ::testing::Values(Case{"Writable", true}, Case{"ReadOnly", false}),
                         [](const auto& test) { return std::string(test.param.name); });

} // namespace
