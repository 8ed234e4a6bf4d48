#include "Unit1.h"

#include "CaptionFit.h"
#include "FormLayout.h"
#include "PhonebookLocation.h"
#include "SendOptions.h"
#include "Unit2.h"
#include "UserDialogs.h"
#include "phonebook/SpreadsheetImport.h"
#include "phonebook/spreadsheet/ReadAheadWorksheet.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>

std::vector<Recipient> PhonebookRecipients::fromCurrentRow() const {
    std::vector<Recipient> recipients;
    for (int row = std::max(view_.currentRow(), 0); row < view_.rowCount(); ++row) {
        const Contact& stored = view_.storedRow(row);
        if (stored.id != 0) {
            recipients.push_back({stored.id, stored.adsoyad, stored.telefon});
        }
    }
    return recipients;
}

TForm1::TForm1(const QString& executableDir, std::unique_ptr<TGsmModem> modem, SendingTimings timings)
    : executableDir_(executableDir), GsmModem(modem ? std::move(modem) : std::make_unique<TGsmModem>()),
      sendLogFile_(conn, userDataFolder(), [this](const QString& text) {
          QMetaObject::invokeMethod(
              this, [text] { UserDialogs::current().showMessage(text); }, Qt::QueuedConnection);
      }) {
    smsModem_ = std::make_unique<GsmSmsModem>(*GsmModem);
    sending_ = std::make_unique<SendingWorkflow>(
        SendingControls{Label4, memo1, memo2, Label7, Edit1, Panel1, Timer1, Button6, Label8, Button9,
                        CheckBox1, CheckBox2, Label9},
        SendingServices{recipients_, *smsModem_, sendLog_, campaigns_, deliveries_,
                        [](const QString& text) { UserDialogs::current().showMessage(text); },
                        [](const QString& text) { UserDialogs::current().showError(text); },
                        [](const QString& text, const QStringList& buttons) {
                            return UserDialogs::current().ask(text, buttons);
                        },
                        [] { return PhoneLine::Clock::now(); }, timings});
    layOut();
    wire();
    guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
    // The reading thread reports into the workflow: stop it first.
    GsmModem.reset();
}

