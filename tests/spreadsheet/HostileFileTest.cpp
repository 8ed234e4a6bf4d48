// Files made to hurt a reader: each ends in a clear error or a bounded read, never a crash or a runaway.

#include "TestFiles.h"

#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace testfiles;

namespace {

long peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QByteArray corpusBytes(const QString& relative) {
    QFile file(corpusPath(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// A part is read as it inflates: its unpacked size costs time, not memory.
TEST(HostileFile, HugePartIsReadWithoutBeingHeld) {
    Scratch scratch;
    XlsxParts workbook{"<row r=\"1\"><c r=\"B1\" t=\"s\"><v>0</v></c></row>"};
    Parts parts = xlsxParts(workbook);
    // 48 MiB of one repeated character compresses to some fifty KiB, within what any file may inflate to.
    QByteArray huge =
        "<?xml version=\"1.0\"?><sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    huge += QByteArray(qsizetype(48) << 20, ' ');
    huge += "<si><t>a</t></si></sst>";
    parts.emplace_back(QStringLiteral("xl/sharedStrings.xml"), huge);
    parts[3].second.replace(
        "</Relationships>",
        "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>");
    const QString file = scratch.writeZip(QStringLiteral("bomba.xlsx"), parts);
    huge.clear();
    huge.squeeze();
    parts.clear();
    const long before = peakMemoryKiB();
    const auto sheet = openFirstWorksheet(file);
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("a"));
    EXPECT_LT(peakMemoryKiB() - before, 16 * 1024);
}

TEST(HostileFile, ZipPartLyingAboutItsSizeIsRefused) {
    Scratch scratch;
    const QString file = scratch.writeZip(QStringLiteral("yalan.xlsx"),
                                          xlsxParts({"<row r=\"1\"><c r=\"B1\"><v>1</v></c></row>"}));
    QFile zip(file);
    ASSERT_TRUE(zip.open(QIODevice::ReadOnly));
    QByteArray bytes = zip.readAll();
    zip.close();
    // Shrink the declared unpacked size of the worksheet in its local header and central directory entry.
    const QByteArray name = "xl/worksheets/sheet1.xml";
    int patched = 0;
    for (qsizetype at = bytes.indexOf(name); at >= 0; at = bytes.indexOf(name, at + 1)) {
        const bool central = bytes.mid(at - 46, 4) == QByteArray("PK\x01\x02", 4);
        const bool local = bytes.mid(at - 30, 4) == QByteArray("PK\x03\x04", 4);
        const qsizetype sizeField = central ? at - 46 + 24 : local ? at - 30 + 22 : -1;
        if (sizeField < 0) {
            continue;
        }
        bytes[sizeField] = 10;
        bytes[sizeField + 1] = 0;
        bytes[sizeField + 2] = 0;
        bytes[sizeField + 3] = 0;
        ++patched;
    }
    ASSERT_EQ(patched, 2);
    const QString lying = scratch.write(QStringLiteral("yalan2.xlsx"), bytes);
    EXPECT_TRUE(openError(lying).startsWith(lying + QStringLiteral(": xl/worksheets/sheet1.xml bölümü")))
        << openError(lying).toStdString();
}

// Rows far down cost nothing to pass over: a row past the limit is refused when it is reached, after the rows
// before it; blank rows, repeated a billion times, end the sheet; a row with data repeated as often is a
// bomb.
TEST(HostileFile, BillionRowClaimsReadOnlyReachableRows) {
    Scratch scratch;
    const QString far = scratch.writeZip(
        QStringLiteral("uzun.xlsx"),
        xlsxParts({"<row r=\"1\"><c r=\"B1\"><v>1</v></c></row><row r=\"1000000000\"><c r=\"B1000000000\">"
                   "<v>2</v></c></row>"}));
    EXPECT_EQ(openFirstWorksheet(far)->cell(1, 2).text, QStringLiteral("1"));
    EXPECT_EQ(openError(far), far + QStringLiteral(": satır 1000000000: 1048576 satırdan fazla"));

    const long before = peakMemoryKiB();
    const auto ods = openFirstWorksheet(scratch.writeZip(
        QStringLiteral("uzun.ods"),
        odsParts(
            "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>a</text:p>"
            "</table:table-cell><table:table-cell office:value-type=\"string\"><text:p>b</text:p>"
            "</table:table-cell></table:table-row><table:table-row table:number-rows-repeated=\"999999999\">"
            "<table:table-cell table:number-columns-repeated=\"999999999\"/></table:table-row>")));
    EXPECT_EQ(rowCount(*ods), 1);
    EXPECT_TRUE(ods->pastEnd(2));
    EXPECT_LT(peakMemoryKiB() - before, 64 * 1024);

    const QString full = scratch.writeZip(
        QStringLiteral("dolu.ods"),
        odsParts("<table:table-row table:number-rows-repeated=\"999999999\"><table:table-cell "
                 "table:number-columns-repeated=\"999999999\" office:value-type=\"string\"><text:p>X</text:p>"
                 "</table:table-cell></table:table-row>"));
    EXPECT_TRUE(
        openError(full).startsWith(full + QStringLiteral(": satır 1: açıldığında boyutuna göre çok fazla")))
        << openError(full).toStdString();
}

// Many strings read fine; 70 MiB of them from some seventy KiB of file are a bomb, refused before they are
// all read.
TEST(HostileFile, HugeSharedStringTableCostsOnlyTheStringsInUse) {
    Scratch scratch;
    const struct {
        int items;
        qsizetype padding; // characters after each item's number
        bool bomb;
    } cases[] = {{200000, 0, false}, {70, 1000000, true}};
    for (const auto& [items, padding, bomb] : cases) {
        SCOPED_TRACE(items);
        QByteArray strings;
        for (int i = 0; i < items; ++i) {
            strings += "<si><t>dize " + QByteArray::number(i) + QByteArray(padding, '.') + "</t></si>";
        }
        const QByteArray last = QByteArray::number(items - 1);
        const QString file = scratch.writeZip(
            QStringLiteral("dizeler.xlsx"),
            xlsxParts({"<row r=\"1\"><c r=\"A1\" t=\"s\"><v>5</v></c><c r=\"B1\" t=\"s\"><v>" + last +
                           "</v></c></row><row r=\"2\"><c r=\"B2\" t=\"s\"><v>" + last + "</v></c></row>",
                       strings}));
        strings = QByteArray();
        if (bomb) {
            EXPECT_TRUE(openError(file).contains(QStringLiteral("açıldığında boyutuna göre çok fazla veri")))
                << openError(file).toStdString();
            continue;
        }
        const auto sheet = openFirstWorksheet(file);
        const QString dots(padding, QLatin1Char('.'));
        EXPECT_EQ(sheet->cell(1, 1).text, QStringLiteral("dize 5") + dots);
        EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("dize ") + QString::fromLatin1(last) + dots);
        EXPECT_EQ(sheet->cell(2, 2).text, sheet->cell(1, 2).text);
    }
}

TEST(HostileFile, EntityDeclarationsAreRefused) {
    Scratch scratch;
    const QByteArray laughs =
        "<?xml version=\"1.0\"?><!DOCTYPE sst [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
        "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
        "]><sst><si><t>&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;</t></si></sst>";
    Parts parts = xlsxParts({"<row r=\"1\"><c r=\"B1\" t=\"s\"><v>0</v></c></row>", "<si><t>x</t></si>"});
    for (auto& [name, content] : parts) {
        if (name == QLatin1String("xl/sharedStrings.xml")) {
            content = laughs;
        }
    }
    const QString file = scratch.writeZip(QStringLiteral("kahkaha.xlsx"), parts);
    EXPECT_EQ(openError(file), file + QStringLiteral(": xl/sharedStrings.xml bölümü bir belge türü (DOCTYPE) "
                                                     "bildiriyor; hiçbir tablo dosyası bunu yapmaz"));

    const QString external =
        scratch.writeZip(QStringLiteral("dis.ods"),
                         {{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet"},
                          {QStringLiteral("content.xml"),
                           "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY s SYSTEM \"file:///etc/passwd\">]>"
                           "<office:document-content>&s;</office:document-content>"}});
    EXPECT_EQ(openError(external), external + QStringLiteral(": content.xml bölümü bir belge türü (DOCTYPE) "
                                                             "bildiriyor; hiçbir tablo dosyası bunu yapmaz"));
}

TEST(HostileFile, SpaceRunsCannotBlowACellUp) {
    Scratch scratch;
    QByteArray spaces;
    for (int i = 0; i < 2000; ++i) {
        spaces += "<text:s text:c=\"1000\"/>";
    }
    const QString file =
        scratch.writeZip(QStringLiteral("bosluk.ods"),
                         odsParts("<table:table-row><table:table-cell office:value-type=\"string\"><text:p>" +
                                  spaces + "</text:p></table:table-cell></table:table-row>"));
    EXPECT_EQ(openError(file), file + QStringLiteral(": satır 1, sütun 1: 1048576 karakterden uzun"));
}

TEST(HostileFile, MadeUpSharedStringIndexesAreRefusedCheaply) {
    Scratch scratch;
    const QString file =
        scratch.writeZip(QStringLiteral("indeks.xlsx"),
                         xlsxParts({"<row r=\"1\"><c r=\"B1\" t=\"s\"><v>9223372036854775806</v></c></row>",
                                    "<si><t>a</t></si>"}));
    EXPECT_TRUE(openError(file).startsWith(
        file +
        QStringLiteral(": satır 1, sütun 2: olmayan bir ortak metne başvuruyor: 9223372036854775806")));
}

TEST(HostileFile, TruncatedZipContainersAreErrors) {
    Scratch scratch;
    for (const char* file :
         {"generated/lo_contacts.xlsx", "generated/lo_contacts.ods", "generated/openpyxl_contacts.xlsx"}) {
        const QByteArray bytes = corpusBytes(QString::fromLatin1(file));
        ASSERT_FALSE(bytes.isEmpty()) << file;
        for (const qsizetype length :
             {qsizetype(10), bytes.size() / 3, bytes.size() / 2, bytes.size() - 10}) {
            const QString cut = scratch.write(QStringLiteral("kesik.bin"), bytes.left(length));
            const QString error = openError(cut);
            EXPECT_TRUE(error.startsWith(cut + QStringLiteral(": "))) << file << " cut at " << length;
        }
    }
}

// Every corpus file cut short and with bytes overwritten: an error or a read, and nothing worse.
TEST(HostileFile, DamagedCorpusFilesNeverCrash) {
    Scratch scratch;
    QRandomGenerator random(20261207);
    QDirIterator it(corpusPath(QStringLiteral("third_party")), QDir::Files, QDirIterator::Subdirectories);
    QStringList files;
    while (it.hasNext()) {
        files << it.next();
    }
    QDirIterator generated(corpusPath(QStringLiteral("generated")), QDir::Files);
    while (generated.hasNext()) {
        files << generated.next();
    }
    ASSERT_GT(files.size(), 50);
    int opened = 0;
    int refused = 0;
    for (const QString& path : files) {
        QFile source(path);
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        for (int variant = 0; variant < 6; ++variant) {
            QByteArray damaged = bytes.left(variant < 2 ? bytes.size() * (variant + 1) / 3 : bytes.size());
            for (int k = 0; variant >= 2 && k < variant * 4 && !damaged.isEmpty(); ++k) {
                damaged[random.bounded(static_cast<int>(damaged.size()))] =
                    static_cast<char>(random.bounded(256));
            }
            const QString file = scratch.write(QStringLiteral("hasarli") + QFileInfo(path).suffix(), damaged);
            try {
                const auto sheet = openFirstWorksheet(file);
                rowCount(*sheet);
                ++opened;
            } catch (const SpreadsheetError& error) {
                EXPECT_TRUE(QString::fromUtf8(error.what()).startsWith(file + QStringLiteral(": ")));
                ++refused;
            }
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(opened, 0);
}

TEST(HostileFile, NotASpreadsheet) {
    Scratch scratch;
    const QString binary = scratch.write(QStringLiteral("program.xlsx"), QByteArray("\x7F"
                                                                                    "ELF\x02\x01\x01\0\0\0",
                                                                                    10));
    EXPECT_EQ(openError(binary),
              binary + QStringLiteral(": bu programın okuyabildiği bir tablo dosyası değil"));
    const QString plainZip =
        scratch.writeZip(QStringLiteral("arsiv.xlsx"), {{QStringLiteral("a.txt"), "merhaba"}});
    EXPECT_EQ(openError(plainZip),
              plainZip + QStringLiteral(": bu programın okuyabildiği bir tablo dosyası değil"));
    const QString missing = scratch.path(QStringLiteral("yok.xlsx"));
    EXPECT_TRUE(openError(missing).startsWith(missing + QStringLiteral(": açılamıyor: ")));
    EXPECT_TRUE(openError(scratch.path(QString())).endsWith(QStringLiteral(": bir klasör, dosya değil")));
}

namespace {

// A file of tests/data/spreadsheets/hostile (make-hostile-files.py says how each is made) and what reading
// every row of it as the import does gives: the rows with data read before the fault, and the fault.
struct KeptFile {
    const char* name;
    int rows;          // rows with data read
    const char* error; // what() holds after "<file>: "; nullptr: read to its end
};

const KeptFile kKeptFiles[] = {
    {"formula-text-after-a-far-cell.xls", 2, nullptr},
    {"empty-continues.xls", 2, nullptr},
    {"damaged-cell-in-row-3001.xlsx", 3000,
     "satır 3001, sütun 3: xl/worksheets/sheet1.xml bölümünde geçersiz bir sayı var: 053O"},
    {"damaged-cell-in-row-3001.ods", 3000,
     "satır 3001, sütun 3: content.xml bölümünde geçersiz bir sayı var"},
    {"malformed-after-two-rows.xlsx", 2,
     "satır 3, sütun 1: xl/worksheets/sheet1.xml bölümü bozuk: bir öğe açıldığı adla kapanmıyor (XML'in 1. "
     "satırında)"},
    {"long-comment.xlsx", 1,
     "satır 2: xl/worksheets/sheet1.xml bölümünde 1024 KiB'tan uzun bir öğe ya da açıklama var"},
    {"long-string-value.ods", 0,
     "satır 1, sütun 1: content.xml bölümünde 1024 KiB'tan uzun bir öğe ya da açıklama var"},
    {"bzip2-sheet.xlsx", 0, "xl/worksheets/sheet1.xml bölümü desteklenmeyen bir sıkıştırma yöntemi"},
    {"many-relationships.xlsx", 0, "xl/_rels/workbook.xml.rels bölümü çok fazla ilişki sayıyor"},
    {"blank-rows.xlsx", 1, "açıldığında boyutuna göre çok fazla veri çıkıyor"},
    {"cells-past-the-columns-read.xlsx", 0, "açıldığında boyutuna göre çok fazla veri çıkıyor"},
    {"blanks.xlsx", 1, "açıldığında boyutuna göre çok fazla veri çıkıyor"},
    {"repeated-rows.ods", 0, "satır 1: açıldığında boyutuna göre çok fazla veri çıkıyor (64 MiB'tan çok)"},
    {"changed-byte.xlsx", 3,
     "xl/worksheets/sheet1.xml bölümü bozuk: sağlama toplamı tutmuyor, içeriği değişmiş"},
    {"row-past-the-limit.xlsx", 1, "satır 1048577: 1048576 satırdan fazla"},
    {"surrogate-and-nul.xlsx", 1, nullptr},
    {"doubled-line-ends.csv", 4, nullptr},
};

class KeptFileTest : public ::testing::TestWithParam<KeptFile> {};

} // namespace

// Each finding, as a file kept with the tests: no crash, a bounded read, every row before the fault, and the
// fault named where it lies. (The time and memory each takes are in docs/benchmarks.md.)
TEST_P(KeptFileTest, ReadsTheRowsBeforeItsFaultAndNamesIt) {
    const KeptFile& kept = GetParam();
    const QString file = corpusPath(QStringLiteral("hostile/") + QString::fromLatin1(kept.name));
    int rows = 0;
    QString error;
    try {
        const auto sheet = openFirstWorksheet(file);
        for (int row = 1; !sheet->pastEnd(row); ++row) {
            rows += sheet->cell(row, 1).text.isEmpty() && sheet->cell(row, 2).text.isEmpty() ? 0 : 1;
        }
    } catch (const SpreadsheetError& failure) {
        error = QString::fromUtf8(failure.what());
    }
    EXPECT_EQ(rows, kept.rows);
    if (kept.error == nullptr) {
        EXPECT_EQ(error, QString());
    } else {
        EXPECT_TRUE(error.startsWith(file + QStringLiteral(": ")) &&
                    error.contains(QString::fromUtf8(kept.error)))
            << error.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Hostile, KeptFileTest, ::testing::ValuesIn(kKeptFiles),
                         [](const ::testing::TestParamInfo<KeptFile>& param) {
                             QString name = QString::fromLatin1(param.param.name);
                             name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")),
                                          QStringLiteral("_"));
                             return name.toStdString();
                         });

TEST(HostileFile, AFormulasTextFindsItsCellAfterTheRowsMoved) {
    const auto sheet =
        openFirstWorksheet(corpusPath(QStringLiteral("hostile/formula-text-after-a-far-cell.xls")));
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("Formül metni"));
    EXPECT_EQ(sheet->cell(1, 3).text, QStringLiteral("5321234567"));
    EXPECT_EQ(sheet->cell(1001, 1).text, QStringLiteral("1"));
}

// What SQLite would misread never reaches it: NUL goes, a lone surrogate becomes U+FFFD and the digit after
// it stays.
TEST(HostileFile, NulAndLoneSurrogatesAreMadeStorable) {
    const auto sheet = openFirstWorksheet(corpusPath(QStringLiteral("hostile/surrogate-and-nul.xlsx")));
    EXPECT_EQ(sheet->cell(1, 1).text, QStringLiteral("Aile"));
    EXPECT_EQ(sheet->cell(1, 2).text, QStringLiteral("Ay\uFFFDse"));
    EXPECT_EQ(sheet->cell(1, 3).text, QStringLiteral("0535\uFFFD1234567"));
}

// A CSV file of more rows than a sheet may have is refused before a single row is read.
TEST(HostileFile, TooLongCsvIsRefusedAtOpening) {
    Scratch scratch;
    const QString file =
        scratch.write(QStringLiteral("uzun.csv"), QByteArray("a;b\n").repeated(kMaxSheetRows + 1));
    try {
        openFirstWorksheet(file);
        FAIL() << "opened";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.what(), (file + QStringLiteral(": 1048576 satırdan fazla")).toStdString());
        EXPECT_EQ(error.row(), 0) << "no row was read";
    }
}

// A large .xls of empty CONTINUE records costs about its own size, not a list entry each.
TEST(HostileFile, EmptyContinuationRecordsCostNoMemory) {
    if (!memoryIsMeasurable()) {
        GTEST_SKIP() << "memory is not measurable under a sanitizer";
    }
    Scratch scratch;
    QByteArray stream("\x09\x08\x10\x00\x00\x06\x10\x00", 8);
    stream += QByteArray(12, '\0');
    stream += QByteArray("\x3C\x00\x00\x00", 4).repeated(qsizetype(16) << 20); // 64 MiB of them
    stream += QByteArray("\x0A\x00\x00\x00", 4);
    const QString file = scratch.write(QStringLiteral("bos.xls"), stream);
    stream = QByteArray();
    const long growthKiB = peakGrowthKiBInChild([&] {
        const auto sheet = openFirstWorksheet(file);
        sheet->pastEnd(1);
    });
    ASSERT_GE(growthKiB, 0);
    EXPECT_LT(growthKiB, 2 * 64 * 1024) << "the file read whole, and little more";
}
