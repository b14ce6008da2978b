#include "import/compound_file.h"

#include <algorithm>

#include "import/little_endian.h"
#include "import/workbook_error.h"

namespace bco {

namespace {

constexpr quint32 EndOfChain = 0xFFFFFFFE;
constexpr quint32 MiniSectorSize = 64;
constexpr qsizetype DirectoryEntrySize = 128;
constexpr quint8 StreamEntry = 2;
constexpr quint8 RootEntry = 5;

// Marks sectors as a chain passes them, so that a chain that comes back to a sector is caught.
class ChainGuard {
public:
    explicit ChainGuard(size_t sectors)
        : seen_(sectors, false) {}
    void visit(quint32 sector) {
        if (sector >= seen_.size())
            WorkbookError::throwDamaged("cadeia de setores fora do arquivo");
        if (seen_[sector])
            WorkbookError::throwDamaged("cadeia de setores em ciclo");
        seen_[sector] = true;
    }

private:
    std::vector<bool> seen_;
};

// Gathers `size` bytes from a chain of units (sectors, or mini sectors of the mini stream) of `unitSize`
// bytes, `units` of them: `unit(n)` gives unit n's bytes (fewer at the end of a file cut short), `next(n)`
// the unit after it.
template <class Unit, class Next>
QByteArray gatherChain(quint32 start, quint64 size, quint32 units, quint32 unitSize, Unit unit, Next next) {
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(size));
    ChainGuard guard(units);
    for (quint32 current = start; static_cast<quint64>(bytes.size()) < size; current = next(current)) {
        guard.visit(current);
        const QByteArrayView data = unit(current);
        const qsizetype wanted = static_cast<qsizetype>(std::min<quint64>(unitSize, size - bytes.size()));
        if (data.size() < wanted)
            WorkbookError::throwDamaged("arquivo incompleto");
        bytes.append(data.first(wanted));
    }
    return bytes;
}

} // namespace

