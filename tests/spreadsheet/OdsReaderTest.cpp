// .ods cells as the phone book gets them, from documents built here.

#include "CellText.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace testfiles;

namespace {

std::unique_ptr<Worksheet> openOds(const Scratch& scratch, const QByteArray& rows) {
    return openFirstWorksheet(scratch.writeZip(QStringLiteral("rehber.ods"), odsParts(rows)));
}

QByteArray textCell(const char* text) {
    return QByteArray("<table:table-cell office:value-type=\"string\"><text:p>") + text +
           "</text:p></table:table-cell>";
}

} // namespace

TEST(OdsReader, TypedCells) {
    Scratch scratch;
    const auto sheet = openOds(
        scratch,
        "<table:table-row>"
        "<table:table-cell office:value-type=\"float\" office:value=\"5421234567\"><text:p>5.42E+09</text:p>"
        "</table:table-cell>"
        "<table:table-cell office:value-type=\"date\" "
        "office:date-value=\"2024-03-15\"><text:p>15.03.24</text:p>"
        "</table:table-cell>"
        "<table:table-cell office:value-type=\"boolean\" office:boolean-value=\"true\"><text:p>DOĞRU</text:p>"
        "</table:table-cell>"
        "<table:table-cell office:value-type=\"percentage\" office:value=\"0.125\"><text:p>12.5%</text:p>"
        "</table:table-cell></table:table-row>"
        "<table:table-row>"
        "<table:table-cell office:value-type=\"time\" office:time-value=\"PT10H10M10S\"/>"
        "<table:table-cell office:value-type=\"date\" office:date-value=\"2021-01-01T10:10:00\"/>"
        "<table:table-cell office:value-type=\"boolean\" office:boolean-value=\"false\"/>"
        "<table:table-cell table:formula=\"of:=1/0\"><text:p>#DIV/0!</text:p></table:table-cell>"
        "</table:table-row>");
    EXPECT_EQ(sheet->cell(1, 1).kind, CellKind::Number);
    EXPECT_EQ(sheet->cell(1, 1).text, QStringLiteral("5421234567")) << "the value, not the shown text";
    EXPECT_EQ(sheet->cell(1, 2).kind, CellKind::Date);
    EXPECT_EQ(sheet->cell(1, 2).text, spreadsheet::dateText(QDate(2024, 3, 15)));
    EXPECT_EQ(sheet->cell(1, 3).text, QStringLiteral("True"));
    EXPECT_EQ(sheet->cell(1, 4).text, QStringLiteral("0.125"));
    EXPECT_EQ(sheet->cell(2, 1).text, spreadsheet::timeText(QTime(10, 10, 10)));
    EXPECT_EQ(sheet->cell(2, 2).text, spreadsheet::dateTimeText(QDate(2021, 1, 1), QTime(10, 10)));
    EXPECT_EQ(sheet->cell(2, 3).text, QStringLiteral("False"));
    EXPECT_EQ(sheet->cell(2, 4).kind, CellKind::Error);
    EXPECT_EQ(sheet->cell(2, 4).text, QStringLiteral("#DIV/0!"));
}

TEST(OdsReader, TextWithSpacesParagraphsSpansAndNoComments) {
    Scratch scratch;
    const auto sheet =
        openOds(scratch, "<table:table-row><table:table-cell office:value-type=\"string\">"
                         "<office:annotation><text:p>not this</text:p></office:annotation>"
                         "<text:p><text:s/>Ayşe<text:s text:c=\"2\"/><text:span>Yılmaz</text:span></text:p>"
                         "<text:p>ikinci<text:tab/>satır</text:p></table:table-cell>" +
                             textCell("Şükrü") + "</table:table-row>");
    EXPECT_EQ(sheet->cell(1, 1).text, QStringLiteral(" Ayşe  Yılmaz\nikinci\tsatır"));
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("Şükrü"));
}

TEST(OdsReader, RepeatedRowsAndCells) {
    Scratch scratch;
    const auto sheet =
        openOds(scratch, "<table:table-row table:number-rows-repeated=\"3\"><table:table-cell "
                         "table:number-columns-repeated=\"2\" office:value-type=\"string\"><text:p>X</text:p>"
                         "</table:table-cell><table:covered-table-cell/>" +
                             textCell("d") +
                             "<table:table-cell table:number-columns-repeated=\"16000\"/></table:table-row>"
                             "<table:table-row table:number-rows-repeated=\"1048000\"><table:table-cell "
                             "table:number-columns-repeated=\"1024\"/></table:table-row>");
    EXPECT_EQ(rowCount(*sheet), 3);
    EXPECT_EQ(rowTexts(*sheet, 3), (std::vector<QString>{QStringLiteral("X"), QStringLiteral("X"), QString(),
                                                         QStringLiteral("d")}));
}

TEST(OdsReader, FirstTableOnlyEveryRowOfIt) {
    Scratch scratch;
    const auto sheet = openOds(scratch, "<table:table-row>" + textCell("a") + textCell("b") +
                                            "</table:table-row><table:table-row>" + textCell("c") +
                                            "</table:table-row><table:table-row>" + textCell("d") +
                                            textCell("e") + "</table:table-row>");
    EXPECT_EQ(sheet->cell(2, 1).text, QStringLiteral("c"));
    EXPECT_EQ(sheet->cell(3, 2).text, QStringLiteral("e"));
    EXPECT_TRUE(sheet->pastEnd(4)) << "the second table is another sheet";
}

TEST(OdsReader, CellsUnderAMergeReadEmpty) {
    Scratch scratch;
    const auto sheet =
        openOds(scratch, "<table:table-row>" + textCell("a") +
                             "<table:table-cell table:number-columns-spanned=\"2\" "
                             "office:value-type=\"string\"><text:p>birleşik</text:p>"
                             "</table:table-cell><table:covered-table-cell office:value-type=\"string\">"
                             "<text:p>gizli</text:p></table:covered-table-cell>" +
                             textCell("d") + "</table:table-row>");
    EXPECT_EQ(rowTexts(*sheet, 1), (std::vector<QString>{QStringLiteral("a"), QStringLiteral("birleşik"),
                                                         QString(), QStringLiteral("d")}));
}

TEST(OdsReader, OtherOpenDocumentKindsAreNoSpreadsheet) {
    Scratch scratch;
    const QString file = scratch.writeZip(
        QStringLiteral("yazi.ods"), {{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.text"},
                                     {QStringLiteral("content.xml"), "<office:document-content/>"}});
    EXPECT_EQ(openError(file), file + QStringLiteral(": bu programın okuyabildiği bir tablo dosyası değil"));
}
