#include "phonebook/SpreadsheetImport.h"

#include "GeneratedSheet.h"
#include "PhonebookFile.h"
#include "phonebook/PhonebookError.h"
#include "phonebook/spreadsheet/ReadAheadWorksheet.h"
#include "phonebook/spreadsheet/Worksheet.h"

#include <QFile>
#include <chrono>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

void PrintTo(const ImportCounts& counts, std::ostream* os) {
    *os << importSummary(counts).toStdString();
}

namespace {

class SpreadsheetImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        file.add({{"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"}});
        conn.open(file.path(), 50);
        view.open();
    }

    QString csv(const QByteArray& content) {
        const QString path = file.dir() + QStringLiteral("/contacts.csv");
        QFile out(path);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(content);
        return path;
    }

    static QString corpus(const char* name) {
        return QStringLiteral(ZEMVORA_CORPUS_DIR "/generated/") + QString::fromLatin1(name);
    }

    // The import's failure message, checked to name the row (and maybe the column) first.
    std::string failureOf(const std::function<void()>& import, int row) {
        try {
            import();
        } catch (const PhonebookError& error) {
            const std::string message = error.what();
            const std::string place = "Satır " + std::to_string(row);
            EXPECT_TRUE(message.rfind(place + ": ", 0) == 0 || message.rfind(place + ", sütun ", 0) == 0)
                << message;
            return message;
        }
        ADD_FAILURE() << "the import did not fail";
        return {};
    }

    // The view shows exactly what the file holds, and nothing is pending.
    void expectViewInStepWithTheFile() {
        EXPECT_EQ(view.state(), PhonebookView::State::Browsing);
        EXPECT_FALSE(conn.inTransaction());
        EXPECT_EQ(view.rowCount(), file.count());
        PhonebookDatabase other;
        other.open(file.path(), 50);
        const std::vector<Contact> stored = other.select();
        ASSERT_EQ(stored.size(), static_cast<std::size_t>(view.rowCount()));
        for (int i = 0; i < view.rowCount(); ++i) {
            EXPECT_EQ(view.row(i), stored[static_cast<std::size_t>(i)]) << "row " << i;
        }
    }

    PhonebookFile file;
    PhonebookDatabase conn;
    PhonebookView view{conn};
};

TEST_F(SpreadsheetImportTest, EachNewRowBecomesAContactInColumnOrder) {
    const ImportCounts counts =
        importSpreadsheet(view, csv("Aile;Mehmet Öz;05329876543;Vodafone\n;Zeynep Çelik;05551112233;\n"));
    EXPECT_EQ(counts, (ImportCounts{2, 0, 0}));
    EXPECT_EQ(file.count(), 3);
    EXPECT_EQ(file.count(
                  "grup = 'Aile' and adsoyad = 'Mehmet Öz' and telefon = '05329876543' and gsm = 'Vodafone'"),
              1);
    EXPECT_EQ(file.count("adsoyad = 'Zeynep Çelik' and grup = '' and gsm = ''"), 1)
        << "empty cells are added as empty text";
    EXPECT_EQ(view.rowCount(), 3);
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Zeynep Çelik") << "the last new row is current";
    expectViewInStepWithTheFile();
}

// Nobody is lost: a row without a name but with a number is a contact, a row with neither is passed over
// and counted, blank lines at the end are no rows at all.
struct EveryRowCase {
    const char* name;
    const char* sheet;
    ImportCounts counts;
    int stored; // rows of the book afterwards, the one it had included
};

void PrintTo(const EveryRowCase& c, std::ostream* out) {
    *out << c.name;
}

class EveryRowTest : public SpreadsheetImportTest, public ::testing::WithParamInterface<EveryRowCase> {};

