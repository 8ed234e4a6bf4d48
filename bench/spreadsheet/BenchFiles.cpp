#include "BenchFiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>
#include <zip.h>

namespace benchfiles {

qint64 sequentialPhone(int row) {
    return 5321000000LL + row;
}

namespace {

const char* const kGroups[] = {"Aile", "İş", "Arkadaşlar", "Müşteriler"};
const char* const kOperators[] = {"Turkcell", "Vodafone", "Türk Telekom"};

QByteArray contactName(int i) {
    return "Şükrü Çağlayan " + QByteArray::number(i);
}

using Parts = std::vector<std::pair<const char*, QByteArray>>;

// Parts deflated; an OpenDocument's mimetype, which comes first, stored as the format wants it, and a part
// named `stored`.
bool writeZip(const QString& path, const Parts& parts, bool storeFirst = false,
              const char* stored = nullptr) {
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        return false;
    }
    bool first = true;
    for (const auto& [name, content] : parts) {
        zip_source_t* source =
            zip_source_buffer(archive, content.constData(), static_cast<zip_uint64_t>(content.size()), 0);
        const zip_int64_t index = source ? zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
        const bool store = (std::exchange(first, false) && storeFirst) ||
                           (stored != nullptr && std::strcmp(name, stored) == 0);
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                 store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return false;
    }
    return true;
}

Parts xlsxPackage(QByteArray sheet, QByteArray sharedStrings) {
    Parts parts = {
        {"[Content_Types].xml",
         "<?xml version=\"1.0\"?><Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
         "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
         "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/"
         "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
         "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/"
         "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/></Types>"},
        {"_rels/.rels",
         "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
         "relationships\"><Relationship Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml",
         "<?xml version=\"1.0\"?><workbook "
         "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets><sheet "
         "name=\"Rehber\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
         "relationships\"><Relationship Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
         "Target=\"sharedStrings.xml\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml", std::move(sheet)},
    };
    if (!sharedStrings.isEmpty()) {
        parts.emplace_back("xl/sharedStrings.xml", std::move(sharedStrings));
    }
    return parts;
}

void put16(QByteArray& out, quint32 value) {
    char bytes[2];
    qToLittleEndian(static_cast<quint16>(value), bytes);
    out.append(bytes, 2);
}

void put32(QByteArray& out, quint32 value) {
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void record(QByteArray& out, quint16 id, const QByteArray& data) {
    put16(out, id);
    put16(out, static_cast<quint32>(data.size()));
    out += data;
}

// A BIFF8 string without its length: a flag byte, then 8-bit or 16-bit characters.
QByteArray biffCharacters(const QString& text) {
    const bool wide = std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xFF; });
    QByteArray out(1, wide ? '\x01' : '\x00');
    for (const QChar c : text) {
        if (wide) {
            put16(out, c.unicode());
        } else {
            out.append(static_cast<char>(c.unicode()));
        }
    }
    return out;
}

// The workbook stream: globals with the shared strings (split into CONTINUE records between strings), then
// the worksheet.
QByteArray biff8Stream(int rows) {
    QStringList strings;
    for (const char* g : kGroups) {
        strings << QString::fromUtf8(g);
    }
    for (const char* o : kOperators) {
        strings << QString::fromUtf8(o);
    }
    for (int i = 0; i < rows; ++i) {
        strings << QString::fromUtf8(contactName(i));
    }
    QByteArray bof;
    put16(bof, 0x0600);
    put16(bof, 0x0005);
    bof += QByteArray(12, '\0');
    QByteArray globals;
    record(globals, 0x0809, bof);
    QByteArray piece;
    put32(piece, static_cast<quint32>(strings.size() + rows));
    put32(piece, static_cast<quint32>(strings.size()));
    bool first = true;
    for (const QString& s : strings) {
        QByteArray item;
        put16(item, static_cast<quint32>(s.size()));
        item += biffCharacters(s);
        if (piece.size() + item.size() > 8224) {
            record(globals, std::exchange(first, false) ? 0x00FC : 0x003C, piece);
            piece.clear();
        }
        piece += item;
    }
    record(globals, first ? 0x00FC : 0x003C, piece);
    QByteArray sheetEntry;
    put32(sheetEntry, 0); // the worksheet's offset, set below
    sheetEntry += QByteArray(2, '\0');
    sheetEntry += QByteArray(1, '\x06') + biffCharacters(QStringLiteral("Rehber"));
    const qsizetype entryAt = globals.size() + 4;
    record(globals, 0x0085, sheetEntry);
    record(globals, 0x000A, {});
    qToLittleEndian(static_cast<quint32>(globals.size()), globals.data() + entryAt);

    QByteArray sheet;
    QByteArray sheetBof;
    put16(sheetBof, 0x0600);
    put16(sheetBof, 0x0010);
    sheetBof += QByteArray(12, '\0');
    record(sheet, 0x0809, sheetBof);
    for (int i = 0; i < rows; ++i) {
        auto label = [&](int column, int index) {
            QByteArray data;
            put16(data, static_cast<quint32>(i));
            put16(data, static_cast<quint32>(column));
            put16(data, 0);
            put32(data, static_cast<quint32>(index));
            record(sheet, 0x00FD, data);
        };
        label(0, i % 4);
        label(1, 7 + i);
        QByteArray number;
        put16(number, static_cast<quint32>(i));
        put16(number, 2);
        put16(number, 0);
        const double value = static_cast<double>(sequentialPhone(i));
        number.append(reinterpret_cast<const char*>(&value), sizeof value);
        record(sheet, 0x0203, number);
        label(3, 4 + i % 3);
    }
    record(sheet, 0x000A, {});
    return globals + sheet;
}

