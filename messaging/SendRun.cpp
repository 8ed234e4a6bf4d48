#include "SendRun.h"

#include <algorithm>
#include <utility>

void SendRun::start(qint64 campaign, std::vector<Recipient> recipients, QString text, Reached reached) {
    m_campaign = campaign;
    m_recipients = std::move(recipients);
    m_text = std::move(text);
    m_total = reached.total > 0 ? reached.total : static_cast<int>(m_recipients.size());
    m_state = State::Sending;
    ++m_serial;
    m_next = 0;
    m_sent = reached.sent;
    m_failed = 0;
    m_unknown = reached.unknown;
    m_delivered = reached.delivered;
    m_failuresInARow = 0;
    m_ended.clear();
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

void SendRun::record(Outcome outcome, Clock::time_point now) {
    credit(outcome);
    m_failuresInARow = outcome == Outcome::Sent ? 0 : m_failuresInARow + 1;
    m_ended.push_back(now);
    if (m_ended.size() > PaceWindow + 1) {
        m_ended.pop_front();
    }
    if (m_state == State::WaitingForAnswer) {
        m_state = State::Sending;
    }
    if (going() && m_failuresInARow >= FailuresBeforePause) {
        pause(PauseReason::FailuresInARow);
    }
}

void SendRun::correct(Outcome outcome) {
    if (outcome == Outcome::Unknown || m_unknown == 0) {
        return;
    }
    --m_unknown;
    ++(outcome == Outcome::Sent ? m_sent : m_failed);
}

void SendRun::credit(Outcome outcome) {
    switch (outcome) {
    case Outcome::Sent:
        ++m_sent;
        break;
    case Outcome::Failed:
        ++m_failed;
        break;
    case Outcome::Unknown:
        ++m_unknown;
        break;
    }
}

void SendRun::pause(PauseReason reason) {
    if (going()) {
        m_state = State::Paused;
        m_pauseReason = reason;
    }
}

void SendRun::resume() {
    if (m_state == State::Paused) {
        m_state = State::Sending;
        m_failuresInARow = 0;
    }
}

void SendRun::stop() {
    if (active()) {
        m_state = State::Stopped;
    }
}

void SendRun::finish() {
    m_state = State::Finished;
}

QString SendRun::counts() const {
    QString text = QStringLiteral("%1 / %2 gönderildi").arg(m_sent).arg(total());
    if (m_delivered > 0) {
        text += QStringLiteral(" · %1 teslim").arg(m_delivered);
    }
    text += QStringLiteral(" · %1 hata").arg(m_failed);
    if (m_unknown > 0) {
        text += QStringLiteral(" · %1 belirsiz").arg(m_unknown);
    }
    return text;
}

QString SendRun::progress(std::chrono::milliseconds perMessage) const {
    switch (m_state) {
    case State::Idle:
        return {};
    case State::Stopped:
        return QStringLiteral("Durduruldu: ") + counts();
    case State::Finished:
        return QStringLiteral("Bitti: ") + counts() + QStringLiteral(" — ayrıntı: Geçmiş");
    case State::Paused:
        return (m_pauseReason == PauseReason::PhoneSilent
                    ? QStringLiteral("Telefon yanıt vermiyor: gönderim duraklatıldı")
                    : QStringLiteral("Art arda %1 mesaj gönderilemedi: gönderim duraklatıldı")
                          .arg(FailuresBeforePause)) +
               QLatin1Char('\n') + counts();
    case State::Sending:
    case State::WaitingForAnswer:
        break;
    }
    const auto left = static_cast<long long>(m_recipients.size() - m_next);
    if (left == 0) {
        return counts();
    }
    long long pace = perMessage.count();
    if (m_ended.size() >= 2) {
        const auto span =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_ended.back() - m_ended.front());
        pace = std::max(pace, span.count() / static_cast<long long>(m_ended.size() - 1));
    }
    const long long minutes = std::max(1LL, (left * pace + 59999) / 60000);
    return counts() + QStringLiteral(" · kalan ~%1 dk").arg(minutes);
}
