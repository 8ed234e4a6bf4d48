// Times the spreadsheet readers on 100,000 contacts (four columns) and compares with openpyxl in read-only
// mode and, where installed, LibreOffice's CSV conversion. Each read runs in a child process so that its
// peak memory is its own.
//
// Usage: spreadsheet_bench [rows] [folder to keep the generated files in]

#include "Worksheet.h"

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

namespace {

// Wall time and processor time (user and system) of the read alone: the machine may be shared, and the
// processor time is the steadier figure then.
struct Run {
    double milliseconds = 0;
    double cpuMilliseconds = 0;
    long peakKiB = 0;
    long rows = 0;
};

const char* const kGroups[] = {"Aile", "İş", "Arkadaşlar", "Müşteriler"};
const char* const kOperators[] = {"Turkcell", "Vodafone", "Türk Telekom"};

QByteArray contactName(int i) {
    return "Şükrü Çağlayan " + QByteArray::number(i);
}

bool writeXlsx(const QString& path, int rows) {
    QByteArray strings;
    QByteArray sheet = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet "
                       "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    // Shared strings: groups, operators, then one name per row, as spreadsheet programs write them.
    for (const char* g : kGroups) {
        strings += QByteArray("<si><t>") + g + "</t></si>";
    }
    for (const char* o : kOperators) {
        strings += QByteArray("<si><t>") + o + "</t></si>";
    }
    const int firstName = 7;
    for (int i = 0; i < rows; ++i) {
        strings += "<si><t>" + contactName(i) + "</t></si>";
        const QByteArray r = QByteArray::number(i + 1);
        sheet += "<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"s\"><v>" + QByteArray::number(i % 4) +
                 "</v></c><c r=\"B" + r + "\" t=\"s\"><v>" + QByteArray::number(firstName + i) +
                 "</v></c><c r=\"C" + r + "\"><v>" + QByteArray::number(5321000000LL + i) +
                 "</v></c><c r=\"D" + r + "\" t=\"s\"><v>" + QByteArray::number(4 + i % 3) + "</v></c></row>";
    }
    sheet += "</sheetData></worksheet>";
    const QByteArray sst = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst "
                           "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
                           strings + "</sst>";
    const std::pair<const char*, QByteArray> parts[] = {
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
        {"xl/worksheets/sheet1.xml", sheet},
        {"xl/sharedStrings.xml", sst},
    };
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        return false;
    }
    for (const auto& [name, content] : parts) {
        zip_source_t* source =
            zip_source_buffer(archive, content.constData(), static_cast<zip_uint64_t>(content.size()), 0);
        if (!source || zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return false;
    }
    return true;
}

bool writeCsv(const QString& path, int rows) {
    QByteArray csv;
    for (int i = 0; i < rows; ++i) {
        csv += QByteArray(kGroups[i % 4]) + ';' + contactName(i) + ";0" +
               QByteArray::number(5321000000LL + i) + ';' + kOperators[i % 3] + "\r\n";
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size();
}

// Runs body in a child process whose standard output goes to a pipe; the child prints
// "<wall ms> <processor ms> <rows>".
std::optional<Run> inChild(const std::function<void()>& body) {
    int channel[2];
    if (pipe(channel) != 0) {
        return std::nullopt;
    }
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) {
        return std::nullopt;
    }
    if (child == 0) {
        close(channel[0]);
        dup2(channel[1], STDOUT_FILENO);
        close(channel[1]);
        body();
        std::fflush(stdout);
        _exit(0);
    }
    close(channel[1]);
    QByteArray output;
    char buffer[256];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, got);
    }
    close(channel[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const QList<QByteArray> fields = output.trimmed().split(' ');
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || fields.size() != 3) {
        return std::nullopt;
    }
    return Run{fields[0].toDouble(), fields[1].toDouble(), usage.ru_maxrss, fields[2].toLong()};
}

double processorMilliseconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void readWithReader(const QString& path) {
    const double cpuStart = processorMilliseconds(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    long rows = 0;
    qsizetype characters = 0;
    try {
        const auto sheet = openFirstWorksheet(path);
        for (int row = 1; !sheet->cell(row, 2).text.isEmpty(); ++row, ++rows) {
            for (int column = 1; column <= 4; ++column) {
                characters += sheet->cell(row, column).text.size();
            }
        }
    } catch (const SpreadsheetError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        _exit(1);
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.1f %.1f %ld\n", characters > 0 ? ms : -1.0, processorMilliseconds(RUSAGE_SELF) - cpuStart,
                rows);
}

// openpyxl times itself, so the interpreter's start and the import are left out.
void readWithOpenpyxl(const QString& path) {
    static const char* const script =
        "import sys, time, openpyxl\n"
        "start, cpu = time.perf_counter(), time.process_time()\n"
        "book = openpyxl.load_workbook(sys.argv[1], read_only=True)\n"
        "rows = 0\n"
        "for row in book.worksheets[0].iter_rows(min_col=1, max_col=4, values_only=True):\n"
        "    if row[1] is None or row[1] == '':\n"
        "        break\n"
        "    rows += 1\n"
        "print('%.1f %.1f %d' % ((time.perf_counter() - start) * 1000, (time.process_time() - cpu) * 1000, "
        "rows))\n";
    const QByteArray file = QFile::encodeName(path);
    execl("/usr/bin/python3", "python3", "-c", script, file.constData(), static_cast<char*>(nullptr));
    _exit(127);
}

// The whole conversion is timed: LibreOffice has no reading apart from its start.
void convertWithSoffice(const QString& soffice, const QString& path, const QString& outDir) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        execl(QFile::encodeName(soffice).constData(), "soffice", "--headless", "--convert-to", "csv",
              "--outdir", QFile::encodeName(outDir).constData(), QFile::encodeName(path).constData(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.1f %.1f 0\n", WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1.0,
                processorMilliseconds(RUSAGE_CHILDREN));
}

void report(const char* what, const std::optional<Run>& run) {
    if (!run || run->milliseconds < 0) {
        std::printf("%-34s failed\n", what);
        return;
    }
    std::printf("%-34s %8.1f ms wall %8.1f ms processor %7.1f MiB peak %7ld rows\n", what, run->milliseconds,
                run->cpuMilliseconds, static_cast<double>(run->peakKiB) / 1024.0, run->rows);
}

void ratio(const char* what, const std::optional<Run>& other, const std::optional<Run>& own) {
    if (other && own && other->milliseconds > 0 && own->milliseconds > 0 && own->cpuMilliseconds > 0) {
        std::printf("%s: %.1f times the wall time, %.1f times the processor time\n", what,
                    other->milliseconds / own->milliseconds, other->cpuMilliseconds / own->cpuMilliseconds);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.path();
    const QString xlsx = folder + QStringLiteral("/rehber.xlsx");
    const QString csv = folder + QStringLiteral("/rehber.csv");
    if (rows < 1 || !dir.isValid() || !writeXlsx(xlsx, rows) || !writeCsv(csv, rows)) {
        std::fprintf(stderr, "cannot write the test files\n");
        return 1;
    }
    std::printf("%d contacts, four columns: .xlsx %.1f KiB, CSV %.1f KiB\n", rows,
                static_cast<double>(QFile(xlsx).size()) / 1024.0,
                static_cast<double>(QFile(csv).size()) / 1024.0);

    const auto ownXlsx = inChild([&] { readWithReader(xlsx); });
    const auto ownCsv = inChild([&] { readWithReader(csv); });
    const auto openpyxl = inChild([&] { readWithOpenpyxl(xlsx); });
    report("reader, .xlsx", ownXlsx);
    report("reader, CSV", ownCsv);
    report("openpyxl read-only, .xlsx", openpyxl);
    ratio("openpyxl against the reader, .xlsx (goal: at least 5)", openpyxl, ownXlsx);

    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        std::printf("LibreOffice (soffice) is not installed here: its conversion was not timed\n");
    } else {
        const auto converted =
            inChild([&] { convertWithSoffice(soffice, xlsx, dir.filePath(QStringLiteral("out"))); });
        report("soffice --convert-to csv, .xlsx", converted);
        ratio("soffice against the reader, .xlsx", converted, ownXlsx);
    }
    return ownXlsx && ownCsv ? 0 : 1;
}
