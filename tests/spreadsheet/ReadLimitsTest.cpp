// Limits that go by what is read: XML depth and document types, the text of one cell, the rows of a sheet,
// the bytes an archive inflates, the kind of file opened; and memory that stays flat as a sheet streams.

#include "Readers.h"
#include "SourceFile.h"
#include "StreamedWorksheet.h"
#include "TestFiles.h"
#include "ZipArchive.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace testfiles;

namespace {

const QByteArray kRow1 = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a</t></is></c>"
                         "<c r=\"B1\" t=\"inlineStr\"><is><t>b</t></is></c></row>";
const QByteArray kOdsRow1 =
    "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>a</text:p></table:table-cell>"
    "<table:table-cell office:value-type=\"string\"><text:p>b</text:p></table:table-cell></table:table-row>";

QByteArray nested(int count) {
    return QByteArray("<x>").repeated(count) + QByteArray("</x>").repeated(count);
}

// A workbook whose given part nests elements `depth` deep, counting its root as 1; or, for depth 0, declares
// a document type.
QString xmlFile(const Scratch& scratch, const QString& part, int depth) {
    const bool ods = part == QLatin1String("content.xml");
    const QString file = scratch.path(ods ? QStringLiteral("derin.ods") : QStringLiteral("derin.xlsx"));
    Parts parts;
    if (ods) {
        parts = odsParts(kOdsRow1 + nested(depth - 4)); // content, body, spreadsheet, table
    } else {
        XlsxParts workbook{kRow1, "<si><t>s</t></si>"};
        if (part.endsWith(QLatin1String("sheet1.xml"))) {
            workbook.sheetData += nested(depth - 2); // worksheet, sheetData
        } else if (part.endsWith(QLatin1String("sharedStrings.xml"))) {
            workbook.sharedStrings += "<si>" + nested(depth - 2) + "</si>"; // sst, si
        } else {
            workbook.workbookProperties = nested(depth - 1); // workbook
        }
        parts = xlsxParts(workbook);
    }
    for (auto& [name, content] : parts) {
        if (name == part && depth == 0) {
            content.insert(content.indexOf("?>") + 2, "<!DOCTYPE x>");
        }
    }
    return scratch.writeZip(QFileInfo(file).fileName(), parts);
}

struct XmlCase {
    const char* part;
    int depth; // 0: a document type instead
    const char* error; // after the file's name; a fault in the sheet's rows names the row it was in
};

const XmlCase kXmlCases[] = {
    {"xl/worksheets/sheet1.xml", 256, nullptr},
    {"xl/worksheets/sheet1.xml", 257,
     "satır 2: xl/worksheets/sheet1.xml bölümünde öğeler 256 düzeyden derin iç içe"},
    {"xl/worksheets/sheet1.xml", 0,
     "xl/worksheets/sheet1.xml bölümü bir belge türü (DOCTYPE) bildiriyor; hiçbir tablo dosyası bunu yapmaz"},
    {"xl/sharedStrings.xml", 256, nullptr},
    {"xl/sharedStrings.xml", 257, "xl/sharedStrings.xml bölümünde öğeler 256 düzeyden derin iç içe"},
    {"xl/workbook.xml", 256, nullptr},
    {"xl/workbook.xml", 257, "xl/workbook.xml bölümünde öğeler 256 düzeyden derin iç içe"},
    {"xl/workbook.xml", 0,
     "xl/workbook.xml bölümü bir belge türü (DOCTYPE) bildiriyor; hiçbir tablo dosyası bunu yapmaz"},
    {"content.xml", 256, nullptr},
    {"content.xml", 257, "satır 2: content.xml bölümünde öğeler 256 düzeyden derin iç içe"},
};

// A file whose row 2, column 3 holds `length` copies of one character, in each format.
enum class Format { Csv, XlsxInline, XlsxShared, Ods };

QString longCellFile(const Scratch& scratch, Format format, qsizetype length, const char* character) {
    QByteArray text;
    for (qsizetype i = 0; i < length; ++i) {
        text += character;
    }
    switch (format) {
    case Format::Csv:
        return scratch.write(QStringLiteral("uzun.csv"), "a;b;c;d\na;b;" + text + ";d\n");
    case Format::XlsxInline:
        return scratch.writeZip(QStringLiteral("uzun.xlsx"),
                                xlsxParts({kRow1 +
                                           "<row r=\"2\"><c r=\"B2\" t=\"inlineStr\"><is><t>b</t></is>"
                                           "</c><c r=\"C2\" t=\"inlineStr\"><is><t>" +
                                           text + "</t></is></c></row>"}));
    case Format::XlsxShared:
        return scratch.writeZip(
            QStringLiteral("uzun.xlsx"),
            xlsxParts({kRow1 + "<row r=\"2\"><c r=\"B2\" t=\"inlineStr\"><is><t>b</t></is>"
                               "</c><c r=\"C2\" t=\"s\"><v>1</v></c></row>",
                       "<si><t>x</t></si><si><t>" + text + "</t></si>"}));
    case Format::Ods:
        return scratch.writeZip(QStringLiteral("uzun.ods"),
                                odsParts(kOdsRow1 +
                                         "<table:table-row><table:table-cell/><table:table-cell "
                                         "office:value-type=\"string\"><text:p>b</text:p>"
                                         "</table:table-cell><table:table-cell><text:p>" +
                                         text + "</text:p></table:table-cell></table:table-row>"));
    }
    return {};
}

struct LongCellCase {
    Format format;
    qsizetype length;
    const char* character;
};

const LongCellCase kLongCellCases[] = {
    {Format::Csv, 1048576, "ş"},        {Format::Csv, 1048577, "a"},
    {Format::XlsxInline, 1048576, "a"}, {Format::XlsxInline, 1048577, "ş"},
    {Format::XlsxShared, 1048576, "ş"}, {Format::XlsxShared, 1048577, "a"},
    {Format::Ods, 1048576, "a"},        {Format::Ods, 1048577, "ş"},
};

std::string errorOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const SpreadsheetError& error) {
        return error.what();
    }
    return {};
}

} // namespace