void TForm1::layOut() {
    // 767 x 551 outside; the client area is what a standard frame leaves of it.
    setUpWindow(*this, "Form1", QStringLiteral("Zemvora Sms"), {751, 513}, {203, 111});

    place(Label3, "Label3", 8, 8, 133, 13, QStringLiteral("Telefonun Bağlı Olduğu Port"));
    place(Label4, "Label4", 8, 56, 5, 16);
    QFont bold = windowFont(13);
    bold.setBold(true);
    Label4.setFont(bold);
    place(combo, "combo", 8, 24, 145, 21);
    combo.setEditable(false);
    place(Button1, "Button1", 156, 24, 54, 21, QStringLiteral("Bağlan"));
    place(Panel1, "Panel1", 0, 104, 745, 409);
    Panel1.setFrameShape(QFrame::Panel);
    Panel1.setFrameShadow(QFrame::Raised);
    place(Edit5, "Edit5", 312, 115, 102, 21);
    Edit5.raise();

    place(Label1, "Label1", 528, 8, 160, 13, QStringLiteral("Alıcı ( 0535******* Formatında girin)"));
    place(Edit1, "Edit1", 528, 24, 185, 21);
    place(Label2, "Label2", 528, 56, 28, 13, QStringLiteral("Mesaj"));
    place(memo1, "memo1", 528, 72, 185, 89);
    place(Label6, "Label6", 536, 168, 91, 13, QStringLiteral("Kullanılan Karakter:"));
    place(Label7, "Label7", 632, 168, 6, 13, QStringLiteral("0"));
    place(Button4, "Button4", 536, 200, 185, 41, QStringLiteral("Aktif Alıcıya Gönder"));
    place(Button6, "Button6", 536, 248, 185, 41, QStringLiteral("Tüm Rehbere Gönder"));
    place(memo2, "memo2", 544, 296, 185, 89);
    memo2.setReadOnly(true);
    memo2.setVisible(false);
    // A day of sending would otherwise keep every line the phone sent.
    memo2.setMaximumBlockCount(ReplyLogLines);
    place(Edit2, "Edit2", 21, 11, 102, 21);
    place(Edit3, "Edit3", 122, 11, 102, 21);
    place(Edit4, "Edit4", 221, 11, 92, 21);
    place(DBGrid1, "DBGrid1", 8, 32, 505, 337);
    place(Button2, "Button2", 8, 376, 49, 25, QStringLiteral("Ekle"));
    place(Button8, "Button8", 64, 376, 49, 25, QStringLiteral("Düzelt"));
    place(Button3, "Button3", 120, 376, 49, 25, QStringLiteral("Sil"));
    place(Button5, "Button5", 176, 376, 97, 25, QStringLiteral("Excel den Yükle"));
    // The run's progress and its stop, where the hidden reply log lies under the send buttons.
    place(Label8, "Label8", 536, 296, 185, 70);
    Label8.setWordWrap(true);
    Label8.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(Button9, "Button9", 536, 376, 185, 25, QStringLiteral("Durdur"));
    // Right of "Excel den Yükle", in the free part of the panel's lowest line.
    place(Button10, "Button10", 280, 376, 161, 25, QStringLiteral("Son içe aktarmayı geri al"));
    // How messages go out, and the send history, in the free top area right of the port controls.
    place(CheckBox1, "CheckBox1", 400, 8, 220, 17, QStringLiteral("Türkçe karakterlerle gönder"));
    place(CheckBox2, "CheckBox2", 400, 28, 220, 17, QStringLiteral("Teslim raporu iste"));
    place(Button11, "Button11", 400, 60, 97, 25, QStringLiteral("Geçmiş"));
    // Under the count: the room left in the last SMS, when the Turkish letters go as typed.
    place(Label9, "Label9", 632, 184, 111, 13);
    Label9.setVisible(false);

    DBGrid1.setModel(&DataSource1);
    DBGrid1.setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several rows at once for "Sil" (Ctrl and Shift with a click); the current row is the one clicked.
    DBGrid1.setSelectionMode(QAbstractItemView::ExtendedSelection);
    DBGrid1.setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1.setTabKeyNavigation(true);
    DBGrid1.setShowGrid(true);
    DBGrid1.verticalHeader()->setDefaultSectionSize(17);
    DBGrid1.verticalHeader()->setFixedWidth(11);
    DBGrid1.verticalHeader()->setSectionsClickable(false);
    DBGrid1.horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    DBGrid1.horizontalHeader()->setFont(windowFont());
    for (const auto& [column, width] : {std::pair{0, 100}, {1, 100}, {2, 89}, {3, 100}}) {
        DBGrid1.setColumnWidth(column, width);
    }

    Timer1.setInterval(SendingWorkflow::TickInterval);
    Timer1.setObjectName(QStringLiteral("Timer1"));

    // Tab order within each parent: the window's own controls, then Panel1's.
    chainTabOrder({&combo, &Button1, &DBGrid1, &Button2, &Button3, &memo1, &Edit1, &Button4, &Button5,
                   &Button6, &Button8, &Edit2, &Edit3, &Edit4, &memo2, &Edit5, &Button9, &Button10, &Button11,
                   &CheckBox1, &CheckBox2});
    fitCaptions(*this);
}

