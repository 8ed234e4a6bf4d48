#pragma once

// One run of a campaign: its recipients and its text as they were when it started, sent one at a
// time. Whatever happens to the phone book or to memo1 afterwards does not change it. A campaign
// resumed after "Durdur" or a crash is a new run over the recipients it has left.

#include <QString>
#include <chrono>
#include <deque>
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
    using Clock = std::chrono::steady_clock;

    enum class State {
        Idle,             // no run since start-up
        Sending,          // the next tick sends to the next recipient
        WaitingForAnswer, // a message is with the phone; ticks wait for its answer
        Paused,           // waits for the phone or the user ("Tüm Rehbere Gönder")
        Stopped,          // "Durdur"
        Finished,         // every recipient had its turn
    };
    enum class PauseReason { PhoneSilent, FailuresInARow };
    // How a message ended: the phone confirmed it, refused it (or it never went out), or nobody
    // knows (no answer: the phone may have sent it).
    enum class Outcome { Sent, Failed, Unknown };

    // Failed or unknown messages in a row after which the run pauses itself.
    static constexpr int FailuresBeforePause = 5;
    // Messages over which the pace for the time left is measured.
    static constexpr int PaceWindow = 10;

    // What the campaign had reached before this run: the counts it starts from.
    struct Reached {
        int sent = 0;
        int unknown = 0;
        int total = 0; // of the whole campaign; 0: this run's recipients
        int delivered = 0;
    };

    // A new run of campaign `campaign` over `recipients` with `text`; any earlier one is left behind.
    void start(qint64 campaign, std::vector<Recipient> recipients, QString text, Reached reached);

    State state() const { return m_state; }
    // A message may go out, or is with the phone.
    bool going() const { return m_state == State::Sending || m_state == State::WaitingForAnswer; }
    // Going or paused: not ended.
    bool active() const { return going() || m_state == State::Paused; }
    PauseReason pauseReason() const { return m_pauseReason; }
    // Tells this run's messages from an earlier run's that are still unanswered.
    int serial() const { return m_serial; }
    qint64 campaign() const { return m_campaign; }
    const QString& text() const { return m_text; }
    int sent() const { return m_sent; }
    int total() const { return m_total; }

    // The next recipient, or none when every one has had its turn.
    std::optional<Recipient> take();
    // The message to the recipient taken last is with the phone.
    void submitted();
    // A message of this run ended. A run waiting for it goes on, or pauses after
    // FailuresBeforePause failures in a row.
    void record(Outcome outcome, Clock::time_point now);
    // A late answer: a message counted unknown ended after all.
    void correct(Outcome outcome);
    // The answer to a message of the campaign that an earlier run left with the phone.
    void credit(Outcome outcome);
    // A delivery report says a message of the campaign reached its handset.
    void delivered() { ++m_delivered; }
    void pause(PauseReason reason);
    void resume();
    void stop();
    void finish();

    // "12 / 500 gönderildi · 8 teslim · 1 hata · kalan ~16 dk" while it goes (the delivered ones
    // when reports were asked for), the reason and the counts while it
    // is paused, "Bitti: ..." or "Durduruldu: ..." after. The time left comes from the pace of the
    // last messages, or `perMessage` each before two have ended.
    QString progress(std::chrono::milliseconds perMessage) const;

private:
    QString counts() const;

    std::vector<Recipient> m_recipients;
    QString m_text;
    qint64 m_campaign = 0;
    int m_total = 0;
    State m_state = State::Idle;
    PauseReason m_pauseReason = PauseReason::PhoneSilent;
    int m_serial = 0;
    std::size_t m_next = 0;
    int m_sent = 0;
    int m_failed = 0;
    int m_unknown = 0;
    int m_delivered = 0;
    int m_failuresInARow = 0;
    std::deque<Clock::time_point> m_ended; // when the last messages ended, oldest first
};
