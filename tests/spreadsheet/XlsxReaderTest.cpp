// .xlsx cells as the phone book gets them, from workbooks built here.

#include "CellText.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace testfiles;

namespace {

const QByteArray kDateStyles =
    "<?xml version=\"1.0\"?><styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"dd\\.mm\\.yyyy\"/>"
    "<numFmt numFmtId=\"165\" formatCode=\"#,##0&quot; TL&quot;\"/></numFmts>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"14\"/></cellStyleXfs>"
    "<cellXfs count=\"4\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/><xf "
    "numFmtId=\"165\"/>"
    "</cellXfs></styleSheet>";

std::unique_ptr<Worksheet> openXlsx(const Scratch& scratch, const XlsxParts& workbook) {
    return openFirstWorksheet(scratch.writeZip(QStringLiteral("rehber.xlsx"), xlsxParts(workbook)));
}

} // namespace

TEST(XlsxReader, SharedInlineAndFormulaStrings) {
    Scratch scratch;
    const auto sheet =
        openXlsx(scratch, {"<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c><c r=\"B1\" t=\"s\"><v>0</v></c>"
                           "<c r=\"C1\" t=\"inlineStr\"><is><t>05321234567</t></is></c>"
                           "<c r=\"D1\" t=\"str\"><f>\"Turk\"&amp;\"cell\"</f><v>Turkcell</v></c></row>",
                           "<si><t>Şükrü Çağlayan</t></si><si><t>Aile</t></si>"});
    EXPECT_EQ(rowTexts(*sheet, 1),
              (std::vector<QString>{QStringLiteral("Aile"), QStringLiteral("Şükrü Çağlayan"),
                                    QStringLiteral("05321234567"), QStringLiteral("Turkcell")}));
    EXPECT_EQ(sheet->cell(1, 3).kind, CellKind::Text);
}

TEST(XlsxReader, RichTextRunsJoinAndPhoneticGuidesAreLeftOut) {
    Scratch scratch;
    const auto sheet = openXlsx(scratch, {"<row r=\"1\"><c r=\"B1\" t=\"s\"><v>0</v></c></row>",
                                          "<si><r><rPr><b/></rPr><t>Ayşe </t></r><r><t>Yılmaz</t></r>"
                                          "<rPh sb=\"0\" eb=\"1\"><t>ignored</t></rPh></si>"});
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("Ayşe Yılmaz"));
}

TEST(XlsxReader, EscapedCharactersAreDecoded) {
    Scratch scratch;
    const auto sheet = openXlsx(
        scratch, {"<row r=\"1\"><c r=\"B1\" t=\"inlineStr\"><is><t>abc_x000D_\ndef</t></is></c></row>"});
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("abc\r\ndef"));
}

TEST(XlsxReader, NumbersInGeneralForm) {
    Scratch scratch;
    const auto sheet =
        openXlsx(scratch, {"<row r=\"1\"><c r=\"A1\"><v>5321234567</v></c><c r=\"B1\"><v>1.5E+1</v>"
                           "</c><c r=\"C1\" t=\"n\"><v>0.30000000000000004</v></c>"
                           "<c r=\"D1\" s=\"3\"><v>1250</v></c></row>",
                           {},
                           kDateStyles});
    EXPECT_EQ(rowTexts(*sheet, 1), (std::vector<QString>{QStringLiteral("5321234567"), QStringLiteral("15"),
                                                         QStringLiteral("0.3"), QStringLiteral("1250")}));
    EXPECT_EQ(sheet->cell(1, 1).kind, CellKind::Number);
    EXPECT_EQ(sheet->cell(1, 4).kind, CellKind::Number) << "a currency format is no date";
}

TEST(XlsxReader, DatesByBuiltInAndCustomFormats) {
    Scratch scratch;
    const auto sheet = openXlsx(scratch, {"<row r=\"1\"><c r=\"A1\" s=\"1\"><v>45366</v></c>"
                                          "<c r=\"B1\" s=\"2\"><v>45366.5</v></c>"
                                          "<c r=\"C1\" s=\"0\"><v>45366</v></c>"
                                          "<c r=\"D1\" t=\"d\"><v>2024-03-15T10:30:00</v></c></row>",
                                          {},
                                          kDateStyles});
    EXPECT_EQ(sheet->cell(1, 1).kind, CellKind::Date);
    EXPECT_EQ(sheet->cell(1, 1).text, spreadsheet::dateText(QDate(2024, 3, 15)));
    EXPECT_EQ(sheet->cell(1, 2).text, spreadsheet::dateTimeText(QDate(2024, 3, 15), QTime(12, 0)));
    EXPECT_EQ(sheet->cell(1, 3).kind, CellKind::Number);
    EXPECT_EQ(sheet->cell(1, 3).text, QStringLiteral("45366"));
    EXPECT_EQ(sheet->cell(1, 4).text, spreadsheet::dateTimeText(QDate(2024, 3, 15), QTime(10, 30)));
}

