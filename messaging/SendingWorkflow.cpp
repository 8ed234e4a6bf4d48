#include "SendingWorkflow.h"

#include "CodePage1254.h"
#include "MessageText.h"
#include "PhoneNumber.h"

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <utility>

const QString SendingWorkflow::NoConnection = QStringLiteral("Durum: Bağlantı Yok");
const QString SendingWorkflow::Connected = QStringLiteral("Durum: Bağlandı");
const QString SendingWorkflow::Ready = QStringLiteral("Hazır");
const QString SendingWorkflow::Going = QStringLiteral("Gidiyor");

namespace {

const QString refusal = QStringLiteral("Telefon bağlantısı yapılamadı");
const QString ringLine = QStringLiteral("çaldı");
const QString noAnswer = QStringLiteral("yanıt yok");
const QString notSent = QStringLiteral("Mesaj gönderilemedi: ");

constexpr int AnswerCheckInterval = 1000; // ms

void paint(QLabel& label, const QColor& background, const QColor& text) {
    label.setAutoFillBackground(true);
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    label.setPalette(palette);
}

// The text colour the label had before any fill: its parent's.
QColor windowTextOf(const QLabel& label) {
    const QWidget* parent = label.parentWidget();
    return (parent != nullptr ? parent->palette() : QPalette()).color(QPalette::WindowText);
}

} // namespace

SendingWorkflow::SendingWorkflow(SendingControls controls, SendingServices services)
    : m_controls(controls), m_services(std::move(services)) {
    m_answerTimer.setInterval(AnswerCheckInterval);
    connect(&m_answerTimer, &QTimer::timeout, this, &SendingWorkflow::expireUnanswered);
    showRun();
}

void SendingWorkflow::memo1Change() {
    m_controls.Label7.setText(QString::number(messageLength(m_controls.memo1.toPlainText())));
    m_controls.Label7.adjustSize(); // the label's width follows its text
}

bool SendingWorkflow::sendRefused() {
    if (m_connection == Connection::Connected) {
        return false;
    }
    m_services.showMessage(refusal);
    return true;
}

void SendingWorkflow::setStatus(const QString& text) {
    m_controls.Label4.setText(text);
    m_controls.Label4.adjustSize();
}

void SendingWorkflow::Button4Click() {
    if (sendRefused()) {
        return;
    }
    foldTurkishLetters(m_controls.memo1);
    const DialNumber number = dialNumber(m_controls.Edit1.text());
    if (!number.valid()) {
        m_services.showMessage(notSent + number.error);
        return;
    }
    submit(number.number, QString(), messageBytes(m_controls.memo1.toPlainText()), {Owner::SingleSend, 0});
}

void SendingWorkflow::Button6Click() {
    if (sendRefused() || m_run.going()) {
        return;
    }
    foldTurkishLetters(m_controls.memo1);
    m_run.start(m_services.recipients.fromCurrentRow(), m_controls.memo1.toPlainText());
    setStatus(Ready);
    m_controls.Timer1.setInterval(TickInterval);
    m_controls.Timer1.start();
    showRun();
}

void SendingWorkflow::Button9Click() {
    if (m_run.going()) {
        endRun(SendRun::State::Stopped);
    }
}

void SendingWorkflow::Timer1Timer() {
    if (!m_run.going()) {
        m_controls.Timer1.stop();
        return;
    }
    // The message with the phone is answered (or overdue) first; a phone that is gone is waited for.
    if (m_run.state() == SendRun::State::WaitingForAnswer || m_connection != Connection::Connected) {
        return;
    }
    try {
        if (!sendNextOfRun()) {
            endRun(SendRun::State::Finished);
            return;
        }
    } catch (const SendLogError&) {
        // Nothing goes out unrecorded.
        endRun(SendRun::State::Stopped);
        throw;
    }
    showRun();
}

bool SendingWorkflow::sendNextOfRun() {
    const std::string text = messageBytes(m_run.text());
    while (const std::optional<Recipient> recipient = m_run.take()) {
        const DialNumber number = dialNumber(recipient->telefon);
        if (!number.valid()) {
            // Failed without a word to the phone, so it takes no tick.
            m_services.log.add({recipient->telefon, recipient->adsoyad, fromCp1254(text), number.error,
                                SendLog::Durum::Hata});
            m_run.record(false);
            continue;
        }
        setStatus(Going);
        m_run.submitted();
        try {
            submit(number.number, recipient->adsoyad, text, {Owner::Run, m_run.serial()});
        } catch (const SendLogError&) {
            throw;
        } catch (const std::exception&) {
            // The error is in the message's log row and in the count; the next tick goes on.
            m_run.record(false);
            setStatus(Ready);
        }
        return true;
    }
    return false;
}

void SendingWorkflow::endRun(SendRun::State end) {
    if (end == SendRun::State::Finished) {
        m_run.finish();
    } else {
        m_run.stop();
    }
    m_controls.Timer1.stop();
    if (m_connection == Connection::Connected) {
        setStatus(Ready);
    }
    showRun();
}

