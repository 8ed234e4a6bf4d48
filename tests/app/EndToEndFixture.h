// The main window, the real GSM component on a real pseudo-terminal and the phone simulator at its
// other end, in real time: what a user sees and what the phone receives, byte for byte.
#pragma once

#include "ModemSim.h"
#include "PhonebookFile.h"
#include "ScriptedDialogs.h"
#include "Typing.h"
#include "app/Unit1.h"
#include "app/Unit2.h"

#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace endtoend {

using namespace std::chrono_literals;

// The phone's reading thread polls every 500 ms and delivers about once a
// second; this leaves room for a busy machine.
constexpr int DeliveryBound = 4000;

// What "Bağlan" writes: the component's caller-number setup, then the program's check that a phone
// answers and takes text mode.
inline const std::string ConnectCommands = "AT+CLIP=1;+CRC=1\rAT\rAT+CMGF=1\r";

// What one SendSms with an empty service centre number writes.
inline std::string submission(const std::string& number, const std::string& text) {
    return "\x1b"
           "AT\rAT+CMGF=1\rAT+CMGS=\"" +
           number + "\"\r" + text + "\x1a";
}

template <typename T = QWidget> T& control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        throw std::runtime_error(std::string("no control ") + name);
    }
    return *found;
}

inline TModemSimOptions linkedAs(const QString& path) {
    TModemSimOptions options;
    options.LinkPath = path.toStdString();
    return options;
}

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(devices.isValid());
        plugInPhone();
        fillPhoneBook();
        startProgram();
    }

    void TearDown() override {
        EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();
    }

    virtual TModemSimOptions phoneOptions() { return linkedAs(linkPath()); }
    virtual SendingTimings timings() { return {}; }
    // What "Bağlan" writes with the window's choices.
    virtual std::string connectCommands() const { return ConnectCommands; }
    void startProgram() {
        form = std::make_unique<TForm1>(
            file.dir(), std::make_unique<TGsmModem>(SystemPlatform(devices.path().toStdString())), timings());
    }
    virtual void fillPhoneBook() {
        file.add({
            {"Ayşe Yılmaz", "05351110001", "Turkcell", "Ankara"},
            {"Mehmet Öz", "05321110002", "Vodafone", "İstanbul"},
            {"Zeynep Çelik", "05551110003", "Türk Telekom", "Ankara"},
            {"Ömer Şahin", "05421110004", "Turkcell", "İzmir"},
            {"Gül Ünal", "05061110005", "Vodafone", "Bursa"},
        });
    }
    // The send log, a row a line: "telefon|adsoyad|sonuc|durum".
    std::string sendLog() const {
        return file.scalar("select group_concat(telefon || '|' || adsoyad || '|' || sonuc || '|' || durum, "
                           "char(10)) from (select * from gonderim order by id)");
    }
    QLabel& progress() { return control<QLabel>(*form, "Label8"); }
    void pressSendToAll(const QString& text) {
        control<QPlainTextEdit>(*form, "memo1").setPlainText(text);
        control<QPushButton>(*form, "Button6").click();
    }
    bool runEnds(int messages) {
        return QTest::qWaitFor([&] { return !timer().isActive(); },
                               (messages + 2) * SendingWorkflow::TickInterval + DeliveryBound);
    }
    QString linkPath() const { return devices.filePath(QStringLiteral("ttyUSB0")); }
    TModemSim& sim() { return *phone; }

    // A phone (again) behind the port's device path.
    void plugInPhone() {
        phone.reset();
        phone = std::make_unique<TModemSim>(phoneOptions());
        phone->Start();
    }

    QLabel& status() { return control<QLabel>(*form, "Label4"); }
    QTimer& timer() { return *form->findChild<QTimer*>(QStringLiteral("Timer1")); }
    QColor statusBackground() { return status().palette().color(QPalette::Window); }

    // Picks COM1 in the port list as the user does, and presses "Bağlan".
    void connectPhone(int portsListed = 1) {
        auto& combo = control<QComboBox>(*form, "combo");
        ASSERT_EQ(combo.count(), portsListed);
        ASSERT_EQ(combo.itemText(0), "COM1");
        QTest::keyClick(&combo, Qt::Key_Down); // the first entry, as the keyboard chooses it
        ASSERT_EQ(form->modem().Port(), spCOM1);
        control<QPushButton>(*form, "Button1").click();
        ASSERT_TRUE(phoneChecked(sim()));
    }
    // The phone answered the check: the status line reads "Durum: Bağlandı".
    ::testing::AssertionResult phoneChecked(const TModemSim& which) {
        if (!QTest::qWaitFor([&] { return status().text() == "Durum: Bağlandı"; }, 2 * DeliveryBound)) {
            return ::testing::AssertionFailure() << "not connected: " << status().text().toStdString();
        }
        if (which.Received() != connectCommands()) {
            return ::testing::AssertionFailure() << "the phone received " << which.Received();
        }
        return ::testing::AssertionSuccess();
    }

    // Bytes the phone received after `offset`, once they end with `tail`.
    std::string receivedUpTo(std::size_t offset, const std::string& tail, int bound) {
        const bool arrived = QTest::qWaitFor(
            [&] {
                const std::string all = sim().Received();
                return all.size() >= offset + tail.size() && all.ends_with(tail);
            },
            bound);
        EXPECT_TRUE(arrived) << "the phone did not receive the expected bytes in time";
        return sim().Received().substr(offset);
    }

    ScriptedDialogs dialogs;
    QTemporaryDir devices;
    std::unique_ptr<TModemSim> phone;
    PhonebookFile file;
    std::unique_ptr<TForm1> form;
};

} // namespace endtoend
