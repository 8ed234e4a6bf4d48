#include "PhonebookFile.h"
#include "phonebook/PhonebookDatabase.h"
#include "phonebook/PhonebookError.h"

#include <gtest/gtest.h>

namespace {

std::vector<Contact> people(int count) {
    std::vector<Contact> rows(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        Contact& row = rows[static_cast<std::size_t>(i)];
        row.adsoyad = QStringLiteral("Kişi %1").arg(i);
        row.telefon = QStringLiteral("05%1").arg(320000000 + i);
        row.gsm = i % 2 == 0 ? QStringLiteral("") : QStringLiteral("Avea");
        row.grup = i % 3 == 0 ? QString() : QStringLiteral("İş");
    }
    return rows;
}

class BulkInsertTest : public ::testing::Test {
protected:
    void SetUp() override {
        file.add({{"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"}});
        conn.open(file.path(), 50);
    }

    // The rows as the file has them now, after the first one.
    std::vector<Contact> stored() {
        std::vector<Contact> rows = conn.select();
        rows.erase(rows.begin());
        return rows;
    }

    PhonebookFile file;
    PhonebookDatabase conn;
};

TEST_F(BulkInsertTest, WritesEveryRowAsGivenWithTheIdsTheFileChose) {
    // Two whole groups and some rows after them.
    std::vector<Contact> rows = people(2 * PhonebookDatabase::BulkInsert::kGroup + 5);
    rows[40].adsoyad = QString(255, u'ş'); // 255 letters are allowed, though 510 bytes
    std::size_t written = 0;
    conn.begin();
    PhonebookDatabase::BulkInsert(conn).write(rows, written);
    conn.commit();
    EXPECT_EQ(written, rows.size());
    EXPECT_EQ(stored(), rows) << "texts, empty texts, columns without value and ids";
    EXPECT_EQ(file.count("grup is null"), 23);
    EXPECT_EQ(file.count("typeof(adsoyad) <> 'text' or typeof(telefon) <> 'text' or typeof(gsm) <> 'text'"),
              0)
        << "texts are stored as texts";
    EXPECT_EQ(file.count("adsoyad like 'Kişi 1%' and length(adsoyad) = 6"), 1)
        << "counted in letters, not bytes";
}

TEST_F(BulkInsertTest, ARefusedRowInAGroupKeepsTheRowsBeforeItAndIsNamed) {
    std::vector<Contact> rows = people(2 * PhonebookDatabase::BulkInsert::kGroup);
    const std::size_t refused = PhonebookDatabase::BulkInsert::kGroup + 7;
    rows[refused].adsoyad = QString(256, u'x');
    std::size_t written = 0;
    conn.begin();
    PhonebookDatabase::BulkInsert inserts(conn);
    try {
        inserts.write(rows, written);
        FAIL() << "the long name must be refused";
    } catch (const PhonebookError& error) {
        EXPECT_NE(std::string(error.what()).find("Ad soyad 255 karakterden uzun olamaz"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(written, refused);
    EXPECT_TRUE(conn.inTransaction()) << "only the statement was undone";
    conn.commit();
    rows.resize(refused);
    EXPECT_EQ(stored(), rows);
}

} // namespace