TEST(XlsxReader, Date1904System) {
    Scratch scratch;
    const auto sheet = openXlsx(scratch, {"<row r=\"1\"><c r=\"A1\" s=\"1\"><v>1</v></c><c r=\"B1\">"
                                          "<v>1</v></c></row>",
                                          {},
                                          kDateStyles,
                                          "<workbookPr date1904=\"1\"/>"});
    EXPECT_EQ(sheet->cell(1, 1).text, spreadsheet::dateText(QDate(1904, 1, 2)));
}

TEST(XlsxReader, BooleansErrorsAndFormulasWithoutCachedValue) {
    Scratch scratch;
    const auto sheet =
        openXlsx(scratch, {"<row r=\"1\"><c r=\"A1\" t=\"b\"><v>1</v></c><c r=\"B1\" t=\"b\"><v>0</v>"
                           "</c><c r=\"C1\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>"
                           "<c r=\"D1\"><f>A1*2</f></c></row>"});
    EXPECT_EQ(sheet->cell(1, 1).kind, CellKind::Boolean);
    EXPECT_EQ(sheet->cell(1, 1).text, QStringLiteral("True"));
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("False"));
    EXPECT_EQ(sheet->cell(1, 3).kind, CellKind::Error);
    EXPECT_EQ(sheet->cell(1, 3).text, QStringLiteral("#DIV/0!"));
    EXPECT_EQ(sheet->cell(1, 4).kind, CellKind::Empty);
}

// Columns A to P are read, a header may name any of them; past P nothing is kept.
TEST(XlsxReader, CellsWithoutReferencesAndColumnsUpToTheSixteenth) {
    Scratch scratch;
    const auto sheet =
        openXlsx(scratch, {"<row><c t=\"inlineStr\"><is><t>a</t></is></c><c t=\"inlineStr\"><is>"
                           "<t>b</t></is></c><c r=\"E1\" t=\"inlineStr\"><is><t>e</t></is></c>"
                           "<c r=\"P1\"><v>16</v></c><c r=\"Q1\"><v>17</v></c>"
                           "<c r=\"XFD1\"><v>1</v></c></row><row><c r=\"B2\"><v>2</v></c></row>"});
    EXPECT_EQ(sheet->cell(1, 1).text, QStringLiteral("a"));
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("b"));
    EXPECT_EQ(sheet->cell(1, 5).text, QStringLiteral("e"));
    EXPECT_EQ(sheet->cell(1, 16).text, QStringLiteral("16"));
    EXPECT_EQ(sheet->cell(1, 17).kind, CellKind::Empty);
    EXPECT_EQ(sheet->cell(2, 2).text, QStringLiteral("2"));
}

// Rows the sheet skips and rows without a name are blank or short rows like any other: reading goes on to
// the last row with data, and only then is the sheet past its end.
TEST(XlsxReader, ReadsPastMissingRowsAndEmptyNamesToTheLastRowWithData) {
    Scratch scratch;
    const auto gap = openXlsx(scratch, {"<row r=\"1\"><c r=\"B1\"><v>1</v></c></row>"
                                        "<row r=\"3\"><c r=\"B3\"><v>3</v></c></row><row r=\"9\"/>"});
    EXPECT_EQ(gap->cell(2, 2).kind, CellKind::Empty);
    EXPECT_FALSE(gap->pastEnd(2)) << "a blank row between rows with data";
    EXPECT_EQ(gap->cell(3, 2).text, QStringLiteral("3"));
    EXPECT_TRUE(gap->pastEnd(4)) << "blank rows after the last row with data are no rows";

    const auto empty = openXlsx(scratch, {"<row r=\"1\"><c r=\"B1\" t=\"s\"><v>0</v></c></row>"
                                          "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c>"
                                          "<c r=\"B2\" t=\"s\"><v>1</v></c></row>"
                                          "<row r=\"3\"><c r=\"B3\" t=\"s\"><v>0</v></c></row>",
                                          "<si><t>x</t></si><si><t></t></si>"});
    EXPECT_EQ(empty->cell(2, 1).text, QStringLiteral("x"));
    EXPECT_EQ(empty->cell(2, 2).kind, CellKind::Empty);
    EXPECT_EQ(empty->cell(3, 2).text, QStringLiteral("x"));
    EXPECT_TRUE(empty->pastEnd(4));
}

