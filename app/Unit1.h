#pragma once

#include "HistoryWindow.h"
#include "ImportProgress.h"
#include "PhonebookLock.h"
#include "SendLogFile.h"
#include "ImportUndo.h"
#include "gsm/GsmModem.h"
#include "messaging/SendingWorkflow.h"
#include "phonebook/PhonebookDatabase.h"
#include "phonebook/PhonebookModel.h"
#include "phonebook/PhonebookView.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

class TForm2;
class UserDialogs;

// A bulk send takes its recipients from the phone book view through this.
class PhonebookRecipients : public BulkRecipients {
public:
    explicit PhonebookRecipients(PhonebookView& view) : view_(view) {}
    std::vector<Recipient> fromCurrentRow() const override;
    int currentRow() const override { return std::max(view_.currentRow(), 0); }

private:
    PhonebookView& view_;
};

// The sends reach the GSM component through this.
class GsmSmsModem : public SmsModem {
public:
    explicit GsmSmsModem(TGsmModem& modem) : modem_(modem) {}
    void SendSms(const std::string& number, const std::string& serviceCentre,
                 const std::string& text) override {
        modem_.SendSms(number, serviceCentre, text);
    }
    void SubmitPdu(int tpduOctets, const std::string& hex) override { modem_.SubmitPdu(tpduOctets, hex); }
    void SendCommand(const std::string& command) override { modem_.SendString(command); }
    void Disconnect() override { modem_.Disconnect(); }
    std::string PortName() const override { return TGsmModem::PortToString(modem_.ConnectedPort()); }

private:
    TGsmModem& modem_;
};

// The main window "Zemvora Sms": the phone book grid with its filter boxes,
// the port list and connect button, the message box and the send buttons.
// Its handlers are the only callers of the phone book, the messaging
// workflow and the GSM component.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    // How long a message with the phone is waited for when the window closes during a run.
    static constexpr std::chrono::seconds CloseAnswerBound{5};
    // Lines the hidden reply log keeps.
    static constexpr int ReplyLogLines = 1000;

    // `executableDir` is where "db.mdb" lies; `modem` is the GSM component
    // (tests hand in one on a pseudo-terminal or an in-memory device, and
    // shorter waits for the phone).
    explicit TForm1(const QString& executableDir, std::unique_ptr<TGsmModem> modem = nullptr,
                    SendingTimings timings = {});
    ~TForm1() override;

    // The contact dialog "Ekle" and "Düzelt" show; created after this window.
    void setContactDialog(TForm2* dialog) { Form2 = dialog; }

    PhonebookView& query() { return numara; }
    TGsmModem& modem() { return *GsmModem; }
    // Another program has this phone book open: the window is not to be shown.
    bool phonebookInUse() const { return phonebookInUse_; }

    // Handlers, named after their control and event.
    void FormCreate();
    void DBGrid1DblClick();
    void Edit2KeyPress();
    void comboChange(int index);
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button8Click();
    void Button9Click();
    void Button11Click(); // "Geçmiş"
    void Button10Click();
    void Timer1Timer();
    void memo1Change();
    void DBGrid1CtrlDelete();

    void GsmModemConnect(TGsmModem& sender, TCommPort port);
    void GsmModemDisconnect(TGsmModem& sender, TCommPort port);
    void GsmModemReceive(TGsmModem& sender, const std::string& buffer);
    void GsmModemRing(TGsmModem& sender, const std::string& callerNumber);
    void GsmModemPduFailed(TGsmModem& sender, const std::string& reason);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // During a run: asks first, stops it and gives the message with the phone its answer.
    void closeEvent(QCloseEvent* event) override;

private:
    void layOut();
    void wire();
    std::vector<QWidget*> gridSurfaces();
    // Runs the handler of a command that writes the phone book.
    void writeCommand(void (TForm1::*handler)());
    void syncGridToView(int row);
    void gridRowChosen(int row);
    void focusChanged(QWidget* old, QWidget* now);
    // Off while an import runs: every command that changes the phone book
    // or its view, and the contact dialog.
    void enablePhonebookCommands(bool enabled);
    // The grid's selected rows, in order.
    std::vector<int> selectedRows() const;
    // "Sil" and Ctrl+Delete: asks `one` for the current row, or `several` with the count of the rows
    // selected, and deletes them on OK.
    void removeAfter(bool (UserDialogs::*ask)(const QString&), const QString& one, const QString& several);

    void closeWhenAnswered();

    QString executableDir_;
    TForm2* Form2 = nullptr;
    PhonebookLock lock_;
    bool phonebookInUse_ = false;
    bool closing_ = false;   // the user agreed to stop the run and close
    QTimer closeWait_{this}; // while the message with the phone is answered
    QElapsedTimer closeWaited_;

    // Controls, in the order of the window's layout.
    QLabel Label3{this};
    QLabel Label4{this};
    QComboBox combo{this};
    QPushButton Button1{this};
    QFrame Panel1{this};
    QLineEdit Edit5{this};
    QLabel Label1{&Panel1};
    QLineEdit Edit1{&Panel1};
    QLabel Label2{&Panel1};
    QPlainTextEdit memo1{&Panel1};
    QLabel Label6{&Panel1};
    QLabel Label7{&Panel1};
    QPushButton Button4{&Panel1};
    QPushButton Button6{&Panel1};
    QPlainTextEdit memo2{&Panel1};
    QLineEdit Edit2{&Panel1};
    QLineEdit Edit3{&Panel1};
    QLineEdit Edit4{&Panel1};
    QTableView DBGrid1{&Panel1};
    QPushButton Button2{&Panel1};
    QPushButton Button8{&Panel1};
    QPushButton Button3{&Panel1};
    QPushButton Button5{&Panel1};
    QLabel Label8{&Panel1};
    QPushButton Button9{&Panel1};
    QPushButton Button11{this};
    QCheckBox CheckBox1{this};
    QCheckBox CheckBox2{this};
    QLabel Label9{&Panel1};
    QPushButton Button10{&Panel1};

    // Components without a place on the screen.
    PhonebookDatabase conn;
    PhonebookView numara{conn};
    PhonebookModel DataSource1{numara};
    QTimer Timer1{this};
    std::unique_ptr<TGsmModem> GsmModem;
    PhonebookRecipients recipients_{numara};
    SendLogFile sendLogFile_;
    SendLog sendLog_{[this] { return sendLogFile_.connection(); }};
    CampaignStore campaigns_{sendLog_};
    DeliveryReports deliveries_{sendLog_};
    std::unique_ptr<GsmSmsModem> smsModem_;
    std::unique_ptr<SendingWorkflow> sending_;
    ImportProgress importProgress_{this};
    std::unique_ptr<HistoryWindow> history_; // made when first asked for
    ImportUndo importUndo_{Button10, numara};
    bool syncingGrid_ = false;
};
