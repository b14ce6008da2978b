#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include "import/workbook_error.h"

struct zip;
struct zip_file;
struct zip_stat;

namespace bco {

class ZipPartStream;

// The parts of a zipped workbook (.xlsx, .ods), read from bytes in memory through libzip. Names compare
// with letter case ignored, as the package formats want. A part whose uncompressed size passes
// `maxPartBytes`, whether declared or found while inflating (a zip bomb), throws WorkbookError::tooLarge;
// a part that does not inflate or fails its checksum throws damaged; an encrypted part throws encrypted;
// bytes that do not open as one throw damaged. The bytes must outlive the archive.
class ZipArchive {
public:
    ZipArchive(QByteArrayView bytes, qint64 maxPartBytes);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    bool contains(const QString &name) const;
    // The part's uncompressed size as the archive declares it, which nothing checks before it is read;
    // nothing when there is no such part or it declares none.
    std::optional<qint64> declaredSize(const QString &name) const;
    // The part's bytes; nothing when there is no such part.
    std::optional<QByteArray> read(const QString &name) const;
    // The part inflated as it is read, so that a large part is never held whole; null when there is no such
    // part. Throws, as read() does, for a declared size past the bound and for a part that cannot be opened.
    // The stream must not outlive the archive.
    std::unique_ptr<ZipPartStream> open(const QString &name) const;

private:
    // The named part opened for reading, its stat in `stat`; null when there is no such part. Throws for a
    // declared size past the bound and for a part that cannot be opened.
    zip_file *openPart(const QString &name, struct zip_stat &stat) const;

    zip *archive_ = nullptr;
    qint64 maxPartBytes_;
};

// One part of a ZipArchive as a sequential device. What read() would throw for the part's bytes (its bound
// passed, bytes that do not inflate, a bad checksum) ends the stream early instead, since no exception may
// cross the Qt code that reads from it; finish() then throws it.
class ZipPartStream final : public QIODevice {
public:
    ZipPartStream(zip_file *file, qint64 maxPartBytes);
    ~ZipPartStream() override;
    ZipPartStream(const ZipPartStream &) = delete;
    ZipPartStream &operator=(const ZipPartStream &) = delete;

    bool isSequential() const override { return true; }
    // Reads what is left of the part, to its end, and throws the first error found in the whole part. A
    // reader of the part calls it when done, and when it fails too: the archive's error comes first, as it
    // does for a part read whole before it is looked into.
    void finish();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    zip_file *file_;
    qint64 maxPartBytes_;
    qint64 inflated_ = 0;
    bool ended_ = false;
    std::optional<WorkbookError> error_;
};

} // namespace bco
