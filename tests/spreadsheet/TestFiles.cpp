#include "TestFiles.h"

#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

namespace testfiles {

QString corpusPath(const QString& relative) {
    return QStringLiteral(ZEMVORA_CORPUS_DIR "/") + relative;
}

QString Scratch::write(const QString& name, const QByteArray& content) const {
    QString file = path(name);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size()) {
        ADD_FAILURE() << "cannot write " << file.toStdString();
    }
    return file;
}

QString Scratch::writeZip(const QString& name, const Parts& parts, bool deflate) const {
    QString file = path(name);
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(file).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        ADD_FAILURE() << "cannot create " << file.toStdString();
        return file;
    }
    for (const auto& [partName, content] : parts) {
        zip_source_t* source =
            zip_source_buffer(archive, content.constData(), static_cast<zip_uint64_t>(content.size()), 0);
        const zip_int64_t index =
            source ? zip_file_add(archive, partName.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            zip_source_free(source);
            ADD_FAILURE() << "cannot add " << partName.toStdString();
        } else if (!deflate) {
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        }
    }
    // The buffers must live until the archive is written here.
    if (zip_close(archive) != 0) {
        ADD_FAILURE() << "cannot write " << file.toStdString();
        zip_discard(archive);
    }
    return file;
}

Parts xlsxParts(const XlsxParts& workbook) {
    Parts parts;
    parts.emplace_back(
        QStringLiteral("[Content_Types].xml"),
        QByteArrayLiteral("<?xml version=\"1.0\"?><Types "
                          "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"));
    parts.emplace_back(
        QStringLiteral("_rels/.rels"),
        QByteArrayLiteral(
            "<?xml version=\"1.0\"?><Relationships "
            "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
            "Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
            "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"));
    parts.emplace_back(
        QStringLiteral("xl/workbook.xml"),
        "<?xml version=\"1.0\"?><workbook "
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" +
            workbook.workbookProperties +
            "<sheets><sheet name=\"Rehber\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    QByteArray relationships = "<?xml version=\"1.0\"?><Relationships "
                               "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                               "<Relationship Id=\"rId1\" "
                               "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                               "worksheet\" Target=\"worksheets/sheet1.xml\"/>";
    if (!workbook.sharedStrings.isEmpty()) {
        relationships +=
            "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
            "relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>";
        parts.emplace_back(QStringLiteral("xl/sharedStrings.xml"),
                           "<?xml version=\"1.0\"?><sst "
                           "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
                               workbook.sharedStrings + "</sst>");
    }
    if (!workbook.styles.isEmpty()) {
        relationships +=
            "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
            "relationships/styles\" Target=\"styles.xml\"/>";
        parts.emplace_back(QStringLiteral("xl/styles.xml"), workbook.styles);
    }
    parts.emplace_back(QStringLiteral("xl/_rels/workbook.xml.rels"), relationships + "</Relationships>");
    parts.emplace_back(QStringLiteral("xl/worksheets/sheet1.xml"),
                       "<?xml version=\"1.0\"?><worksheet "
                       "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" +
                           workbook.sheetData + "</sheetData></worksheet>");
    return parts;
}

Parts odsParts(const QByteArray& tableRows) {
    return {{QStringLiteral("mimetype"), QByteArrayLiteral("application/vnd.oasis.opendocument.spreadsheet")},
            {QStringLiteral("content.xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
             "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
             "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
             "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:spreadsheet>"
             "<table:table table:name=\"Rehber\">" +
                 tableRows +
                 "</table:table><table:table table:name=\"Notlar\"><table:table-row><table:table-cell "
                 "office:value-type=\"string\"><text:p>ikinci</text:p></table:table-cell><table:table-cell "
                 "office:value-type=\"string\"><text:p>sayfa</text:p></table:table-cell></table:table-row>"
                 "</table:table></office:spreadsheet></office:body></office:document-content>"}};
}

std::vector<QString> rowTexts(Worksheet& sheet, int row, int columns) {
    std::vector<QString> texts;
    for (int column = 1; column <= columns; ++column) {
        texts.push_back(sheet.cell(row, column).text);
    }
    return texts;
}

int rowCount(Worksheet& sheet) {
    int row = 1;
    while (!sheet.cell(row, 2).text.isEmpty()) {
        ++row;
    }
    return row - 1;
}

long peakGrowthKiBInChild(const std::function<void()>& work) {
    int channel[2];
    if (pipe(channel) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        long growth = -1;
        try {
            long pages = 0;
            long resident = 0;
            std::FILE* statm = std::fopen("/proc/self/statm", "r");
            const bool known = statm && std::fscanf(statm, "%ld %ld", &pages, &resident) == 2;
            if (statm) {
                std::fclose(statm);
            }
            work();
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            growth = known ? usage.ru_maxrss - resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
        } catch (...) {
            growth = -1;
        }
        const ssize_t written = write(channel[1], &growth, sizeof growth);
        _exit(written == sizeof growth ? 0 : 1);
    }
    close(channel[1]);
    long growth = -1;
    if (child < 0 || read(channel[0], &growth, sizeof growth) != sizeof growth) {
        growth = -1;
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? growth : -1;
}

bool memoryIsMeasurable() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
    return false;
#else
    return true;
#endif
#else
    return true;
#endif
}

QString openError(const QString& fileName) {
    try {
        const auto sheet = openFirstWorksheet(fileName);
        for (int row = 1; !sheet->pastEnd(row); ++row) {
            for (int column = 1; column <= kReadColumns; ++column) {
                sheet->cell(row, column);
            }
        }
    } catch (const SpreadsheetError& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

} // namespace testfiles
