// Times the whole spreadsheet import as the user waits for it, and alone.
//
// Alone: the import's steps back to back on a phone book view, without a window. Through the window: the
// real main window offscreen, the file chosen in the scripted file dialog, "Excel den Yükle" clicked, until
// the summary box says the rows are in db.mdb and the grid has painted them. Each run is a child process of
// its own, on a fresh copy of the phone book, so that its peak memory (ru_maxrss) is its own; each is run
// three times, and the table gives the best and the worst.
//
// Usage: import_bench [folder to keep the generated files in] [rows: 100000 or 1000000] [xlsx, ods, csv or
// none]

#include "BenchFiles.h"
#include "BenchPhonebook.h"
#include "app/Unit1.h"
#include "app/UserDialogs.h"
#include "phonebook/SpreadsheetImport.h"
#include "phonebook/spreadsheet/Worksheet.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using benchphonebook::kGroups;
using benchphonebook::kOperators;

// The book's contacts have the numbers 0532 100 00 00 onwards; half the rows of the small sheets repeat
// one of them, as a number cell without its zero (or as text with it in CSV); the other numbers are new.
long long bookNumber(long i) {
    return 5321000000LL + i;
}

long long sheetNumber(long row, bool halfPresent) {
    if (halfPresent && row % 2 == 0) {
        return bookNumber(row);
    }
    return 5400000000LL + row;
}

QByteArray contactName(long row) {
    return "Yeni Kişi " + QByteArray::number(static_cast<qlonglong>(row));
}

bool makePhonebook(const QString& path, long contacts) {
    return benchphonebook::writePhonebook(path, contacts, [](long i) {
        return benchphonebook::NameAndNumber{"Kişi " + QByteArray::number(static_cast<qlonglong>(i)),
                                             "0" + QByteArray::number(bookNumber(i))};
    });
}

// The rows of the files made in memory, as a streaming reader hands them out: what the import costs
// without any reading.
class MemorySheet : public Worksheet {
public:
    MemorySheet(long rows, bool halfPresent) : rows_(rows), halfPresent_(halfPresent) {}
    Cell cell(int row, int column) override {
        const long i = row - 1;
        if (i >= rows_) {
            return {};
        }
        switch (column) {
        case 1:
            return {CellKind::Text, QString::fromUtf8(kGroups[i % 5])};
        case 2:
            return {CellKind::Text, QString::fromUtf8(contactName(i))};
        case 3:
            return {CellKind::Number, QString::number(sheetNumber(i, halfPresent_))};
        case 4:
            return {CellKind::Text, QString::fromUtf8(kOperators[i % 3])};
        default:
            return {};
        }
    }
    bool pastEnd(int row) override { return row > rows_; }

private:
    long rows_;
    bool halfPresent_;
};

struct Outcome {
    double seconds = -1;
    double cpuSeconds = -1;
    long peakKiB = 0;
    QString text; // the summary, or what went wrong
};

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Wall time and the process's processor time: the machine may be shared, and processor time is the
// steadier figure then.
class Stopwatch {
public:
    void start() {
        wall_.start();
        cpu_ = cpuSeconds();
    }
    Outcome stop(const QString& text) const {
        return {static_cast<double>(wall_.nsecsElapsed()) / 1e9, cpuSeconds() - cpu_, 0, text};
    }

private:
    QElapsedTimer wall_;
    double cpu_ = 0;
};

// Runs `body` in a child; what it returns travels back through a pipe.
Outcome inChild(const std::function<Outcome()>& body) {
    int channel[2];
    if (pipe(channel) != 0) {
        return {-1, -1, 0, QStringLiteral("no pipe")};
    }
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const Outcome outcome = body();
        const QByteArray line = QByteArray::number(outcome.seconds, 'f', 4) + ' ' +
                                QByteArray::number(outcome.cpuSeconds, 'f', 4) + ' ' + outcome.text.toUtf8();
        (void)!write(channel[1], line.constData(), static_cast<size_t>(line.size()));
        _exit(0);
    }
    close(channel[1]);
    QByteArray line;
    char buffer[4096];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) {
        line.append(buffer, n);
    }
    close(channel[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() < 3) {
        return {-1, -1, usage.ru_maxrss, QStringLiteral("the run died")};
    }
    return {fields[0].toDouble(), fields[1].toDouble(), usage.ru_maxrss,
            QString::fromUtf8(line.mid(fields[0].size() + fields[1].size() + 2))};
}

