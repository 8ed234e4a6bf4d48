#include "phonebook/SpreadsheetImport.h"

#include "PhonebookFile.h"
#include "phonebook/PhonebookError.h"
#include "phonebook/spreadsheet/Worksheet.h"

#include <QFile>
#include <gtest/gtest.h>

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

    PhonebookFile file;
    PhonebookDatabase conn;
    PhonebookView view{conn};
};

TEST_F(SpreadsheetImportTest, EachNewRowBecomesAContactInColumnOrder) {
    importSpreadsheet(view, csv("Aile;Mehmet Öz;05329876543;Vodafone\n;Zeynep Çelik;05551112233;\n"));
    EXPECT_EQ(file.count(), 3);
    EXPECT_EQ(file.count(
                  "grup = 'Aile' and adsoyad = 'Mehmet Öz' and telefon = '05329876543' and gsm = 'Vodafone'"),
              1);
    EXPECT_EQ(file.count("adsoyad = 'Zeynep Çelik' and grup = '' and gsm = ''"), 1)
        << "empty cells are added as empty text";
    EXPECT_EQ(view.rowCount(), 3);
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Zeynep Çelik") << "the last new row is current";
}

TEST_F(SpreadsheetImportTest, FirstEmptyNameEndsTheImportAndAHeaderIsAContact) {
    importSpreadsheet(
        view,
        csv("GRUP;AD SOYAD;TELEFON;OPERATOR\nAile;Ali;0501;Avea\nAile;;0502;Avea\nAile;Veli;0503;Avea\n"));
    EXPECT_EQ(file.count(), 3);
    EXPECT_EQ(file.count("adsoyad = 'AD SOYAD'"), 1);
    EXPECT_EQ(file.count("adsoyad = 'Veli'"), 0) << "rows below the gap are not read";
}

TEST_F(SpreadsheetImportTest, SheetWithEmptyFirstNameAddsNothing) {
    importSpreadsheet(view, csv("Aile;;0501;Avea\nAile;Veli;0503;Avea\n"));
    EXPECT_EQ(file.count(), 1);
}

TEST_F(SpreadsheetImportTest, NumbersAlreadyInTheViewAreSkippedAndMadeCurrent) {
    importSpreadsheet(
        view,
        csv("Aile;Başka Ad;05351234567;Avea\nAile;Yeni;05000000000;Avea\nAile;Tekrar;05000000000;Avea\n"));
    EXPECT_EQ(file.count(), 2) << "a number is added once, also when the sheet repeats it";
    EXPECT_EQ(file.count("adsoyad = 'Başka Ad'"), 0);
}

TEST_F(SpreadsheetImportTest, ANarrowedViewOnlySeesItsOwnRows) {
    file.add({{"Mehmet Öz", "05329876543", "Vodafone", "İstanbul"}});
    view.search(boxes({{Field::grup, "ankara"}}));
    importSpreadsheet(view,
                      csv("İstanbul;Mehmet Öz;05329876543;Vodafone\nAnkara;Ayşe;05351234567;Turkcell\n"));
    EXPECT_EQ(file.count("telefon = '05329876543'"), 2) << "a number outside the search is added again";
    EXPECT_EQ(file.count("telefon = '05351234567'"), 1);
}

TEST_F(SpreadsheetImportTest, RefusedRowStopsTheImportWithEarlierRowsKeptAndItselfPending) {
    const QByteArray tooLong(256, 'x');
    const QString path = csv("A;Bir;0501;Avea\nA;" + tooLong + ";0502;Avea\nA;Üç;0503;Avea\n");
    EXPECT_THROW(importSpreadsheet(view, path), PhonebookError);
    EXPECT_EQ(file.count(), 2);
    EXPECT_EQ(file.count("adsoyad = 'Bir'"), 1);
    EXPECT_EQ(view.state(), PhonebookView::State::Adding) << "the refused row stays pending";
    EXPECT_EQ(view.fieldText(Field::telefon), "0502");

    view.cancel();
    const QString fixed = csv("A;Bir;0501;Avea\nA;İki;0502;Avea\nA;Üç;0503;Avea\n");
    importSpreadsheet(view, fixed);
    EXPECT_EQ(file.count(), 4) << "importing again adds only the rows that were missing";
    EXPECT_EQ(file.count("adsoyad = 'Bir'"), 1);
}

