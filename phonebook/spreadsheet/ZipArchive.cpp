#include "ZipArchive.h"

#include "Readers.h"

#include <zip.h>

namespace spreadsheet {
namespace {

struct FileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

QString libzipError(zip_error_t* error) {
    return QString::fromLocal8Bit(zip_error_strerror(error));
}

} // namespace

void ZipArchive::Closer::operator()(zip* archive) const {
    zip_discard(archive);
}

QString ZipArchive::key(const QString& name) {
    QString k = name.toLower();
    k.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (k.startsWith(QLatin1Char('/'))) {
        k.remove(0, 1);
    }
    return k;
}

ZipArchive::ZipArchive(QByteArray data) : data_(std::move(data)) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_buffer_create(data_.constData(), static_cast<zip_uint64_t>(data_.size()), 0, &error);
    if (!source) {
        const QString reason = libzipError(&error);
        zip_error_fini(&error);
        throw ReadError(QStringLiteral("is a damaged zip file: %1").arg(reason));
    }
    archive_.reset(zip_open_from_source(source, ZIP_RDONLY, &error));
    if (!archive_) {
        zip_source_free(source);
        const QString reason = libzipError(&error);
        zip_error_fini(&error);
        throw ReadError(QStringLiteral("is a damaged zip file: %1").arg(reason));
    }
    zip_error_fini(&error);
    // Workbooks hold tens of parts; a directory of millions only costs memory to index.
    const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
    if (count > 65536) {
        throw ReadError(QStringLiteral("is a zip file of %1 parts, too many for a workbook").arg(count));
    }
    for (zip_int64_t i = 0; i < count; ++i) {
        if (const char* name = zip_get_name(archive_.get(), static_cast<zip_uint64_t>(i), 0)) {
            index_.insert(key(QString::fromUtf8(name)), i);
        }
    }
}

ZipArchive::~ZipArchive() = default;

bool ZipArchive::contains(const QString& name) const {
    return index_.contains(key(name));
}

std::optional<QByteArray> ZipArchive::readIfPresent(const QString& name) const {
    if (!contains(name)) {
        return std::nullopt;
    }
    return read(name);
}

QByteArray ZipArchive::read(const QString& name) const {
    const auto found = index_.constFind(key(name));
    if (found == index_.constEnd()) {
        throw ReadError(QStringLiteral("part %1 is missing").arg(name));
    }
    const auto index = static_cast<zip_uint64_t>(found.value());

    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_.get(), index, 0, &stat) != 0) {
        throw ReadError(QStringLiteral("part %1 cannot be read: %2")
                            .arg(name, QString::fromLocal8Bit(zip_strerror(archive_.get()))));
    }
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
        throw ReadError(passwordProtectedText());
    }
    // A zip bomb declares a small size or a huge one; both the declared and the actual size are bounded.
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > static_cast<zip_uint64_t>(kMaxPartBytes)) {
        throw ReadError(QStringLiteral("part %1 unpacks to more than %2 MiB")
                            .arg(name)
                            .arg(kMaxPartBytes / (1024LL * 1024)));
    }

    const std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(archive_.get(), index, 0));
    if (!file) {
        throw ReadError(QStringLiteral("part %1 cannot be read: %2")
                            .arg(name, QString::fromLocal8Bit(zip_strerror(archive_.get()))));
    }
    QByteArray content;
    content.reserve(static_cast<qsizetype>(stat.valid & ZIP_STAT_SIZE ? stat.size : 0));
    char buffer[65536];
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            throw ReadError(QStringLiteral("part %1 is damaged: %2")
                                .arg(name, QString::fromLocal8Bit(zip_file_strerror(file.get()))));
        }
        if (got == 0) {
            break;
        }
        if (content.size() + got > kMaxPartBytes) {
            throw ReadError(QStringLiteral("part %1 unpacks to more than %2 MiB")
                                .arg(name)
                                .arg(kMaxPartBytes / (1024LL * 1024)));
        }
        content.append(buffer, static_cast<qsizetype>(got));
    }
    if ((stat.valid & ZIP_STAT_SIZE) && static_cast<zip_uint64_t>(content.size()) != stat.size) {
        throw ReadError(QStringLiteral("part %1 is damaged: its size does not match").arg(name));
    }
    return content;
}

} // namespace spreadsheet
