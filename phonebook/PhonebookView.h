#pragma once

#include "Contact.h"
#include "PackedContacts.h"
#include "PhonebookDatabase.h"

#include <QObject>
#include <vector>

// The query `numara`: a static snapshot of the rows a statement returned,
// with one current row and at most one pending change (a new row or edits
// to the current one) that is written or discarded as a whole.
//
// Every move of the current row settles the pending change first: written
// when a column was changed, discarded otherwise. Errors carry the query's
// name in front ("numara: ...") or are the engine's own text.
class PhonebookView : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Browsing, Editing, Adding };

    static const QString kName; // "numara"

    explicit PhonebookView(PhonebookDatabase& conn, QObject* parent = nullptr);

    // Opens the view on the rows the filter selects; the first row becomes
    // current. On failure the view stays closed and the error is thrown.
    void open(const SearchFilter& filter = {});
    void close(); // discards a pending change
    // The filter boxes' search. A pending change is settled before the view
    // is reopened, so nothing typed into the contact dialog is lost.
    void search(const SearchFilter& filter);

    PhonebookDatabase& database() { return conn_; }
    // Opens the view again on the last filter: the rows as the file now has them.
    void reload();

    State state() const { return state_; }
    bool isOpen() const { return state_ != State::Closed; }
    int rowCount() const { return static_cast<int>(rows_.size()); }
    bool isEmpty() const { return rows_.empty(); }
    // The row as shown: the current row carries its pending changes.
    Contact row(int index) const;
    QString text(int index, Field field) const; // one column of row(index)
    // The row as the file has it, without a pending change; a new row not yet written has id 0.
    Contact storedRow(int index) const { return rows_.at(index); }
    int currentRow() const { return current_; }
    // Set for an empty or closed view and once next() found no further row.
    bool eof() const { return eof_; }
    bool modified() const { return modified_; }
    QString fieldText(Field field) const; // of the current row; empty text for an empty view

    void append(); // "Ekle": a new empty row at the end, current
    // Rows already written to the table (the import's) join the end of the
    // view, announced once; the current row stays where it is.
    void appendWritten(const std::vector<Contact>& rows);
    void edit(); // "Düzelt"; on an empty view starts a new row instead
    // Typing into a bound box: starts editing by itself when browsing.
    void setFieldText(Field field, const QString& text);
    // Escape in a bound box: the column goes back to its stored value; the
    // rest of the pending change stays.
    void revertField(Field field);
    void post();   // "Kaydet"
    void cancel(); // "İptal"
    void remove(); // "Sil"
    void settle();

    void moveTo(int index);
    void next();

    // Throws "numara: Cannot perform this operation on a closed dataset".
    void requireOpen() const;

signals:
    void reset();
    void rowsInserted(int first, int last);
    void rowRemoved(int index);
    void rowChanged(int index);
    void currentChanged(int index);
    void stateChanged();

private:
    [[noreturn]] static void fail(const char* message);
    void setState(State state);
    void setCurrent(int index);

    PhonebookDatabase& conn_;
    SearchFilter filter_;
    PackedContacts rows_;
    Contact pending_;
    State state_ = State::Closed;
    int current_ = -1;
    int currentBeforeAppend_ = -1;
    bool eof_ = true;
    bool modified_ = false;
};
