#include "PhonebookView.h"

#include "PhonebookError.h"

#include <algorithm>

const QString PhonebookView::kName = QStringLiteral("numara");

PhonebookView::PhonebookView(PhonebookDatabase& conn, QObject* parent) : QObject(parent), conn_(conn) {}

void PhonebookView::fail(const char* message) {
    throw PhonebookError(QStringLiteral("%1: %2").arg(kName, QString::fromUtf8(message)));
}

void PhonebookView::requireOpen() const {
    if (state_ == State::Closed) {
        throw PhonebookError(QStringLiteral("Rehber açık değil"));
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

void PhonebookView::readTable(bool always) {
    // The version first: a change committed while the rows are read makes
    // the next search read them again, never the other way round.
    const qint64 version = conn_.dataVersion();
    if (tableRead_ && !always && version == version_) {
        return;
    }
    tableRead_ = false;
    table_.clear();
    conn_.eachRow([this](const Contact& row) { table_.push_back(row); });
    version_ = version;
    tableRead_ = true;
}

void PhonebookView::show(const SearchFilter& filter) {
    filter_ = filter;
    const SearchMatcher matcher(filter);
    const bool everyRow = matcher.filtersNothing();
    shown_.clear();
    for (int position = 0; position < table_.size(); ++position) {
        if (table_.id(position) <= 0) {
            continue;
        }
        if (everyRow ||
            matcher.matchesPacked([this, position](Field field) { return table_.utf8(position, field); })) {
            shown_.push_back(position);
        }
    }
    current_ = shown_.empty() ? -1 : 0;
    eof_ = shown_.empty();
    state_ = State::Browsing;
    emit reset();
    emit stateChanged();
    emit currentChanged(current_);
}

void PhonebookView::open(const SearchFilter& filter) {
    close();
    readTable(false);
    show(filter);
}

void PhonebookView::reload() {
    const SearchFilter filter = filter_;
    close();
    readTable(true);
    show(filter);
}

void PhonebookView::close() {
    if (state_ == State::Closed) {
        return;
    }
    if (state_ == State::Adding) {
        table_.pop_back();
    }
    shown_.clear();
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
    return table_.at(position(index));
}

QString PhonebookView::text(int index, Field field) const {
    if (index == current_ && (state_ == State::Editing || state_ == State::Adding)) {
        return pending_[field];
    }
    return table_.text(position(index), field);
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
    table_.push_back(Contact{});
    shown_.push_back(table_.size() - 1);
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
        table_.push_back(row);
        shown_.push_back(table_.size() - 1);
    }
    emit rowsInserted(first, rowCount() - 1);
}

void PhonebookView::edit() {
    requireOpen();
    if (state_ != State::Browsing) {
        return;
    }
    if (shown_.empty()) {
        append();
        return;
    }
    pending_ = table_.at(position(current_));
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
        pending_[field] = table_.text(position(current_), field);
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
    if (state_ == State::Adding || written.id == 0) {
        written.id = conn_.insert(written);
        // As the file keeps it: a column nobody set may have a default there.
        written = conn_.stored(written.id).value_or(written);
    } else if (!conn_.update(written)) {
        // Another program deleted the row: the change stays, to be added as a new row.
        table_.setId(position(current_), 0);
        pending_.id = 0;
        emit rowChanged(current_);
        throw PhonebookError(
            QStringLiteral("Kayıt artık rehberde yok: %1\nKaydet yeniden ekler, İptal bırakır.")
                .arg(written.adsoyad));
    }
    table_.set(position(current_), written);
    modified_ = false;
    setState(State::Browsing);
    emit rowChanged(current_);
}

void PhonebookView::drop(int index) {
    const int at = position(index);
    if (table_.id(at) == 0 && at == table_.size() - 1 && state_ == State::Adding) {
        table_.pop_back();
    } else {
        table_.setId(at, kRemoved);
    }
    shown_.erase(shown_.begin() + index);
    emit rowRemoved(index);
    eof_ = shown_.empty();
}

void PhonebookView::cancel() {
    if (state_ == State::Editing) {
        modified_ = false;
        if (table_.id(position(current_)) != 0) {
            setState(State::Browsing);
            emit rowChanged(current_);
            return;
        }
        // The row another program deleted is not in the file: it goes.
        const int index = current_;
        state_ = State::Browsing;
        drop(index);
        current_ = shown_.empty() ? -1 : std::min(index, rowCount() - 1);
        emit stateChanged();
        emit currentChanged(current_);
    } else if (state_ == State::Adding) {
        // Everything is in place before anyone hears of it.
        const int index = current_;
        drop(index);
        modified_ = false;
        current_ = currentBeforeAppend_ < rowCount() ? currentBeforeAppend_ : rowCount() - 1;
        state_ = State::Browsing;
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
    if (shown_.empty()) {
        throw PhonebookError(QStringLiteral("Rehber boş"));
    }
    const int index = current_;
    const Contact stored = table_.at(position(index));
    const bool wasThere = stored.id == 0 || conn_.remove(stored.id);
    modified_ = false;
    setState(State::Browsing);
    drop(index);
    setCurrent(shown_.empty() ? -1 : std::min(index, rowCount() - 1));
    if (!wasThere) {
        throw PhonebookError(QStringLiteral("Kayıt artık rehberde yok: %1").arg(stored.adsoyad));
    }
}

void PhonebookView::remove(std::vector<int> rows) {
    requireOpen();
    if (state_ == State::Adding) {
        cancel();
        return;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::erase_if(rows, [this](int index) { return index < 0 || index >= rowCount(); });
    if (rows.empty()) {
        throw PhonebookError(QStringLiteral("Rehber boş"));
    }
    if (rows.size() == 1 && rows.front() == current_) {
        remove();
        return;
    }
    // Changes to a row that stays are kept; those to a row deleted go with it.
    if (!std::binary_search(rows.begin(), rows.end(), current_)) {
        settle();
    }
    std::vector<qint64> ids;
    for (const int index : rows) {
        if (const qint64 id = table_.id(position(index)); id > 0) {
            ids.push_back(id);
        }
    }
    const int removed = conn_.remove(ids);
    modified_ = false;
    state_ = State::Browsing;
    for (auto index = rows.rbegin(); index != rows.rend(); ++index) {
        table_.setId(position(*index), kRemoved);
        shown_.erase(shown_.begin() + *index);
    }
    // The current row, or the first one after those deleted.
    const auto before = std::lower_bound(rows.begin(), rows.end(), current_) - rows.begin();
    current_ = shown_.empty() ? -1 : std::min(current_ - static_cast<int>(before), rowCount() - 1);
    eof_ = shown_.empty();
    emit reset();
    emit stateChanged();
    emit currentChanged(current_);
    if (const int missing = static_cast<int>(ids.size()) - removed; missing > 0) {
        throw PhonebookError(QStringLiteral("%1 kayıt zaten rehberde yoktu; ötekiler silindi").arg(missing));
    }
}

int PhonebookView::removeAdded(const std::vector<IdRange>& ranges) {
    requireOpen();
    settle();
    const int removed = conn_.remove(ranges);
    // The ranges come in the order of their ids.
    const auto added = [&ranges](qint64 id) {
        const auto after =
            std::upper_bound(ranges.begin(), ranges.end(), id,
                             [](qint64 value, const IdRange& range) { return value < range.first; });
        return after != ranges.begin() && id <= std::prev(after)->last;
    };
    for (int at = 0; at < table_.size(); ++at) {
        if (table_.id(at) > 0 && added(table_.id(at))) {
            table_.setId(at, kRemoved);
        }
    }
    // The current row stays current, or the one before it when it went.
    std::vector<int> kept;
    kept.reserve(shown_.size());
    int current = 0;
    for (int index = 0; index < rowCount(); ++index) {
        const int at = position(index);
        if (table_.id(at) == kRemoved) {
            continue;
        }
        if (index <= current_) {
            current = static_cast<int>(kept.size());
        }
        kept.push_back(at);
    }
    shown_ = std::move(kept);
    current_ = shown_.empty() ? -1 : current;
    eof_ = shown_.empty();
    emit reset();
    emit currentChanged(current_);
    return removed;
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
    if (shown_.empty() || current_ >= rowCount() - 1) {
        eof_ = true;
        return;
    }
    eof_ = false;
    setCurrent(current_ + 1);
}
