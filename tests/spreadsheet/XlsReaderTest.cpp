// .xls specifics beyond the corpus comparison: BIFF versions, code pages, 1904 dates, kinds.

#include "CellText.h"
#include "TestFiles.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace testfiles;

TEST(XlsReader, TurkishTextAndNumbersFromBiff8) {
    const auto sheet = openFirstWorksheet(corpusPath(QStringLiteral("generated/lo_contacts.xls")));
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("Şükrü Çağlayan"));
    EXPECT_EQ(sheet->cell(1, 3).kind, CellKind::Text);
    EXPECT_EQ(sheet->cell(1, 3).text, QStringLiteral("05351234567"));
    EXPECT_EQ(sheet->cell(2, 3).kind, CellKind::Number);
    EXPECT_EQ(sheet->cell(2, 3).text, QStringLiteral("5421234567"));
    EXPECT_EQ(sheet->cell(7, 2).text, QStringLiteral("IŞIL İNCE ığüşöç"));
    EXPECT_EQ(rowCount(*sheet), 7) << "row 8 has an empty column 2";
}

TEST(XlsReader, DatesOf1904Workbook) {
    const auto sheet = openFirstWorksheet(corpusPath(QStringLiteral("third_party/sheetjs/1904.xls")));
    EXPECT_EQ(sheet->cell(1, 2).kind, CellKind::Date);
    EXPECT_EQ(sheet->cell(1, 2).text, spreadsheet::dateText(QDate(1904, 1, 2)));
    EXPECT_EQ(sheet->cell(5, 2).text, spreadsheet::dateText(QDate(1934, 6, 3)));
}

TEST(XlsReader, OlderBiffWithoutCompoundFile) {
    const auto sheet = openFirstWorksheet(corpusPath(QStringLiteral("third_party/sheetjs/CRLFX5_2.XLS")));
    EXPECT_EQ(sheet->cell(1, 1).text, QStringLiteral("Normal"));
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("abc\ndef"));
}

TEST(XlsReader, ContentDecidesNotTheExtension) {
    Scratch scratch;
    QFile source(corpusPath(QStringLiteral("generated/lo_contacts.xls")));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const auto sheet = openFirstWorksheet(scratch.write(QStringLiteral("rehber.csv"), source.readAll()));
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("Şükrü Çağlayan"));
}

TEST(XlsReader, FormulasGiveTheirCachedValues) {
    const auto sheet =
        openFirstWorksheet(corpusPath(QStringLiteral("third_party/xlrd/formula_test_sjmachin.xls")));
    EXPECT_EQ(sheet->cell(3, 2).kind, CellKind::Number);
    EXPECT_EQ(sheet->cell(3, 2).text, QStringLiteral("0.142857142857143"));
    EXPECT_EQ(sheet->cell(4, 2).kind, CellKind::Text);
    EXPECT_EQ(sheet->cell(4, 2).text, QStringLiteral("ABCDEF"));
    EXPECT_EQ(rowCount(*sheet), 4) << "row 5's formula gives empty text";

    const auto errors = openFirstWorksheet(corpusPath(QStringLiteral("third_party/sheetjs/wps_fn.xls")));
    EXPECT_EQ(errors->cell(2, 3).text, QStringLiteral("2"));
    EXPECT_EQ(errors->cell(3, 3).kind, CellKind::Error);
    EXPECT_EQ(errors->cell(3, 3).text, QStringLiteral("#VALUE!"));
}

TEST(XlsReader, BooleansAndDatesOfBiff5) {
    const auto sheet = openFirstWorksheet(corpusPath(QStringLiteral("third_party/calamine/biff5_write.xls")));
    EXPECT_EQ(sheet->cell(2, 1).kind, CellKind::Boolean);
    EXPECT_EQ(sheet->cell(2, 1).text, QStringLiteral("True"));
    EXPECT_EQ(sheet->cell(2, 2).text, QStringLiteral("False"));
    EXPECT_EQ(sheet->cell(3, 3).kind, CellKind::Date);
    EXPECT_EQ(sheet->cell(3, 3).text, spreadsheet::dateTimeText(QDate(2014, 2, 19), QTime(14, 30)));
}

TEST(XlsReader, TimesAloneAndFractions) {
    const auto sheet = openFirstWorksheet(corpusPath(QStringLiteral("third_party/xlrd/Formate.xls")));
    EXPECT_EQ(sheet->cell(2, 1).text, QStringLiteral("Äcker"));
    EXPECT_EQ(sheet->cell(2, 2).text, spreadsheet::dateText(QDate(2005, 2, 23)));
    EXPECT_EQ(sheet->cell(6, 2).text, spreadsheet::timeText(QTime(17, 47, 13)));
    EXPECT_EQ(sheet->cell(7, 2).kind, CellKind::Number) << "a percentage is a number";
    EXPECT_EQ(sheet->cell(7, 2).text, QStringLiteral("0.974"));
}

