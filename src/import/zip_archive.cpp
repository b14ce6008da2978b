#include "import/zip_archive.h"

#include <cstdint>
#include <optional>

#include <zip.h>

#include "import/workbook_error.h"

namespace bco {

namespace {

[[noreturn]] void failFor(int libzipError) {
    switch (libzipError) {
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_ENCRNOTSUPP:
        throw WorkbookError::encrypted();
    case ZIP_ER_MEMORY:
        throw WorkbookError::tooLarge();
    default:
        // Only bytes that begin as a zip archive come here: one that does not open is cut short or broken.
        throw WorkbookError::damaged(QStringLiteral("arquivo compactado incompleto ou inválido"));
    }
}

struct ZipFileCloser {
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};

} // namespace

ZipArchive::ZipArchive(QByteArrayView bytes, qint64 maxPartBytes)
    : maxPartBytes_(maxPartBytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source =
        zip_source_buffer_create(bytes.data(), static_cast<zip_uint64_t>(bytes.size()), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        throw WorkbookError::tooLarge();
    }
    archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive_) {
        zip_source_free(source);
        const int code = zip_error_code_zip(&error);
        zip_error_fini(&error);
        failFor(code);
    }
    zip_error_fini(&error);
}

ZipArchive::~ZipArchive() {
    zip_discard(archive_);
}

bool ZipArchive::contains(const QString &name) const {
    return zip_name_locate(archive_, name.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
}

std::optional<qint64> ZipArchive::declaredSize(const QString &name) const {
    const zip_int64_t index = zip_name_locate(archive_, name.toUtf8().constData(), ZIP_FL_NOCASE);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (index < 0 || zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) != 0 ||
        !(stat.valid & ZIP_STAT_SIZE) || stat.size > static_cast<zip_uint64_t>(INT64_MAX))
        return std::nullopt;
    return static_cast<qint64>(stat.size);
}

zip_file *ZipArchive::openPart(const QString &name, zip_stat_t &stat) const {
    const zip_int64_t index = zip_name_locate(archive_, name.toUtf8().constData(), ZIP_FL_NOCASE);
    if (index < 0)
        return nullptr;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) != 0)
        failFor(zip_error_code_zip(zip_get_error(archive_)));
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > static_cast<zip_uint64_t>(maxPartBytes_))
        throw WorkbookError::tooLarge();
    zip_file_t *file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
    if (!file)
        failFor(zip_error_code_zip(zip_get_error(archive_)));
    return file;
}

std::unique_ptr<ZipPartStream> ZipArchive::open(const QString &name) const {
    zip_stat_t stat;
    zip_file_t *file = openPart(name, stat);
    if (!file)
        return nullptr;
    return std::make_unique<ZipPartStream>(file, maxPartBytes_);
}

std::optional<QByteArray> ZipArchive::read(const QString &name) const {
    zip_stat_t stat;
    const std::unique_ptr<zip_file_t, ZipFileCloser> file(openPart(name, stat));
    if (!file)
        return std::nullopt;
    // The declared size is only a claim: read in pieces and stop at the bound whatever it said.
    QByteArray bytes;
    if (stat.valid & ZIP_STAT_SIZE)
        bytes.reserve(static_cast<qsizetype>(stat.size));
    char buffer[64 * 1024];
    for (;;) {
        const zip_int64_t count = zip_fread(file.get(), buffer, sizeof buffer);
        if (count < 0)
            failFor(zip_error_code_zip(zip_file_get_error(file.get())));
        if (count == 0)
            break;
        if (bytes.size() + count > maxPartBytes_)
            throw WorkbookError::tooLarge();
        bytes.append(buffer, static_cast<qsizetype>(count));
    }
    return bytes;
}

ZipPartStream::ZipPartStream(zip_file *file, qint64 maxPartBytes)
    : file_(file)
    , maxPartBytes_(maxPartBytes) {
    // Unbuffered: the reader of the XML keeps its own buffer.
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

ZipPartStream::~ZipPartStream() {
    zip_fclose(file_);
}

qint64 ZipPartStream::readData(char *data, qint64 maxSize) {
    if (ended_ || maxSize <= 0)
        return ended_ ? -1 : 0;
    const zip_int64_t count = zip_fread(file_, data, static_cast<zip_uint64_t>(maxSize));
    try {
        if (count < 0)
            failFor(zip_error_code_zip(zip_file_get_error(file_)));
        if (inflated_ + count > maxPartBytes_)
            throw WorkbookError::tooLarge();
    } catch (const WorkbookError &error) {
        error_ = error;
        ended_ = true;
        return -1;
    }
    inflated_ += count;
    if (count == 0) {
        ended_ = true;
        return -1;
    }
    return count;
}

qint64 ZipPartStream::writeData(const char *, qint64) {
    return -1;
}

void ZipPartStream::finish() {
    char buffer[64 * 1024];
    while (!ended_)
        readData(buffer, sizeof buffer);
    if (error_)
        throw *error_;
}

} // namespace bco
