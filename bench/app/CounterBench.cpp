// Times the count under the message box on every keystroke, as the user types: the main window
// offscreen, a 1,529-character text in memo1, one more character typed and taken back again and
// again (QTest::keyClick, as a key press arrives), with "Türkçe karakterlerle gönder" on (the SMS
// count of the text as typed) and, as the peer, off (the plain character count).
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
#include <vector>

namespace {

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
    auto& turkish = *form.findChild<QCheckBox*>(QStringLiteral("CheckBox1"));
    QString text;
    while (text.size() < 1529) {
        text += QStringLiteral("Değerli müşterimiz, yıl sonu indirimi şubelerimizde başladı. ");
    }
    text.truncate(1529);
    memo1.setFocus();

    std::printf("text: %lld characters, a key typed and taken back %d times\n",
                static_cast<long long>(text.size() + 1), keystrokes);
    for (const bool on : {true, false}) {
        turkish.setChecked(on);
        memo1.setPlainText(text);
        memo1.moveCursor(QTextCursor::End);
        const Figures figures = typeAndMeasure(memo1, keystrokes);
        std::printf("%-34s median %6.0f µs, 99th %6.0f µs, worst %6.0f µs   (%s)\n",
                    on ? "Türkçe karakterlerle gönder on" : "off (the plain count)", figures.median,
                    figures.p99, figures.worst, qPrintable(label7.text()));
    }
    return 0;
}
