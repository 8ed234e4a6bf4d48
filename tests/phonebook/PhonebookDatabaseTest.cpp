#include "phonebook/PhonebookDatabase.h"

#include "PhonebookFile.h"
#include "phonebook/PhonebookError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>

namespace {

std::vector<QString> names(const std::vector<Contact>& rows) {
    std::vector<QString> result;
    for (const Contact& row : rows) {
        result.push_back(row.adsoyad);
    }
    return result;
}

class PhonebookSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        file.add({
            {"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"},
            {"Mehmet Öz", "05329876543", "Vodafone", "İSTANBUL"},
            {"İsmail Işık", "05551112233", "Avea", "ankara ofis"},
            {"Zeynep Çelik", std::nullopt, "Avea", "Ankara"},
            {"Ali \"Usta\" Kaya", "0212%555_01", std::nullopt, "İzmir"},
        });
        conn.open(file.path());
    }

    std::vector<QString> search(SearchFilter filter) { return names(conn.select(filter)); }

    PhonebookFile file;
    PhonebookDatabase conn;
};

TEST_F(PhonebookSearchTest, EmptyBoxesShowTheWholeBookNullsIncluded) {
    EXPECT_EQ(conn.select().size(), 5u);
    EXPECT_EQ(conn.select(SearchFilter{}).size(), 5u);
    const auto rows = conn.select();
    const auto zeynep =
        std::find_if(rows.begin(), rows.end(), [](const Contact& c) { return c.adsoyad.startsWith("Z"); });
    ASSERT_NE(zeynep, rows.end());
    EXPECT_TRUE(zeynep->telefon.isNull()) << "a column without a value reads back as null";
}

TEST_F(PhonebookSearchTest, GroupContainsInAnyCase) {
    EXPECT_EQ(search(boxes({{Field::grup, "ank"}})),
              (std::vector<QString>{"Ayşe Yılmaz", "İsmail Işık", "Zeynep Çelik"}));
}

TEST_F(PhonebookSearchTest, TurkishLettersMatchTheirCapitalsAndAllFourIs) {
    EXPECT_EQ(search(boxes({{Field::grup, "istanbul"}})), std::vector<QString>{"Mehmet Öz"});
    EXPECT_EQ(search(boxes({{Field::adsoyad, "ISMAIL IŞIK"}})), std::vector<QString>{"İsmail Işık"});
    EXPECT_EQ(search(boxes({{Field::adsoyad, "yilmaz"}})), std::vector<QString>{"Ayşe Yılmaz"});
    EXPECT_EQ(search(boxes({{Field::adsoyad, "ÇELİK"}})), std::vector<QString>{"Zeynep Çelik"});
    EXPECT_EQ(search(boxes({{Field::adsoyad, "AYŞE"}})), std::vector<QString>{"Ayşe Yılmaz"});
}

TEST_F(PhonebookSearchTest, ABoxWithTextNeverMatchesAColumnWithoutValue) {
    EXPECT_EQ(search(boxes({{Field::grup, "ankara"}, {Field::telefon, "0"}})),
              (std::vector<QString>{"Ayşe Yılmaz", "İsmail Işık"}));
    EXPECT_TRUE(search(boxes({{Field::gsm, "%"}})).size() == 4u) << "the row without an operator is left out";
}

TEST_F(PhonebookSearchTest, PercentAndUnderscoreStayWildcards) {
    EXPECT_EQ(search(boxes({{Field::telefon, "0535%567"}})), std::vector<QString>{"Ayşe Yılmaz"});
    EXPECT_EQ(search(boxes({{Field::telefon, "0_3_1"}})), std::vector<QString>{"Ayşe Yılmaz"});
}

TEST_F(PhonebookSearchTest, QuotesAndSqlTextAreSearchedForNotExecuted) {
    EXPECT_EQ(search(boxes({{Field::adsoyad, "\"Usta\""}})), std::vector<QString>{"Ali \"Usta\" Kaya"});
    EXPECT_TRUE(search(boxes({{Field::adsoyad, "\" or 1=1 or \""}})).empty());
    EXPECT_TRUE(search(boxes({{Field::grup, "'; delete from numara; --"}})).empty());
    EXPECT_TRUE(search(boxes({{Field::grup, "%\" union select * from numara --"}})).empty());
    EXPECT_EQ(file.count(), 5) << "no statement text typed into a box changes the book";
}

TEST_F(PhonebookSearchTest, WritesKeepNullsAndReturnTheNewId) {
    Contact added;
    added.adsoyad = "Yeni Kişi";
    const qint64 id = conn.insert(added);
    EXPECT_GT(id, 0);
    EXPECT_EQ(file.count("id = " + std::to_string(id) + " and telefon is null and adsoyad = 'Yeni Kişi'"), 1);

    added.id = id;
    added.telefon = "05000000000";
    conn.update(added);
    EXPECT_EQ(file.scalar("select telefon from numara where id = " + std::to_string(id)), "05000000000");

    conn.remove(id);
    EXPECT_EQ(file.count(), 5);
}

