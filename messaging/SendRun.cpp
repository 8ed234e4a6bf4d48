#include "SendRun.h"

#include <algorithm>
#include <utility>

void SendRun::start(std::vector<Recipient> recipients, QString text) {
    m_recipients = std::move(recipients);
    m_text = std::move(text);
    m_state = State::Sending;
    ++m_serial;
    m_next = 0;
    m_sent = 0;
    m_failed = 0;
}

std::optional<Recipient> SendRun::take() {
    if (m_next >= m_recipients.size()) {
        return std::nullopt;
    }
    return m_recipients[m_next++];
}

void SendRun::submitted() {
    if (m_state == State::Sending) {
        m_state = State::WaitingForAnswer;
    }
}

void SendRun::record(bool sent) {
    ++(sent ? m_sent : m_failed);
    if (m_state == State::WaitingForAnswer) {
        m_state = State::Sending;
    }
}

void SendRun::stop() {
    if (going()) {
        m_state = State::Stopped;
    }
}

void SendRun::finish() {
    m_state = State::Finished;
}

QString SendRun::progress(std::chrono::milliseconds perMessage) const {
    const int total = static_cast<int>(m_recipients.size());
    QString counts = QStringLiteral("%1 / %2 gönderildi · %3 hata").arg(m_sent).arg(total).arg(m_failed);
    switch (m_state) {
    case State::Idle:
        return {};
    case State::Stopped:
        return QStringLiteral("Durduruldu: ") + counts;
    case State::Finished:
        return QStringLiteral("Bitti: ") + counts;
    case State::Sending:
    case State::WaitingForAnswer:
        break;
    }
    const auto left = static_cast<long long>(m_recipients.size() - m_next);
    if (left == 0) {
        return counts;
    }
    const long long minutes = std::max(1LL, (left * perMessage.count() + 59999) / 60000);
    return counts + QStringLiteral(" · kalan ~%1 dk").arg(minutes);
}
