// Times "Geçmiş" as the user waits for it: the main window offscreen on a phone book whose send log
// holds campaigns of a few thousand messages, the button clicked, until the history window has
// painted its campaigns and the newest campaign's messages. The first opening reads and builds the
// window; later ones read again. Each is timed several times; best, median and worst are given.
//
// Usage: history_bench [messages in the large campaign (default 5000)]

#include "PhonebookFile.h"
#include "app/HistoryWindow.h"
#include "app/Unit1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A campaign of `messages` recipients, every one with a message, one in ten failed; and a smaller
// older one cut off half way.
void fillSendLog(PhonebookFile& book, int messages) {
    const std::string count = std::to_string(messages);
    book.exec(
        "create table gonderim (id integer primary key, zaman text not null, telefon text not null, "
        "adsoyad text not null default '', mesaj text not null, sonuc text not null default '', "
        "durum text not null, kampanya integer, numara integer);"
        "create index gonderim_kampanya on gonderim (kampanya, numara);"
        "create table kampanya (id integer primary key, baslangic text not null, mesaj text not null, "
        "toplam integer not null, durum text not null);"
        "create table kampanya_alici (kampanya integer not null, sira integer not null, numara integer, "
        "adsoyad text not null default '', telefon text not null default '', primary key (kampanya, sira));"
        "insert into kampanya values (1, '2026-12-01T09:00:00', 'Eski duyuru', 2000, 'durduruldu');"
        "insert into kampanya values (2, '2026-12-08T10:00:00', 'Yeni yıl indirimi: bütün ürünlerde %20', " +
        count +
        ", 'bitti');"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
        count +
        ") insert into kampanya_alici select 2, i, i, 'Kişi ' || i, printf('0532%07d', i) from n;"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 2000) "
        "insert into kampanya_alici select 1, i, i, 'Kişi ' || i, printf('0532%07d', i) from n;"
        "insert into gonderim (zaman, telefon, adsoyad, mesaj, sonuc, durum, kampanya, numara) "
        "select '2026-12-08T10:00:00', '+9' || telefon, adsoyad, 'Yeni yıl indirimi', "
        "case when sira % 10 = 0 then '+CMS ERROR: 500' else '+CMGS: ' || (sira % 255) end, "
        "case when sira % 10 = 0 then 'hata' else 'gönderildi' end, 2, numara from kampanya_alici "
        "where kampanya = 2;"
        "insert into gonderim (zaman, telefon, adsoyad, mesaj, sonuc, durum, kampanya, numara) "
        "select '2026-12-01T09:00:00', '+9' || telefon, adsoyad, 'Eski duyuru', '+CMGS: 1', 'gönderildi', 1, "
        "numara from kampanya_alici where kampanya = 1 and sira <= 1000;");
}

struct Figures {
    double best = 0;
    double median = 0;
    double worst = 0;
};

Figures figures(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2], times.back()};
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const int messages = argc > 1 ? std::stoi(argv[1]) : 5000;
    PhonebookFile book;
    fillSendLog(book, messages);

    constexpr int Runs = 7;
    std::vector<double> first;
    std::vector<double> again;
    int shownMessages = 0;
    for (int run = 0; run < Runs; ++run) {
        TForm1 form(book.dir());
        form.show();
        QApplication::processEvents();
        auto* button = form.findChild<QPushButton*>(QStringLiteral("Button11"));
        for (int opening = 0; opening < 2; ++opening) {
            QElapsedTimer clock;
            clock.start();
            button->click();
            auto* history = form.findChild<HistoryWindow*>(QStringLiteral("HistoryWindow"));
            history->repaint();
            QApplication::processEvents();
            (opening == 0 ? first : again).push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            shownMessages = history->findChild<QTableView*>(QStringLiteral("messages"))->model()->rowCount();
            history->hide();
        }
    }
    const Figures opened = figures(first);
    const Figures reopened = figures(again);
    std::printf("messages in the newest campaign   %d (shown: %d), older campaign 2000\n", messages,
                shownMessages);
    std::printf("first opening of Geçmiş          best %.1f ms, median %.1f ms, worst %.1f ms\n", opened.best,
                opened.median, opened.worst);
    std::printf("opening again                     best %.1f ms, median %.1f ms, worst %.1f ms\n",
                reopened.best, reopened.median, reopened.worst);
    return shownMessages == messages ? 0 : 1;
}