TEST(ReadLimits, XmlDepthAndDocumentTypes) {
    Scratch scratch;
    for (const XmlCase& c : kXmlCases) {
        SCOPED_TRACE(std::string(c.part) + " at depth " + std::to_string(c.depth));
        const QString file = xmlFile(scratch, QString::fromLatin1(c.part), c.depth);
        if (c.error) {
            EXPECT_EQ(openError(file), file + QStringLiteral(": ") + QString::fromUtf8(c.error));
        } else {
            EXPECT_EQ(openError(file), QString());
            EXPECT_EQ(openFirstWorksheet(file)->cell(1, 2).text, QStringLiteral("b"));
        }
    }
}

TEST(ReadLimits, CellTextUpToOneMebiCharacter) {
    Scratch scratch;
    for (const LongCellCase& c : kLongCellCases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.format)) + ": " + std::to_string(c.length));
        const QString file = longCellFile(scratch, c.format, c.length, c.character);
        if (c.length > spreadsheet::kMaxCellCharacters) {
            EXPECT_EQ(openError(file), file + QStringLiteral(": satır 2, sütun 3: 1048576 karakterden uzun"));
        } else {
            const auto sheet = openFirstWorksheet(file);
            EXPECT_EQ(sheet->cell(2, 3).text.size(), c.length);
            EXPECT_EQ(sheet->cell(2, 3).text.back(), QString::fromUtf8(c.character).back());
        }
    }
}

