// A bulk send as the user runs it: the main window offscreen, the real GSM
// component on a pseudo-terminal, the phone simulator answering at once and
// refusing every n-th message, and the real 2000 ms timer. Measures the
// messages per minute, refused ones included, against the ceiling of 30 that
// the tick sets, and how long the user-interface thread is held at a time
// (the gap between two turns of a 5 ms heartbeat timer).
//
// Run: bulk_send_bench [contacts] [refuse every] [text|pdu]   (100, 10 and text by
// default; offscreen unless chosen). "pdu" sends with "Türkçe karakterlerle
// gönder" on a Turkish text that takes two SMS, part after part, and refuses none.

#include "ModemSim.h"
#include "PhonebookFile.h"
#include "app/Unit1.h"
#include "app/UserDialogs.h"
#include "messaging/SendLog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace {

// Any box the program would show is counted instead of blocking the run.
class CountingDialogs : public UserDialogs {
public:
    CountingDialogs() { UserDialogs::install(this); }
    ~CountingDialogs() override { UserDialogs::install(nullptr); }
    CountingDialogs(const CountingDialogs&) = delete;
    CountingDialogs& operator=(const CountingDialogs&) = delete;

    void showError(const QString& text) override {
        std::fprintf(stderr, "error box: %s\n", qPrintable(text));
        ++shown;
    }
    void showMessage(const QString& text) override {
        std::fprintf(stderr, "message box: %s\n", qPrintable(text));
        ++shown;
    }
    bool confirmWarning(const QString&) override { return false; }
    bool confirmQuestion(const QString&) override { return false; }
    int ask(const QString&, const QStringList&) override { return 0; } // "Gönder"
    QString openFileName() override { return {}; }

    int shown = 0;
};

template <typename T> T& control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        std::fprintf(stderr, "no control %s\n", name);
        std::exit(1);
    }
    return *found;
}

