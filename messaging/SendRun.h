#pragma once

// One press of "Tüm Rehbere Gönder": the recipients and the text as they were at the press, sent
// one at a time. Whatever happens to the phone book or to memo1 afterwards does not change it.

#include <QString>
#include <chrono>
#include <optional>
#include <vector>

// A stored contact as the run found it.
struct Recipient {
    qint64 id = 0;
    QString adsoyad;
    QString telefon; // as stored
};

class SendRun {
public:
    enum class State {
        Idle,             // no run since start-up
        Sending,          // the next tick sends to the next recipient
        WaitingForAnswer, // a message is with the phone; ticks wait for its answer
        Stopped,          // "Durdur"
        Finished,         // every recipient had its turn
    };

    // A new run over `recipients` with `text`; any earlier one is left behind.
    void start(std::vector<Recipient> recipients, QString text);

    State state() const { return m_state; }
    bool going() const { return m_state == State::Sending || m_state == State::WaitingForAnswer; }
    // Tells this run's messages from an earlier run's that are still unanswered.
    int serial() const { return m_serial; }
    const QString& text() const { return m_text; }

    // The next recipient, or none when every one has had its turn.
    std::optional<Recipient> take();
    // The message to the recipient taken last is with the phone.
    void submitted();
    // A message of this run ended: confirmed, or failed (refused, unanswered, not written, or a
    // number that is none). A run waiting for it goes on.
    void record(bool sent);
    void stop();
    void finish();

    // "12 / 500 gönderildi · 1 hata · kalan ~16 dk" while it goes, "Bitti: ..." or
    // "Durduruldu: ..." after; each message left takes one tick.
    QString progress(std::chrono::milliseconds perMessage) const;

private:
    std::vector<Recipient> m_recipients;
    QString m_text;
    State m_state = State::Idle;
    int m_serial = 0;
    std::size_t m_next = 0;
    int m_sent = 0;
    int m_failed = 0;
};