// `sheet` empty: the rows made in memory.
Outcome importAlone(const QString& book, const QString& sheet, long rows, bool halfPresent) {
    int argc = 1;
    char name[] = "import_bench";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    PhonebookDatabase conn;
    conn.open(book);
    PhonebookView view(conn);
    view.open();
    Stopwatch stopwatch;
    stopwatch.start();
    try {
        SpreadsheetImport import(view, sheet.isEmpty() ? std::make_unique<MemorySheet>(rows, halfPresent)
                                                       : openFirstWorksheet(sheet));
        while (!import.step()) {
        }
        return stopwatch.stop(importSummary(import.counts()));
    } catch (const std::exception& error) {
        return {-1, -1, 0, QString::fromUtf8(error.what())};
    }
}

// The file dialog answers with the sheet; the closing box stops the clock once the grid has painted.
class BenchDialogs : public UserDialogs {
public:
    BenchDialogs(QString sheet, QTableView& grid, const Stopwatch& stopwatch)
        : sheet_(std::move(sheet)), grid_(grid), stopwatch_(stopwatch) {}
    QString openFileName() override { return sheet_; }
    void showMessage(const QString& shown) override { end(shown); }
    void showError(const QString& shown) override {
        end(shown);
        outcome.seconds = -1;
        outcome.cpuSeconds = -1;
    }

    Outcome outcome;

private:
    void end(const QString& shown) {
        grid_.viewport()->repaint();
        outcome = stopwatch_.stop(shown);
        QCoreApplication::quit();
    }

    QString sheet_;
    QTableView& grid_;
    const Stopwatch& stopwatch_;
};

Outcome importThroughTheWindow(const QString& bookDir, const QString& sheet) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "import_bench";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    TForm1 form(bookDir);
    form.show();
    QTableView& grid = *form.findChild<QTableView*>(QStringLiteral("DBGrid1"));
    Stopwatch stopwatch;
    BenchDialogs dialogs(sheet, grid, stopwatch);
    UserDialogs::install(&dialogs);
    // The window as the user sees it before the click: laid out and painted.
    QCoreApplication::processEvents();
    grid.viewport()->repaint();

    stopwatch.start();
    form.findChild<QPushButton*>(QStringLiteral("Button5"))->click();
    if (dialogs.outcome.text.isEmpty()) { // a file that cannot be opened is said within the click
        QApplication::exec();
    }
    UserDialogs::install(nullptr);
    return dialogs.outcome;
}

QString withThousands(long n) {
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(n));
}

QString figure(double seconds) {
    return seconds < 0 ? QStringLiteral("-") : QString::number(seconds, 'f', 2);
}

// "best-worst s" over the runs.
QString range(const std::vector<Outcome>& runs, double Outcome::*field) {
    double best = 1e9;
    double worst = -1;
    for (const Outcome& run : runs) {
        if (run.*field < 0) {
            return QStringLiteral("-");
        }
        best = std::min(best, run.*field);
        worst = std::max(worst, run.*field);
    }
    return (best == worst ? figure(best) : figure(best) + QLatin1Char('-') + figure(worst)) +
           QStringLiteral(" s");
}

double best(const std::vector<Outcome>& runs, double Outcome::*field) {
    double value = 1e9;
    for (const Outcome& run : runs) {
        value = std::min(value, run.*field);
    }
    return value;
}

struct Case {
    long contacts;
    long rows;
    bool halfPresent;
};

constexpr int kRuns = 3;