TEST(PhonebookOpenTest, MissingFileIsAnErrorAndNoFileAppears) {
    QTemporaryDir dir;
    const QString path = dir.filePath("db.mdb");
    PhonebookDatabase conn;
    try {
        conn.open(path);
        FAIL() << "opening a missing phone book must fail";
    } catch (const PhonebookError& error) {
        EXPECT_FALSE(std::string(error.what()).empty());
    }
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(PhonebookOpenTest, FileThatIsNotADatabaseFailsOnFirstRead) {
    QTemporaryDir dir;
    const QString path = dir.filePath("db.mdb");
    QFile garbage(path);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();

    PhonebookDatabase conn;
    EXPECT_THROW(
        {
            conn.open(path);
            conn.select();
        },
        PhonebookError);
}

TEST(PhonebookOpenTest, FileWithoutTheTableFailsAtOpening) {
    PhonebookFile file;
    file.exec("drop table numara");
    PhonebookDatabase conn;
    EXPECT_THROW(conn.open(file.path()), PhonebookError);
}

TEST(PhonebookOpenTest, LockedFileStillReadsButRefusesWritesNamingTheFile) {
    PhonebookFile file;
    file.add({{"Ayşe", "0535", "Avea", "Ankara"}});
    PhonebookDatabase conn;
    conn.open(file.path(), 50);
    WriteLock lock(file.path());
    EXPECT_EQ(conn.select().size(), 1u) << "another program writing must not stop reading";
    Contact added;
    added.adsoyad = "Mehmet";
    try {
        conn.insert(added);
        FAIL() << "a locked file must refuse the write";
    } catch (const PhonebookError& error) {
        EXPECT_EQ(error.what(), "Rehber dosyası başka bir programda açık, biraz sonra yeniden deneyin: " +
                                    QDir::toNativeSeparators(file.path()).toStdString());
    }
}

TEST(PhonebookOpenTest, ColumnsLongerThan255CharactersAreRefused) {
    PhonebookFile file;
    PhonebookDatabase conn;
    conn.open(file.path());
    Contact added;
    added.adsoyad = QString(256, QChar('a'));
    EXPECT_THROW(conn.insert(added), PhonebookError);
    added.adsoyad = QString(255, QChar(u'ş'));
    EXPECT_NO_THROW(conn.insert(added));
}

} // namespace

namespace {

// A numara table whose id is not the row's own key: imported rows would carry the wrong ids and "Sil"
// delete another contact. Such a file is refused at opening, saying why.
class RowKeyTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RowKeyTest, AnIdThatIsNotTheRowsKeyIsRefused) {
    PhonebookFile file;
    file.exec("drop table numara; create table numara " + std::string(GetParam()));
    EXPECT_EQ(openingFailure(file.path()),
              "Rehber dosyası kullanılamaz: numara tablosunun id sütunu kaydın kendi numarası "
              "(INTEGER PRIMARY KEY) değil: " +
                  QDir::toNativeSeparators(file.path()).toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Tables, RowKeyTest,
    ::testing::Values(
        "(id INTEGER, adsoyad TEXT, telefon TEXT, gsm TEXT, grup TEXT)",
        "(id INT PRIMARY KEY, adsoyad TEXT, telefon TEXT, gsm TEXT, grup TEXT)",
        "(id TEXT PRIMARY KEY, adsoyad TEXT, telefon TEXT, gsm TEXT, grup TEXT)",
        "(id INTEGER PRIMARY KEY, adsoyad TEXT, telefon TEXT, gsm TEXT, grup TEXT) WITHOUT ROWID",
        "(id INTEGER, adsoyad TEXT, telefon TEXT, gsm TEXT, grup TEXT, PRIMARY KEY (id, adsoyad))"));

TEST(PhonebookOpenTest, TheProgramsOwnSchemaAndAPlainIntegerKeyOpen) {
    for (const char* table :
         {"(id INTEGER PRIMARY KEY, adsoyad TEXT, telefon TEXT, gsm TEXT, grup TEXT)",
          "(ID integer primary key autoincrement, adsoyad, telefon, gsm, grup, not_ TEXT)"}) {
        PhonebookFile file;
        file.exec("drop table numara; create table numara " + std::string(table));
        PhonebookDatabase conn;
        EXPECT_NO_THROW(conn.open(file.path())) << table;
    }
}

// What the store says names the file, in the user's words.
struct FaultCase {
    const char* name;
    std::function<void(PhonebookFile&)> spoil;
    const char* message; // before ": <path>"
};

class StoreFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(StoreFaultTest, SaysWhatIsWrongAndNamesTheFile) {
    PhonebookFile file;
    GetParam().spoil(file);
    EXPECT_EQ(openingFailure(file.path()),
              std::string(GetParam().message) + ": " + QDir::toNativeSeparators(file.path()).toStdString());
}

void overwrite(PhonebookFile& file, const QByteArray& bytes) {
    QFile out(file.path());
    ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StoreFaultTest,
    ::testing::Values(
        FaultCase{"NotADatabase", [](PhonebookFile& file) { overwrite(file, QByteArray(4096, 'x')); },
                  "Rehber dosyası bir veritabanı değil"},
        FaultCase{"NoTable", [](PhonebookFile& file) { file.exec("drop table numara"); },
                  "Rehber dosyasında numara tablosu yok"},
        FaultCase{"NoColumn",
                  [](PhonebookFile& file) {
                      file.exec(
                          "drop table numara; create table numara (id INTEGER PRIMARY KEY, adsoyad, telefon, "
                          "gsm)");
                  },
                  "Rehber dosyasındaki numara tablosunda grup sütunu yok"}),
    [](const ::testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

} // namespace
