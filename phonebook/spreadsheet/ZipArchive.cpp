#include "ZipArchive.h"

#include "Sheet.h"
#include "SourceFile.h"

#include <unistd.h>
#include <zip.h>

namespace spreadsheet {
namespace {

QString libzipError(zip_error_t* error) {
    return QString::fromLocal8Bit(zip_error_strerror(error));
}

[[noreturn]] void damagedZip(zip_error_t* error) {
    const QString reason = libzipError(error);
    zip_error_fini(error);
    throw ReadError(QStringLiteral("bozuk bir zip dosyası: %1").arg(reason));
}

zip_t* openArchive(const SourceFile& file) {
    zip_error_t error;
    zip_error_init(&error);
    const int descriptor = file.duplicateDescriptor();
    if (descriptor >= 0) {
        int code = 0;
        // libzip takes the descriptor over when it opens the archive, and leaves it to us when it does not.
        zip_t* archive = zip_fdopen(descriptor, ZIP_RDONLY, &code);
        if (!archive) {
            ::close(descriptor);
            zip_error_set(&error, code, errno);
            damagedZip(&error);
        }
        zip_error_fini(&error);
        return archive;
    }
    const QByteArray& bytes = file.bytes();
    zip_source_t* source =
        zip_source_buffer_create(bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0, &error);
    if (!source) {
        damagedZip(&error);
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive) {
        zip_source_free(source);
        damagedZip(&error);
    }
    zip_error_fini(&error);
    return archive;
}

} // namespace

void ZipArchive::Closer::operator()(zip* archive) const {
    zip_discard(archive);
}

void ZipPart::Closer::operator()(zip_file* file) const {
    zip_fclose(file);
}

QString ZipArchive::key(const QString& name) {
    QString k = name.toLower();
    k.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (k.startsWith(QLatin1Char('/'))) {
        k.remove(0, 1);
    }
    return k;
}

ZipArchive::ZipArchive(std::shared_ptr<const SourceFile> file, qint64 maxInflatedBytes)
    : file_(std::move(file)), archive_(openArchive(*file_)), maxInflated_(maxInflatedBytes) {
    // Workbooks hold tens of parts; a directory of millions only costs memory to index.
    const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
    if (count > 65536) {
        throw ReadError(
            QStringLiteral("%1 bölümlü bir zip dosyası; bir çalışma kitabı için çok fazla").arg(count));
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

ZipPart ZipArchive::open(const QString& name) const {
    const auto found = index_.constFind(key(name));
    if (found == index_.constEnd()) {
        throw ReadError(QStringLiteral("%1 bölümü eksik").arg(name));
    }
    const auto index = static_cast<zip_uint64_t>(found.value());
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_.get(), index, 0, &stat) != 0) {
        throw ReadError(QStringLiteral("%1 bölümü okunamıyor: %2")
                            .arg(name, QString::fromLocal8Bit(zip_strerror(archive_.get()))));
    }
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
        throw ReadError(passwordProtectedText());
    }
    zip_file_t* file = zip_fopen_index(archive_.get(), index, 0);
    if (!file) {
        throw ReadError(QStringLiteral("%1 bölümü okunamıyor: %2")
                            .arg(name, QString::fromLocal8Bit(zip_strerror(archive_.get()))));
    }
    const bool sized =
        (stat.valid & ZIP_STAT_SIZE) && stat.size <= static_cast<zip_uint64_t>(kMaxInflatedBytes);
    return ZipPart(*this, name, file, sized ? static_cast<qint64>(stat.size) : -1);
}

ZipPart::ZipPart(const ZipArchive& archive, QString name, zip_file* file, qint64 declaredSize)
    : archive_(&archive), name_(std::move(name)), file_(file), declaredSize_(declaredSize) {}

ZipPart::ZipPart(ZipPart&&) noexcept = default;
ZipPart::~ZipPart() = default;

qint64 ZipPart::read(char* into, qint64 size) {
    const zip_int64_t got = zip_fread(file_.get(), into, static_cast<zip_uint64_t>(size));
    if (got < 0) {
        throw ReadError(QStringLiteral("%1 bölümü bozuk: %2")
                            .arg(name_, QString::fromLocal8Bit(zip_file_strerror(file_.get()))));
    }
    read_ += got;
    archive_->inflated_ += got;
    if (archive_->inflated_ > archive_->maxInflated_) {
        throw ReadError(QStringLiteral("açıldığında %1 MiB'ı aşıyor").arg(archive_->maxInflated_ >> 20));
    }
    // A part that declares a small size and inflates to a large one is damaged, or a bomb.
    if (declaredSize_ >= 0 && (read_ > declaredSize_ || (got == 0 && read_ != declaredSize_))) {
        throw ReadError(QStringLiteral("%1 bölümü bozuk: boyutu tutmuyor").arg(name_));
    }
    return got;
}

} // namespace spreadsheet
