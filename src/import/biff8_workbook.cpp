#include "import/biff8_workbook.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "import/little_endian.h"
#include "import/number_formats.h"
#include "import/workbook_error.h"

namespace bco {

namespace {

namespace RecordType {
constexpr quint16 Bof = 0x0809;
constexpr quint16 Eof = 0x000A;
constexpr quint16 Continue = 0x003C;
constexpr quint16 FilePass = 0x002F;
constexpr quint16 DateMode = 0x0022;
constexpr quint16 BoundSheet = 0x0085;
constexpr quint16 SharedStrings = 0x00FC;
constexpr quint16 Format = 0x041E;
constexpr quint16 ExtendedFormat = 0x00E0;
constexpr quint16 Number = 0x0203;
constexpr quint16 Rk = 0x027E;
constexpr quint16 MulRk = 0x00BD;
constexpr quint16 LabelSst = 0x00FD;
constexpr quint16 Label = 0x0204;
constexpr quint16 RichString = 0x00D6;
constexpr quint16 Formula = 0x0006;
constexpr quint16 FormulaString = 0x0207;
constexpr quint16 BoolErr = 0x0205;
constexpr quint16 Dimensions = 0x0200;
constexpr quint16 MergedCells = 0x00E5;
} // namespace RecordType

constexpr quint16 Biff8Version = 0x0600;
constexpr quint16 WorkbookGlobals = 0x0005;
constexpr quint16 WorksheetSubstream = 0x0010;

struct Record {
    quint16 type;
    QByteArrayView body;
};

// The records of a workbook stream from a position on.
class RecordStream {
public:
    RecordStream(QByteArrayView stream, qsizetype pos)
        : stream_(stream)
        , pos_(pos) {}

    // The next record; false when the stream ends (what follows an end is its caller's to judge).
    bool next(Record &record) {
        if (stream_.size() - pos_ < 4)
            return false;
        const quint16 type = le16(stream_, pos_);
        const quint16 length = le16(stream_, pos_ + 2);
        if (stream_.size() - pos_ - 4 < length)
            WorkbookError::throwDamaged("registro truncado");
        record = {type, stream_.sliced(pos_ + 4, length)};
        pos_ += 4 + length;
        return true;
    }

    bool nextIs(quint16 type) const { return stream_.size() - pos_ >= 4 && le16(stream_, pos_) == type; }

private:
    QByteArrayView stream_;
    qsizetype pos_;
};

// A record and the CONTINUE records after it, read as one: numbers and raw bytes run on across the seams,
// while characters that run on start with a byte of their own saying whether they take one byte or two.
class ContinuedRecord {
public:
    ContinuedRecord(RecordStream &records, QByteArrayView first)
        : segments_{first} {
        Record record;
        while (records.nextIs(RecordType::Continue) && records.next(record))
            segments_.push_back(record.body);
    }

    bool atEnd() {
        skipExhausted();
        return segment_ == segments_.size();
    }

    quint8 u8() {
        skipExhausted();
        if (segment_ == segments_.size())
            WorkbookError::throwDamaged("texto truncado");
        return le8(segments_[segment_], pos_++);
    }
    quint16 u16() { return static_cast<quint16>(u8() | (u8() << 8)); }
    quint32 u32() { return static_cast<quint32>(u16()) | (static_cast<quint32>(u16()) << 16); }

    void skip(quint64 count) {
        while (count > 0) {
            skipExhausted();
            if (segment_ == segments_.size())
                WorkbookError::throwDamaged("texto truncado");
            const quint64 taken = std::min<quint64>(count, segments_[segment_].size() - pos_);
            pos_ += static_cast<qsizetype>(taken);
            count -= taken;
        }
    }

