// Times what a user waits for with a large phone book: opening the view at start-up, and a search through
// the main window (Enter in the group box until the grid has painted the result), against the sqlite3 shell
// running the same statement on the same file in the same run; then the same search once another program
// has changed the file, when the view reads the table again. The import has a benchmark of its own
// (bench/app/ImportBench.cpp).
//
// Usage: phonebook_bench [contacts...]   (default: 100000 1000000)

#include "BenchPhonebook.h"
#include "app/Unit1.h"
#include "phonebook/PhonebookDatabase.h"
#include "phonebook/PhonebookView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr int kRuns = 3;

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

double seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// The sqlite3 shell on the same file and statement, output discarded, process start included.
double shellSeconds(const QString& path, const QString& statement) {
    QProcess shell;
    shell.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    shell.start(QStringLiteral("sqlite3"), {path, statement});
    shell.waitForFinished(-1);
    return seconds(timer);
}

// Enter in the group box with `text` in it, until the grid has painted what it found.
double searchThroughTheWindow(QLineEdit& box, QTableView& grid, const QString& text) {
    box.setText(text);
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(&box, &press);
    QApplication::sendEvent(&box, &release);
    QCoreApplication::processEvents();
    grid.viewport()->repaint();
    return seconds(timer);
}

struct Range {
    double best = 1e9;
    double worst = 0;
    void add(double value) {
        best = std::min(best, value);
        worst = std::max(worst, value);
    }
};

void openAndSearch(long contacts) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db.mdb"));
    makePhonebook(path, contacts);

    double openSeconds = 0;
    double openPeak = 0;
    {
        PhonebookDatabase conn;
        conn.open(path);
        PhonebookView view(conn);
        resetPeak();
        QElapsedTimer timer;
        timer.start();
        view.open();
        openSeconds = seconds(timer);
        openPeak = peakMiB();
    }

    TForm1 form(dir.path());
    form.show();
    auto& box = *form.findChild<QLineEdit*>(QStringLiteral("Edit2"));
    auto& grid = *form.findChild<QTableView*>(QStringLiteral("DBGrid1"));
    QCoreApplication::processEvents();
    const QString statement = QStringLiteral("select * from numara where grup like '%ank%'");
    Range ours;
    Range shell;
    Range changed;
    int found = 0;
    for (int run = 0; run < kRuns; ++run) {
        searchThroughTheWindow(box, grid, QStringLiteral("yok")); // another result before each
        ours.add(searchThroughTheWindow(box, grid, QStringLiteral("ank")));
        found = grid.model()->rowCount();
        shell.add(shellSeconds(path, statement));
    }
    for (int run = 0; run < kRuns; ++run) {
        searchThroughTheWindow(box, grid, QStringLiteral("yok"));
        // Another program changes the file: the next search reads the table again.
        QProcess::execute(
            QStringLiteral("sqlite3"),
            {path, QStringLiteral("update numara set gsm = 'Değişti %1' where id = 1").arg(run)});
        changed.add(searchThroughTheWindow(box, grid, QStringLiteral("ank")));
    }
    std::printf("%8ld contacts: open %.3f s (peak %.0f MiB); search \"ank\" through the window %.3f-%.3f s "
                "(%d rows), sqlite3 shell %.3f-%.3f s, best ours/sqlite3 %.2f; after another program changed "
                "the file %.3f-%.3f s\n",
                contacts, openSeconds, openPeak, ours.best, ours.worst, found, shell.best, shell.worst,
                ours.best / shell.best, changed.best, changed.worst);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
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
