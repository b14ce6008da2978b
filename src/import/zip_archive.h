#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

struct zip;

namespace bco {

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
    // The part's bytes; nothing when there is no such part.
    std::optional<QByteArray> read(const QString &name) const;

private:
    zip *archive_ = nullptr;
    qint64 maxPartBytes_;
};

} // namespace bco
