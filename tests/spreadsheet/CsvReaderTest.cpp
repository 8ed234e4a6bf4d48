// CSV text: encodings, separators, quoting, and where reading stops.

#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace testfiles;

namespace {

std::unique_ptr<Worksheet> openCsv(const Scratch& scratch, const QByteArray& content) {
    return openFirstWorksheet(scratch.write(QStringLiteral("rehber.csv"), content));
}

std::vector<QString> row(std::initializer_list<const char*> texts) {
    std::vector<QString> out;
    for (const char* t : texts) {
        out.push_back(QString::fromUtf8(t));
    }
    return out;
}

} // namespace

TEST(CsvReader, SemicolonCommaAndTabSeparators) {
    Scratch scratch;
    for (const QByteArray& separator : {QByteArray(";"), QByteArray(","), QByteArray("\t")}) {
        QByteArray content = "Aile;Ali Veli;05321234567;Turkcell\nİş;Ayşe;5421234567;Avea\n";
        content.replace(';', separator);
        const auto sheet = openCsv(scratch, content);
        EXPECT_EQ(rowTexts(*sheet, 1), row({"Aile", "Ali Veli", "05321234567", "Turkcell"}))
            << separator.data();
        EXPECT_EQ(rowTexts(*sheet, 2), row({"İş", "Ayşe", "5421234567", "Avea"}));
        EXPECT_EQ(rowCount(*sheet), 2);
    }
}

TEST(CsvReader, SemicolonWinsOverCommasInsideNames) {
    Scratch scratch;
    const auto sheet = openCsv(scratch, "Aile;Yılmaz, Ayşe;0532;Avea\nİş;Demir, Ali;0533;Turkcell\n");
    EXPECT_EQ(rowTexts(*sheet, 1), row({"Aile", "Yılmaz, Ayşe", "0532", "Avea"}));
}

TEST(CsvReader, QuotedFieldsKeepSeparatorsQuotesAndLineBreaks) {
    Scratch scratch;
    const auto sheet =
        openCsv(scratch, "g,\"Soyadı, Adı\",\"say \"\"merhaba\"\"\",\"iki\r\nsatır\"\r\nh,b,c,d\r\n");
    EXPECT_EQ(rowTexts(*sheet, 1), row({"g", "Soyadı, Adı", "say \"merhaba\"", "iki\r\nsatır"}));
    EXPECT_EQ(rowTexts(*sheet, 2), row({"h", "b", "c", "d"}));
}

TEST(CsvReader, Utf8WithAndWithoutByteOrderMark) {
    Scratch scratch;
    EXPECT_EQ(rowTexts(*openCsv(scratch, "\xEF\xBB\xBFÇ;Şükrü\n"), 1), row({"Ç", "Şükrü", "", ""}));
    EXPECT_EQ(rowTexts(*openCsv(scratch, "Ç;Şükrü\n"), 1), row({"Ç", "Şükrü", "", ""}));
}

TEST(CsvReader, FallsBackToCodePage1254) {
    Scratch scratch;
    const auto sheet = openCsv(scratch, "Aile;\xDE\xFCkr\xFC \xC7\x61\xF0layan;0535;Turkcell\n");
    EXPECT_EQ(rowTexts(*sheet, 1), row({"Aile", "Şükrü Çağlayan", "0535", "Turkcell"}));
}

TEST(CsvReader, Utf16WithByteOrderMark) {
    Scratch scratch;
    const QString text = QStringLiteral("Aile\tİsmail Işık\t0542\n");
    QByteArray content("\xFF\xFE");
    content.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    EXPECT_EQ(rowTexts(*openCsv(scratch, content), 1), row({"Aile", "İsmail Işık", "0542", ""}));
}

TEST(CsvReader, CarriageReturnAloneEndsARecord) {
    Scratch scratch;
    const auto sheet = openCsv(scratch, "a,b\rc,d\re,f");
    EXPECT_EQ(rowCount(*sheet), 3);
    EXPECT_EQ(rowTexts(*sheet, 3), row({"e", "f", "", ""}));
}

