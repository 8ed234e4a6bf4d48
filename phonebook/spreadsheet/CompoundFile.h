#pragma once

// Streams of an OLE2 compound file (the container of .xls workbooks and of encrypted .xlsx packages), read
// from memory with every sector chain checked for loops and bounds.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace spreadsheet {

class CompoundFile {
public:
    static bool hasSignature(const QByteArray& data);

    // Throws ReadError when the container is damaged.
    explicit CompoundFile(const QByteArray& data);

    // A stream at the top level of the file by its name (without regard to case), or nothing.
    std::optional<QByteArray> stream(const QString& name) const;

private:
    struct Entry {
        QString name;
        int type = 0; // 1 storage, 2 stream, 5 root
        quint32 left = 0, right = 0, child = 0;
        quint32 start = 0;
        quint64 size = 0;
    };

    QByteArray sector(quint32 index) const;
    std::vector<quint32> chain(quint32 start, const std::vector<quint32>& table) const;
    QByteArray readChain(quint32 start, quint64 size) const;
    QByteArray readMiniChain(quint32 start, quint64 size) const;
    std::vector<quint32> topLevelEntries() const;

    QByteArray data_; // shares the caller's bytes
    int sectorShift_ = 9;
    quint32 miniCutoff_ = 4096;
    std::vector<quint32> fat_;
    std::vector<quint32> miniFat_;
    std::vector<Entry> entries_;
    QByteArray miniStream_;
};

} // namespace spreadsheet
