#include "PhonebookView.h"

#include "PhonebookError.h"

const QString PhonebookView::kName = QStringLiteral("numara");

PhonebookView::PhonebookView(PhonebookDatabase& conn, QObject* parent) : QObject(parent), conn_(conn) {}

void PhonebookView::fail(const char* message) {
    throw PhonebookError(QStringLiteral("%1: %2").arg(kName, QString::fromUtf8(message)));
}

void PhonebookView::requireOpen() const {
    if (state_ == State::Closed) {
        fail("Cannot perform this operation on a closed dataset");
    }
}

void PhonebookView::setState(State state) {
    if (state_ != state) {
        state_ = state;
        emit stateChanged();
    }
}

void PhonebookView::setCurrent(int index) {
    current_ = index;
    emit currentChanged(index);
}

void PhonebookView::open(const SearchFilter& filter) {
    close();
    filter_ = filter;
    std::vector<Contact> rows = conn_.select(filter);
    rows_.clear();
    for (const Contact& row : rows) {
        rows_.push_back(row);
    }
    current_ = rows_.empty() ? -1 : 0;
    eof_ = rows_.empty();
    state_ = State::Browsing;
    emit reset();
    emit stateChanged();
    emit currentChanged(current_);
}

void PhonebookView::reload() {
    const SearchFilter filter = filter_;
    open(filter);
}

void PhonebookView::close() {
    if (state_ == State::Closed) {
        return;
    }
    rows_.clear();
    modified_ = false;
    current_ = -1;
    eof_ = true;
    state_ = State::Closed;
    emit reset();
    emit stateChanged();
    emit currentChanged(current_);
}

void PhonebookView::search(const SearchFilter& filter) {
    settle();
    close();
    open(filter);
}

Contact PhonebookView::row(int index) const {
    if (index == current_ && (state_ == State::Editing || state_ == State::Adding)) {
        return pending_;
    }
    return rows_.at(index);
}

QString PhonebookView::text(int index, Field field) const {
    if (index == current_ && (state_ == State::Editing || state_ == State::Adding)) {
        return pending_[field];
    }
    return rows_.text(index, field);
}

QString PhonebookView::fieldText(Field field) const {
    if (current_ < 0 || current_ >= rowCount()) {
        return {};
    }
    return text(current_, field);
}

void PhonebookView::append() {
    requireOpen();
    settle();
    currentBeforeAppend_ = current_;
    pending_ = Contact{};
    modified_ = false;
    rows_.push_back(Contact{});
    const int index = rowCount() - 1;
    emit rowsInserted(index, index);
    eof_ = false;
    setState(State::Adding);
    setCurrent(index);
}

void PhonebookView::appendWritten(const std::vector<Contact>& rows) {
    requireOpen();
    // A pending new row must stay the last one.
    settle();
    if (rows.empty()) {
        return;
    }
    const int first = rowCount();
    for (const Contact& row : rows) {
        rows_.push_back(row);
    }
    emit rowsInserted(first, rowCount() - 1);
}

void PhonebookView::edit() {
    requireOpen();
    if (state_ != State::Browsing) {
        return;
    }
    if (rows_.empty()) {
        append();
        return;
    }
    pending_ = rows_.at(current_);
    modified_ = false;
    setState(State::Editing);
}

void PhonebookView::setFieldText(Field field, const QString& text) {
    requireOpen();
    if (state_ == State::Browsing) {
        edit();
    }
    pending_[field] = text;
    modified_ = true;
    emit rowChanged(current_);
}

void PhonebookView::revertField(Field field) {
    if (state_ == State::Editing) {
        pending_[field] = rows_.text(current_, field);
    } else if (state_ == State::Adding) {
        pending_[field] = QString();
    } else {
        return;
    }
    emit rowChanged(current_);
}

void PhonebookView::post() {
    if (state_ != State::Editing && state_ != State::Adding) {
        fail("Dataset not in edit or insert mode");
    }
    Contact written = pending_;
    if (state_ == State::Adding) {
        written.id = conn_.insert(written);
    } else {
        conn_.update(written);
    }
    rows_.set(current_, written);
    modified_ = false;
    setState(State::Browsing);
    emit rowChanged(current_);
}

void PhonebookView::cancel() {
    if (state_ == State::Editing) {
        modified_ = false;
        setState(State::Browsing);
        emit rowChanged(current_);
    } else if (state_ == State::Adding) {
        // Everything is in place before anyone hears of it.
        const int index = current_;
        rows_.pop_back();
        modified_ = false;
        current_ = currentBeforeAppend_ < rowCount() ? currentBeforeAppend_ : rowCount() - 1;
        eof_ = rows_.empty();
        state_ = State::Browsing;
        emit rowRemoved(index);
        emit stateChanged();
        emit currentChanged(current_);
    }
}

void PhonebookView::settle() {
    if (state_ != State::Editing && state_ != State::Adding) {
        return;
    }
    if (modified_) {
        post();
    } else {
        cancel();
    }
}

void PhonebookView::remove() {
    requireOpen();
    if (state_ == State::Adding) {
        cancel();
        return;
    }
    if (rows_.empty()) {
        fail("Cannot perform this operation on an empty dataset");
    }
    const int index = current_;
    conn_.remove(rows_.id(index));
    modified_ = false;
    setState(State::Browsing);
    rows_.erase(index);
    emit rowRemoved(index);
    eof_ = rows_.empty();
    setCurrent(rows_.empty() ? -1 : std::min(index, rowCount() - 1));
}

void PhonebookView::moveTo(int index) {
    requireOpen();
    if (index == current_) {
        return;
    }
    settle();
    if (index < 0 || index >= rowCount()) {
        return;
    }
    eof_ = false;
    setCurrent(index);
}

void PhonebookView::next() {
    requireOpen();
    settle();
    if (rows_.empty() || current_ >= rowCount() - 1) {
        eof_ = true;
        return;
    }
    eof_ = false;
    setCurrent(current_ + 1);
}
