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
// name in front ("numara: ...") or are the store's own.
//
// The view keeps every row of the table as it read it, with this program's
// own changes since, and shows those that pass the search: a search filters
// them in memory, and reads the table again only when another program has
// changed the file since (PRAGMA data_version says so).
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
    int rowCount() const { return static_cast<int>(shown_.size()); }
    bool isEmpty() const { return shown_.empty(); }
    // The row as shown: the current row carries its pending changes.
    Contact row(int index) const;
    QString text(int index, Field field) const; // one column of row(index)
    // The row as the file has it, without a pending change; a new row not
    // yet written, or one another program deleted, has id 0.
    Contact storedRow(int index) const { return table_.at(position(index)); }
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
    // "Kaydet". An edit of a row another program deleted meanwhile throws
    // "Kayıt artık rehberde yok: <name>" and stays pending: the next write
    // adds it again as a new row.
    void post();
    void cancel(); // "İptal"
    void remove(); // "Sil"
    // "Sil" over several rows of the view, deleted in one transaction; a new
    // row pending is discarded instead, as remove() does. Throws, after
    // deleting the others, when some of them were no longer in the file.
    void remove(std::vector<int> rows);
    // Deletes the rows with these ids (the last import's) from the file and
    // the view; returns how many the file still held.
    int removeAdded(const std::vector<IdRange>& ranges);
    void settle();

    void moveTo(int index);
    void next();

    // Throws "Rehber açık değil" on a closed view.
    void requireOpen() const;

signals:
    void reset();
    void rowsInserted(int first, int last);
    void rowRemoved(int index);
    void rowChanged(int index);
    void currentChanged(int index);
    void stateChanged();

private:
    static constexpr qint64 kRemoved = -1; // the id of a row deleted from table_

    [[noreturn]] static void fail(const char* message);
    int position(int index) const { return shown_.at(static_cast<std::size_t>(index)); }
    void setState(State state);
    void setCurrent(int index);
    // Reads the table again unless the file is as the view read it.
    void readTable(bool always);
    // Shows the rows that pass the filter, and announces it.
    void show(const SearchFilter& filter);
    // Takes a row out of the view, and out of table_ when it is not in the file.
    void drop(int index);

    PhonebookDatabase& conn_;
    SearchFilter filter_;
    PackedContacts table_; // every row of the table, by id at reading, then as this program added them
    bool tableRead_ = false;
    qint64 version_ = 0;     // the file's data_version when table_ was read
    std::vector<int> shown_; // positions in table_ of the rows shown, in order
    Contact pending_;
    State state_ = State::Closed;
    int current_ = -1;
    int currentBeforeAppend_ = -1;
    bool eof_ = true;
    bool modified_ = false;
};