namespace {

QByteArray record(quint16 id, const QByteArray& data) {
    QByteArray out;
    out.append(static_cast<char>(id & 0xFF)).append(static_cast<char>(id >> 8));
    out.append(static_cast<char>(data.size() & 0xFF)).append(static_cast<char>(data.size() >> 8));
    return out + data;
}

QByteArray le16(int v) {
    return QByteArray(1, static_cast<char>(v & 0xFF)) + QByteArray(1, static_cast<char>(v >> 8));
}
QByteArray le32(quint32 v) {
    return le16(static_cast<int>(v & 0xFFFF)) + le16(static_cast<int>(v >> 16));
}

// A BIFF8 workbook stream without a compound file: globals with a shared string table whose second
// string runs from one record into a CONTINUE record and changes from 8-bit to 16-bit characters there,
// a chart sheet listed first, then the worksheet.
QByteArray biff8Workbook(const QByteArray& extraGlobals = {}) {
    const QByteArray bof = record(0x0809, le16(0x0600) + le16(0x0005) + QByteArray(12, '\0'));
    QByteArray sst = le32(2) + le32(2);
    sst += le16(4) + QByteArray(1, '\0') + "Aile";
    sst += le16(6) + QByteArray(1, '\0') + "Ay"; // "Ayşe Y": 2 chars here, 4 in the CONTINUE
    QByteArray rest(1, '\x01');                  // the rest in 16-bit characters
    for (const char16_t c : u"şe Y") {
        if (c) {
            rest += le16(c);
        }
    }
    QByteArray globals = bof + extraGlobals + record(0x00FC, sst) + record(0x003C, rest);
    const QByteArray chartSheet = le32(0) + QByteArray(1, '\0') + QByteArray(1, '\x02') +
                                  QByteArray(1, '\x01') + QByteArray(1, '\0') + "G";
    QByteArray sheetEntry =
        QByteArray(1, '\0') + QByteArray(1, '\0') + QByteArray(1, '\x06') + QByteArray(1, '\0') + "Rehber";
    const qsizetype globalsSize = globals.size() + 4 + chartSheet.size() + 4 + 4 + sheetEntry.size() + 4;
    globals += record(0x0085, chartSheet) +
               record(0x0085, le32(static_cast<quint32>(globalsSize)) + sheetEntry) + record(0x000A, {});
    QByteArray sheet = record(0x0809, le16(0x0600) + le16(0x0010) + QByteArray(12, '\0'));
    sheet += record(0x00FD, le16(0) + le16(0) + le16(0) + le32(0)); // A1: "Aile"
    sheet += record(0x00FD, le16(0) + le16(1) + le16(0) + le32(1)); // B1: "Ayşe Y"
    sheet += record(0x0205, le16(0) + le16(2) + le16(0) + QByteArray(1, '\x1D') + QByteArray(1, '\x01'));
    sheet += record(0x0205, le16(0) + le16(3) + le16(0) + QByteArray(1, '\x01') + QByteArray(1, '\0'));
    sheet += record(0x000A, {});
    return globals + sheet;
}

} // namespace

TEST(XlsReader, SharedStringsContinuedAcrossRecords) {
    Scratch scratch;
    const auto sheet = openFirstWorksheet(scratch.write(QStringLiteral("rehber.xls"), biff8Workbook()));
    EXPECT_EQ(sheet->cell(1, 1).text, QStringLiteral("Aile"));
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("Ayşe Y"));
    EXPECT_EQ(sheet->cell(1, 3).kind, CellKind::Error);
    EXPECT_EQ(sheet->cell(1, 3).text, QStringLiteral("#NAME?"));
    EXPECT_EQ(sheet->cell(1, 4).text, QStringLiteral("True"));
}

TEST(XlsReader, PasswordProtectedWorkbook) {
    Scratch scratch;
    const QString file =
        scratch.write(QStringLiteral("sifreli.xls"), biff8Workbook(record(0x002F, le16(0) + le32(0))));
    EXPECT_EQ(openError(file), file + QStringLiteral(": parola korumalı"));
}

TEST(XlsReader, CutShortRecordIsAnError) {
    Scratch scratch;
    const QByteArray whole = biff8Workbook();
    const QString file = scratch.write(QStringLiteral("kesik.xls"), whole.left(whole.size() - 9));
    EXPECT_EQ(openError(file), file + QStringLiteral(": satır 1: bozuk bir .xls dosyası"));
}

// BIFF5 keeps 8-bit text in the workbook's code page; a bare worksheet stream holds its own CODEPAGE record.
TEST(XlsReader, Biff5TextFollowsTheCodePageRecord) {
    Scratch scratch;
    auto labelRecord = [](int column, const QByteArray& bytes) {
        return record(0x0204,
                      le16(0) + le16(column) + le16(0) + le16(static_cast<int>(bytes.size())) + bytes);
    };
    for (const auto& [codePage, bytes, text] :
         {std::tuple{1254, QByteArray("\xDE\xFCkr\xFC \xC7\x61\xF0layan"), QStringLiteral("Şükrü Çağlayan")},
          std::tuple{1251, QByteArray("\xCC\xEE\xF1\xEA\xE2\xE0"), QStringLiteral("Москва")}}) {
        const QByteArray stream = record(0x0809, le16(0x0500) + le16(0x0010) + QByteArray(4, '\0')) +
                                  record(0x0042, le16(codePage)) + labelRecord(0, "Aile") +
                                  labelRecord(1, bytes) + record(0x000A, {});
        const auto sheet = openFirstWorksheet(scratch.write(QStringLiteral("eski.xls"), stream));
        EXPECT_EQ(sheet->cell(1, 1).text, QStringLiteral("Aile"));
        EXPECT_EQ(sheet->cell(1, 2).text, text) << codePage;
    }
}
