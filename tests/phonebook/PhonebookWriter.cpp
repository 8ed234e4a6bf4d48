// Writes batches of contacts into a phone book through PhonebookDatabase, as
// the import does (begin, inserts, commit), and reports each commit on
// standard output as "committed <batches>", for tests that kill it mid-way.
//
// Usage: phonebook-writer <db.mdb> <rows per batch> [<batch left open> [spill]]
// With a batch left open, that batch is begun and filled, "open" is
// reported, and the program waits without committing until it is killed.
// With "spill", SQLite keeps a single page in memory, so the open batch's
// pages are already in db.mdb, their old content in the journal: killed
// then, the program leaves the file half-written and the journal hot.
#include "phonebook/PhonebookDatabase.h"
#include "phonebook/PhonebookError.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// Bounds for a writer whose test went away without killing it.
constexpr int kMostBatches = 10000;
constexpr std::chrono::seconds kLongestWait{60};

void report(const char* line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fputs("usage: phonebook-writer <db.mdb> <rows per batch> [<batch left open>]\n", stderr);
        return 2;
    }
    const int rows = args.at(2).toInt();
    const int leftOpen = args.size() > 3 ? args.at(3).toInt() : 0;
    try {
        PhonebookDatabase conn;
        conn.open(args.at(1));
        if (args.size() > 4 && args.at(4) == QLatin1String("spill")) {
            conn.execute(QStringLiteral("PRAGMA cache_size = 1"));
        }
        for (int batch = 1; batch <= kMostBatches; ++batch) {
            conn.begin();
            for (int row = 0; row < rows; ++row) {
                Contact contact;
                contact.adsoyad = QStringLiteral("Kişi %1-%2").arg(batch).arg(row);
                contact.telefon = QStringLiteral("05%1").arg(batch * 100000 + row, 9, 10, QLatin1Char('0'));
                contact.gsm = QStringLiteral("Turkcell");
                contact.grup = QStringLiteral("Toplu");
                conn.insert(contact);
            }
            if (batch == leftOpen) {
                report("open\n");
                std::this_thread::sleep_for(kLongestWait);
                return 1;
            }
            conn.commit();
            report(QStringLiteral("committed %1\n").arg(batch).toUtf8().constData());
        }
    } catch (const PhonebookError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