    // `count` characters, of one byte (Latin-1) or two (UTF-16) as `wide` says until a seam says again.
    QString chars(quint32 count, bool wide) {
        QString text;
        text.reserve(static_cast<qsizetype>(std::min<quint32>(count, 65535)));
        while (count > 0) {
            if (segment_ >= segments_.size())
                WorkbookError::throwDamaged("texto truncado");
            if (pos_ == segments_[segment_].size()) {
                if (++segment_ >= segments_.size())
                    WorkbookError::throwDamaged("texto truncado");
                pos_ = 0;
                wide = (u8() & 1) != 0;
            }
            const QByteArrayView segment = segments_[segment_];
            const qsizetype width = wide ? 2 : 1;
            const quint32 taken =
                static_cast<quint32>(std::min<qsizetype>(count, (segment.size() - pos_) / width));
            if (taken == 0)
                WorkbookError::throwDamaged("texto truncado");
            if (wide) {
                for (quint32 i = 0; i < taken; ++i)
                    text.append(QChar(le16(segment, pos_ + 2 * i)));
            } else {
                text.append(QLatin1StringView(segment.data() + pos_, taken));
            }
            pos_ += taken * width;
            count -= taken;
        }
        // A spreadsheet shows nothing for the character NUL, and no database of the server keeps it alike:
        // the text is taken as it is shown.
        text.remove(QChar(0));
        return text;
    }

    // A string of a cell or a format: 16-bit length, flags, characters.
    QString unicodeString() {
        const quint16 length = u16();
        return chars(length, (u8() & 1) != 0);
    }

private:
    void skipExhausted() {
        while (segment_ < segments_.size() && pos_ == segments_[segment_].size()) {
            ++segment_;
            pos_ = 0;
        }
    }

    std::vector<QByteArrayView> segments_;
    size_t segment_ = 0;
    qsizetype pos_ = 0;
};

std::vector<QString> readSharedStrings(ContinuedRecord &record) {
    record.u32(); // references to strings in the workbook
    const quint32 unique = record.u32();
    std::vector<QString> strings;
    strings.reserve(std::min<quint32>(unique, 1u << 16));
    for (quint32 i = 0; i < unique && !record.atEnd(); ++i) {
        const quint16 length = record.u16();
        const quint8 flags = record.u8();
        const quint16 runs = (flags & 0x08) ? record.u16() : 0;
        const quint32 phonetic = (flags & 0x04) ? record.u32() : 0;
        strings.push_back(record.chars(length, (flags & 0x01) != 0));
        record.skip(4ull * runs);
        record.skip(phonetic);
    }
    return strings;
}

QString errorText(quint8 code) {
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    default:
        return QStringLiteral("#ERROR!");
    }
}

double rkNumber(quint32 rk) {
    double number;
    if (rk & 0x02) {
        number = static_cast<double>(static_cast<qint32>(rk) >> 2);
    } else {
        const quint64 bits = static_cast<quint64>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&number, &bits, sizeof number);
    }
    return (rk & 0x01) ? number / 100.0 : number;
}

void requireSize(const Record &record, qsizetype size) {
    if (record.body.size() < size)
        WorkbookError::throwDamaged("registro de célula curto demais");
}

struct SheetEntry {
    quint32 offset;
    QString name;
};

// What the workbook's global records say about every sheet.
struct Globals {
    std::vector<QString> sharedStrings;
    std::vector<NumberShown> styles; // by cell format (XF) index
    std::vector<SheetEntry> worksheets;
    DateSystem dateSystem = DateSystem::excel1900();
};

void checkBeginning(RecordStream &records, quint16 substream) {
    Record bof{};
    if (!records.next(bof) || bof.type != RecordType::Bof) {
        // Excel 2 to 4 began with other BOF numbers.
        if (bof.type == 0x0009 || bof.type == 0x0209 || bof.type == 0x0409)
            throw WorkbookError::oldFormat();
        WorkbookError::throwDamaged("início de planilha não encontrado");
    }
    if (bof.body.size() < 4 || le16(bof.body, 0) != Biff8Version)
        throw WorkbookError::oldFormat();
    if (le16(bof.body, 2) != substream)
        WorkbookError::throwDamaged("início de planilha não encontrado");
}

