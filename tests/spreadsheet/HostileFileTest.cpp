// Files made to hurt a reader: each ends in a clear error or a bounded read, never a crash or a runaway.

#include "TestFiles.h"

#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
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
// before it; blank rows, repeated a billion times, end the sheet; a row with data repeated as often is a bomb.
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
    EXPECT_TRUE(openError(full).startsWith(full + QStringLiteral(": satır 1: açıldığında boyutuna göre çok fazla")))
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
        file + QStringLiteral(": satır 1, sütun 2: olmayan bir ortak metne başvuruyor: 9223372036854775806")));
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
