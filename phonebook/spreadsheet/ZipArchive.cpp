#include "ZipArchive.h"

#include "Sheet.h"
#include "SourceFile.h"

#include <algorithm>
#include <unistd.h>
#include <zip.h>

namespace spreadsheet {
namespace {

// What libzip found wrong, in the user's words.
QString zipFault(int code) {
    switch (code) {
    case ZIP_ER_MEMORY:
        throw std::bad_alloc();
    case ZIP_ER_NOZIP:
        return QStringLiteral("zip dosyası değil");
    case ZIP_ER_INCONS:
        return QStringLiteral("içindekiler listesi tutarsız");
    case ZIP_ER_CRC:
        return QStringLiteral("sağlama toplamı tutmuyor, içeriği değişmiş");
    case ZIP_ER_EOF:
        return QStringLiteral("dosya yarıda kesilmiş");
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
        return QStringLiteral("sıkıştırılmış veri bozuk");
    case ZIP_ER_COMPNOTSUPP:
        return QStringLiteral("desteklenmeyen bir sıkıştırma yöntemi");
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        return passwordProtectedText();
    case ZIP_ER_MULTIDISK:
        return QStringLiteral("birden çok parçaya bölünmüş");
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_TELL:
    case ZIP_ER_OPEN:
        return QStringLiteral("okunamıyor");
    default:
        return QStringLiteral("zip hatası %1").arg(code);
    }
}

[[noreturn]] void damagedZip(zip_error_t* error) {
    const QString reason = zipFault(zip_error_code_zip(error));
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

qint64 inflationBudget(qint64 fileSize) {
    const qint64 size = std::clamp<qint64>(fileSize, 0, kMaxInflatedBytes);
    return std::min(kMaxInflatedBytes, kInflationAllowance + size * kInflationRatio);
}

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
    : file_(std::move(file)), archive_(openArchive(*file_)),
      budget_(maxInflatedBytes >= 0 ? maxInflatedBytes : inflationBudget(file_->size())) {
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
                            .arg(name, zipFault(zip_error_code_zip(zip_get_error(archive_.get())))));
    }
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
        throw ReadError(passwordProtectedText());
    }
    // Other methods (bzip2, xz, zstd) no spreadsheet program writes; some inflate far slower.
    if ((stat.valid & ZIP_STAT_COMP_METHOD) && stat.comp_method != ZIP_CM_STORE &&
        stat.comp_method != ZIP_CM_DEFLATE) {
        throw ReadError(QStringLiteral("%1 bölümü %2").arg(name, zipFault(ZIP_ER_COMPNOTSUPP)));
    }
    zip_file_t* file = zip_fopen_index(archive_.get(), index, 0);
    if (!file) {
        throw ReadError(QStringLiteral("%1 bölümü okunamıyor: %2")
                            .arg(name, zipFault(zip_error_code_zip(zip_get_error(archive_.get())))));
    }
    const bool sized =
        (stat.valid & ZIP_STAT_SIZE) && stat.size <= static_cast<zip_uint64_t>(kMaxInflatedBytes);
    return ZipPart(*this, name, file, sized ? static_cast<qint64>(stat.size) : -1);
}

ZipPart::ZipPart(const ZipArchive& archive, QString name, zip_file* file, qint64 declaredSize)
    : archive_(&archive), name_(std::move(name)), file_(file), declaredSize_(declaredSize) {}

ZipPart::ZipPart(ZipPart&&) noexcept = default;
ZipPart::~ZipPart() = default;

void ZipArchive::charge(qint64 bytes) const {
    inflated_ += bytes;
    if (inflated_ > std::min(budget_, kMaxInflatedBytes)) {
        throw ReadError(QStringLiteral("açıldığında boyutuna göre çok fazla veri çıkıyor (%1 MiB'tan çok)")
                            .arg(std::min(budget_, kMaxInflatedBytes) >> 20));
    }
}

qint64 ZipPart::read(char* into, qint64 size) {
    archive_->file_->throwIfStopped();
    const zip_int64_t got = zip_fread(file_.get(), into, static_cast<zip_uint64_t>(size));
    if (got < 0) {
        throw ReadError(QStringLiteral("%1 bölümü bozuk: %2")
                            .arg(name_, zipFault(zip_error_code_zip(zip_file_get_error(file_.get())))));
    }
    read_ += got;
    archive_->charge(got);
    // A part that declares a small size and inflates to a large one is damaged, or a bomb.
    if (declaredSize_ >= 0 && (read_ > declaredSize_ || (got == 0 && read_ != declaredSize_))) {
        throw ReadError(QStringLiteral("%1 bölümü bozuk: boyutu tutmuyor").arg(name_));
    }
    return got;
}

} // namespace spreadsheet
