// Times the spreadsheet readers on contact files of 100,000 and 1,000,000 rows (.xlsx, .ods, CSV) and a
// 65,536-row .xls, and compares them with openpyxl in read-only mode and, where installed, LibreOffice's and
// Gnumeric's conversions to CSV (bench/spreadsheet/setup-peers.sh installs them). Also: a 64 KB .xlsx of 9
// million nested elements, which must be refused at once. Every read runs in a process of its own, started
// afresh, so that its peak memory is its own.
//
// Usage: spreadsheet_bench [row counts, default 100000 1000000] [--keep folder]
//        spreadsheet_bench --hostile [--keep folder]   (files under 10 MB made to cost the most)
//        spreadsheet_bench --read file     (one read, as the benchmark runs it)

#include "BenchFiles.h"
#include "Worksheet.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
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
#include <vector>

namespace {

struct Run {
    double milliseconds = -1; // wall time of the read alone
    double cpuMilliseconds = 0;
    long peakKiB = 0;
    long rows = 0;
};

double processorMilliseconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The read as the import does it: row by row, every column read, down to the sheet's last row with data.
// Prints "<wall ms> <processor ms> <rows>", or the error and "-1 ...".
int readWithReader(const char* path) {
    const double cpuStart = processorMilliseconds(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    long rows = 0;
    qsizetype characters = 0;
    try {
        const auto sheet = openFirstWorksheet(QFile::decodeName(path));
        for (int row = 1; !sheet->pastEnd(row); ++row, ++rows) {
            for (int column = 1; column <= kReadColumns; ++column) {
                characters += sheet->cell(row, column).text.size();
            }
        }
    } catch (const SpreadsheetError& error) {
        std::printf("%.1f %.1f -1\n", since(start), processorMilliseconds(RUSAGE_SELF) - cpuStart);
        std::fprintf(stderr, "%s\n", error.what());
        return 0;
    }
    std::printf("%.1f %.1f %ld\n", characters > 0 || rows == 0 ? since(start) : -1.0,
                processorMilliseconds(RUSAGE_SELF) - cpuStart, rows);
    return 0;
}

// Starts the program and reads its "<wall ms> <processor ms> <rows>" line; the peak memory is the
// child's. A program that times nothing itself (timeItself false) is timed from outside, start included.
std::optional<Run> runChild(const std::vector<QByteArray>& argv, bool timeItself,
                            QByteArray* errors = nullptr) {
    int channel[2];
    int errorChannel[2];
    if (pipe(channel) != 0 || pipe(errorChannel) != 0) {
        return std::nullopt;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const QByteArray& a : argv) {
        args.push_back(const_cast<char*>(a.constData()));
    }
    args.push_back(nullptr);
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        return std::nullopt;
    }
    if (child == 0) {
        dup2(channel[1], STDOUT_FILENO);
        dup2(errorChannel[1], STDERR_FILENO);
        close(channel[0]);
        close(channel[1]);
        close(errorChannel[0]);
        close(errorChannel[1]);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(channel[1]);
    close(errorChannel[1]);
    QByteArray output;
    QByteArray errorOutput;
    char buffer[4096];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, got);
    }
    for (ssize_t got; (got = read(errorChannel[0], buffer, sizeof buffer)) > 0;) {
        errorOutput.append(buffer, got);
    }
    close(channel[0]);
    close(errorChannel[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double wall = since(start);
    if (errors) {
        *errors = errorOutput.trimmed();
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    if (!timeItself) {
        return Run{wall, cpu, usage.ru_maxrss, 0};
    }
    const QList<QByteArray> fields = output.trimmed().split('\n').last().split(' ');
    if (fields.size() != 3) {
        return std::nullopt;
    }
    return Run{fields[0].toDouble(), fields[1].toDouble(), usage.ru_maxrss, fields[2].toLong()};
}

// openpyxl times itself, so the interpreter's start and the import are left out.
const char* const kOpenpyxl =
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

void report(const QString& what, const std::optional<Run>& run, const QByteArray& note = {}) {
    if (!run || run->milliseconds < 0) {
        std::printf("  %-44s failed %s\n", qPrintable(what), note.constData());
        return;
    }
    std::printf("  %-44s %9.1f ms wall %9.1f ms processor %7.1f MiB peak", qPrintable(what),
                run->milliseconds, run->cpuMilliseconds, static_cast<double>(run->peakKiB) / 1024.0);
    if (run->rows > 0) {
        std::printf(" %8ld rows %6.2f us/row", run->rows,
                    run->milliseconds * 1000.0 / static_cast<double>(std::max(run->rows, 1L)));
    }
    std::printf(" %s\n", note.constData());
}

void ratio(const char* what, const std::optional<Run>& other, const std::optional<Run>& own) {
    if (other && own && other->milliseconds > 0 && own->milliseconds > 0 && own->cpuMilliseconds > 0) {
        std::printf("  %s: %.1f times the wall time, %.1f times the processor time\n", what,
                    other->milliseconds / own->milliseconds, other->cpuMilliseconds / own->cpuMilliseconds);
    }
}

// Files are written by a child process, so that this one stays small: a child started from it counts this
// process's resident memory in its own peak until it runs the program it starts.
bool writeInChild(const std::function<bool()>& write) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        _exit(write() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double mebibytes(const QString& path) {
    return static_cast<double>(QFile(path).size()) / (1024.0 * 1024.0);
}

// A reader's error without the file's name in front.
QByteArray withoutPath(const QByteArray& error, const QString& path) {
    const QByteArray prefix = path.toUtf8() + ": ";
    return error.startsWith(prefix) ? error.mid(prefix.size()) : error;
}

// Files under 10 MB made to cost the readers the most, and real ones of that size: each must be read or
// refused in under 2 s with under 200 MiB. A stored part of random bytes that nobody reads makes a bomb as
// large as a real file, and so allowed as much reading as one of its size.
int hostileFiles(const QString& folder,
                 const std::function<std::pair<std::optional<Run>, QByteArray>(const QString&)>& read) {
    constexpr qint64 kPadding = qint64(76) << 17; // 9.5 MiB
    const QByteArray row1 = "<row r=\"1\"><c r=\"B1\" t=\"inlineStr\"><is><t>Ayşe</t></is></c></row>";
    const QByteArray odsCell =
        "<table:table-cell office:value-type=\"string\"><text:p>Ayşe</text:p></table:table-cell>";
    struct Case {
        const char* name;
        const char* file;
        std::function<bool(const QString&)> write;
    };
    const Case cases[] = {
        {"blank rows", "bos-satirlar.xlsx",
         [&](const QString& path) {
             return benchfiles::writePaddedXlsx(path, row1 + QByteArray("<row/>").repeated(8 << 20),
                                                kPadding);
         }},
        {"cells past column P", "sutunlar.xlsx",
         [&](const QString& path) {
             return benchfiles::writePaddedXlsx(path,
                                                "<row r=\"1\"><c r=\"B1\"><v>1</v></c>" +
                                                    QByteArray("<c r=\"Z1\"/>").repeated(6 << 20) + "</row>",
                                                kPadding);
         }},
        {"blanks between rows", "bosluk.xlsx",
         [&](const QString& path) {
             return benchfiles::writePaddedXlsx(path, row1 + QByteArray(qsizetype(256) << 20, ' '), kPadding);
         }},
        {"comments of 1000 KiB", "aciklama.xlsx",
         [&](const QString& path) {
             return benchfiles::writePaddedXlsx(
                 path, row1 + ("<!--" + QByteArray(1000 << 10, 'x') + "--><row/>").repeated(240), kPadding);
         }},
        {"repeated .ods rows with data", "yinelenen.ods",
         [&](const QString& path) {
             return benchfiles::writePaddedOds(path,
                                               "<table:table-row table:number-rows-repeated=\"1048576\">" +
                                                   odsCell + odsCell + "</table:table-row>",
                                               kPadding);
         }},
        {"blank .ods cells", "bos-hucreler.ods",
         [&](const QString& path) {
             return benchfiles::writePaddedOds(
                 path,
                 ("<table:table-row>" + odsCell + odsCell + "</table:table-row>") +
                     QByteArray("<table:table-row><table:table-cell/><table:table-cell/><table:table-cell/></"
                                "table:table-row>")
                         .repeated(2 << 20),
                 kPadding);
         }},
        {"empty CONTINUE records, .xls", "devam.xls",
         [&](const QString& path) {
             QFile out(path);
             return out.open(QIODevice::WriteOnly) &&
                    out.write(QByteArray("\x09\x08\x10\x00\x00\x06\x10\x00", 8) + QByteArray(12, '\0') +
                              QByteArray("\x3C\x00\x00\x00", 4).repeated(qsizetype(76) << 15) +
                              QByteArray("\x0A\x00\x00\x00", 4)) > 0;
         }},
        {"CSV of five million lines", "satirlar.csv",
         [&](const QString& path) {
             QFile out(path);
             return out.open(QIODevice::WriteOnly) &&
                    out.write(QByteArray("a\n").repeated(qsizetype(76) << 16)) > 0;
         }},
        {"real .xlsx, 500,000 contacts", "rehber-500000.xlsx",
         [&](const QString& path) { return benchfiles::writeXlsx(path, 500000); }},
        {"real .ods, 1,000,000 contacts", "rehber-1000000.ods",
         [&](const QString& path) { return benchfiles::writeOds(path, 1000000); }},
    };
    std::printf(
        "Files under 10 MB made to cost the most, and real ones (goal: each under 2 s and 200 MiB)\n");
    for (const Case& c : cases) {
        const QString path = folder + QLatin1Char('/') + QString::fromLatin1(c.file);
        if (!writeInChild([&] { return c.write(path); })) {
            std::fprintf(stderr, "cannot write %s\n", c.file);
            return 1;
        }
        const auto [run, errors] = read(path);
        report(QStringLiteral("%1 (%2 MiB)").arg(QString::fromUtf8(c.name)).arg(mebibytes(path), 0, 'f', 1),
               run, withoutPath(errors, path));
    }
    const QDir kept(QStringLiteral(ZEMVORA_CORPUS_DIR "/hostile"));
    std::printf("The hostile files kept with the tests\n");
    for (const QString& name :
         kept.entryList({QStringLiteral("*.xls*"), QStringLiteral("*.ods"), QStringLiteral("*.csv")},
                        QDir::Files, QDir::Name)) {
        const auto [run, errors] = read(kept.filePath(name));
        report(name, run, withoutPath(errors, kept.filePath(name)));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--read") {
        return readWithReader(argv[2]);
    }
    QCoreApplication application(argc, argv);
    std::vector<int> counts;
    QString keep;
    bool hostile = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--keep" && i + 1 < argc) {
            keep = QFile::decodeName(argv[++i]);
        } else if (QByteArray(argv[i]) == "--hostile") {
            hostile = true;
        } else {
            counts.push_back(std::atoi(argv[i]));
        }
    }
    if (counts.empty()) {
        counts = {100000, 1000000};
    }
    QTemporaryDir scratch;
    const QString folder = keep.isEmpty() ? scratch.path() : keep;
    QDir().mkpath(folder);
    const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    auto ownRead = [&](const QString& path) {
        QByteArray errors;
        const auto run = runChild({self, "--read", QFile::encodeName(path)}, true, &errors);
        return std::pair{run, errors};
    };
    if (hostile) {
        return hostileFiles(folder, ownRead);
    }
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    const QString ssconvert = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    bool ok = true;

    for (const int rows : counts) {
        const QString base = folder + QStringLiteral("/rehber-%1").arg(rows);
        const QString xlsx = base + QStringLiteral(".xlsx");
        const QString ods = base + QStringLiteral(".ods");
        const QString csv = base + QStringLiteral(".csv");
        if (!writeInChild([&] {
                return benchfiles::writeXlsx(xlsx, rows) && benchfiles::writeOds(ods, rows) &&
                       benchfiles::writeCsv(csv, rows);
            })) {
            std::fprintf(stderr, "cannot write the test files\n");
            return 1;
        }
        std::printf("%d contacts, four columns: .xlsx %.1f MiB, .ods %.1f MiB, CSV %.1f MiB\n", rows,
                    mebibytes(xlsx), mebibytes(ods), mebibytes(csv));
        const auto [ownXlsx, xlsxErrors] = ownRead(xlsx);
        const auto [ownOds, odsErrors] = ownRead(ods);
        const auto [ownCsv, csvErrors] = ownRead(csv);
        report(QStringLiteral("reader, .xlsx"), ownXlsx, xlsxErrors);
        report(QStringLiteral("reader, .ods"), ownOds, odsErrors);
        report(QStringLiteral("reader, CSV"), ownCsv, csvErrors);
        ok = ok && ownXlsx && ownXlsx->rows == rows && ownOds && ownOds->rows == rows && ownCsv &&
             ownCsv->rows == rows;
        if (ownCsv && ownCsv->milliseconds > 0 && ownCsv->cpuMilliseconds > 0) {
            const double megabytes = static_cast<double>(QFile(csv).size()) / 1e6;
            std::printf("  CSV read at %.0f MB/s of wall time, %.0f MB/s of processor time (goal: 150)\n",
                        megabytes / (ownCsv->milliseconds / 1e3),
                        megabytes / (ownCsv->cpuMilliseconds / 1e3));
        }
        const auto openpyxl = runChild({"/usr/bin/python3", "-c", kOpenpyxl, QFile::encodeName(xlsx)}, true);
        report(QStringLiteral("openpyxl read-only, .xlsx"), openpyxl);
        ratio("openpyxl against the reader, .xlsx (goal: at least 8)", openpyxl, ownXlsx);
        const QString out = folder + QStringLiteral("/out");
        for (const QString& file : {xlsx, ods}) {
            const QString suffix = file.section(QLatin1Char('.'), -1);
            if (soffice.isEmpty()) {
                std::printf(
                    "  soffice is not installed here: bench/spreadsheet/setup-peers.sh installs it\n");
            } else {
                report(QStringLiteral("soffice --convert-to csv, .") + suffix,
                       runChild({QFile::encodeName(soffice), "--headless", "--convert-to", "csv", "--outdir",
                                 QFile::encodeName(out), QFile::encodeName(file)},
                                false));
            }
            if (ssconvert.isEmpty()) {
                std::printf(
                    "  ssconvert is not installed here: bench/spreadsheet/setup-peers.sh installs it\n");
            } else {
                report(QStringLiteral("ssconvert to csv, .") + suffix,
                       runChild({QFile::encodeName(ssconvert), QFile::encodeName(file),
                                 QFile::encodeName(out + QStringLiteral("/ssconvert.csv"))},
                                false));
            }
        }
        if (keep.isEmpty()) {
            QFile::remove(xlsx);
            QFile::remove(ods);
            QFile::remove(csv);
        }
    }

    const QString xls = folder + QStringLiteral("/rehber-65536.xls");
    if (writeInChild([&] { return benchfiles::writeXls(xls, 65536); })) {
        std::printf("65536 contacts, four columns, BIFF8: .xls %.1f MiB\n", mebibytes(xls));
        const auto [ownXls, xlsErrors] = ownRead(xls);
        report(QStringLiteral("reader, .xls"), ownXls, xlsErrors);
        ok = ok && ownXls && ownXls->rows == 65536;
    }

    const QString deep = folder + QStringLiteral("/derin.xlsx");
    if (writeInChild([&] { return benchfiles::writeDeepXlsx(deep, 9000000); })) {
        std::printf("9,000,000 nested elements: .xlsx %.1f KiB\n",
                    static_cast<double>(QFile(deep).size()) / 1024.0);
        const auto [refused, deepErrors] = ownRead(deep);
        report(QStringLiteral("reader refuses it (goal: < 0.5 s, < 50 MiB)"), refused, deepErrors);
        ok = ok && refused && refused->rows == -1;
    }
    return ok ? 0 : 1;
}