// `suffix` empty: the rows made in memory, alone only.
void run(const QString& folder, const QString& book, const Case& c, const QString& suffix) {
    const QString sheet =
        suffix.isEmpty() ? QString() : QStringLiteral("%1/rows%2.%3").arg(folder).arg(c.rows).arg(suffix);
    const QString what = QStringLiteral("%1 rows into %2, %3")
                             .arg(withThousands(c.rows), withThousands(c.contacts),
                                  suffix.isEmpty() ? QStringLiteral("no file") : QLatin1Char('.') + suffix);
    std::vector<Outcome> outcomes[2];
    // Alone and through the window in turn, so that a busy moment of the machine falls on both.
    for (int attempt = 0; attempt < kRuns; ++attempt) {
        for (int through = 0; through < (suffix.isEmpty() ? 1 : 2); ++through) {
            QTemporaryDir copy;
            const QString target = copy.filePath(QStringLiteral("db.mdb"));
            QFile::copy(book, target);
            outcomes[through].push_back(inChild([&] {
                return through == 0 ? importAlone(target, sheet, c.rows, c.halfPresent)
                                    : importThroughTheWindow(copy.path(), sheet);
            }));
        }
    }
    for (int through = 0; through < (suffix.isEmpty() ? 1 : 2); ++through) {
        const std::vector<Outcome>& runs = outcomes[through];
        long peak = 0;
        for (const Outcome& o : runs) {
            peak = std::max(peak, o.peakKiB);
        }
        std::printf("| %s | %s | %s | %s | %.0f MiB | %s |\n", qPrintable(what),
                    through == 0 ? "alone" : "window", qPrintable(range(runs, &Outcome::seconds)),
                    qPrintable(range(runs, &Outcome::cpuSeconds)), static_cast<double>(peak) / 1024.0,
                    qPrintable(runs.back().text.left(120)));
    }
    if (!suffix.isEmpty() && best(outcomes[0], &Outcome::seconds) > 0 &&
        best(outcomes[1], &Outcome::seconds) > 0) {
        std::printf("| %s | window / alone, best runs | %.2f | %.2f | | |\n", qPrintable(what),
                    best(outcomes[1], &Outcome::seconds) / best(outcomes[0], &Outcome::seconds),
                    best(outcomes[1], &Outcome::cpuSeconds) / best(outcomes[0], &Outcome::cpuSeconds));
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    std::optional<QTemporaryDir> scratch;
    QString folder;
    if (argc > 1) {
        folder = QString::fromLocal8Bit(argv[1]);
        QDir().mkpath(folder);
    } else {
        scratch.emplace();
        folder = scratch->path();
    }

    const Case cases[] = {{100000, 100000, true}, {1, 1000000, false}};
    const long onlyRows = argc > 2 ? std::atol(argv[2]) : 0;
    const QString onlyFormat = argc > 3 ? QString::fromLatin1(argv[3]) : QString();
    for (const Case& c : cases) {
        if (onlyRows != 0 && onlyRows != c.rows) {
            continue;
        }
        const QString book = QStringLiteral("%1/book%2.mdb").arg(folder).arg(c.contacts);
        const QString stem = QStringLiteral("%1/rows%2.").arg(folder).arg(c.rows);
        const auto phone = [&c](int row) { return sheetNumber(row, c.halfPresent); };
        const bool ready =
            (QFile::exists(book) || makePhonebook(book, c.contacts)) &&
            (QFile::exists(stem + "xlsx") || benchfiles::writeXlsx(stem + "xlsx", c.rows, phone)) &&
            (QFile::exists(stem + "ods") || benchfiles::writeOds(stem + "ods", c.rows, phone)) &&
            (QFile::exists(stem + "csv") || benchfiles::writeCsv(stem + "csv", c.rows, phone));
        if (!ready) {
            std::printf("cannot write the files for %ld rows\n", c.rows);
            return 1;
        }
        std::printf("| Import | how | wall | processor | peak | summary |\n|---|---|---|---|---|---|\n");
        for (const QString& suffix :
             {QStringLiteral("xlsx"), QStringLiteral("ods"), QStringLiteral("csv"), QString()}) {
            if (onlyFormat.isEmpty() || onlyFormat == suffix || (onlyFormat == "none" && suffix.isEmpty())) {
                run(folder, book, c, suffix);
            }
        }
    }
    return 0;
}