// Exactly as many rows as the limit read; a row with data past it is refused: in CSV before any row is read
// (the lines are counted first), in a workbook when it is reached, after the rows before it. A final line end
// and blank lines at the end add no row.
TEST(ReadLimits, RowLimitCountsRowsNotLineEnds) {
    Scratch scratch;
    const QByteArray line = "a;b\n";
    const QByteArray full = line.repeated(kMaxSheetRows);
    const auto lastRow = [](long long row) {
        return "<row r=\"1\"><c r=\"B1\" t=\"inlineStr\"><is><t>b</t></is></c></row><row r=\"" +
               QByteArray::number(row) + "\"><c r=\"B" + QByteArray::number(row) +
               "\" t=\"inlineStr\"><is><t>b</t></is></c></row>";
    };
    const QString tooMany = QStringLiteral(": 1048576 satırdan fazla");
    const struct {
        QString file;
        QString error; // after the file's name; empty: read
    } cases[] = {
        {scratch.write(QStringLiteral("tam.csv"), full), {}},
        {scratch.write(QStringLiteral("tam-sonsuz.csv"), full.chopped(1)), {}},
        {scratch.write(QStringLiteral("tam-bos.csv"), full + "\n;\n\r\n"), {}},
        {scratch.write(QStringLiteral("fazla.csv"), full + line), tooMany},
        {scratch.write(QStringLiteral("fazla-sonsuz.csv"), full + line.chopped(1)), tooMany},
        {scratch.writeZip(QStringLiteral("tam.xlsx"), xlsxParts({lastRow(kMaxSheetRows)})), {}},
        {scratch.writeZip(QStringLiteral("fazla.xlsx"), xlsxParts({lastRow(kMaxSheetRows + 1)})),
         QStringLiteral(": satır 1048577: 1048576 satırdan fazla")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        QString last;
        Cell past{CellKind::Text, QStringLiteral("?")};
        const std::string error = errorOf([&] {
            const auto sheet = openFirstWorksheet(c.file);
            if (c.file.endsWith(QLatin1String(".xlsx"))) {
                EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("b")) << "the rows before the fault read";
            }
            last = sheet->cell(kMaxSheetRows, 2).text;
            past = sheet->cell(kMaxSheetRows + 1, 2);
        });
        EXPECT_EQ(error, c.error.isEmpty() ? std::string() : (c.file + c.error).toStdString());
        if (c.error.isEmpty()) {
            EXPECT_EQ(last, QStringLiteral("b"));
            EXPECT_EQ(past.kind, CellKind::Empty);
        }
    }
}

TEST(ReadLimits, InflatedBytesAreCountedOverTheArchive) {
    Scratch scratch;
    const QByteArray rows = (kRow1 + QByteArray(1 << 20, ' ')).repeated(2);
    const QString file = scratch.writeZip(QStringLiteral("bomba.xlsx"), xlsxParts({rows}));
    auto zip = std::make_shared<const spreadsheet::ZipArchive>(spreadsheet::SourceFile::open(file), 1 << 20);
    const std::string error = errorOf([&] {
        spreadsheet::StreamedWorksheet sheet(file, spreadsheet::readXlsx(zip));
        sheet.cell(2, 2);
    });
    EXPECT_EQ(error,
              (file + QStringLiteral(": satır 2: açıldığında boyutuna göre çok fazla veri çıkıyor (1 MiB'tan çok)"))
                  .toStdString());
    EXPECT_EQ(openFirstWorksheet(file)->cell(1, 2).text, QStringLiteral("b")) << "64 MiB and more by default";
}

