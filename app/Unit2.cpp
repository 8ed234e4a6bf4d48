#include "Unit2.h"

#include "CaptionFit.h"
#include "FormLayout.h"
#include "Unit1.h"
#include "UserDialogs.h"
#include "messaging/PhoneNumber.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

constexpr int kColumnSize = 255;

} // namespace

void TFieldDataLink::write(const QString& text) {
    writing_ = true;
    guarded([this, &text] { view_.setFieldText(field_, text); });
    writing_ = false;
}

void TFieldDataLink::reset() {
    if (view_.state() == PhonebookView::State::Editing || view_.state() == PhonebookView::State::Adding) {
        view_.revertField(field_);
    }
}

TDBEdit::TDBEdit(QWidget* parent, PhonebookView& view, Field field) : QLineEdit(parent), link_(view, field) {
    setMaxLength(kColumnSize);
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) { link_.write(text); });
}

void TDBEdit::refresh() {
    if (link_.writing()) {
        return;
    }
    if (text() != link_.value()) {
        setText(link_.value());
    }
    setReadOnly(!link_.view().isOpen());
}

void TDBEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    link_.reset();
    setText(link_.value());
    selectAll();
}

TDBComboBox::TDBComboBox(QWidget* parent, PhonebookView& view, Field field)
    : QComboBox(parent), link_(view, field) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    addItems({QStringLiteral("Turkcell"), QStringLiteral("Avea"), QStringLiteral("Vodafone")});
    lineEdit()->setMaxLength(kColumnSize);
    const auto userChanged = [this](const QString& text) {
        if (!refreshing_) {
            link_.write(text);
        }
    };
    connect(lineEdit(), &QLineEdit::textEdited, this, userChanged);
    connect(this, &QComboBox::activated, this,
            [this, userChanged](int index) { userChanged(itemText(index)); });
}

void TDBComboBox::refresh() {
    if (link_.writing()) {
        return;
    }
    refreshing_ = true;
    const QString value = link_.value();
    if (currentText() != value) {
        setCurrentIndex(findText(value));
        setEditText(value);
    }
    setEnabled(link_.view().isOpen());
    refreshing_ = false;
}

TForm2::TForm2(TForm1& form1)
    : QWidget(nullptr, Qt::Window), numara_(form1.query()), DBEdit3(this, numara_, Field::grup),
      DBEdit1(this, numara_, Field::adsoyad), DBEdit2(this, numara_, Field::telefon),
      DBComboBox1(this, numara_, Field::gsm) {
    layOut();
    connect(&Button1, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
    connect(&Button2, &QPushButton::clicked, this, [this] { guarded([this] { Button2Click(); }); });
    connect(&numara_, &PhonebookView::currentChanged, this, &TForm2::refresh);
    connect(&numara_, &PhonebookView::rowChanged, this, &TForm2::refresh);
    connect(&numara_, &PhonebookView::reset, this, &TForm2::refresh);
    connect(&numara_, &PhonebookView::stateChanged, this, &TForm2::refresh);
    refresh();
}

void TForm2::layOut() {
    // 244 x 257 outside, as for the main window.
    setUpWindow(*this, "Form2", QStringLiteral("Telefon Bilgisi"), {228, 219}, {489, 206});
    // Closing the main window ends the program, also while this one is shown.
    setAttribute(Qt::WA_QuitOnClose, false);

    place(Label3, "Label3", 24, 0, 31, 13, QStringLiteral("GRUP"));
    place(DBEdit3, "DBEdit3", 24, 16, 200, 21);
    place(Label1, "Label1", 24, 40, 55, 13, QStringLiteral("AD SOYAD"));
    place(DBEdit1, "DBEdit1", 24, 56, 200, 21);
    place(Label2, "Label2", 24, 80, 202, 13, QStringLiteral("TELEFON     ( 0535******* Formatında girin)"));
    place(DBEdit2, "DBEdit2", 24, 96, 200, 21);
    place(Label4, "Label4", 24, 128, 60, 13, QStringLiteral("OPREATÖR"));
    place(DBComboBox1, "DBComboBox1", 24, 144, 201, 21);
    place(Button2, "Button2", 72, 176, 75, 25, QStringLiteral("İptal"));
    place(Button1, "Button1", 152, 176, 75, 25, QStringLiteral("Kaydet"));
    // Neither button answers Enter or Escape.
    for (QPushButton* button : {&Button1, &Button2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    chainTabOrder({&DBEdit1, &DBEdit2, &Button1, &Button2, &DBEdit3, &DBComboBox1});
    fitCaptions(*this);
}

void TForm2::refresh() {
    DBEdit1.refresh();
    DBEdit2.refresh();
    DBEdit3.refresh();
    DBComboBox1.refresh();
}

void TForm2::showDialog() {
    show();
    raise();
    activateWindow();
}

void TForm2::Button1Click() {
    // A number no message can reach is kept if the user wants it (a landline, a note); Cancel goes
    // back to the dialog to correct it.
    const bool pending =
        numara_.state() == PhonebookView::State::Editing || numara_.state() == PhonebookView::State::Adding;
    if (pending) {
        const DialNumber number = dialNumber(numara_.fieldText(Field::telefon));
        if (!number.valid() &&
            !UserDialogs::current().confirmWarning(
                number.error + QStringLiteral("\nBu numaraya mesaj gönderilemez. Yine de kaydedilsin mi?"))) {
            return;
        }
    }
    numara_.post();
    hide();
}

void TForm2::Button2Click() {
    numara_.cancel();
    hide();
}
