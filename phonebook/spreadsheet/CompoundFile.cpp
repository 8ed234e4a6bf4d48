#include "CompoundFile.h"

#include "Readers.h"

#include <QtEndian>
#include <algorithm>

namespace spreadsheet {
namespace {

constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kNoStream = 0xFFFFFFFF;

[[noreturn]] void damaged() {
    throw ReadError(QStringLiteral("bozuk bir bileşik belge dosyası"));
}

quint16 u16(const QByteArray& bytes, qsizetype at) {
    if (at < 0 || at + 2 > bytes.size()) {
        damaged();
    }
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 u32(const QByteArray& bytes, qsizetype at) {
    if (at < 0 || at + 4 > bytes.size()) {
        damaged();
    }
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

} // namespace

bool CompoundFile::hasSignature(const QByteArray& data) {
    return data.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
}

CompoundFile::CompoundFile(const QByteArray& data) : data_(data) {
    if (!hasSignature(data) || data.size() < 512) {
        damaged();
    }
    sectorShift_ = u16(data, 0x1E);
    if (sectorShift_ != 9 && sectorShift_ != 12) {
        damaged();
    }
    miniCutoff_ = u32(data, 0x38);
    const quint64 sectorCount = static_cast<quint64>(data.size()) >> sectorShift_;
    const quint32 perSector = (1U << sectorShift_) / 4;

    // The sector allocation table lives in the sectors the header lists, then in a chain of list sectors.
    std::vector<quint32> fatSectors;
    for (int i = 0; i < 109; ++i) {
        if (const quint32 s = u32(data, 0x4C + 4 * i); s < kEndOfChain - 3) {
            fatSectors.push_back(s);
        }
    }
    quint32 difat = u32(data, 0x44);
    for (quint64 hops = 0; difat < kEndOfChain - 3; ++hops) {
        if (hops > sectorCount) {
            damaged();
        }
        const QByteArray list = sector(difat);
        for (quint32 i = 0; i + 1 < perSector; ++i) {
            if (const quint32 s = u32(list, qsizetype(4) * i); s < kEndOfChain - 3) {
                fatSectors.push_back(s);
            }
        }
        difat = u32(list, qsizetype(4) * (perSector - 1));
    }
    if (fatSectors.size() > sectorCount) {
        damaged();
    }
    // Entries past the file's last sector name nothing; a table that claims more is not read further.
    for (const quint32 s : fatSectors) {
        if (fat_.size() >= sectorCount) {
            break;
        }
        const QByteArray table = sector(s);
        for (quint32 i = 0; i < perSector; ++i) {
            fat_.push_back(u32(table, qsizetype(4) * i));
        }
    }

    const QByteArray directory = readChain(u32(data, 0x30), 0);
    for (qsizetype at = 0; at + 128 <= directory.size(); at += 128) {
        Entry entry;
        const int nameBytes = std::clamp<int>(u16(directory, at + 0x40), 2, 64);
        entry.name = QString::fromUtf16(reinterpret_cast<const char16_t*>(directory.constData() + at),
                                        nameBytes / 2 - 1);
        entry.type = static_cast<unsigned char>(directory[at + 0x42]);
        entry.left = u32(directory, at + 0x44);
        entry.right = u32(directory, at + 0x48);
        entry.child = u32(directory, at + 0x4C);
        entry.start = u32(directory, at + 0x74);
        entry.size = u32(directory, at + 0x78);
        if (sectorShift_ == 12) {
            entry.size |= static_cast<quint64>(u32(directory, at + 0x7C)) << 32;
        }
        entries_.push_back(entry);
    }
    if (entries_.empty() || entries_[0].type != 5) {
        damaged();
    }

    const quint32 miniFatStart = u32(data, 0x3C);
    if (miniFatStart < kEndOfChain - 3) {
        const QByteArray table = readChain(miniFatStart, 0);
        for (qsizetype at = 0; at + 4 <= table.size(); at += 4) {
            miniFat_.push_back(u32(table, at));
        }
        miniStream_ = readChain(entries_[0].start, entries_[0].size);
    }
}

QByteArray CompoundFile::sector(quint32 index) const {
    const qint64 offset = (static_cast<qint64>(index) + 1) << sectorShift_;
    const qint64 size = qint64(1) << sectorShift_;
    if (offset + size > data_.size()) {
        // The last sector of a file may be cut short by writers that do not pad it.
        if (offset >= data_.size()) {
            damaged();
        }
        return data_.mid(offset) + QByteArray(size - (data_.size() - offset), '\0');
    }
    return data_.mid(offset, size);
}

std::vector<quint32> CompoundFile::chain(quint32 start, const std::vector<quint32>& table) const {
    std::vector<quint32> sectors;
    std::vector<bool> seen(table.size(), false);
    for (quint32 s = start; s != kEndOfChain;) {
        if (s >= table.size() || seen[s]) {
            damaged(); // out of the table, or a loop
        }
        seen[s] = true;
        sectors.push_back(s);
        s = table[s];
    }
    return sectors;
}

QByteArray CompoundFile::readChain(quint32 start, quint64 size) const {
    QByteArray out;
    if (start == kEndOfChain || start == kNoStream) {
        return out;
    }
    for (const quint32 s : chain(start, fat_)) {
        out += sector(s);
        if (out.size() > kMaxXlsBytes) {
            damaged();
        }
    }
    if (size > 0) {
        if (size > static_cast<quint64>(out.size())) {
            damaged();
        }
        out.truncate(static_cast<qsizetype>(size));
    }
    return out;
}

QByteArray CompoundFile::readMiniChain(quint32 start, quint64 size) const {
    QByteArray out;
    for (const quint32 s : chain(start, miniFat_)) {
        const qsizetype at = static_cast<qsizetype>(s) * 64;
        if (at + 64 > miniStream_.size()) {
            damaged();
        }
        out += miniStream_.mid(at, 64);
    }
    if (size > static_cast<quint64>(out.size())) {
        damaged();
    }
    out.truncate(static_cast<qsizetype>(size));
    return out;
}

// The root's children form a binary tree through their left and right siblings.
std::vector<quint32> CompoundFile::topLevelEntries() const {
    std::vector<quint32> found;
    std::vector<quint32> pending{entries_[0].child};
    std::vector<bool> seen(entries_.size(), false);
    while (!pending.empty()) {
        const quint32 id = pending.back();
        pending.pop_back();
        if (id >= entries_.size() || seen[id]) {
            continue;
        }
        seen[id] = true;
        found.push_back(id);
        pending.push_back(entries_[id].left);
        pending.push_back(entries_[id].right);
    }
    return found;
}

std::optional<QByteArray> CompoundFile::stream(const QString& name) const {
    for (const quint32 id : topLevelEntries()) {
        const Entry& entry = entries_[id];
        if (entry.type != 2 || entry.name.compare(name, Qt::CaseInsensitive) != 0) {
            continue;
        }
        if (entry.size > static_cast<quint64>(kMaxXlsBytes)) {
            damaged();
        }
        if (entry.size < miniCutoff_) {
            return readMiniChain(entry.start, entry.size);
        }
        return readChain(entry.start, entry.size);
    }
    return std::nullopt;
}

} // namespace spreadsheet
