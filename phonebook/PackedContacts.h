#pragma once

#include "Contact.h"

#include <QStringEncoder>
#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

// The rows of the phone book view, packed: each row's four texts lie one
// after the other in UTF-8 in large blocks, beside a small entry with its
// id. A million contacts take some 70 MB so, against some 300 MB as Contact
// objects, and the rows never move once stored: no copy of them all when
// the view grows.
class PackedContacts {
public:
    int size() const { return static_cast<int>(entries_.size()); }
    bool empty() const { return entries_.empty(); }
    Contact at(int index) const;
    QString text(int index, Field field) const;
    // The column's UTF-8 bytes; nothing for a column without a value.
    std::optional<std::string_view> utf8(int index, Field field) const;
    qint64 id(int index) const { return entry(index).id; }
    void setId(int index, qint64 id) { entries_[static_cast<std::size_t>(index)].id = id; }

    void push_back(const Contact& contact) { entries_.push_back(pack(contact)); }
    void pop_back() { entries_.pop_back(); }
    void erase(int index) { entries_.erase(entries_.begin() + index); }
    // The former texts stay unused in their block until clear().
    void set(int index, const Contact& contact) { entries_[static_cast<std::size_t>(index)] = pack(contact); }
    void clear();

private:
    static constexpr quint32 kNoValue = 0xFFFFFFFF; // a column without a value
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

    struct Entry {
        qint64 id;
        const char* texts; // the four texts in the order of kFields
        std::array<quint32, 4> bytes;
    };

    const Entry& entry(int index) const { return entries_.at(static_cast<std::size_t>(index)); }
    Entry pack(const Contact& contact);
    char* room(std::size_t bytes);

    std::deque<Entry> entries_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t lastBlockSize_ = 0;
    std::size_t free_ = 0; // bytes left at the end of the last block
    QStringEncoder utf8_{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
};