// A version 3 compound file of 512-byte sectors holding one stream, "Workbook": the allocation table
// sectors, one directory sector, then the stream. The header lists up to 109 table sectors, enough for
// streams of 7 MiB.
QByteArray compoundFile(QByteArray stream) {
    constexpr quint32 kFree = 0xFFFFFFFF, kEnd = 0xFFFFFFFE, kTableSector = 0xFFFFFFFD;
    stream.append(QByteArray((512 - stream.size() % 512) % 512, '\0'));
    const auto streamSectors = static_cast<quint32>(stream.size() / 512);
    quint32 tableSectors = 1;
    while (tableSectors * 128 < tableSectors + 1 + streamSectors) {
        ++tableSectors;
    }
    if (tableSectors > 109) {
        return {};
    }
    QByteArray header("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header += QByteArray(16, '\0');
    put16(header, 0x003E);
    put16(header, 0x0003);
    put16(header, 0xFFFE);
    put16(header, 9);
    put16(header, 6);
    header += QByteArray(6, '\0');
    put32(header, 0);
    put32(header, tableSectors);
    put32(header, tableSectors); // the directory follows the table
    put32(header, 0);
    put32(header, 4096);
    put32(header, kEnd);
    put32(header, 0);
    put32(header, kEnd);
    put32(header, 0);
    for (quint32 i = 0; i < 109; ++i) {
        put32(header, i < tableSectors ? i : kFree);
    }
    QByteArray table;
    for (quint32 i = 0; i < tableSectors * 128; ++i) {
        const quint32 firstData = tableSectors + 1;
        put32(table, i < tableSectors                     ? kTableSector
                     : i == tableSectors                  ? kEnd
                     : i < firstData + streamSectors - 1  ? i + 1
                     : i == firstData + streamSectors - 1 ? kEnd
                                                          : kFree);
    }
    auto entry = [](const QString& name, int type, quint32 child, quint32 start, quint32 size) {
        QByteArray e;
        for (const QChar c : name) {
            put16(e, c.unicode());
        }
        e += QByteArray(64 - e.size(), '\0');
        put16(e, name.isEmpty() ? 0 : static_cast<quint32>(name.size() + 1) * 2);
        e.append(static_cast<char>(type)).append('\x01');
        put32(e, 0xFFFFFFFF);
        put32(e, 0xFFFFFFFF);
        put32(e, child);
        e += QByteArray(36, '\0');
        put32(e, start);
        put32(e, size);
        put32(e, 0);
        return e;
    };
    QByteArray directory = entry(QStringLiteral("Root Entry"), 5, 1, kEnd, 0) +
                           entry(QStringLiteral("Workbook"), 2, 0xFFFFFFFF, tableSectors + 1,
                                 static_cast<quint32>(stream.size())) +
                           entry({}, 0, 0xFFFFFFFF, 0, 0) + entry({}, 0, 0xFFFFFFFF, 0, 0);
    return header + table + directory + stream;
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return !content.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

bool writeXlsx(const QString& path, int rows, const PhoneOfRow& phone) {
    QByteArray strings;
    QByteArray sheet = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet "
                       "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    // Groups, operators, then one name per row, as spreadsheet programs write them.
    for (const char* g : kGroups) {
        strings += QByteArray("<si><t>") + g + "</t></si>";
    }
    for (const char* o : kOperators) {
        strings += QByteArray("<si><t>") + o + "</t></si>";
    }
    for (int i = 0; i < rows; ++i) {
        strings += "<si><t>" + contactName(i) + "</t></si>";
        const QByteArray r = QByteArray::number(i + 1);
        sheet += "<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"s\"><v>" + QByteArray::number(i % 4) +
                 "</v></c><c r=\"B" + r + "\" t=\"s\"><v>" + QByteArray::number(7 + i) + "</v></c><c r=\"C" +
                 r + "\"><v>" + QByteArray::number(phone(i)) + "</v></c><c r=\"D" + r + "\" t=\"s\"><v>" +
                 QByteArray::number(4 + i % 3) + "</v></c></row>";
    }
    sheet += "</sheetData></worksheet>";
    return writeZip(path, xlsxPackage(std::move(sheet),
                                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst "
                                      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
                                          strings + "</sst>"));
}

bool writeOds(const QString& path, int rows, const PhoneOfRow& phone) {
    QByteArray content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\"><office:body>"
        "<office:spreadsheet><table:table table:name=\"Rehber\">";
    auto text = [](const QByteArray& t) {
        return "<table:table-cell office:value-type=\"string\"><text:p>" + t + "</text:p></table:table-cell>";
    };
    for (int i = 0; i < rows; ++i) {
        const QByteArray number = QByteArray::number(phone(i));
        content += "<table:table-row>" + text(kGroups[i % 4]) + text(contactName(i)) +
                   "<table:table-cell office:value-type=\"float\" office:value=\"" + number + "\"><text:p>" +
                   number + "</text:p></table:table-cell>" + text(kOperators[i % 3]) + "</table:table-row>";
    }
    content += "</table:table></office:spreadsheet></office:body></office:document-content>";
    return writeZip(
        path,
        {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
         {"META-INF/manifest.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest:manifest "
                                   "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
                                   "manifest:version=\"1.2\"><manifest:file-entry manifest:full-path=\"/\" "
                                   "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/>"
                                   "<manifest:file-entry manifest:full-path=\"content.xml\" "
                                   "manifest:media-type=\"text/xml\"/></manifest:manifest>"},
         {"content.xml", std::move(content)}},
        true);
}

bool writeCsv(const QString& path, int rows, const PhoneOfRow& phone) {
    QByteArray csv;
    for (int i = 0; i < rows; ++i) {
        csv += QByteArray(kGroups[i % 4]) + ';' + contactName(i) + ";0" + QByteArray::number(phone(i)) + ';' +
               kOperators[i % 3] + "\r\n";
    }
    return writeFile(path, csv);
}

bool writeXls(const QString& path, int rows) {
    return rows <= 65536 && writeFile(path, compoundFile(biff8Stream(rows)));
}

// Bytes that do not compress, which no reader reads.
QByteArray padding(qint64 bytes) {
    QByteArray out(bytes, Qt::Uninitialized);
    QRandomGenerator random(20261208);
    random.fillRange(reinterpret_cast<quint32*>(out.data()), static_cast<qsizetype>(bytes / 4));
    return out;
}

bool writePaddedXlsx(const QString& path, const QByteArray& sheetData, qint64 paddingBytes) {
    Parts parts =
        xlsxPackage("<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet "
                    "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" +
                        sheetData + "</sheetData></worksheet>",
                    {});
    parts.emplace_back("xl/media/padding.bin", padding(paddingBytes));
    return writeZip(path, parts, false, "xl/media/padding.bin");
}

bool writePaddedOds(const QString& path, const QByteArray& tableRows, qint64 paddingBytes) {
    return writeZip(
        path,
        {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
         {"content.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
                         "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                         "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
                         "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
                         "<office:spreadsheet><table:table table:name=\"Rehber\">" +
                             tableRows +
                             "</table:table></office:spreadsheet></office:body></office:document-content>"},
         {"Pictures/padding.bin", padding(paddingBytes)}},
        true, "Pictures/padding.bin");
}

bool writeDeepXlsx(const QString& path, int depth) {
    QByteArray sheet = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet "
                       "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    sheet += QByteArray("<a>").repeated(depth);
    sheet += QByteArray("</a>").repeated(depth);
    sheet += "</sheetData></worksheet>";
    return writeZip(path, xlsxPackage(std::move(sheet), {}));
}

} // namespace benchfiles