TEST(XlsxReader, PartsFoundThroughRelationshipsWherEverTheyAre) {
    Scratch scratch;
    const Parts parts = {
        {QStringLiteral("[Content_Types].xml"), "<Types/>"},
        {QStringLiteral("_rels/.rels"), "<Relationships><Relationship Id=\"a\" "
                                        "Type=\"http://purl.oclc.org/ooxml/officeDocument/relationships/"
                                        "officeDocument\" Target=\"/book/Main.xml\"/></Relationships>"},
        {QStringLiteral("book/Main.xml"),
         "<x:workbook xmlns:x=\"http://purl.oclc.org/ooxml/spreadsheetml/main\" xmlns:q=\"urn:r\"><x:sheets>"
         "<x:sheet name=\"Grafik\" q:id=\"c\"/><x:sheet name=\"Rehber\" "
         "q:id=\"s\"/></x:sheets></x:workbook>"},
        {QStringLiteral("book/_rels/Main.xml.rels"),
         "<Relationships><Relationship Id=\"c\" "
         "Type=\"http://purl.oclc.org/ooxml/officeDocument/relationships/"
         "chartsheet\" Target=\"charts/c.xml\"/><Relationship Id=\"s\" Type=\"http://purl.oclc.org/ooxml/"
         "officeDocument/relationships/worksheet\" Target=\"../data/Sheet.xml\"/></Relationships>"},
        {QStringLiteral("data/Sheet.xml"),
         "<x:worksheet xmlns:x=\"http://purl.oclc.org/ooxml/spreadsheetml/main\"><x:sheetData><x:row r=\"1\">"
         "<x:c r=\"B1\" "
         "t=\"inlineStr\"><x:is><x:t>Strict</x:t></x:is></x:c></x:row></x:sheetData></x:worksheet>"},
    };
    const auto sheet = openFirstWorksheet(scratch.writeZip(QStringLiteral("garip.xlsx"), parts));
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("Strict"));
}

TEST(XlsxReader, OutsideTheSheetIsEmpty) {
    Scratch scratch;
    const auto sheet = openXlsx(scratch, {"<row r=\"1\"><c r=\"B1\"><v>1</v></c></row>"});
    for (const auto& [row, column] : {std::pair{0, 1}, {1, 0}, {-5, 2}, {1, 5}, {2, 2}, {1 << 30, 2}}) {
        EXPECT_EQ(sheet->cell(row, column).kind, CellKind::Empty);
        EXPECT_TRUE(sheet->cell(row, column).text.isEmpty());
    }
}

TEST(XlsxReader, MissingSharedStringIsAnError) {
    Scratch scratch;
    const QString file = scratch.writeZip(
        QStringLiteral("eksik.xlsx"),
        xlsxParts({"<row r=\"1\"><c r=\"B1\" t=\"s\"><v>7</v></c></row>", "<si><t>only</t></si>"}));
    EXPECT_TRUE(openError(file).startsWith(
        file + QStringLiteral(": satır 1, sütun 2: olmayan bir ortak metne başvuruyor: 7")));
}

TEST(XlsxReader, WordDocumentIsNoSpreadsheet) {
    Scratch scratch;
    const QString file = scratch.writeZip(
        QStringLiteral("mektup.xlsx"),
        {{QStringLiteral("[Content_Types].xml"), "<Types/>"},
         {QStringLiteral("_rels/.rels"),
          "<Relationships><Relationship Id=\"a\" "
          "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
          "relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
         {QStringLiteral("word/document.xml"), "<w:document xmlns:w=\"urn:w\"><w:body/></w:document>"}});
    EXPECT_EQ(openError(file), file + QStringLiteral(": bu programın okuyabildiği bir tablo dosyası değil"));
}

TEST(XlsxReader, BinaryWorkbookIsNotRead) {
    Scratch scratch;
    const QString file =
        scratch.writeZip(QStringLiteral("ikili.xlsb"),
                         {{QStringLiteral("[Content_Types].xml"), "<Types/>"},
                          {QStringLiteral("_rels/.rels"),
                           "<Relationships><Relationship Id=\"a\" "
                           "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                           "relationships/officeDocument\" Target=\"xl/workbook.bin\"/></Relationships>"},
                          {QStringLiteral("xl/workbook.bin"), QByteArray("\x83\x01\x00\x00", 4)}});
    EXPECT_EQ(openError(file), file + QStringLiteral(": bu programın okuyabildiği bir tablo dosyası değil"));
}
