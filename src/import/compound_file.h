#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace bco {

// The streams at the root of a compound file (the container of Excel 97-2003 workbooks): header, sector
// allocation table and its extension (DIFAT), mini stream and its table, directory. Sectors of 512 bytes
// (version 3) and 4096 bytes (version 4).
//
// The bytes are untrusted: every sector number is checked against the file, chains that loop or leave the
// file and directories that point outside themselves are refused, and nothing is sized by a declared length
// beyond what the file holds. Any such fault throws WorkbookError::damaged. The bytes must outlive the
// object.
class CompoundFile {
public:
    explicit CompoundFile(QByteArrayView file);

    // Names compare with letter case ignored, as the format wants; only entries directly under the root
    // count, so that a workbook embedded in another is not taken for it.
    bool hasRootEntry(QStringView name) const;
    std::optional<QByteArray> rootStream(QStringView name) const;

private:
    struct Entry {
        QString name;
        quint8 type;
        quint32 left, right, child, start;
        quint64 size;
    };

    QByteArrayView sector(quint32 index) const;
    QByteArray readChain(quint32 start, quint64 size) const;
    QByteArray readMiniChain(quint32 start, quint64 size) const;
    QByteArray readWholeChain(quint32 start) const;
    void readAllocationTable(quint32 fatSectors, quint32 firstDifat, quint32 difatSectors);
    void readDirectory(quint32 firstSector);
    void findRootChildren();
    const Entry *rootEntry(QStringView name) const;

    QByteArrayView file_;
    int version_ = 3;
    quint32 sectorSize_ = 512;
    quint32 sectorCount_ = 0;
    quint32 miniCutoff_ = 4096;
    quint32 firstMiniFat_ = 0;
    std::vector<quint32> fat_;
    std::vector<Entry> entries_;
    std::vector<size_t> rootChildren_;
};

} // namespace bco
