// Times the count under the message box on every keystroke, as the user types: the main window
// offscreen, a 1,529-character text in memo1 (plain letters, which ten SMS hold to the last one, and
// Turkish ones, which they do not), one more character typed and taken back again and again
// (QTest::keyClick, as a key press arrives), with "Türkçe karakterlerle gönder" on (the SMS count
// of the text as typed) and, as the peer, off (the plain character count). The whole keystroke is
// timed (the text box's own work and the repaint included), and the count's handler alone.
//
// Usage: counter_bench [keystrokes (default 400)]

#include "PhonebookFile.h"
#include "app/Unit1.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace {

// The count's handler alone, as textChanged runs it.
double handlerMedian(TForm1& form, int calls) {
    std::vector<double> times;
    for (int i = 0; i < calls; ++i) {
        QElapsedTimer clock;
        clock.start();
        form.memo1Change();
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e3);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Figures {
    double median = 0;
    double p99 = 0;
    double worst = 0;
};

// Each keystroke's time from the key press to the count shown, in microseconds.
Figures typeAndMeasure(QPlainTextEdit& memo1, int keystrokes) {
    std::vector<double> times;
    for (int i = 0; i < keystrokes; ++i) {
        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(&memo1, i % 2 == 0 ? Qt::Key_S : Qt::Key_Backspace);
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e3);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 99 / 100], times.back()};
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const int keystrokes = argc > 1 ? std::stoi(argv[1]) : 400;
    PhonebookFile book;
    TForm1 form(book.dir());
    form.show();
    auto& memo1 = *form.findChild<QPlainTextEdit*>(QStringLiteral("memo1"));
    auto& label7 = *form.findChild<QLabel*>(QStringLiteral("Label7"));
    auto& turkishBox = *form.findChild<QCheckBox*>(QStringLiteral("CheckBox1"));
    QString turkish;
    while (turkish.size() < 1529) {
        turkish += QStringLiteral("Değerli müşterimiz, yıl sonu indirimi şubelerimizde başladı. ");
    }
    turkish.truncate(1529);
    QString plain;
    while (plain.size() < 1529) {
        plain += QStringLiteral("Sayin musterimiz, yil sonu indirimi subelerimizde basladi. ");
    }
    plain.truncate(1529);
    memo1.setFocus();

    std::printf("a 1,529-character text, a key typed and taken back %d times\n", keystrokes);
    for (const auto& [name, text, on] :
         {std::tuple{"plain, box on", plain, true}, std::tuple{"Turkish, box on", turkish, true},
          std::tuple{"plain, box off (peer)", plain, false}}) {
        turkishBox.setChecked(on);
        memo1.setPlainText(text);
        memo1.moveCursor(QTextCursor::End);
        const Figures figures = typeAndMeasure(memo1, keystrokes);
        std::printf(
            "%-24s keystroke median %5.0f µs, 99th %6.0f µs, worst %6.0f µs; count alone %5.1f µs  (%s)\n",
            name, figures.median, figures.p99, figures.worst, handlerMedian(form, keystrokes),
            qPrintable(label7.text()));
    }
    return 0;
}
