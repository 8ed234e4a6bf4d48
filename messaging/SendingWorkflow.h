#pragma once

// The connection state, the single send and the bulk send of the main window.
//
// The state lives in names: the connection (none, being checked, connected), the run (SendRun),
// what the phone owes (PhoneLine), each message with its row in the send log. The status line
// shows it: "Durum: Bağlantı Yok", "Durum: Bağlandı", "Hazır", "Gidiyor".

#include "CampaignStore.h"
#include "DeliveryReports.h"
#include "OutgoingMessage.h"
#include "PhoneLine.h"
#include "SendLog.h"
#include "SendRun.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// The phone book view as a bulk send takes it at the press.
class BulkRecipients {
public:
    virtual ~BulkRecipients() = default;
    // The stored rows of the view from the current row to the last; a new row not yet written is
    // left out, and an edited one is taken as the file has it.
    virtual std::vector<Recipient> fromCurrentRow() const = 0;
    // The current row, 0 for the first; where a run starts.
    virtual int currentRow() const = 0;
};

// The GSM component as the sends use it. Texts in code page 1254; failures are std::runtime_error.
class SmsModem {
public:
    virtual ~SmsModem() = default;
    virtual void SendSms(const std::string& number, const std::string& serviceCentre,
                         const std::string& text) = 0;
    // One part in PDU mode; the component carries its dialogue on and returns at once.
    virtual void SubmitPdu(int tpduOctets, const std::string& hex) = 0;
    // One command line, "AT\r".
    virtual void SendCommand(const std::string& command) = 0;
    // Closes the port.
    virtual void Disconnect() = 0;
    // "COM3"
    virtual std::string PortName() const = 0;
};

// The main window's controls this workflow reads and writes. The window owns them and connects
// memo1's textChanged to memo1Change and Timer1's timeout to Timer1Timer.
struct SendingControls {
    QLabel& Label4; // the status line
    QPlainTextEdit& memo1;
    QPlainTextEdit& memo2;
    QLabel& Label7;
    QLineEdit& Edit1;
    QWidget& Panel1;
    QTimer& Timer1;
    QPushButton& Button6; // "Tüm Rehbere Gönder"
    QLabel& Label8;       // the run's progress
    QPushButton& Button9; // "Durdur"
    QCheckBox& CheckBox1; // "Türkçe karakterlerle gönder": PDU mode
    QCheckBox& CheckBox2; // "Teslim raporu iste"
    QLabel& Label9;       // the room left in the last SMS, in PDU mode
};

// How long the phone is given. Tests shorten them.
struct SendingTimings {
    // Between two messages of a run.
    static constexpr std::chrono::milliseconds Tick{2000};
    // For a message's answer before it counts as unanswered.
    static constexpr std::chrono::seconds AnswerBound{60};
    // For the "OK" to "AT" after a message went unanswered, before the run pauses.
    static constexpr std::chrono::seconds ProbeBound{10};
    // For the "OK" to "AT" after the port opened, before it is closed again.
    static constexpr std::chrono::seconds ConnectBound{2};
    // The component's two waits (for "OK" and for the prompt) before a part in PDU mode goes out.
    static constexpr std::chrono::seconds PartWaits{10};

    std::chrono::milliseconds tick = Tick;
    std::chrono::milliseconds answerBound = AnswerBound;
    std::chrono::milliseconds probeBound = ProbeBound;
    std::chrono::milliseconds connectBound = ConnectBound;
};

// What the workflow uses besides the controls.
struct SendingServices {
    BulkRecipients& recipients;
    SmsModem& modem;
    SendLog& log;
    CampaignStore& campaigns;
    DeliveryReports& deliveries;
    std::function<void(const QString&)> showMessage; // a message box
    std::function<void(const QString&)> showError;   // the program's error box
    // A question box with these buttons: the first is the default (Return), the last answers Escape.
    // Returns the index of the button chosen.
    std::function<int(const QString& text, const QStringList& buttons)> ask;
    std::function<PhoneLine::Clock::time_point()> now = [] { return PhoneLine::Clock::now(); };
    SendingTimings timings = {};
};

// Lives on the user-interface thread. The GSM component must be stopped before this object is
// destroyed.
class SendingWorkflow : public QObject {
    Q_OBJECT

public:
    SendingWorkflow(SendingControls controls, SendingServices services);

    static const QString NoConnection; // "Durum: Bağlantı Yok"
    static const QString Connected;    // "Durum: Bağlandı"
    static const QString Ready;        // "Hazır"
    static const QString Going;        // "Gidiyor"

    static constexpr int TickInterval = static_cast<int>(SendingTimings::Tick.count()); // ms