void TForm1::wire() {
    // A double-click anywhere on the grid copies the number: on a row, a
    // blank area, the title row, the row indicators, an empty view.
    for (QWidget* surface : gridSurfaces()) {
        surface->installEventFilter(this);
    }
    DBGrid1.installEventFilter(this);
    connect(DBGrid1.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { gridRowChosen(current.row()); });
    connect(&numara, &PhonebookView::currentChanged, this, &TForm1::syncGridToView);
    connect(&DataSource1, &QAbstractItemModel::modelReset, this,
            [this] { syncGridToView(numara.currentRow()); });
    connect(qApp, &QApplication::focusChanged, this, &TForm1::focusChanged);
    connect(&importProgress_, &ImportProgress::ended, this, [this] {
        importUndo_.remember(importProgress_.added());
        enablePhonebookCommands(true);
    });
    closeWait_.setInterval(100);
    connect(&closeWait_, &QTimer::timeout, this, &TForm1::closeWhenAnswered);

    for (QLineEdit* filter : {&Edit2, &Edit3, &Edit4, &Edit5}) {
        connect(filter, &QLineEdit::returnPressed, this, [this] { guarded([this] { Edit2KeyPress(); }); });
    }
    connect(&combo, &QComboBox::activated, this,
            [this](int index) { guarded([this, index] { comboChange(index); }); });
    connect(&Button1, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
    connect(&Button2, &QPushButton::clicked, this, [this] { writeCommand(&TForm1::Button2Click); });
    connect(&Button3, &QPushButton::clicked, this, [this] { writeCommand(&TForm1::Button3Click); });
    connect(&Button4, &QPushButton::clicked, this, [this] { guarded([this] { Button4Click(); }); });
    connect(&Button5, &QPushButton::clicked, this, [this] { writeCommand(&TForm1::Button5Click); });
    connect(&Button6, &QPushButton::clicked, this, [this] { guarded([this] { Button6Click(); }); });
    connect(&Button8, &QPushButton::clicked, this, [this] { writeCommand(&TForm1::Button8Click); });
    connect(&Button9, &QPushButton::clicked, this, [this] { guarded([this] { Button9Click(); }); });
    connect(&Button10, &QPushButton::clicked, this, [this] { writeCommand(&TForm1::Button10Click); });
    connect(&Button11, &QPushButton::clicked, this, [this] { guarded([this] { Button11Click(); }); });
    connect(&Timer1, &QTimer::timeout, this, [this] { guarded([this] { Timer1Timer(); }); });
    connect(&memo1, &QPlainTextEdit::textChanged, this, [this] { guarded([this] { memo1Change(); }); });

    GsmModem->OnConnect = [this](TGsmModem& sender, TCommPort port) { GsmModemConnect(sender, port); };
    GsmModem->OnDisconnect = [this](TGsmModem& sender, TCommPort port) { GsmModemDisconnect(sender, port); };
    GsmModem->OnReceive = [this](TGsmModem& sender, const std::string& buffer) {
        GsmModemReceive(sender, buffer);
    };
    GsmModem->OnRing = [this](TGsmModem& sender, const std::string& number) { GsmModemRing(sender, number); };
    GsmModem->OnPduFailed = [this](TGsmModem& sender, const std::string& reason) {
        GsmModemPduFailed(sender, reason);
    };

    // Both choices are the user's, kept from one start to the next.
    SendOptions::restore(CheckBox1, CheckBox2);
    for (QCheckBox* option : {&CheckBox1, &CheckBox2}) {
        connect(option, &QCheckBox::toggled, this, [this] { SendOptions::store(CheckBox1, CheckBox2); });
    }
    // While Connect closes an old connection, the effects the ending reading
    // thread queued for the workflow are applied, in order, and nothing else:
    // no control's handler runs inside Connect, so a second press of "Bağlan"
    // waits until the first one is done.
    GsmModem->ProcessMessages = [this] { sending_->applyEvents(); };
}

void TForm1::FormCreate() {
    // The phone book lies beside the executable, whatever the working
    // directory; an installed program keeps one in the user's data folder.
    const PhonebookLocation book = locatePhonebook(executableDir_);
    if (!lock_.tryLock(book.fileName, userDataFolder())) {
        phonebookInUse_ = true;
        throw std::runtime_error(QStringLiteral("Bu rehber başka bir pencerede açık: %1")
                                     .arg(QDir::toNativeSeparators(book.fileName))
                                     .toStdString());
    }
    conn.open(book.fileName);
    numara.open();
    if (book.created) {
        UserDialogs::current().showMessage(QStringLiteral("Yeni, boş bir rehber oluşturuldu: %1")
                                               .arg(QDir::toNativeSeparators(book.fileName)));
    }

    TPortSet ports;
    GsmModem->GetExistingPorts(ports);

    Label4.setText(SendingWorkflow::NoConnection);
    Label4.adjustSize();

    for (int ordinal = 1; ordinal <= 99; ++ordinal) {
        if (ports.test(static_cast<std::size_t>(ordinal))) {
            const auto port = static_cast<TCommPort>(ordinal);
            combo.addItem(QString::fromStdString(TGsmModem::PortToString(port)));
            combo.setItemData(combo.count() - 1, QString::fromStdString(GsmModem->DevicePath(port)),
                              Qt::ToolTipRole);
        }
    }
    combo.setCurrentIndex(-1);

    // Messages a program that ended mid-run (a crash, a power cut) left without their answer.
    if (sendLogFile_.exists()) {
        sendLog_.markInterrupted();
    }
}

void TForm1::DBGrid1DblClick() {
    Edit1.setText(numara.fieldText(Field::telefon));
}

void TForm1::Edit2KeyPress() {
    SearchFilter filter;
    filter.grup = Edit2.text();
    filter.adsoyad = Edit3.text();
    filter.telefon = Edit4.text();
    filter.gsm = Edit5.text();
    numara.search(filter);
}

void TForm1::comboChange(int index) {
    GsmModem->SetPort(TGsmModem::StringToPort(combo.itemText(index).toStdString()));
}

void TForm1::Button1Click() {
    GsmModem->Connect();
}

void TForm1::Button2Click() {
    numara.append();
    if (Form2 != nullptr) {
        Form2->showDialog();
    }
}

void TForm1::Button8Click() {
    numara.edit();
    if (Form2 != nullptr) {
        Form2->showDialog();
    }
}

std::vector<int> TForm1::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : DBGrid1.selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// One row: the current one, as ever. Several selected: one question with their count.
void TForm1::removeAfter(bool (UserDialogs::*ask)(const QString&), const QString& one,
                         const QString& several) {
    const std::vector<int> rows = selectedRows();
    if (rows.size() < 2) {
        if ((UserDialogs::current().*ask)(one)) {
            numara.remove();
        }
    } else if ((UserDialogs::current().*ask)(several.arg(rows.size()))) {
        numara.remove(rows);
    }
}

void TForm1::Button3Click() {
    removeAfter(&UserDialogs::confirmWarning, QStringLiteral("Kayıt Silinecektir"),
                QStringLiteral("Seçili %1 kayıt silinecektir"));
}

void TForm1::DBGrid1CtrlDelete() {
    if (!importProgress_.running() && !numara.isEmpty()) {
        removeAfter(&UserDialogs::confirmQuestion, QStringLiteral("Kayıt silinsin mi?"),
                    QStringLiteral("Seçili %1 kayıt silinsin mi?"));
    }
}

void TForm1::Button10Click() {
    importUndo_.undo();
}

// Returns once the import has started; it goes on in steps from the event
// loop and ends with its own message box.
void TForm1::Button5Click() {
    const QString fileName = UserDialogs::current().openFileName();
    if (fileName.isEmpty()) {
        return;
    }
    // The file opens and is read on a thread of its own, so "İptal" answers from the first moment.
    importProgress_.start(
        std::make_unique<SpreadsheetImport>(numara, std::make_unique<ReadAheadWorksheet>(fileName)));
    enablePhonebookCommands(false);
}

void TForm1::enablePhonebookCommands(bool enabled) {
    for (QWidget* command : std::initializer_list<QWidget*>{&Button2, &Button8, &Button3, &Button5, &Edit2,
                                                            &Edit3, &Edit4, &Edit5}) {
        command->setEnabled(enabled);
    }
    if (Form2 != nullptr) {
        Form2->setEnabled(enabled);
    }
    importUndo_.allow(enabled);
}

void TForm1::Button4Click() {
    sending_->Button4Click();
}

void TForm1::Button6Click() {
    sending_->Button6Click();
}

void TForm1::Button9Click() {
    sending_->Button9Click();
}

void TForm1::Button11Click() {
    if (!history_) {
        history_ = std::make_unique<HistoryWindow>(
            campaigns_,
            [this](qint64 id, bool withUnknown) {
                guarded([&] { sending_->resumeCampaign(id, withUnknown); });
            },
            [this](qint64 id, bool withUnknown) { guarded([&] { sending_->retryFailed(id, withUnknown); }); },
            this);
    }
    history_->refresh();
    history_->show();
    history_->raise();
    history_->activateWindow();
}

void TForm1::Timer1Timer() {
    sending_->Timer1Timer();
}

void TForm1::memo1Change() {
    sending_->memo1Change();
}

void TForm1::GsmModemConnect(TGsmModem& /*sender*/, TCommPort /*port*/) {
    sending_->GsmModemConnect();
}

void TForm1::GsmModemDisconnect(TGsmModem& /*sender*/, TCommPort /*port*/) {
    sending_->GsmModemDisconnect();
}

void TForm1::GsmModemReceive(TGsmModem& /*sender*/, const std::string& buffer) {
    sending_->GsmModemReceive(buffer);
}

void TForm1::GsmModemRing(TGsmModem& /*sender*/, const std::string& callerNumber) {
    sending_->GsmModemRing(callerNumber);
}

void TForm1::GsmModemPduFailed(TGsmModem& /*sender*/, const std::string& reason) {
    sending_->GsmModemPduFailed(reason);
}

std::vector<QWidget*> TForm1::gridSurfaces() {
    std::vector<QWidget*> surfaces{DBGrid1.viewport(), DBGrid1.horizontalHeader()->viewport(),
                                   DBGrid1.verticalHeader()->viewport()};
    if (auto* corner = DBGrid1.findChild<QAbstractButton*>()) {
        surfaces.push_back(corner);
    }
    return surfaces;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        const std::vector<QWidget*> surfaces = gridSurfaces();
        if (std::find(surfaces.begin(), surfaces.end(), watched) != surfaces.end()) {
            guarded([this] { DBGrid1DblClick(); });
        }
    }
    if (watched == &DBGrid1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
            writeCommand(&TForm1::DBGrid1CtrlDelete);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!closing_ && sending_->run().going()) {
        const SendRun& run = sending_->run();
        if (!UserDialogs::current().confirmQuestion(
                QStringLiteral("Gönderim sürüyor (%1 / %2). Durdurup çıkılsın mı?")
                    .arg(run.sent())
                    .arg(run.total()))) {
            event->ignore();
            return;
        }
        closing_ = true;
        sending_->stop();
        if (sending_->awaitsAnswer()) {
            // The window closes once the phone has answered, or the wait is over.
            closeWaited_.start();
            closeWait_.start();
            event->ignore();
            return;
        }
    }
    if (!sending_->flushLog()) {
        UserDialogs::current().showError(
            QStringLiteral("Gönderim kaydı yazılamadı: %1 mesajın yanıtı kaydedilemedi")
                .arg(sending_->unwrittenAnswers()));
    }
    event->accept();
}