TEST(CsvReader, ReadsEveryRowAndSixteenColumns) {
    Scratch scratch;
    const auto sheet = openCsv(scratch, "a;b;c;d;e;f;g;h;i;j;k;l;m;n;o;p;q\n;x\nq;;r\n\nafter;gap\n\n\n");
    EXPECT_EQ(sheet->cell(1, 5).text, QStringLiteral("e"));
    EXPECT_EQ(sheet->cell(1, 16).text, QStringLiteral("p"));
    EXPECT_EQ(sheet->cell(1, 17).kind, CellKind::Empty) << "past the sixteenth nothing is kept";
    EXPECT_EQ(rowTexts(*sheet, 2), row({"", "x", "", ""}));
    EXPECT_EQ(rowTexts(*sheet, 3), row({"q", "", "r", ""})) << "a row without a name is a row";
    EXPECT_FALSE(sheet->pastEnd(4)) << "a blank line between rows";
    EXPECT_EQ(sheet->cell(5, 2).text, QStringLiteral("gap"));
    EXPECT_TRUE(sheet->pastEnd(6)) << "blank lines at the end are no rows";
}

// Line ends written twice over (LF CR, CR CR LF) are one line end each, not a line end and a blank line;
// a CR alone is a line end, and so are two of them with a blank line between.
TEST(CsvReader, DoubledLineEndsMakeNoBlankRows) {
    Scratch scratch;
    const struct {
        const char* text;
        int rows; // with data, in order, none blank between
        int blank;  // blank rows between them
    } cases[] = {
        {"a;1\n\rb;2\n\rc;3\n\r", 3, 0}, {"a;1\r\r\nb;2\r\r\nc;3\r\r\n", 3, 0},
        {"a;1\r\nb;2\r\nc;3", 3, 0},        {"a;1\r\rb;2\rc;3\r", 3, 1},
        {"a;1\n\r\nb;2\nc;3\n", 3, 1},     {"a;1\n\nb;2\r\n\r\nc;3\r\n", 3, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QByteArray(c.text).toPercentEncoding().toStdString());
        const auto sheet = openCsv(scratch, c.text);
        int rows = 0;
        int blank = 0;
        for (int r = 1; !sheet->pastEnd(r); ++r) {
            sheet->cell(r, 2).text.isEmpty() ? ++blank : ++rows;
        }
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(blank, c.blank);
    }
}

TEST(CsvReader, CellsAreTextOrEmpty) {
    Scratch scratch;
    const auto sheet = openCsv(scratch, "5421234567;TRUE;2024-03-15;\n");
    EXPECT_EQ(sheet->cell(1, 1).kind, CellKind::Text);
    EXPECT_EQ(sheet->cell(1, 1).text, QStringLiteral("5421234567"));
    EXPECT_EQ(sheet->cell(1, 2).kind, CellKind::Text);
    EXPECT_EQ(sheet->cell(1, 4).kind, CellKind::Empty);
}

TEST(CsvReader, EmptyFileHasNoRows) {
    Scratch scratch;
    const auto sheet = openCsv(scratch, "");
    EXPECT_EQ(rowCount(*sheet), 0);
    EXPECT_EQ(sheet->cell(1, 1).kind, CellKind::Empty);
}

TEST(CsvReader, UnterminatedQuoteIsAnError) {
    Scratch scratch;
    const QString file = scratch.write(QStringLiteral("kirik.csv"), "a;\"b\nc;d\n");
    EXPECT_EQ(openError(file), file + QStringLiteral(": tırnak içindeki bir alan kapanmadan bitiyor"));
}

TEST(CsvReader, BinaryDataIsNoCsv) {
    Scratch scratch;
    const QString file =
        scratch.write(QStringLiteral("resim.csv"), QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16));
    EXPECT_EQ(openError(file), file + QStringLiteral(": bu programın okuyabildiği bir tablo dosyası değil"));
}