CompoundFile::CompoundFile(QByteArrayView file)
    : file_(file) {
    if (file.size() < 512)
        WorkbookError::throwDamaged("cabeçalho incompleto");
    if (le16(file, 0x1C) != 0xFFFE)
        WorkbookError::throwDamaged("cabeçalho inválido");
    version_ = le16(file, 0x1A);
    const quint16 sectorShift = le16(file, 0x1E);
    if (!((version_ == 3 && sectorShift == 9) || (version_ == 4 && sectorShift == 12)))
        WorkbookError::throwDamaged("versão ou tamanho de setor inválido");
    if (le16(file, 0x20) != 6)
        WorkbookError::throwDamaged("tamanho de setor reduzido inválido");
    sectorSize_ = 1u << sectorShift;
    // The header fills the first sector.
    if (file.size() < static_cast<qsizetype>(sectorSize_))
        WorkbookError::throwDamaged("cabeçalho incompleto");
    sectorCount_ = static_cast<quint32>((file.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_);
    miniCutoff_ = le32(file, 0x38);
    firstMiniFat_ = le32(file, 0x3C);

    readAllocationTable(le32(file, 0x2C), le32(file, 0x44), le32(file, 0x48));
    readDirectory(le32(file, 0x30));
    findRootChildren();
}

QByteArrayView CompoundFile::sector(quint32 index) const {
    const qsizetype offset = (static_cast<qsizetype>(index) + 1) * sectorSize_;
    if (index >= sectorCount_ || offset >= file_.size())
        WorkbookError::throwDamaged("arquivo incompleto");
    return file_.sliced(offset, std::min<qsizetype>(sectorSize_, file_.size() - offset));
}

void CompoundFile::readAllocationTable(quint32 fatSectors, quint32 firstDifat, quint32 difatSectors) {
    if (fatSectors == 0 || fatSectors > sectorCount_ || difatSectors > sectorCount_)
        WorkbookError::throwDamaged("tabela de alocação inválida");
    std::vector<quint32> fatSectorNumbers;
    fatSectorNumbers.reserve(fatSectors);
    for (quint32 i = 0; i < 109 && fatSectorNumbers.size() < fatSectors; ++i)
        fatSectorNumbers.push_back(le32(file_, 0x4C + 4 * i));
    // The rest of the list runs through DIFAT sectors, each ending with the number of the next.
    const quint32 perDifatSector = sectorSize_ / 4 - 1;
    ChainGuard guard(sectorCount_);
    quint32 difat = firstDifat;
    while (fatSectorNumbers.size() < fatSectors) {
        guard.visit(difat);
        const QByteArrayView numbers = sector(difat);
        if (numbers.size() < static_cast<qsizetype>(sectorSize_))
            WorkbookError::throwDamaged("arquivo incompleto");
        for (quint32 i = 0; i < perDifatSector && fatSectorNumbers.size() < fatSectors; ++i)
            fatSectorNumbers.push_back(le32(numbers, 4 * i));
        difat = le32(numbers, 4 * perDifatSector);
    }
    fat_.reserve(static_cast<size_t>(fatSectors) * (sectorSize_ / 4));
    for (const quint32 number : fatSectorNumbers) {
        const QByteArrayView entries = sector(number);
        if (entries.size() < static_cast<qsizetype>(sectorSize_))
            WorkbookError::throwDamaged("arquivo incompleto");
        for (qsizetype pos = 0; pos < entries.size(); pos += 4)
            fat_.push_back(le32(entries, pos));
    }
}

QByteArray CompoundFile::readChain(quint32 start, quint64 size) const {
    if (size > static_cast<quint64>(file_.size()))
        WorkbookError::throwDamaged("fluxo maior que o arquivo");
    return gatherChain(
        start, size, static_cast<quint32>(std::min<size_t>(sectorCount_, fat_.size())), sectorSize_,
        [&](quint32 n) { return sector(n); }, [&](quint32 n) { return fat_[n]; });
}

QByteArray CompoundFile::readWholeChain(quint32 start) const {
    QByteArray bytes;
    ChainGuard guard(sectorCount_);
    for (quint32 current = start; current != EndOfChain; current = fat_[current]) {
        if (current >= fat_.size())
            WorkbookError::throwDamaged("cadeia de setores fora do arquivo");
        guard.visit(current);
        const QByteArrayView data = sector(current);
        if (data.size() < static_cast<qsizetype>(sectorSize_))
            WorkbookError::throwDamaged("arquivo incompleto");
        bytes.append(data);
    }
    return bytes;
}

QByteArray CompoundFile::readMiniChain(quint32 start, quint64 size) const {
    const Entry &root = entries_.front();
    const QByteArray miniStream = readChain(root.start, root.size);
    const QByteArray miniFat = readWholeChain(firstMiniFat_);
    if (size > static_cast<quint64>(miniStream.size()))
        WorkbookError::throwDamaged("fluxo maior que o arquivo");
    const qsizetype miniSectors =
        std::min((miniStream.size() + MiniSectorSize - 1) / MiniSectorSize, miniFat.size() / 4);
    return gatherChain(
        start, size, static_cast<quint32>(miniSectors), MiniSectorSize,
        [&](quint32 n) {
            const qsizetype offset = static_cast<qsizetype>(n) * MiniSectorSize;
            return QByteArrayView(miniStream)
                .sliced(offset, std::min<qsizetype>(MiniSectorSize, miniStream.size() - offset));
        },
        [&](quint32 n) { return le32(miniFat, static_cast<qsizetype>(n) * 4); });
}

void CompoundFile::readDirectory(quint32 firstSector) {
    const QByteArray directory = readWholeChain(firstSector);
    const qsizetype count = directory.size() / DirectoryEntrySize;
    entries_.reserve(static_cast<size_t>(count));
    for (qsizetype i = 0; i < count; ++i) {
        const QByteArrayView entry =
            QByteArrayView(directory).sliced(i * DirectoryEntrySize, DirectoryEntrySize);
        // The name's length counts its bytes with the final null.
        const qsizetype nameBytes = std::min<qsizetype>(le16(entry, 0x40), 64);
        QString name;
        for (qsizetype c = 0; c < nameBytes / 2 - 1; ++c)
            name.append(QChar(le16(entry, 2 * c)));
        const quint64 size = le64(entry, 0x78);
        entries_.push_back({name, le8(entry, 0x42), le32(entry, 0x44), le32(entry, 0x48), le32(entry, 0x4C),
                            le32(entry, 0x74), version_ == 3 ? (size & 0xFFFFFFFFu) : size});
    }
    if (entries_.empty() || entries_.front().type != RootEntry)
        WorkbookError::throwDamaged("diretório sem raiz");
}

void CompoundFile::findRootChildren() {
    // The children of a storage form a tree through their left and right siblings.
    std::vector<bool> seen(entries_.size(), false);
    std::vector<quint32> pending{entries_.front().child};
    while (!pending.empty()) {
        const quint32 id = pending.back();
        pending.pop_back();
        if (id >= entries_.size() || seen[id])
            continue;
        seen[id] = true;
        rootChildren_.push_back(id);
        pending.push_back(entries_[id].left);
        pending.push_back(entries_[id].right);
    }
}

const CompoundFile::Entry *CompoundFile::rootEntry(QStringView name) const {
    for (const size_t id : rootChildren_)
        if (entries_[id].name.compare(name, Qt::CaseInsensitive) == 0)
            return &entries_[id];
    return nullptr;
}

bool CompoundFile::hasRootEntry(QStringView name) const {
    return rootEntry(name) != nullptr;
}

std::optional<QByteArray> CompoundFile::rootStream(QStringView name) const {
    const Entry *entry = rootEntry(name);
    if (!entry || entry->type != StreamEntry)
        return std::nullopt;
    if (entry->size < miniCutoff_)
        return readMiniChain(entry->start, entry->size);
    return readChain(entry->start, entry->size);
}

} // namespace bco