Globals readGlobals(QByteArrayView stream) {
    RecordStream records(stream, 0);
    checkBeginning(records, WorkbookGlobals);
    Globals globals;
    std::map<int, NumberShown> customFormats; // by format id
    std::vector<quint16> styleFormats;
    Record record;
    while (records.next(record)) {
        switch (record.type) {
        case RecordType::Eof: {
            for (const quint16 format : styleFormats) {
                const auto custom = customFormats.find(format);
                globals.styles.push_back(custom != customFormats.end() ? custom->second
                                                                       : builtInFormatShows(format));
            }
            return globals;
        }
        case RecordType::FilePass:
            throw WorkbookError::encrypted();
        case RecordType::DateMode:
            if (record.body.size() >= 2 && le16(record.body, 0) == 1)
                globals.dateSystem = DateSystem::excel1904();
            break;
        case RecordType::SharedStrings: {
            ContinuedRecord continued(records, record.body);
            globals.sharedStrings = readSharedStrings(continued);
            break;
        }
        case RecordType::Format: {
            ContinuedRecord continued(records, record.body);
            const quint16 id = continued.u16();
            customFormats[id] = formatCodeShows(continued.unicodeString());
            break;
        }
        case RecordType::ExtendedFormat:
            if (record.body.size() < 4)
                WorkbookError::throwDamaged("formato de célula curto demais");
            styleFormats.push_back(le16(record.body, 2));
            break;
        case RecordType::BoundSheet: {
            if (record.body.size() < 8)
                WorkbookError::throwDamaged("registro de planilha curto demais");
            // Sheet kind 0 is a worksheet (or dialog); the others are charts and macros.
            if (le8(record.body, 5) != 0)
                break;
            const quint8 length = le8(record.body, 6);
            const bool wide = (le8(record.body, 7) & 1) != 0;
            if (record.body.size() < 8 + length * (wide ? 2 : 1))
                WorkbookError::throwDamaged("nome de planilha truncado");
            QString name;
            if (wide) {
                for (qsizetype i = 0; i < length; ++i)
                    name.append(QChar(le16(record.body, 8 + 2 * i)));
            } else {
                name = QString::fromLatin1(record.body.data() + 8, length);
            }
            globals.worksheets.push_back({le32(record.body, 0), name});
            break;
        }
        default:
            break;
        }
    }
    WorkbookError::throwDamaged("fim inesperado do fluxo");
}

// Reads the cell records of one worksheet substream into the sheet's cells.
class WorksheetReader {
public:
    WorksheetReader(const Globals &globals, SheetCells &cells)
        : globals_(globals)
        , cells_(cells) {}

    void read(QByteArrayView stream, quint32 offset) {
        if (offset >= stream.size())
            WorkbookError::throwDamaged("posição de planilha fora do fluxo");
        RecordStream records(stream, offset);
        bytesLeft_ = stream.size() - offset;
        checkBeginning(records, WorksheetSubstream);
        // Charts embedded in the sheet come as substreams of their own, between a BOF and an EOF.
        int depth = 1;
        Record record;
        while (records.next(record)) {
            if (record.type == RecordType::Bof) {
                ++depth;
            } else if (record.type == RecordType::Eof) {
                if (--depth == 0)
                    return;
            } else if (depth == 1) {
                readCell(records, record);
            }
        }
        WorkbookError::throwDamaged("fim inesperado da planilha");
    }

private:
    void readCell(RecordStream &records, const Record &record) {
        const QByteArrayView body = record.body;
        switch (record.type) {
        case RecordType::Number:
            requireSize(record, 14);
            add(body, numberCell(leDouble(body, 6), le16(body, 4)));
            break;
        case RecordType::Rk:
            requireSize(record, 10);
            add(body, numberCell(rkNumber(le32(body, 6)), le16(body, 4)));
            break;
        case RecordType::MulRk: {
            requireSize(record, 6);
            const quint16 row = le16(body, 0);
            const quint16 first = le16(body, 2);
            const qsizetype count = (body.size() - 6) / 6;
            for (qsizetype i = 0; i < count; ++i)
                cells_.add(row, first + static_cast<quint32>(i),
                           numberCell(rkNumber(le32(body, 4 + 6 * i + 2)), le16(body, 4 + 6 * i)));
            break;
        }
        case RecordType::LabelSst: {
            requireSize(record, 10);
            const quint32 index = le32(body, 6);
            if (index >= globals_.sharedStrings.size())
                WorkbookError::throwDamaged("texto compartilhado inexistente");
            add(body, WorkbookCell::fromText(globals_.sharedStrings[index]));
            break;
        }
        case RecordType::Label:
        case RecordType::RichString: {
            requireSize(record, 6);
            RecordStream none(QByteArrayView(), 0);
            ContinuedRecord text(none, body.sliced(6));
            add(body, WorkbookCell::fromText(text.unicodeString()));
            break;
        }
        case RecordType::BoolErr:
            requireSize(record, 8);
            add(body, le8(body, 7) ? WorkbookCell::fromError(errorText(le8(body, 6)))
                                   : WorkbookCell::fromBoolean(le8(body, 6) != 0));
            break;
        case RecordType::Formula:
            requireSize(record, 14);
            readFormula(body);
            break;
        case RecordType::Dimensions:
            reserveFor(body);
            break;
        case RecordType::MergedCells: {
            requireSize(record, 2);
            const qsizetype count = std::min<qsizetype>(le16(body, 0), (body.size() - 2) / 8);
            for (qsizetype i = 0; i < count; ++i) {
                const qsizetype at = 2 + 8 * i;
                const SheetCells::Merge merge{le16(body, at), le16(body, at + 4), le16(body, at + 2),
                                              le16(body, at + 6)};
                if (merge.lastRow >= merge.firstRow && merge.lastColumn >= merge.firstColumn)
                    cells_.addMerge(merge);
            }
            break;
        }
        case RecordType::FormulaString:
            if (pendingText_) {
                ContinuedRecord text(records, body);
                QString value = text.unicodeString();
                cells_.add(pendingRow_, pendingColumn_, WorkbookCell::fromFormulaText(std::move(value)));
                pendingText_ = false;
            }
            break;
        default:
            break;
        }
    }

