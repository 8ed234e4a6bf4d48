#pragma once

// The connection state, the single send and the bulk send of the main window.
//
// The state lives in names: the connection (none, connected), the run (SendRun), the messages
// the phone has not answered (Submissions), each with its row in the send log. The status line
// shows it: "Durum: Bağlantı Yok", "Durum: Bağlandı", "Hazır", "Gidiyor".

#include "SendLog.h"
#include "SendRun.h"
#include "Submissions.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

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
};

// The GSM component's SendSms. All three texts in code page 1254; failures are std::runtime_error.
class SmsModem {
public:
    virtual ~SmsModem() = default;
    virtual void SendSms(const std::string& number, const std::string& serviceCentre,
                         const std::string& text) = 0;
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
};

// What the workflow uses besides the controls.
struct SendingServices {
    BulkRecipients& recipients;
    SmsModem& modem;
    SendLog& log;
    std::function<void(const QString&)> showMessage; // a message box
    std::function<void(const QString&)> showError;   // the program's error box
    std::function<Submissions::Clock::time_point()> now = [] { return Submissions::Clock::now(); };
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

    static constexpr int TickInterval = 2000; // ms between two messages of a run

    // User-interface thread only. Errors (the send log not writable, a single send the component
    // could not write) are thrown to the caller, the window's top-level handler.
    void memo1Change();
    void Button4Click();
    void Button6Click();
    void Button9Click();
    void Timer1Timer();
    // Settles the messages whose answer is overdue; run every second while any is outstanding.
    void expireUnanswered();

    const SendRun& run() const { return m_run; }

    // The component's events. Callable from any thread: the effects are applied on this object's
    // thread in the order the calls arrive, at once when called there, otherwise queued for its
    // event loop (applyEvents() there applies them as well).
    void GsmModemConnect();
    void GsmModemDisconnect();
    void GsmModemReceive(const std::string& buffer); // raw bytes, code page 1254
    void GsmModemRing(const std::string& callerNumber);

    // Applies the queued effects now, in order. User-interface thread only.
    void applyEvents();

private:
    enum class Connection { None, Connected };
    enum class Owner { SingleSend, Run };
    struct Pending {
        Owner owner;
        int runSerial;
    };

    bool sendRefused();
    void submit(const QString& number, const QString& adsoyad, const std::string& text, Pending pending);
    bool sendNextOfRun();
    void endRun(SendRun::State end);
    void settle(const std::vector<Submissions::Answer>& answers);
    void settle(const Submissions::Answer& answer);
    void showRun();
    void setStatus(const QString& text);
    void later(std::function<void()> notice);
    void deliver(std::function<void()> effect);

    SendingControls m_controls;
    SendingServices m_services;

    Connection m_connection = Connection::None;
    SendRun m_run;
    Submissions m_submissions;
    std::map<long long, Pending> m_pending; // by the send log's row id
    QTimer m_answerTimer;

    std::mutex m_eventsMutex;
    std::deque<std::function<void()>> m_events; // guarded by m_eventsMutex
};
