#include "PackedContacts.h"

#include <algorithm>

Contact PackedContacts::at(int index) const {
    const Entry& packed = entry(index);
    Contact contact;
    contact.id = packed.id;
    const char* text = packed.texts;
    for (const Field field : kFields) {
        const quint32 bytes = packed.bytes.at(static_cast<std::size_t>(field));
        if (bytes != kNoValue) {
            contact[field] = QString::fromUtf8(text, bytes);
            text += bytes;
        }
    }
    return contact;
}

QString PackedContacts::text(int index, Field field) const {
    const std::optional<std::string_view> bytes = utf8(index, field);
    return bytes ? QString::fromUtf8(bytes->data(), static_cast<qsizetype>(bytes->size())) : QString();
}

std::optional<std::string_view> PackedContacts::utf8(int index, Field field) const {
    const Entry& packed = entry(index);
    const char* text = packed.texts;
    for (const Field before : kFields) {
        const quint32 bytes = packed.bytes.at(static_cast<std::size_t>(before));
        if (before == field) {
            if (bytes == kNoValue) {
                return std::nullopt;
            }
            return std::string_view(text, bytes);
        }
        if (bytes != kNoValue) {
            text += bytes;
        }
    }
    return std::nullopt;
}

void PackedContacts::clear() {
    entries_.clear();
    blocks_.clear();
    free_ = 0;
}

// A pointer to at least `bytes` free bytes at the end of the last block.
char* PackedContacts::room(std::size_t bytes) {
    if (bytes > free_) {
        const std::size_t size = std::max(bytes, kBlockSize);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        free_ = size;
        lastBlockSize_ = size;
    }
    return blocks_.back().get() + (lastBlockSize_ - free_);
}

PackedContacts::Entry PackedContacts::pack(const Contact& contact) {
    std::size_t most = 0;
    for (const Field field : kFields) {
        most += static_cast<std::size_t>(utf8_.requiredSpace(contact[field].size()));
    }
    char* const start = room(most);
    Entry packed{contact.id, start, {}};
    char* end = start;
    for (const Field field : kFields) {
        const QString& text = contact[field];
        quint32& bytes = packed.bytes.at(static_cast<std::size_t>(field));
        if (text.isNull()) {
            bytes = kNoValue;
            continue;
        }
        char* const next = utf8_.appendToBuffer(end, text);
        bytes = static_cast<quint32>(next - end);
        end = next;
    }
    free_ -= static_cast<std::size_t>(end - start);
    return packed;
}