TEST(ReadLimits, OnlyRegularFilesAreOpened) {
    Scratch scratch;
    const QString fifo = scratch.path(QStringLiteral("boru.csv"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString socketPath = scratch.path(QStringLiteral("soket.xlsx"));
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketName = QFile::encodeName(socketPath);
    ASSERT_LT(static_cast<size_t>(socketName.size()), sizeof address.sun_path);
    std::copy(socketName.begin(), socketName.end(), address.sun_path);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QString folder = scratch.path(QStringLiteral("klasor.xlsx"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString link = scratch.path(QStringLiteral("baglanti.csv"));
    ASSERT_TRUE(QFile::link(scratch.write(QStringLiteral("gercek.csv"), "a;b\n"), link));

    const std::pair<QString, const char*> refused[] = {
        {fifo, "adlandırılmış bir boru, dosya değil"},
        {QStringLiteral("/dev/zero"), "bir aygıt, dosya değil"},
        {socketPath, "bir soket, dosya değil"},
        {folder, "bir klasör, dosya değil"},
    };
    for (const auto& [file, message] : refused) {
        // A pipe with no writer would hold an open() for ever: getting here at all is half the test.
        EXPECT_EQ(openError(file), file + QStringLiteral(": ") + QString::fromUtf8(message));
    }
    close(listener);
    EXPECT_EQ(openFirstWorksheet(link)->cell(1, 2).text, QStringLiteral("b")) << "a link to a file is a file";
}

// The worksheet reads on as rows are asked for: a fault further down comes out of cell(), naming the file,
// and again on every later call; asking for an earlier row reads the file again from its start.
TEST(ReadLimits, FaultsFurtherDownComeOutOfCell) {
    Scratch scratch;
    QByteArray rows;
    for (int r = 1; r <= 3; ++r) {
        const QByteArray n = QByteArray::number(r);
        rows += "<row r=\"" + n + "\"><c r=\"B" + n + "\"><v>" + n + "</v></c></row>";
    }
    // Past the first piece of the part that is parsed with row 1.
    rows += QByteArray(qsizetype(256) * 1024, ' ') + "<row r=\"4\"><c r=\"B4\"><v>dört</v></c></row>";
    const QString file = scratch.writeZip(QStringLiteral("bozuk.xlsx"), xlsxParts({rows}));
    const auto sheet = openFirstWorksheet(file);
    EXPECT_EQ(sheet->cell(3, 2).text, QStringLiteral("3"));
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("1")) << "read again from the start";
    EXPECT_EQ(sheet->cell(2, 2).text, QStringLiteral("2"));
    const std::string expected =
        (file + QStringLiteral(": satır 4, sütun 2: xl/worksheets/sheet1.xml bölümünde geçersiz bir sayı var: dört"))
            .toStdString();
    EXPECT_EQ(errorOf([&] { sheet->cell(4, 2); }), expected);
    EXPECT_EQ(errorOf([&] { sheet->cell(1, 2); }), expected);
}

// Memory stays flat however long the sheet or its lines are: a million rows whose names are all different
// shared strings, and a CSV of one 16 MiB line of eight million fields.
TEST(ReadLimits, StreamingReadsKeepMemoryFlat) {
    if (!memoryIsMeasurable()) {
        GTEST_SKIP() << "memory is not measurable under a sanitizer";
    }
    Scratch scratch;
    constexpr int kRows = 1000000;
    QByteArray sheetData;
    QByteArray strings;
    sheetData.reserve(qsizetype(kRows) * 56);
    strings.reserve(qsizetype(kRows) * 24);
    for (int i = 0; i < kRows; ++i) {
        const QByteArray n = QByteArray::number(i);
        sheetData +=
            "<row><c t=\"s\"><v>0</v></c><c t=\"s\"><v>" + n + "</v></c><c><v>" + n + "</v></c></row>";
        strings += "<si><t>Ad Soyad " + n + "</t></si>";
    }
    const QString xlsx =
        scratch.writeZip(QStringLiteral("milyon.xlsx"), xlsxParts({sheetData, strings}), false);
    sheetData = QByteArray();
    strings = QByteArray();
    const QString csv = scratch.write(QStringLiteral("tek-satir.csv"),
                                      "a;b;c;d;" + QByteArray("e;").repeated(qsizetype(8) << 20) + "\n");

    const struct {
        QString file;
        int rows;
        long boundMiB;
    } cases[] = {{xlsx, kRows, 64}, {csv, 1, 16}};
    for (const auto& c : cases) {
        const QString& file = c.file;
        const int rows = c.rows;
        SCOPED_TRACE(file.toStdString());
        int read = 0;
        const long growthKiB = peakGrowthKiBInChild([&] {
            const auto sheet = openFirstWorksheet(file);
            while (!sheet->cell(read + 1, 2).text.isEmpty()) {
                ++read;
                sheet->cell(read, 1);
                sheet->cell(read, 3);
            }
            if (read != rows) {
                throw std::runtime_error("rows missing");
            }
        });
        ASSERT_GE(growthKiB, 0) << "the read failed";
        EXPECT_LT(growthKiB, c.boundMiB * 1024);
    }
}
