// Costs of the messaging work on the user-interface thread: the count run on every keystroke,
// the folding at the start of a send, the code page conversion, and the applying of the phone's
// deliveries that the reading thread queues. Run: messaging_bench (offscreen unless chosen).

#include "CodePage1254.h"
#include "MessageText.h"
#include "SendingWorkflow.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

struct NoRecipients : BulkRecipients {
    std::vector<Recipient> fromCurrentRow() const override { return {}; }
    int currentRow() const override { return 0; }
};

struct NoModem : SmsModem {
    void SendSms(const std::string&, const std::string&, const std::string&) override {}
    void SendCommand(const std::string&) override {}
    void SubmitPdu(int, const std::string&) override {}
    void Disconnect() override {}
    std::string PortName() const override { return "COM1"; }
};

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return 0;
}

QString turkishText(qsizetype length) {
    const QString sample = QStringLiteral("Şöyle güzel bir gün, İstanbul'da çay içtik.\n");
    QString text;
    while (text.size() < length) {
        text += sample;
    }
    text.truncate(length);
    return text;
}

template <typename F> double microsecondsPerRun(int runs, F&& work) {
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < runs; ++i) {
        work();
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1000.0 / runs;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);

    for (const qsizetype length : {160, 10000}) {
        const QString text = turkishText(length);
        std::printf("messageLength, %5lld characters:        %9.2f us\n", static_cast<long long>(length),
                    microsecondsPerRun(1000, [&] { return messageLength(text); }));
    }

    const QString megabyte = turkishText(1 << 20);
    std::string bytes;
    const double encode = microsecondsPerRun(10, [&] { bytes = toCp1254(megabyte); });
    const double decode = microsecondsPerRun(10, [&] { return fromCp1254(bytes); });
    std::printf("toCp1254, 1 Mi characters:              %9.2f ms\n", encode / 1000);
    std::printf("fromCp1254, 1 MiB:                      %9.2f ms\n", decode / 1000);

    for (const qsizetype length : {160, 10000}) {
        QPlainTextEdit memo1;
        const QString text = turkishText(length);
        const double fold = microsecondsPerRun(20, [&] {
            memo1.setPlainText(text);
            foldTurkishLetters(memo1);
        });
        std::printf("foldTurkishLetters, %5lld characters:   %9.2f ms\n", static_cast<long long>(length),
                    fold / 1000);
    }

    QLabel label4, label7, label8;
    QPlainTextEdit memo1, memo2;
    QLineEdit edit1;
    QWidget panel1;
    QTimer timer1;
    QPushButton button6, button9;
    NoRecipients recipients;
    NoModem modem;
    SendLog sendLog([] { return QSqlDatabase(); });
    CampaignStore campaigns(sendLog);
    DeliveryReports reports(sendLog);
    QCheckBox checkBox1, checkBox2;
    QLabel label9;
    SendingWorkflow workflow({label4, memo1, memo2, label7, edit1, panel1, timer1, button6, label8, button9,
                              checkBox1, checkBox2, label9},
                             {recipients, modem, sendLog, campaigns, reports, [](const QString&) {},
                              [](const QString&) {}, [](const QString&, const QStringList&) { return 0; }});
    constexpr int deliveries = 100000;
    const long before = residentKiB();
    QElapsedTimer clock;
    clock.start();
    std::thread reader([&] {
        for (int i = 0; i < deliveries; ++i) {
            workflow.GsmModemReceive("\r\n+CMGS: " + std::to_string(i % 256) + "\r\n\r\nOK\r\n");
        }
    });
    reader.join();
    const double posted = static_cast<double>(clock.nsecsElapsed()) / 1000.0 / deliveries;
    clock.restart();
    while (memo2.document()->blockCount() < deliveries * 5) {
        QCoreApplication::processEvents();
    }
    const double applied = static_cast<double>(clock.nsecsElapsed()) / 1000.0 / deliveries;
    std::printf("GsmModemReceive from another thread:    %9.2f us to post, %.2f us to apply\n", posted,
                applied);
    std::printf("memo2 after %d deliveries:          %9ld KiB more resident memory\n", deliveries,
                residentKiB() - before);
    return 0;
}