    // User-interface thread only. Errors (the send log not writable, a single send the component
    // could not write) are thrown to the caller, the window's top-level handler.
    void memo1Change();
    void Button4Click();
    void Button6Click();
    void Button9Click();
    void Timer1Timer();
    // Settles what is overdue, asks an idle phone for an "AT" when something went unanswered, and
    // writes the answers the send log refused; run while anything is owed or unwritten.
    void checkLine();

    const SendRun& run() const { return m_run; }
    // A message is with the phone and its answer is not overdue.
    bool awaitsAnswer() const { return m_line.awaitsSubmission(); }
    // Answers the send log has not taken yet, and one more try to write them; true when none is left.
    std::size_t unwrittenAnswers() const { return m_services.log.unwritten(); }
    bool flushLog() { return m_services.log.retry(); }
    // "Durdur" for a window that is closing.
    void stop() { Button9Click(); }

    // From the history window: the campaign's recipients that have not had its text, or those whose
    // message failed as a new campaign with the same text; "belirsiz" ones too when asked for.
    // User-interface thread only; errors as for the buttons.
    void resumeCampaign(qint64 id, bool withUnknown);
    void retryFailed(qint64 id, bool withUnknown);

    // The component's events. Callable from any thread: the effects are applied on this object's
    // thread in the order the calls arrive, at once when called there, otherwise queued for its
    // event loop (applyEvents() there applies them as well).
    void GsmModemConnect();
    void GsmModemDisconnect();
    void GsmModemReceive(const std::string& buffer); // raw bytes, code page 1254
    void GsmModemRing(const std::string& callerNumber);
    // The component gave up on a PDU part before it reached the phone's text entry.
    void GsmModemPduFailed(const std::string& reason);

    // Applies the queued effects now, in order. User-interface thread only.
    void applyEvents();

private:
    enum class Connection {
        None,     // no port open
        Checking, // the port is open; is a phone there that takes text mode
        Connected,
    };
    enum class Owner { SingleSend, Run };
    // A submission with the phone: whose, which log row, which part (0 in text mode).
    struct Pending {
        Owner owner;
        int runSerial;
        qint64 campaign;
        qint64 row = 0;
        int part = 0;
        int parts = 1;
        bool reports = false;
    };

    bool sendRefused();
    bool textIsEmpty();
    bool resumeOffered();
    // The campaign, when a run of it may start now; otherwise the user is told why not.
    std::optional<CampaignStore::Campaign> campaignToSend(qint64 id);
    void startTicking();
    void resume(const CampaignStore::Campaign& campaign, std::vector<Recipient> recipients, bool withUnknown);
    bool confirmed(const std::vector<Recipient>& recipients, const QString& text, int startRow);
    void startCampaign(std::vector<Recipient> recipients, const QString& text);
    void checkPhone();
    void connectionChecked(const PhoneLine::Answer& answer);
    void dropConnection(const QString& reason);
    void probe();
    bool pduMode() const;
    long long smsPerMessage(const QString& text) const;
    bool textTooLong(const QString& text);
    bool reportsWanted() const;
    // The message of `entry` with `text` as the user sees it; in text mode already folded.
    void sendMessage(SendLog::Entry entry, const QString& text, Pending pending);
    // `bytes` as they go to the phone in text mode; `entry` its log row.
    void submit(const SendLog::Entry& entry, const std::string& bytes, Pending pending);
    void submitPart(Pending pending);
    void messageEnded(const Pending& pending, const OutgoingMessage::Ended& end, bool late);
    void readReports();
    void setReports();
    void showCount();
    bool sendNextOfRun();
    void endRun(SendRun::State end);
    void settle(const std::vector<PhoneLine::Answer>& answers);
    void settle(const PhoneLine::Answer& answer);
    void settleSubmission(const PhoneLine::Answer& answer);
    void phoneAnswered();
    void watchLine();
    void showRun();
    void setStatus(const QString& text);
    void keepWritingLog();
    void later(std::function<void()> notice);
    void deliver(std::function<void()> effect);
    PhoneLine::Clock::time_point deadline(std::chrono::milliseconds bound) const;

    SendingControls m_controls;
    SendingServices m_services;

    Connection m_connection = Connection::None;
    int m_connections = 0;   // counts openings, so a late step never acts on a newer connection
    bool m_dropping = false; // the port is being closed because no phone answered on it
    SendRun m_run;
    PhoneLine m_line;
    std::map<long long, Pending> m_pending; // by the line's token
    long long m_tokens = 0;
    std::optional<OutgoingMessage> m_message; // in PDU mode, the one with the phone
    std::uint8_t m_concatenation = 0;         // the reference of the last long message
    bool m_reportsSet = false;                // "AT+CNMI" went to this connection
    QTimer m_lineTimer;                       // overdue answers
    QTimer m_logTimer;                        // answers the send log refused, written again

    std::mutex m_eventsMutex;
    std::deque<std::function<void()>> m_events; // guarded by m_eventsMutex
};