void TForm1::closeWhenAnswered() {
    if (sending_->awaitsAnswer() &&
        closeWaited_.elapsed() < std::chrono::milliseconds(CloseAnswerBound).count()) {
        return;
    }
    closeWait_.stop();
    close();
}

void TForm1::writeCommand(void (TForm1::*handler)()) {
    guarded([this, handler] {
        // A read-only book says so before a question or a dialog is shown;
        // the store refuses the write itself all the same.
        conn.requireWritable();
        (this->*handler)();
    });
}

void TForm1::syncGridToView(int row) {
    if (syncingGrid_) {
        return;
    }
    syncingGrid_ = true;
    const int column = std::max(DBGrid1.currentIndex().column(), 0);
    DBGrid1.setCurrentIndex(row >= 0 ? DataSource1.index(row, column) : QModelIndex());
    syncingGrid_ = false;
}

void TForm1::gridRowChosen(int row) {
    if (syncingGrid_ || DataSource1.changingRows() || row < 0 || row == numara.currentRow()) {
        return;
    }
    guarded([this, row] { numara.moveTo(row); });
    // A move the pending change refused leaves the view where it was.
    syncGridToView(numara.currentRow());
}

void TForm1::focusChanged(QWidget* old, QWidget* now) {
    // Leaving the grid for another control of this window drops a new row
    // nobody has typed into yet.
    if (old == &DBGrid1 && now != nullptr && now->window() == this &&
        numara.state() == PhonebookView::State::Adding && !numara.modified()) {
        numara.cancel();
    }
}