TEST_P(EveryRowTest, EveryRowWithDataIsImportedOrCounted) {
    EXPECT_EQ(importSpreadsheet(view, csv(GetParam().sheet)), GetParam().counts);
    EXPECT_EQ(file.count(), GetParam().stored);
    expectViewInStepWithTheFile();
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, EveryRowTest,
    ::testing::Values(
        EveryRowCase{"NameMissingInRow2",
                     "Aile;Ali;05010000001;Avea\nAile;;05010000002;Avea\nAile;Veli;05010000003;Avea\n",
                     {3, 0, 0, 1, 0},
                     4},
        EveryRowCase{"BlankRowsBetween",
                     "A;Ali;05010000001;\n\n;;;\nİş;;;Avea\nA;Veli;05010000003;\n\n\n",
                     {2, 0, 0, 0, 3},
                     3},
        EveryRowCase{"NameWithoutNumber", ";Ali;;\n;Veli;yok;\n", {2, 0, 2, 0, 0}, 3},
        EveryRowCase{"TwentyBelowAGap",
                     "A;Bir;05010000001;\nA;;;\n"
                     "A;K1;05020000001;\nA;K2;05020000002;\nA;K3;05020000003;\nA;K4;05020000004;\n"
                     "A;K5;05020000005;\nA;K6;05020000006;\nA;K7;05020000007;\nA;K8;05020000008;\n"
                     "A;K9;05020000009;\nA;K10;05020000010;\nA;K11;05020000011;\nA;K12;05020000012;\n"
                     "A;K13;05020000013;\nA;K14;05020000014;\nA;K15;05020000015;\nA;K16;05020000016;\n"
                     "A;K17;05020000017;\nA;K18;05020000018;\nA;K19;05020000019;\nA;K20;05020000020;\n",
                     {21, 0, 0, 0, 1},
                     22},
        EveryRowCase{"DoubledLineEnds",
                     "A;Bir;05010000001;\n\rA;İki;05010000002;\n\rA;Üç;05010000003;\n\r",
                     {3, 0, 0, 0, 0},
                     4},
        EveryRowCase{
            "DoubledCarriageReturns", "A;Bir;05010000001;\r\r\nA;İki;05010000002;\r\r\n", {2, 0, 0, 0, 0}, 3},
        EveryRowCase{"OnlyBlankLines", "\n\n;;\n", {0, 0, 0, 0, 0}, 1}),
    [](const ::testing::TestParamInfo<EveryRowCase>& param) { return std::string(param.param.name); });

TEST_F(SpreadsheetImportTest, TheSummaryCountsTheNamelessAndTheBlank) {
    EXPECT_EQ(importSummary({20, 2, 1, 1, 3}),
              "20 kişi eklendi, 2 zaten rehberde, 1 numarasız ya da geçersiz, 1 adsız, 3 boş satır atlandı");
    EXPECT_EQ(importSummary({20, 0, 0, 0, 0}),
              "20 kişi eklendi, 0 zaten rehberde, 0 numarasız ya da geçersiz");
}

struct HeaderCase {
    const char* firstRow;
    bool skipped;
};

class HeaderRowTest : public SpreadsheetImportTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(HeaderRowTest, AFirstRowWithoutADigitInItsNumberIsAHeader) {
    const QByteArray rows = QByteArray(GetParam().firstRow) + "\nAile;Ali;05010000001;Avea\n";
    const ImportCounts counts = importSpreadsheet(view, csv(rows));
    EXPECT_EQ(counts.added, GetParam().skipped ? 1 : 2);
    EXPECT_EQ(file.count(), GetParam().skipped ? 2 : 3);
}

INSTANTIATE_TEST_SUITE_P(FirstRows, HeaderRowTest,
                         ::testing::Values(HeaderCase{"GRUP;AD SOYAD;TELEFON;OPERATOR", true},
                                           HeaderCase{"Grup;Ad Soyad;Cep Tel.;Operatör", true},
                                           HeaderCase{"Aile;Ad Soyad;Telefon 1;Avea",
                                                      true},                    // names, no number
                                           HeaderCase{"Aile;Can;;Avea", false}, // a contact without a number
                                           HeaderCase{"Aile;Can;05010000009;Avea", false},
                                           HeaderCase{"Grup;Can;05010000009;Avea", false})); // a number

TEST_F(SpreadsheetImportTest, OnlyTheFirstRowCanBeAHeader) {
    const ImportCounts counts =
        importSpreadsheet(view, csv("Aile;Ali;05010000001;Avea\nGrup;Ad Soyad;Telefon;Operatör\n"));
    EXPECT_EQ(counts, (ImportCounts{2, 0, 1}));
}

