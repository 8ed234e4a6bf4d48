#pragma once

// A libFuzzer mutator for zip containers (.xlsx, .ods): byte mutations of a compressed part die at its
// checksum, so the mutator unpacks the input, mutates one part's content and packs the parts again, stored
// and with correct checksums. Inputs that are no zip get plain byte mutations.

#include <QByteArray>
#include <QtEndian>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>
#include <zip.h>
#include <zlib.h>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace zipmutator {

using Parts = std::vector<std::pair<QByteArray, QByteArray>>;

inline bool unpack(const std::uint8_t* data, std::size_t size, Parts& parts) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        if (source) {
            zip_source_free(source);
        }
        return false;
    }
    bool ok = true;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; ok && i < count && i < 256; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_file_t* file = zip_fopen_index(archive, index, 0);
        if (!file) {
            ok = false;
            break;
        }
        QByteArray content;
        char buffer[65536];
        for (zip_int64_t got;
             (got = zip_fread(file, buffer, sizeof buffer)) > 0 && content.size() < (1 << 22);) {
            content.append(buffer, static_cast<qsizetype>(got));
        }
        zip_fclose(file);
        parts.emplace_back(QByteArray(zip_get_name(archive, index, 0)), content);
    }
    zip_discard(archive);
    return ok && !parts.empty();
}

inline void put16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}
inline void put32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// Stored entries: local headers, then the central directory.
inline QByteArray pack(const Parts& parts) {
    QByteArray out;
    QByteArray directory;
    for (const auto& [name, content] : parts) {
        const auto crc = static_cast<quint32>(
            crc32(0, reinterpret_cast<const Bytef*>(content.constData()), static_cast<uInt>(content.size())));
        const auto offset = static_cast<quint32>(out.size());
        const auto size = static_cast<quint32>(content.size());
        put32(out, 0x04034b50);
        put16(out, 20);
        put16(out, 0);
        put16(out, 0);
        put32(out, 0);
        put32(out, crc);
        put32(out, size);
        put32(out, size);
        put16(out, static_cast<quint16>(name.size()));
        put16(out, 0);
        out += name + content;
        put32(directory, 0x02014b50);
        put16(directory, 20);
        put16(directory, 20);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, crc);
        put32(directory, size);
        put32(directory, size);
        put16(directory, static_cast<quint16>(name.size()));
        put32(directory, 0); // extra and comment lengths
        put32(directory, 0); // disk, internal attributes
        put32(directory, 0); // external attributes
        put32(directory, offset);
        directory += name;
    }
    const auto directoryOffset = static_cast<quint32>(out.size());
    out += directory;
    put32(out, 0x06054b50);
    put32(out, 0);
    put16(out, static_cast<quint16>(parts.size()));
    put16(out, static_cast<quint16>(parts.size()));
    put32(out, static_cast<quint32>(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0);
    return out;
}

inline std::size_t mutate(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned int seed) {
    Parts parts;
    if (!unpack(data, size, parts)) {
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    auto& content = parts[seed % parts.size()].second;
    const qsizetype room = content.size() + 4096;
    QByteArray buffer = content;
    buffer.resize(room);
    const std::size_t mutated =
        LLVMFuzzerMutate(reinterpret_cast<std::uint8_t*>(buffer.data()),
                         static_cast<std::size_t>(content.size()), static_cast<std::size_t>(room));
    content = buffer.left(static_cast<qsizetype>(mutated));
    const QByteArray packed = pack(parts);
    if (static_cast<std::size_t>(packed.size()) > maxSize) {
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    std::memcpy(data, packed.constData(), static_cast<std::size_t>(packed.size()));
    return static_cast<std::size_t>(packed.size());
}

} // namespace zipmutator
