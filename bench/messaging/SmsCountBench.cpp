// The count under the message, which the window runs on every keystroke: characters, SMS parts and
// the room left, for the longest text that may go (1,530 characters, ten parts). Goal: well under
// a millisecond. Run: sms_count_bench (Google Benchmark; docs/benchmarks.md has the figures).
#include "SmsCounter.h"

#include <QString>
#include <benchmark/benchmark.h>
#include <string>

namespace {

std::u16string textOf(std::u16string_view sample, std::size_t length) {
    std::u16string text;
    while (text.size() < length) {
        text += sample;
    }
    text.resize(length);
    return text;
}

// The default alphabet holds it: one table looked at.
const std::u16string Plain = textOf(u"Kampanya: her sey %20 indirimli, 31 Mart'a kadar! ", 1530);
// Turkish letters: the single and the locking shift tables weighed against each other.
const std::u16string Turkish =
    textOf(u"Sayın müşterimiz, Şişli şubemizde kış indirimi başladı; çiğdem ılgın. ", 1530);
// An emoji: UCS-2 after every table has been tried.
const std::u16string WithEmoji = textOf(u"Doğum günün kutlu olsun 🎂 ", 670);

void countText(benchmark::State& state, const std::u16string* text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(countSms(*text));
    }
}

// As the window does it: the text box's QString handed over first.
void countQString(benchmark::State& state) {
    const QString text = QString::fromStdU16String(Turkish);
    for (auto _ : state) {
        benchmark::DoNotOptimize(countSms(text.toStdU16String()));
    }
}

} // namespace

BENCHMARK_CAPTURE(countText, plain_1530, &Plain)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(countText, turkish_1530, &Turkish)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(countText, emoji_670, &WithEmoji)->Unit(benchmark::kMicrosecond);
BENCHMARK(countQString)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