// Runs the event loop until `done` holds or `limitMs` passes; false on time-out.
template <typename Predicate> bool runUntil(Predicate done, qint64 limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const int contacts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const bool pdu = argc > 3 && std::string(argv[3]) == "pdu";
    const int refuseEvery = pdu ? 0 : argc > 2 ? std::max(0, std::atoi(argv[2])) : 10;
    const int parts = pdu ? 2 : 1; // SMS each message takes

    CountingDialogs dialogs;
    PhonebookFile book;
    book.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
              std::to_string(contacts) +
              ") INSERT INTO numara (adsoyad, telefon, gsm, grup) "
              "SELECT 'Kişi ' || i, printf('0532%07d', i), 'Turkcell', 'Ankara' FROM n;");

    QTemporaryDir devices;
    TModemSimOptions options;
    options.LinkPath = devices.filePath(QStringLiteral("ttyUSB0")).toStdString();
    options.RefuseEvery = refuseEvery;
    TModemSim sim(options);
    sim.Start();

    TForm1 form(book.dir(), std::make_unique<TGsmModem>(SystemPlatform(devices.path().toStdString())));
    auto& combo = control<QComboBox>(form, "combo");
    if (combo.count() != 1) {
        std::fprintf(stderr, "the simulator's port is not listed\n");
        return 1;
    }
    emit combo.activated(0);
    QElapsedTimer connecting;
    connecting.start();
    control<QPushButton>(form, "Button1").click();
    const qint64 connectBlock = connecting.elapsed();
    auto& status = control<QLabel>(form, "Label4");
    if (!runUntil([&] { return status.text() == SendingWorkflow::Connected; }, 5000)) {
        std::fprintf(stderr, "the phone did not connect\n");
        return 1;
    }
    if (pdu) {
        form.findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(true);
        QString text;
        while (text.size() < 200) {
            text += QStringLiteral("Toplantı yarın saat 10'da, salon 2; gündem: şube açılışları. ");
        }
        control<QPlainTextEdit>(form, "memo1").setPlainText(text.left(200));
    } else {
        control<QPlainTextEdit>(form, "memo1")
            .setPlainText(QStringLiteral("Toplantı yarın saat 10'da, salon 2."));
    }
    auto& timer = *form.findChild<QTimer*>(QStringLiteral("Timer1"));

    // The heartbeat: each turn notes how long the loop was away.
    QElapsedTimer clock;
    std::vector<qint64> gaps;
    qint64 lastBeat = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        gaps.push_back(now - lastBeat);
        lastBeat = now;
    });

    clock.start();
    heartbeat.start();
    // When each message reached the phone (its last part's Ctrl-Z), seen from the phone's side.
    std::vector<qint64> submittedAt;
    std::thread watcher([&] {
        for (std::size_t n = 1; n <= static_cast<std::size_t>(contacts); ++n) {
            if (!sim.WaitForMessages(n * static_cast<std::size_t>(parts), std::chrono::seconds(30))) {
                return;
            }
            submittedAt.push_back(clock.elapsed());
        }
    });
    control<QPushButton>(form, "Button6").click();
    const bool finished = runUntil([&] { return !timer.isActive(); }, 2LL * 2000 * (contacts + 5));
    const qint64 total = clock.elapsed();
    heartbeat.stop();
    watcher.join();

    const auto messages = sim.Messages();
    const auto confirmed = std::count_if(messages.begin(), messages.end(),
                                         [](const TSubmittedSms& sms) { return sms.Reference != 0; }) /
                           parts;
    if (!finished || static_cast<int>(messages.size()) != contacts * parts ||
        static_cast<int>(submittedAt.size()) != contacts) {
        std::fprintf(stderr, "run incomplete: %zu of %d messages in %lld ms\n", messages.size(), contacts,
                     static_cast<long long>(total));
        return 1;
    }

    const std::string sentRows = book.scalar("select count(*) from gonderim where durum = 'gönderildi'");
    const std::string failedRows = book.scalar("select count(*) from gonderim where durum = 'hata'");
    const std::string waitingRows = book.scalar("select count(*) from gonderim where durum = 'bekliyor'");

    // The ceiling: the n-th message goes on the n-th tick, n x 2000 ms after the button, and
    // reaches the phone with its Ctrl-Z after the fourth 100 ms pause of its submission.
    const double lastAt = static_cast<double>(submittedAt.back());
    const double perMinute = 60000.0 * contacts / lastAt;
    const double interval =
        contacts > 1 ? (lastAt - static_cast<double>(submittedAt.front())) / (contacts - 1) : 0.0;

    std::vector<qint64> blocks;
    std::copy_if(gaps.begin(), gaps.end(), std::back_inserter(blocks), [](qint64 gap) { return gap >= 100; });
    const qint64 longest = gaps.empty() ? 0 : *std::max_element(gaps.begin(), gaps.end());
    const double blockMean = blocks.empty()
                                 ? 0.0
                                 : static_cast<double>(std::accumulate(blocks.begin(), blocks.end(), 0LL)) /
                                       static_cast<double>(blocks.size());
    std::vector<qint64> small;
    std::copy_if(gaps.begin(), gaps.end(), std::back_inserter(small), [](qint64 gap) { return gap < 100; });
    std::sort(small.begin(), small.end());
    const qint64 smallP99 = small.empty() ? 0 : small[small.size() * 99 / 100];

    std::printf("contacts                          %d\n", contacts);
    std::printf("messages sent / confirmed         %zu / %td (every %d. refused; %d SMS each)\n",
                messages.size() / static_cast<std::size_t>(parts), confirmed, refuseEvery, parts);
    std::printf("send log gönderildi/hata/bekliyor %s / %s / %s\n", sentRows.c_str(), failedRows.c_str(),
                waitingRows.c_str());
    std::printf("progress line at the end          %s\n", qPrintable(control<QLabel>(form, "Label8").text()));
    std::printf("first / last message after press  %lld ms / %lld ms\n",
                static_cast<long long>(submittedAt.front()), static_cast<long long>(submittedAt.back()));
    std::printf("run over (end-of-data tick)       %lld ms\n", static_cast<long long>(total));
    std::printf("messages per minute, whole run    %.2f (ceiling 30)\n", perMinute);
    std::printf("mean interval between messages    %.1f ms (tick 2000 ms)\n", interval);
    std::printf("messages per minute, steady       %.2f\n", interval > 0 ? 60000.0 / interval : 0.0);
    std::vector<qint64> sortedBlocks = blocks;
    std::sort(sortedBlocks.begin(), sortedBlocks.end());
    const qint64 blockMedian = sortedBlocks.empty() ? 0 : sortedBlocks[sortedBlocks.size() / 2];
    std::printf("longest UI-thread block           %lld ms\n", static_cast<long long>(longest));
    std::printf("blocks of 100 ms or more, median  %lld ms\n", static_cast<long long>(blockMedian));
    std::printf("\"Bağlan\" (Connect) block          %lld ms\n", static_cast<long long>(connectBlock));
    std::printf("blocks of 100 ms or more          %zu, mean %.1f ms\n", blocks.size(), blockMean);
    std::printf("other heartbeat gaps, 99th pct    %lld ms (interval 5 ms)\n",
                static_cast<long long>(smallP99));
    std::printf("message boxes shown               %d\n", dialogs.shown);

    // The send log's share of a message: its row written before the bytes go, settled at the answer.
    SendLog sendLog([&form] { return form.query().database().connection(); });
    constexpr int rows = 200;
    QElapsedTimer logClock;
    logClock.start();
    for (int i = 0; i < rows; ++i) {
        const qint64 id = sendLog.add({QStringLiteral("+905320000000"),
                                       QStringLiteral("Kişi"),
                                       QStringLiteral("Toplanti"),
                                       {},
                                       SendLog::Durum::Bekliyor});
        sendLog.settle(id, QStringLiteral("+CMGS: 1"), SendLog::Durum::Gonderildi);
    }
    std::printf("send log row written and settled  %.2f ms per message\n",
                static_cast<double>(logClock.nsecsElapsed()) / 1e6 / rows);
    const bool logged = std::stoi(sentRows) == confirmed && std::stoi(waitingRows) == 0 &&
                        std::stoi(sentRows) + std::stoi(failedRows) == contacts;
    return dialogs.shown == 0 && logged ? 0 : 1;
}