void SendingWorkflow::submit(const QString& number, const QString& adsoyad, const std::string& text,
                             Pending pending) {
    // The row comes first: a message that cannot be recorded is not sent.
    const qint64 id =
        m_services.log.add({number, adsoyad, fromCp1254(text), QString(), SendLog::Durum::Bekliyor});
    m_pending.emplace(id, pending);
    m_submissions.add(id, text, m_services.now());
    if (!m_answerTimer.isActive()) {
        m_answerTimer.start();
    }
    try {
        m_services.modem.SendSms(toCp1254(number), std::string(), text);
    } catch (const std::exception& error) {
        m_submissions.remove(id);
        m_pending.erase(id);
        m_services.log.finish(id, QString::fromUtf8(error.what()), SendLog::Durum::Hata);
        throw;
    }
}

void SendingWorkflow::expireUnanswered() {
    settle(m_submissions.expire(m_services.now()));
}

void SendingWorkflow::settle(const std::vector<Submissions::Answer>& answers) {
    for (const Submissions::Answer& answer : answers) {
        settle(answer);
    }
    if (m_submissions.empty()) {
        m_answerTimer.stop();
    }
}

void SendingWorkflow::settle(const Submissions::Answer& answer) {
    const auto found = m_pending.find(answer.token);
    if (found == m_pending.end()) {
        return;
    }
    const Pending pending = found->second;
    m_pending.erase(found);
    const bool sent = answer.result == Submissions::Result::Confirmed;
    const QString sonuc =
        answer.result == Submissions::Result::Unanswered ? noAnswer : fromCp1254(answer.line);
    try {
        m_services.log.finish(answer.token, sonuc, sent ? SendLog::Durum::Gonderildi : SendLog::Durum::Hata);
    } catch (const SendLogError& error) {
        const QString text = QString::fromUtf8(error.what());
        later([this, text] { m_services.showError(text); });
    }

    const bool runWaits = m_run.state() == SendRun::State::WaitingForAnswer;
    if (pending.owner == Owner::SingleSend) {
        if (!sent) {
            later([this, sonuc] { m_services.showMessage(notSent + sonuc); });
        } else if (!runWaits && m_connection == Connection::Connected) {
            setStatus(Ready);
        }
        return;
    }
    if (pending.runSerial != m_run.serial()) {
        return; // a run left behind: only its log row changes
    }
    m_run.record(sent);
    if (runWaits && m_connection == Connection::Connected) {
        setStatus(Ready);
    }
    showRun();
}

void SendingWorkflow::showRun() {
    m_controls.Label8.setText(m_run.progress(std::chrono::milliseconds(TickInterval)));
    m_controls.Button9.setEnabled(m_run.going());
    m_controls.Button6.setEnabled(!m_run.going());
}

void SendingWorkflow::later(std::function<void()> notice) {
    // A message box runs an event loop of its own: shown from the top of the event loop, never
    // from inside the handler that is still changing the state.
    QMetaObject::invokeMethod(this, std::move(notice), Qt::QueuedConnection);
}

void SendingWorkflow::GsmModemConnect() {
    deliver([this] {
        m_connection = Connection::Connected;
        settle(m_submissions.abandon());
        setStatus(Connected);
        paint(m_controls.Label4, QColor(255, 0, 0), windowTextOf(m_controls.Label4));
        m_controls.Panel1.setEnabled(true);
    });
}

void SendingWorkflow::GsmModemDisconnect() {
    deliver([this] {
        // What the phone had not answered can no longer be answered.
        m_connection = Connection::None;
        settle(m_submissions.abandon());
        setStatus(NoConnection);
        paint(m_controls.Label4, QColor(0, 0, 0), QColor(255, 255, 255));
    });
}

void SendingWorkflow::GsmModemReceive(const std::string& buffer) {
    deliver([this, buffer] {
        m_controls.memo2.appendPlainText(fromCp1254(buffer));
        settle(m_submissions.read(buffer));
    });
}

void SendingWorkflow::GsmModemRing(const std::string& /*callerNumber*/) {
    deliver([this] { m_controls.memo2.appendPlainText(ringLine); });
}

void SendingWorkflow::deliver(std::function<void()> effect) {
    {
        const std::lock_guard lock(m_eventsMutex);
        m_events.push_back(std::move(effect));
    }
    if (QThread::currentThread() == thread()) {
        applyEvents();
    } else {
        QMetaObject::invokeMethod(this, &SendingWorkflow::applyEvents, Qt::QueuedConnection);
    }
}

void SendingWorkflow::applyEvents() {
    // Effects queued from another thread that are still waiting go first, so a call made here on
    // the user-interface thread never overtakes an event that arrived before it.
    for (;;) {
        std::function<void()> effect;
        {
            const std::lock_guard lock(m_eventsMutex);
            if (m_events.empty()) {
                return;
            }
            effect = std::move(m_events.front());
            m_events.pop_front();
        }
        effect();
    }
}
