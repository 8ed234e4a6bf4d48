#include "SendingWorkflow.h"

#include "CodePage1254.h"
#include "MessageText.h"

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <string_view>
#include <utility>

const QString SendingWorkflow::NoConnection = QStringLiteral("Durum: Bağlantı Yok");
const QString SendingWorkflow::Connected = QStringLiteral("Durum: Bağlandı");
const QString SendingWorkflow::Ready = QStringLiteral("Hazır");
const QString SendingWorkflow::Going = QStringLiteral("Gidiyor");

namespace {

// The phone's confirmation of a submitted message, e.g. "\r\n+CMGS: 23\r\n\r\nOK\r\n".
constexpr std::string_view confirmation = "+CMGS:";

const QString refusal = QStringLiteral("Telefon bağlantısı yapılamadı");
const QString ringLine = QStringLiteral("çaldı");

void setBackground(QLabel& label, const QColor& colour) {
    label.setAutoFillBackground(true);
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, colour);
    label.setPalette(palette);
}

} // namespace

SendingWorkflow::SendingWorkflow(SendingControls controls, BulkRecipients& recipients, SmsModem& modem,
                                 std::function<void(const QString&)> showMessage)
    : m_controls(controls), m_recipients(recipients), m_modem(modem), m_showMessage(std::move(showMessage)) {}

void SendingWorkflow::memo1Change() {
    m_controls.Label7.setText(QString::number(messageLength(m_controls.memo1.toPlainText())));
    m_controls.Label7.adjustSize(); // the label's width follows its text
}

bool SendingWorkflow::sendRefused() {
    if (m_controls.Label4.text() != NoConnection) {
        return false;
    }
    m_showMessage(refusal);
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
    sendMessageTo(m_controls.Edit1.text());
}

void SendingWorkflow::Button6Click() {
    if (sendRefused()) {
        return;
    }
    foldTurkishLetters(m_controls.memo1);
    setStatus(Ready);
    // Pressed again during a run the timer keeps its rhythm; only the status line changes.
    if (!m_controls.Timer1.isActive()) {
        m_controls.Timer1.setInterval(TickInterval);
        m_controls.Timer1.start();
    }
}

void SendingWorkflow::Timer1Timer() {
    // End of data first: the run ends on the tick after the last row, confirmed or not.
    if (m_recipients.eof()) {
        setStatus(Ready);
        m_controls.Timer1.stop();
        return;
    }
    if (m_controls.Label4.text() != Ready) {
        return;
    }
    // "Gidiyor" before sending: a failing send leaves the run waiting on this row.
    setStatus(Going);
    sendMessageTo(m_recipients.currentTelefon());
    m_recipients.next();
}

void SendingWorkflow::sendMessageTo(const QString& nationalNumber) {
    // memo1 is read afresh for every message; no service centre is named.
    m_modem.SendSms(recipientNumber(nationalNumber), std::string(),
                    messageBytes(m_controls.memo1.toPlainText()));
}

void SendingWorkflow::GsmModemConnect() {
    deliver([this] {
        m_receivedTail.clear();
        setStatus(Connected);
        setBackground(m_controls.Label4, QColor(255, 0, 0));
        m_controls.Panel1.setEnabled(true);
    });
}

void SendingWorkflow::GsmModemDisconnect() {
    deliver([this] {
        m_receivedTail.clear();
        setStatus(NoConnection);
        setBackground(m_controls.Label4, QColor(0, 0, 0));
    });
}

void SendingWorkflow::GsmModemReceive(const std::string& buffer) {
    deliver([this, buffer] {
        // The component cuts its deliveries by time, not by line, so the confirmation may begin at
        // the end of one delivery and end in the next: test it with the previous delivery's tail.
        const std::string joined = m_receivedTail + buffer;
        if (joined.find(confirmation) != std::string::npos) {
            setStatus(Ready);
        }
        const std::size_t keep = std::min(joined.size(), confirmation.size() - 1);
        m_receivedTail = joined.substr(joined.size() - keep);
        m_controls.memo2.appendPlainText(fromCp1254(buffer));
    });
}

void SendingWorkflow::GsmModemRing(const std::string& /*callerNumber*/) {
    deliver([this] { m_controls.memo2.appendPlainText(ringLine); });
}

void SendingWorkflow::deliver(std::function<void()> effect) {
    {
        const std::lock_guard lock(m_pendingMutex);
        m_pending.push_back(std::move(effect));
    }
    if (QThread::currentThread() == thread()) {
        applyPending();
    } else {
        QMetaObject::invokeMethod(this, &SendingWorkflow::applyPending, Qt::QueuedConnection);
    }
}

void SendingWorkflow::applyPending() {
    // Effects queued from another thread that are still waiting go first, so a call made here on
    // the user-interface thread never overtakes an event that arrived before it.
    for (;;) {
        std::function<void()> effect;
        {
            const std::lock_guard lock(m_pendingMutex);
            if (m_pending.empty()) {
                return;
            }
            effect = std::move(m_pending.front());
            m_pending.pop_front();
        }
        effect();
    }
}