TEST_F(SpreadsheetImportTest, RowsFoundInTheViewAreSkippedAndTheLastRowAddedIsCurrent) {
    file.add({{"Mehmet Öz", "05329876543", "Vodafone", "İstanbul"}});
    view.reload();
    const ImportCounts counts =
        importSpreadsheet(view, csv("Aile;Yeni;05000000000;Avea\nAile;Başka Ad;05351234567;Avea\n"));
    EXPECT_EQ(counts, (ImportCounts{1, 1, 0}));
    EXPECT_EQ(file.count("adsoyad = 'Başka Ad'"), 0);
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Yeni");

    view.moveTo(0);
    importSpreadsheet(view, csv("Aile;Yine;05000000000;Avea\n"));
    EXPECT_EQ(view.currentRow(), 0) << "an import that adds nothing leaves the current row";
}

// The same phone in another form is the same contact; what is no number
// is kept and never a duplicate.
struct NumberCase {
    const char* stored; // in the phone book before the import
    const char* cell;   // column 3 of the imported row, as text
    bool duplicate;
    const char* kept; // the imported row's telefon when it is added
};

class NumberFormTest : public SpreadsheetImportTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(NumberFormTest, TheDialledNumberDecidesWhatIsADuplicate) {
    const NumberCase& c = GetParam();
    file.add({{"Kayıtlı", c.stored, "Avea", "Aile"}});
    view.reload();
    // After a first row that is surely no header.
    const ImportCounts counts = importSpreadsheet(
        view, csv(QByteArray("Aile;İlk;05000000001;Avea\nAile;Yeni;") + c.cell + ";Avea\n"));
    EXPECT_EQ(counts.alreadyPresent, c.duplicate ? 1 : 0);
    EXPECT_EQ(counts.added, c.duplicate ? 1 : 2);
    if (!c.duplicate) {
        EXPECT_EQ(file.scalar("select telefon from numara where adsoyad = 'Yeni'"), c.kept);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryForm, NumberFormTest,
                         ::testing::Values(NumberCase{"0532 123 99 99", "05321239999", true, ""},
                                           NumberCase{"05321239999", "+90 532 123 99 99", true, ""},
                                           NumberCase{"+905051234567", "05051234567", true, ""},
                                           NumberCase{"00905321112233", "0532 111 22 33", true, ""},
                                           NumberCase{"0542 111 22 33", "5421112233", true, ""},
                                           NumberCase{"0532-123-45-67", "(0532) 123.45.67", true, ""},
                                           NumberCase{"5301234567", "05301234567", true, ""},
                                           NumberCase{"905371234567", "0537 123 45 67", true, ""},
                                           NumberCase{"+49 30 1234567", "0049301234567", true, ""},
                                           NumberCase{"05321234567", "05321234568", false, "05321234568"},
                                           NumberCase{"5321234567", "5321234568", false, "05321234568"},
                                           NumberCase{"+12125550100", "2125550100", false, "2125550100"},
                                           NumberCase{"02121234567", "2121234567", false, "2121234567"},
                                           NumberCase{"", "", false, ""},
                                           NumberCase{"yok", "yok", false, "yok"},
                                           NumberCase{"0501", "0501", false, "0501"}));

TEST_F(SpreadsheetImportTest, OneNumberInManyFormsIsAddedOnce) {
    const ImportCounts counts = importSpreadsheet(
        view, csv("A;Bir;05321239999;\nA;İki;0532 123 99 99;\nA;Üç;+905321239999;\nA;Dört;5321239999;\n"
                  "A;Beş;00905321239999;\n"));
    EXPECT_EQ(counts, (ImportCounts{1, 4, 0}));
    EXPECT_EQ(file.count("adsoyad = 'Bir'"), 1);
}

TEST_F(SpreadsheetImportTest, RowsWithoutANumberAreAllKeptAndCountedAmongTheAdded) {
    const ImportCounts counts =
        importSpreadsheet(view, csv(";A;;\n;B;;\n;C;abc;\n;D;05321112233;\n;E;0532;\n;F;05321112233;\n"));
    // k is part of n: five rows added, four of them without a usable number.
    EXPECT_EQ(counts, (ImportCounts{5, 1, 4}));
    EXPECT_EQ(importSummary(counts), "5 kişi eklendi, 1 zaten rehberde, 4 numarasız ya da geçersiz");
    EXPECT_EQ(file.count("telefon = ''"), 2);
    EXPECT_EQ(file.count(), 1 + 5);
}

struct TelefonCase {
    CellKind kind;
    const char* text;
    const char* kept;
};

class ImportedTelefonTest : public ::testing::TestWithParam<TelefonCase> {};

TEST_P(ImportedTelefonTest, TenDigitsStartingWithFiveGetTheirZeroOthersStayAsTyped) {
    EXPECT_EQ(importedTelefon(Cell{GetParam().kind, GetParam().text}), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(Cells, ImportedTelefonTest,
                         ::testing::Values(TelefonCase{CellKind::Number, "5421234567", "05421234567"},
                                           TelefonCase{CellKind::Text, "5421234567", "05421234567"},
                                           TelefonCase{CellKind::Number, "2125550100", "2125550100"},
                                           TelefonCase{CellKind::Text, "2125550100", "2125550100"},
                                           TelefonCase{CellKind::Number, "905321234567", "905321234567"},
                                           TelefonCase{CellKind::Number, "542123456", "542123456"},
                                           TelefonCase{CellKind::Number, "5.42123456", "5.42123456"},
                                           TelefonCase{CellKind::Text, "542 123 45 67", "542 123 45 67"},
                                           TelefonCase{CellKind::Text, " 5421234567", " 5421234567"},
                                           TelefonCase{CellKind::Text, "٥٤٢١٢٣٤٥٦٧",
                                                       "٥٤٢١٢٣٤٥٦٧"}, // other digits: as typed
                                           TelefonCase{CellKind::Empty, "", ""}));

TEST_F(SpreadsheetImportTest, DuplicatesAreFoundInTheWholeBookWhateverASearchShows) {
    file.add({{"Mehmet Öz", "05329876543", "Vodafone", "İstanbul"}});
    view.search(boxes({{Field::grup, "ankara"}}));
    ASSERT_EQ(view.rowCount(), 1);
    // Another program adds a number after the book was read.
    file.add({{"Başka Program", "05440000000", "Avea", "İzmir"}});
    const ImportCounts counts = importSpreadsheet(
        view, csv("İstanbul;Mehmet Öz;05329876543;Vodafone\nAnkara;Ayşe;05351234567;Turkcell\n"
                  "İzmir;Aynı;0544 000 00 00;Avea\nAnkara;Yeni;05550000000;Avea\n"));
    EXPECT_EQ(counts, (ImportCounts{1, 3, 0}));
    EXPECT_EQ(file.count("telefon = '05329876543'"), 1) << "a number outside the search is no new contact";
    EXPECT_EQ(file.count(), 4);
}

TEST_F(SpreadsheetImportTest, RefusedRowStopsTheImportKeepsTheRowsBeforeItAndLeavesNothingPending) {
    const QByteArray tooLong(256, 'x');
    const QString path =
        csv("A;Bir;05010000001;Avea\nA;" + tooLong + ";05010000002;Avea\nA;Üç;05010000003;Avea\n");
    const std::string message = failureOf([&] { importSpreadsheet(view, path); }, 2);
    EXPECT_NE(message.find("Ad soyad 255 karakterden uzun olamaz"), std::string::npos) << message;
    EXPECT_NE(message.find("\n1 kişi eklendi, 0 zaten rehberde, 0 numarasız ya da geçersiz"),
              std::string::npos)
        << message;
    EXPECT_EQ(file.count(), 2);
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Bir") << "the last row written is current";
    expectViewInStepWithTheFile();

    view.search(boxes({{Field::adsoyad, "bir"}}));
    EXPECT_EQ(view.rowCount(), 1) << "a search works at once";

    view.search({});
    const QString fixed = csv("A;Bir;05010000001;Avea\nA;İki;05010000002;Avea\nA;Üç;05010000003;Avea\n");
    EXPECT_EQ(importSpreadsheet(view, fixed), (ImportCounts{2, 1, 0})) << "only the missing rows are added";
}

TEST_F(SpreadsheetImportTest, FailureDeepInALargeSheetKeepsExactlyTheRowsBeforeIt) {
    QByteArray sheet;
    for (int i = 1; i <= 2500; ++i) {
        const QByteArray name = i == 1500 ? QByteArray(300, 'x') : "Kişi " + QByteArray::number(i);
        sheet += "A;" + name + ";05" + QByteArray::number(300000000 + i) + ";Avea\n";
    }
    const QString path = csv(sheet);
    failureOf([&] { importSpreadsheet(view, path); }, 1500);
    EXPECT_EQ(file.count(), 1 + 1499);
    EXPECT_EQ(file.count("adsoyad = 'Kişi 1501'"), 0);
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Kişi 1499");
    expectViewInStepWithTheFile();
}

TEST_F(SpreadsheetImportTest, LockedPhoneBookFailsAtTheFirstRowAndLeavesNothingPending) {
    WriteLock lock(file.path());
    const QString path = csv("A;Bir;05010000001;Avea\nA;İki;05010000002;Avea\n");
    const std::string message = failureOf([&] { importSpreadsheet(view, path); }, 1);
    EXPECT_NE(message.find("başka bir programda açık"), std::string::npos) << message;
    EXPECT_EQ(view.rowCount(), 1);
    EXPECT_EQ(view.state(), PhonebookView::State::Browsing);
}

TEST_F(SpreadsheetImportTest, AFaultTheReaderMeetsLateIsAFailureAtItsRow) {
    SpreadsheetImport import(view, std::make_unique<GeneratedSheet>(100, 60));
    const std::string message = failureOf([&] { import.step(1h); }, 60);
    EXPECT_NE(message.find("a row is cut short"), std::string::npos) << message;
    EXPECT_EQ(file.count(), 1 + 59);
    EXPECT_TRUE(import.finished());
    expectViewInStepWithTheFile();
}

// A disk that fills up in the middle of an import: SQLite may undo the whole
// open transaction then, rows written before it in the same step included.
class FullDiskTest : public SpreadsheetImportTest,
                     public ::testing::WithParamInterface<std::chrono::milliseconds> {};

TEST_P(FullDiskTest, KeepsEveryRowBeforeTheOneThatDidNotFit) {
    const int pages = std::stoi(file.scalar("pragma page_count"));
    conn.execute(QStringLiteral("pragma max_page_count = %1").arg(pages + 12));
    SpreadsheetImport import(view, std::make_unique<GeneratedSheet>(20000));
    int failedAt = 0;
    try {
        while (!import.step(GetParam())) {
        }
        FAIL() << "the file never filled up";
    } catch (const PhonebookError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("Diskte yer kalmadı"), std::string::npos) << message;
        failedAt = std::stoi(message.substr(std::string("Satır ").size()));
    }
    EXPECT_GT(failedAt, 100) << "rows fitted before the disk was full";
    EXPECT_EQ(file.count(), 1 + failedAt - 1) << "every row before the failed one is kept";
    EXPECT_EQ(import.counts().added, failedAt - 1);
    expectViewInStepWithTheFile();

    conn.execute(QStringLiteral("pragma max_page_count = 1000000"));
    view.search(boxes({{Field::adsoyad, "Kişi 1"}}));
    EXPECT_GT(view.rowCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(StepLengths, FullDiskTest, ::testing::Values(std::chrono::milliseconds(1h), 1ms));

TEST_F(SpreadsheetImportTest, EachStepCommitsAndTellsTheViewOnce) {
    int announcements = 0;
    QObject::connect(&view, &PhonebookView::rowsInserted, [&announcements] { ++announcements; });
    SpreadsheetImport import(view, std::make_unique<GeneratedSheet>(5000));
    int steps = 0;
    bool finished = false;
    while (!finished) {
        const int before = announcements;
        finished = import.step(1ms);
        ++steps;
        EXPECT_LE(announcements - before, 1);
        EXPECT_FALSE(conn.inTransaction()) << "nothing stays open between steps";
        EXPECT_EQ(file.count(), 1 + import.counts().added);
        EXPECT_EQ(import.rowsRead(), import.counts().added);
    }
    EXPECT_GT(steps, 1);
    EXPECT_EQ(file.count(), 1 + 5000);
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Kişi 5000");
    expectViewInStepWithTheFile();
}

TEST_F(SpreadsheetImportTest, UnreadableFileNamesTheFileAndAddsNothing) {
    const QString path = file.dir() + QStringLiteral("/broken.xlsx");
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(QByteArray("PK\x03\x04", 4) + QByteArray(100, '\0'));
    out.close();
    try {
        importSpreadsheet(view, path);
        FAIL() << "a broken workbook must not import";
    } catch (const SpreadsheetError& error) {
        EXPECT_NE(std::string(error.what()).find("broken.xlsx"), std::string::npos) << error.what();
    }
    EXPECT_EQ(file.count(), 1);
}

TEST_F(SpreadsheetImportTest, AClosedViewRefusesTheImport) {
    view.close();
    EXPECT_THROW(SpreadsheetImport import(view, std::make_unique<GeneratedSheet>(3)), PhonebookError);
    EXPECT_EQ(file.count(), 1);
}

class CorpusImportTest : public SpreadsheetImportTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CorpusImportTest, LibreOfficeContactTableImportsEveryRow) {
    EXPECT_EQ(importSpreadsheet(view, corpus(GetParam())), (ImportCounts{9, 1, 0, 1, 0}))
        << "row 8 has no name but a number: a contact all the same";
    EXPECT_EQ(file.count(), 1 + 9);
    EXPECT_EQ(file.count("adsoyad = '' and telefon = '05339998877'"), 1);
    EXPECT_EQ(file.count("adsoyad = 'Zeynep Doğan' and telefon = '05321112233'"), 1) << "row 10";
    EXPECT_EQ(file.count("adsoyad = 'Şükrü Çağlayan'"), 0) << "his number is already in the book";
    EXPECT_EQ(
        file.count("adsoyad = 'Gülşen Öztürk' and grup = 'İş' and gsm = 'Avea' and telefon = '05051112233'"),
        1);
    EXPECT_EQ(file.count("adsoyad = 'IŞIL İNCE ığüşöç' and grup = ''"), 1);
    EXPECT_EQ(file.count("telefon = '+90 532 765 43 21'"), 1);
    EXPECT_EQ(file.count("adsoyad = 'Ayşe Yılmaz' and telefon = '0555-123-45-67'"), 1);
    EXPECT_EQ(file.count("adsoyad = 'Çiğdem Ünal' and telefon = '905321234567'"), 1);
    // Number cells in the workbooks, text in the CSV files: the same zero.
    EXPECT_EQ(file.count("adsoyad = 'İsmail Işık' and telefon = '05421234567'"), 1);
    EXPECT_EQ(file.count("adsoyad = 'IŞIL İNCE ığüşöç' and telefon = '05061234567'"), 1);

    EXPECT_EQ(importSpreadsheet(view, corpus(GetParam())), (ImportCounts{0, 10, 0})) << "a second time";
}

INSTANTIATE_TEST_SUITE_P(Formats, CorpusImportTest,
                         ::testing::Values("lo_contacts.xlsx", "lo_contacts.xls", "lo_contacts.ods",
                                           "lo_contacts_utf8_comma.csv", "lo_contacts_cp1254_semicolon.csv"));

} // namespace

namespace {

TEST_F(SpreadsheetImportTest, AHeaderRowTakesTheColumnsByTheirNames) {
    SpreadsheetImport import(view, openFirstWorksheet(csv("Telefon;Adı Soyadı;Not;Grubu;Hat\n"
                                                          "0532 111 22 33;Ali Veli;eski müşteri;İş;Avea\n"
                                                          ";Sadece Ad;;;\n")));
    while (!import.step()) {
    }
    EXPECT_EQ(import.counts(), (ImportCounts{2, 0, 1}));
    ASSERT_TRUE(import.columns());
    EXPECT_EQ(import.columns()->summary(),
              "Başlığa göre sütunlar: grup D, ad soyad B, telefon A, operatör E");
    EXPECT_EQ(
        file.count("adsoyad = 'Ali Veli' and telefon = '0532 111 22 33' and grup = 'İş' and gsm = 'Avea'"),
        1);
    EXPECT_EQ(file.count("adsoyad = 'Sadece Ad' and telefon = '' and grup = '' and gsm = ''"), 1);
}

// A cell the reader cannot read in row 3001 of a workbook: rows 1 to 3000 are in the book, and the error
// names the row and the column.
class DamagedSheetTest : public SpreadsheetImportTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedSheetTest, RowsBeforeTheDamagedCellAreKeptAndTheCellIsNamed) {
    const QString path = QStringLiteral(ZEMVORA_CORPUS_DIR "/hostile/") + QString::fromLatin1(GetParam());
    const std::string message = failureOf([&] { importSpreadsheet(view, path); }, 3001);
    EXPECT_EQ(message.rfind("Satır 3001, sütun 3: " + path.toStdString() + ": ", 0), 0u) << message;
    EXPECT_NE(message.find("\n3000 kişi eklendi"), std::string::npos) << message;
    EXPECT_EQ(file.count(), 1 + 3000);
    EXPECT_EQ(file.count("adsoyad = 'Kişi 3000'"), 1);
    expectViewInStepWithTheFile();
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedSheetTest,
                         ::testing::Values("damaged-cell-in-row-3001.xlsx", "damaged-cell-in-row-3001.ods"));

TEST_F(SpreadsheetImportTest, ACsvFileOfTooManyRowsIsRefusedBeforeAnyIsWritten) {
    const QString path = csv(QByteArray("A;Kişi;;\n").repeated(kMaxSheetRows + 1));
    try {
        importSpreadsheet(view, path);
        FAIL() << "imported";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.what(), (path + QStringLiteral(": 1048576 satırdan fazla")).toStdString());
    }
    EXPECT_EQ(file.count(), 1) << "nothing was written";
}

// What an import added, by id, is what undoing it removes; a row deleted since is simply not there.
TEST_F(SpreadsheetImportTest, TheRowsAddedAreKnownByTheirIdsAndGoAgainExactly) {
    SpreadsheetImport import(view, std::make_unique<GeneratedSheet>(5000));
    while (!import.step(1ms)) {
    }
    const std::vector<IdRange> added = import.added();
    ASSERT_FALSE(added.empty());
    qint64 ids = 0;
    for (const IdRange& range : added) {
        ids += range.last - range.first + 1;
    }
    EXPECT_EQ(ids, 5000);
    EXPECT_EQ(conn.count(added), 5000);
    file.add({{"Başka Program", "05440000000", "Avea", "İzmir"}}); // after the import, by another program
    file.exec("delete from numara where adsoyad = 'Kişi 17'");
    view.search(boxes({{Field::adsoyad, "kişi 4"}}));

    EXPECT_EQ(view.removeAdded(added), 4999);
    EXPECT_EQ(file.count(), 2) << "the contact before and the one after the import stay";
    EXPECT_EQ(view.rowCount(), 0) << "the shown rows of the import went";
    view.search({});
    EXPECT_EQ(view.rowCount(), 2);
    expectViewInStepWithTheFile();
}

// Read on a thread of its own, the sheet is waited for within each step: a step that finds no row ready
// ends and the next one goes on.
TEST_F(SpreadsheetImportTest, AFileReadAheadOnAThreadOfItsOwnImportsTheSame) {
    QByteArray rows;
    for (int i = 1; i <= 20000; ++i) {
        rows += "A;Kişi " + QByteArray::number(i) + ";05" + QByteArray::number(300000000 + i) + ";Avea\n";
    }
    SpreadsheetImport import(view, std::make_unique<ReadAheadWorksheet>(csv(rows)));
    int steps = 0;
    while (!import.step(1ms)) {
        ++steps;
        EXPECT_FALSE(conn.inTransaction());
    }
    EXPECT_GT(steps, 1);
    EXPECT_EQ(import.counts(), (ImportCounts{20000, 0, 0}));
    EXPECT_EQ(file.count(), 1 + 20000);
    expectViewInStepWithTheFile();
}

} // namespace