TEST_F(SpreadsheetImportTest, FailureDeepInALargeSheetKeepsExactlyTheRowsBeforeIt) {
    QByteArray sheet;
    for (int i = 1; i <= 2500; ++i) {
        const QByteArray name = i == 1500 ? QByteArray(300, 'x') : "Kişi " + QByteArray::number(i);
        sheet += "A;" + name + ";05" + QByteArray::number(300000000 + i) + ";Avea\n";
    }
    EXPECT_THROW(importSpreadsheet(view, csv(sheet)), PhonebookError);
    EXPECT_EQ(file.count(), 1 + 1499);
    EXPECT_EQ(file.count("adsoyad = 'Kişi 1499'"), 1);
    EXPECT_EQ(file.count("adsoyad = 'Kişi 1501'"), 0);
    EXPECT_EQ(view.rowCount(), 1 + 1500) << "the refused row is pending in the view";
}

TEST_F(SpreadsheetImportTest, LockedPhoneBookRefusesTheFirstRowAndKeepsItPending) {
    WriteLock lock(file.path());
    EXPECT_THROW(importSpreadsheet(view, csv("A;Bir;0501;Avea\nA;İki;0502;Avea\n")), PhonebookError);
    EXPECT_EQ(view.state(), PhonebookView::State::Adding);
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Bir");
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

TEST_F(SpreadsheetImportTest, TenDigitNumberCellsGetTheirLeadingZeroBackTextStaysAsTyped) {
    EXPECT_EQ(importedTelefon(Cell{CellKind::Number, "5421234567"}), "05421234567");
    EXPECT_EQ(importedTelefon(Cell{CellKind::Text, "5421234567"}), "5421234567");
    EXPECT_EQ(importedTelefon(Cell{CellKind::Number, "905321234567"}), "905321234567");
    EXPECT_EQ(importedTelefon(Cell{CellKind::Number, "542123456"}), "542123456");
    EXPECT_EQ(importedTelefon(Cell{CellKind::Number, "5.42123456"}), "5.42123456");
}

class CorpusImportTest : public SpreadsheetImportTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CorpusImportTest, LibreOfficeContactTableImportsItsSevenRows) {
    importSpreadsheet(view, corpus(GetParam()));
    EXPECT_EQ(file.count(), 1 + 6) << "row 8 has no name and ends the import";
    EXPECT_EQ(file.count("adsoyad = 'Şükrü Çağlayan'"), 0) << "his number is already in the book";
    EXPECT_EQ(
        file.count("adsoyad = 'Gülşen Öztürk' and grup = 'İş' and gsm = 'Avea' and telefon = '05051112233'"),
        1);
    EXPECT_EQ(file.count("adsoyad = 'IŞIL İNCE ığüşöç' and grup = ''"), 1);
    EXPECT_EQ(file.count("telefon = '+90 532 765 43 21'"), 1);
    EXPECT_EQ(file.count("adsoyad = 'Ayşe Yılmaz' and telefon = '0555-123-45-67'"), 1);
    EXPECT_EQ(file.count("adsoyad = 'Çiğdem Ünal' and telefon = '905321234567'"), 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, CorpusImportTest,
                         ::testing::Values("lo_contacts.xlsx", "lo_contacts.xls", "lo_contacts.ods",
                                           "lo_contacts_utf8_comma.csv", "lo_contacts_cp1254_semicolon.csv"));

TEST_F(SpreadsheetImportTest, NumericPhoneCellsOfAWorkbookKeepTheirZero) {
    importSpreadsheet(view, corpus("lo_contacts.xlsx"));
    // İsmail Işık's and Işıl İnce's numbers are number cells in this workbook.
    EXPECT_EQ(file.count("adsoyad = 'İsmail Işık' and telefon = '05421234567'"), 1);
    EXPECT_EQ(file.count("adsoyad = 'IŞIL İNCE ığüşöç' and telefon = '05061234567'"), 1);
}

} // namespace
