#pragma once

// The connection state, the single send and the bulk send of the main window.
//
// The status line (Label4's text) is the only state: the buttons and the timer compare its text,
// the phone's events write it. The bulk send's position is the current row of the phone book view.

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class QWidget;

// The phone book view as the bulk send walks it.
class BulkRecipients {
public:
    virtual ~BulkRecipients() = default;
    virtual bool eof() const = 0;               // the end-of-data flag
    virtual QString currentTelefon() const = 0; // `telefon` of the current row, as stored
    virtual void next() = 0;                    // move to the next row (sets eof at the last row); may throw
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
    QLabel& Label4;
    QPlainTextEdit& memo1;
    QPlainTextEdit& memo2;
    QLabel& Label7;
    QLineEdit& Edit1;
    QWidget& Panel1;
    QTimer& Timer1;
};

// Lives on the user-interface thread. Errors from SendSms and next() are not caught here: they reach
// the caller of the handler. The GSM component must be stopped before this object is destroyed.
class SendingWorkflow : public QObject {
    Q_OBJECT

public:
    SendingWorkflow(SendingControls controls, BulkRecipients& recipients, SmsModem& modem,
                    std::function<void(const QString&)> showMessage);

    static const QString NoConnection; // "Durum: Bağlantı Yok"
    static const QString Connected;    // "Durum: Bağlandı"
    static const QString Ready;        // "Hazır"
    static const QString Going;        // "Gidiyor"

    static constexpr int TickInterval = 2000; // ms between two steps of the bulk send

    // User-interface thread only.
    void memo1Change();
    void Button4Click();
    void Button6Click();
    void Timer1Timer();

    // The component's events. Callable from any thread: the effects are applied on this object's
    // thread in the order the calls arrive, at once when called there, otherwise queued for its
    // event loop (applyPending() there applies them as well).
    void GsmModemConnect();
    void GsmModemDisconnect();
    void GsmModemReceive(const std::string& buffer); // raw bytes, code page 1254
    void GsmModemRing(const std::string& callerNumber);

    // Applies the queued effects now, in order. User-interface thread only.
    void applyPending();

private:
    bool sendRefused();
    void sendMessageTo(const QString& nationalNumber);
    void setStatus(const QString& text);
    void deliver(std::function<void()> effect);

    SendingControls m_controls;
    BulkRecipients& m_recipients;
    SmsModem& m_modem;
    std::function<void(const QString&)> m_showMessage;

    std::mutex m_pendingMutex;
    std::deque<std::function<void()>> m_pending; // guarded by m_pendingMutex
    std::string m_receivedTail; // end of the previous delivery, for a "+CMGS:" cut in two; UI thread
};
