#include "Unit2.h"

#include "FormLayout.h"
#include "Unit1.h"
#include "UserDialogs.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

constexpr int kColumnSize = 255;

} // namespace

TDBEdit::TDBEdit(QWidget* parent, PhonebookView& view, Field field)
    : QLineEdit(parent), view_(view), field_(field) {
    setMaxLength(kColumnSize);
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        writing_ = true;
        guarded([this, &text] { view_.setFieldText(field_, text); });
        writing_ = false;
    });
}

void TDBEdit::refresh() {
    if (writing_) {
        return;
    }
    if (text() != view_.fieldText(field_)) {
        setText(view_.fieldText(field_));
    }
    setReadOnly(!view_.isOpen());
}

void TDBEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        guarded([this] {
            if (view_.state() == PhonebookView::State::Editing ||
                view_.state() == PhonebookView::State::Adding) {
                view_.revertField(field_);
            }
        });
        setText(view_.fieldText(field_));
        selectAll();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

TDBComboBox::TDBComboBox(QWidget* parent, PhonebookView& view, Field field)
    : QComboBox(parent), view_(view), field_(field) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    addItems({QStringLiteral("Turkcell"), QStringLiteral("Avea"), QStringLiteral("Vodafone")});
    lineEdit()->setMaxLength(kColumnSize);
    connect(lineEdit(), &QLineEdit::textEdited, this, &TDBComboBox::userChanged);
    connect(this, &QComboBox::activated, this, [this](int index) { userChanged(itemText(index)); });
}

void TDBComboBox::userChanged(const QString& text) {
    if (!refreshing_) {
        writing_ = true;
        guarded([this, &text] { view_.setFieldText(field_, text); });
        writing_ = false;
    }
}

void TDBComboBox::refresh() {
    if (writing_) {
        return;
    }
    refreshing_ = true;
    const QString value = view_.fieldText(field_);
    if (currentText() != value) {
        setCurrentIndex(findText(value));
        setEditText(value);
    }
    setEnabled(view_.isOpen());
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
    setObjectName(QStringLiteral("Form2"));
    // Closing the main window ends the program, also while this one is shown.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Telefon Bilgisi"));
    setFont(windowFont());
    resize(228, 219);
    move(489, 206);

    place(Label3, "Label3", 24, 0, 31, 13);
    Label3.setText(QStringLiteral("GRUP"));
    place(DBEdit3, "DBEdit3", 24, 16, 200, 21);
    place(Label1, "Label1", 24, 40, 55, 13);
    Label1.setText(QStringLiteral("AD SOYAD"));
    place(DBEdit1, "DBEdit1", 24, 56, 200, 21);
    place(Label2, "Label2", 24, 80, 202, 13);
    Label2.setText(QStringLiteral("TELEFON     ( 0535******* Formatında girin)"));
    place(DBEdit2, "DBEdit2", 24, 96, 200, 21);
    place(Label4, "Label4", 24, 128, 60, 13);
    Label4.setText(QStringLiteral("OPREATÖR"));
    place(DBComboBox1, "DBComboBox1", 24, 144, 201, 21);
    place(Button2, "Button2", 72, 176, 75, 25);
    Button2.setText(QStringLiteral("İptal"));
    place(Button1, "Button1", 152, 176, 75, 25);
    Button1.setText(QStringLiteral("Kaydet"));
    for (QLabel* label : {&Label3, &Label1, &Label2, &Label4}) {
        label->adjustSize();
    }
    // Neither button answers Enter or Escape.
    for (QPushButton* button : {&Button1, &Button2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    QWidget* previous = &DBEdit1;
    for (QWidget* next :
         std::initializer_list<QWidget*>{&DBEdit2, &Button1, &Button2, &DBEdit3, &DBComboBox1}) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    }
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
    numara_.post();
    hide();
}

void TForm2::Button2Click() {
    numara_.cancel();
    hide();
}