    // A formula's cached result; a text result comes in the STRING record that follows.
    void readFormula(QByteArrayView body) {
        pendingText_ = false;
        const quint8 kind = le8(body, 6);
        const bool number = le16(body, 12) != 0xFFFF;
        if (number) {
            add(body, numberCell(leDouble(body, 6), le16(body, 4)));
            return;
        }
        switch (kind) {
        case 0:
            // Empty until the STRING record that should follow gives the text.
            add(body, WorkbookCell::fromEmptyFormula());
            pendingText_ = true;
            pendingRow_ = le16(body, 0);
            pendingColumn_ = le16(body, 2);
            break;
        case 1:
            add(body, WorkbookCell::fromBoolean(le8(body, 8) != 0));
            break;
        case 2:
            add(body, WorkbookCell::fromError(errorText(le8(body, 8))));
            break;
        default: // an empty text
            add(body, WorkbookCell::fromEmptyFormula());
            break;
        }
    }

    // Room for the cells the sheet says it spans, taken once: growing to 600,000 cells step by step moves
    // them into fresh memory several times. The span is the file's word, so the room stays within what the
    // rest of the sheet's bytes could hold and within the cells' bound.
    void reserveFor(QByteArrayView body) {
        if (body.size() < 12)
            return;
        const qint64 rows = static_cast<qint64>(le32(body, 4)) - le32(body, 0);
        const qint64 columns = static_cast<qint64>(le16(body, 10)) - le16(body, 8);
        if (rows <= 0 || columns <= 0)
            return;
        constexpr qint64 SmallestCellBytes = 6; // a number of a MULRK record
        const qint64 cells = std::min(
            {rows * columns, bytesLeft_ / SmallestCellBytes, static_cast<qint64>(cells_.limits().maxCells)});
        cells_.cells().reserve(static_cast<size_t>(cells));
    }

    WorkbookCell numberCell(double number, quint16 style) const {
        return numberAsShown(number,
                             style < globals_.styles.size() ? globals_.styles[style] : NumberShown::Number,
                             globals_.dateSystem);
    }

    void add(QByteArrayView body, WorkbookCell cell) {
        pendingText_ = false;
        cells_.add(le16(body, 0), le16(body, 2), std::move(cell));
    }

    const Globals &globals_;
    SheetCells &cells_;
    qint64 bytesLeft_ = 0; // of the stream, from the sheet on
    bool pendingText_ = false;
    quint16 pendingRow_ = 0;
    quint16 pendingColumn_ = 0;
};

} // namespace

void readBiff8Sheet(QByteArrayView stream, const QString &sheet, SheetCells &cells) {
    const Globals globals = readGlobals(stream);
    cells.dateSystem = globals.dateSystem;
    const SheetEntry *found = nullptr;
    for (const SheetEntry &worksheet : globals.worksheets) {
        if (worksheet.name.compare(sheet, Qt::CaseInsensitive) != 0)
            continue;
        if (found != nullptr)
            throw WorkbookError::sheetNamedTwice(found->name, worksheet.name);
        found = &worksheet;
    }
    if (found == nullptr)
        throw WorkbookError::missingSheet(sheet);
    WorksheetReader(globals, cells).read(stream, found->offset);
}

} // namespace bco
