#pragma once

#include "phonebook/PhonebookView.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

class TForm1;

// Joins a control of the contact dialog to one column of the phone book
// view's current row.
class TFieldDataLink {
public:
    TFieldDataLink(PhonebookView& view, Field field) : view_(view), field_(field) {}

    PhonebookView& view() const { return view_; }
    QString value() const { return view_.fieldText(field_); }
    // What the user typed goes into the pending change, which starts
    // editing the row by itself when it was only being browsed.
    void write(const QString& text);
    // Escape: the column goes back to its stored value.
    void reset();
    // True while the control's own change travels to the view: the control
    // then skips the refresh that change causes, keeping its cursor.
    bool writing() const { return writing_; }

private:
    PhonebookView& view_;
    Field field_;
    bool writing_ = false;
};

// A single-line box bound to one column. Escape puts the column's stored
// value back into the box and selects it.
class TDBEdit : public QLineEdit {
    Q_OBJECT
public:
    TDBEdit(QWidget* parent, PhonebookView& view, Field field);
    void refresh();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    TFieldDataLink link_;
};

// The operator drop-down: offers the three operators, takes any typed text.
class TDBComboBox : public QComboBox {
    Q_OBJECT
public:
    TDBComboBox(QWidget* parent, PhonebookView& view, Field field);
    void refresh();

private:
    TFieldDataLink link_;
    bool refreshing_ = false;
};

// The contact dialog "Telefon Bilgisi". Modeless: it always shows the
// current row of the main window's phone book view, and closing it by its
// frame only hides it, leaving a pending change pending.
class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(TForm1& form1);

    void showDialog();   // shows it, or brings it to the front
    void Button1Click(); // "Kaydet"
    void Button2Click(); // "İptal"

private:
    void layOut();
    void refresh();

    PhonebookView& numara_;

    QLabel Label3{this};
    TDBEdit DBEdit3;
    QLabel Label1{this};
    TDBEdit DBEdit1;
    QLabel Label2{this};
    TDBEdit DBEdit2;
    QLabel Label4{this};
    TDBComboBox DBComboBox1;
    QPushButton Button2{this};
    QPushButton Button1{this};
};
