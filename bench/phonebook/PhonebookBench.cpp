// Times what a user waits for with a large phone book: opening the view at
// start-up and one search; compares the search with the sqlite3 shell running
// the same statement on the same file. The import has a benchmark of its own
// (bench/app/ImportBench.cpp).
//
// Usage: phonebook_bench [contacts...]   (default: 100000 1000000)

#include "BenchPhonebook.h"
#include "phonebook/PhonebookDatabase.h"
#include "phonebook/PhonebookView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Peak resident memory since the last reset, in MiB.
double peakMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Names with Turkish letters, numbers 0532 100 00 00 onwards.
bool makePhonebook(const QString& path, long contacts) {
    return benchphonebook::writePhonebook(path, contacts, [](long i) {
        const QByteArray n = QByteArray::number(static_cast<qlonglong>(i));
        return benchphonebook::NameAndNumber{"Kişi " + n + (i % 7 == 0 ? " Yılmaz" : " Öztürk"),
                                             "05" + QByteArray::number(321000000LL + i)};
    });
}

// A phone book file of its own with `contacts` rows, opened as the program opens it.
struct Book {
    explicit Book(long contacts) {
        makePhonebook(path(), contacts);
        conn.open(path());
    }
    QString path() const { return dir.filePath(QStringLiteral("db.mdb")); }

    QTemporaryDir dir;
    PhonebookDatabase conn;
    PhonebookView view{conn};
};

double seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// The sqlite3 shell on the same file and statement, output discarded; the
// best of three, so both sides are timed warm.
double shellSeconds(const QString& path, const QString& statement) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        QProcess shell;
        shell.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        shell.start(QStringLiteral("sqlite3"), {path, statement});
        shell.waitForFinished(-1);
        best = std::min(best, seconds(timer));
    }
    return best;
}

void openAndSearch(long contacts) {
    Book book(contacts);
    PhonebookView& view = book.view;

    resetPeak();
    QElapsedTimer timer;
    timer.start();
    view.open();
    const double openSeconds = seconds(timer);
    const double openPeak = peakMiB();

    double searchSeconds = 1e9;
    for (int run = 0; run < 3; ++run) {
        SearchFilter filter;
        filter.grup = QStringLiteral("ank");
        timer.restart();
        view.search(filter);
        searchSeconds = std::min(searchSeconds, seconds(timer));
    }
    const int found = view.rowCount();
    const double shell =
        shellSeconds(book.path(), QStringLiteral("select * from numara where grup like '%ank%'"));

    std::printf("%8ld contacts: open %.3f s (peak %.0f MiB), search %.3f s (%d rows), "
                "sqlite3 shell %.3f s, ratio ours/sqlite3 %.2f\n",
                contacts, openSeconds, openPeak, searchSeconds, found, shell, searchSeconds / shell);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) {
        sizes.push_back(std::stol(argv[i]));
    }
    if (sizes.empty()) {
        sizes = {100000, 1000000};
    }
    for (const long contacts : sizes) {
        openAndSearch(contacts);
    }
    return 0;
}
