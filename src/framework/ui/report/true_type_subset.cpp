#include "framework/ui/report/true_type_subset.h"

#include <algorithm>
#include <array>

namespace bco {

namespace {

// Big-endian fields of a table, 0 past its end: a short table is caught by the size checks that follow, never
// read out of bounds.
quint32 u16(const QByteArray &table, qsizetype at) {
    if (at < 0 || at + 2 > table.size())
        return 0;
    const auto *bytes = reinterpret_cast<const unsigned char *>(table.constData()) + at;
    return static_cast<quint32>(bytes[0] << 8 | bytes[1]);
}

int s16(const QByteArray &table, qsizetype at) {
    return static_cast<qint16>(static_cast<quint16>(u16(table, at)));
}

quint32 u32(const QByteArray &table, qsizetype at) {
    return u16(table, at) << 16 | u16(table, at + 2);
}

void put16(QByteArray &out, quint32 value) {
    out.append(static_cast<char>(value >> 8 & 0xff));
    out.append(static_cast<char>(value & 0xff));
}

void put32(QByteArray &out, quint32 value) {
    put16(out, value >> 16);
    put16(out, value & 0xffff);
}

void set16(QByteArray &table, qsizetype at, quint32 value) {
    table[at] = static_cast<char>(value >> 8 & 0xff);
    table[at + 1] = static_cast<char>(value & 0xff);
}

void padTo4(QByteArray &out) {
    while (out.size() % 4 != 0)
        out.append('\0');
}

quint32 checksum(const QByteArray &table) {
    quint32 sum = 0;
    for (qsizetype at = 0; at < table.size(); at += 4) {
        quint32 word = 0;
        for (qsizetype i = 0; i < 4; ++i)
            word = word << 8 | (at + i < table.size() ? static_cast<unsigned char>(table[at + i]) : 0u);
        sum += word;
    }
    return sum;
}

// Flags of a composite glyph's part record.
constexpr quint32 ArgumentsAreWords = 0x0001;
constexpr quint32 HasScale = 0x0008;
constexpr quint32 MoreComponents = 0x0020;
constexpr quint32 HasXAndYScale = 0x0040;
constexpr quint32 HasTwoByTwo = 0x0080;

} // namespace

TrueTypeSubset::TrueTypeSubset(const TableReader &table)
    : head_(table("head"))
    , hhea_(table("hhea"))
    , maxp_(table("maxp"))
    , hmtx_(table("hmtx"))
    , loca_(table("loca"))
    , glyf_(table("glyf"))
    , cvt_(table("cvt "))
    , fpgm_(table("fpgm"))
    , prep_(table("prep")) {
    if (head_.size() < 54 || hhea_.size() < 36 || maxp_.size() < 6 || glyf_.isEmpty())
        return;
    longOffsets_ = s16(head_, 50) == 1;
    glyphCount_ = static_cast<int>(u16(maxp_, 4));
    metricCount_ = static_cast<int>(u16(hhea_, 34));
    unitsPerEm_ = static_cast<int>(u16(head_, 18));
    xMin_ = s16(head_, 36);
    yMin_ = s16(head_, 38);
    xMax_ = s16(head_, 40);
    yMax_ = s16(head_, 42);
    ascent_ = s16(hhea_, 4);
    descent_ = s16(hhea_, 6);
    macStyle_ = u16(head_, 44);
    const qsizetype offsetSize = longOffsets_ ? 4 : 2;
    usable_ = glyphCount_ > 0 && unitsPerEm_ > 0 && metricCount_ > 0 && metricCount_ <= glyphCount_ &&
              loca_.size() >= (glyphCount_ + 1) * offsetSize && hmtx_.size() >= metricCount_ * 4;
}

int TrueTypeSubset::Advance(int glyph) const {
    if (!usable_ || glyph < 0)
        return 0;
    return static_cast<int>(u16(hmtx_, std::min(glyph, metricCount_ - 1) * qsizetype{4}));
}

std::pair<quint32, quint32> TrueTypeSubset::outlineOf(int glyph) const {
    if (glyph < 0 || glyph >= glyphCount_)
        return {0, 0};
    const auto offset = [this](int at) {
        return longOffsets_ ? u32(loca_, at * qsizetype{4}) : u16(loca_, at * qsizetype{2}) * 2;
    };
    const quint32 start = offset(glyph);
    const quint32 end = offset(glyph + 1);
    // A broken index yields no outline rather than bytes of another glyph or past the table.
    if (end <= start || end > static_cast<quint32>(glyf_.size()))
        return {0, 0};
    return {start, end};
}

void TrueTypeSubset::addComponents(int glyph, std::vector<bool> &kept) const {
    // A part may itself be composite; parts are followed with a list of glyphs to visit, each once.
    std::vector<int> pending{glyph};
    while (!pending.empty()) {
        const int current = pending.back();
        pending.pop_back();
        const auto [start, end] = outlineOf(current);
        if (end - start < 10 || s16(glyf_, start) >= 0)
            continue;
        qsizetype at = start + 10;
        quint32 flags = MoreComponents;
        while ((flags & MoreComponents) != 0 && at + 4 <= static_cast<qsizetype>(end)) {
            flags = u16(glyf_, at);
            const int part = static_cast<int>(u16(glyf_, at + 2));
            at += 4 + ((flags & ArgumentsAreWords) != 0 ? 4 : 2);
            at += (flags & HasScale) != 0        ? 2
                  : (flags & HasXAndYScale) != 0 ? 4
                  : (flags & HasTwoByTwo) != 0   ? 8
                                                 : 0;
            if (part < glyphCount_ && !kept[static_cast<std::size_t>(part)]) {
                kept[static_cast<std::size_t>(part)] = true;
                pending.push_back(part);
            }
        }
    }
}

QByteArray TrueTypeSubset::Subset(const std::vector<bool> &used) const {
    if (!usable_)
        return {};
    std::vector<bool> kept(static_cast<std::size_t>(glyphCount_), false);
    kept[0] = true;
    for (std::size_t glyph = 0; glyph < used.size() && glyph < kept.size(); ++glyph)
        if (used[glyph])
            kept[glyph] = true;
    for (int glyph = 0; glyph < glyphCount_; ++glyph)
        if (kept[static_cast<std::size_t>(glyph)])
            addComponents(glyph, kept);

    QByteArray glyf;
    QByteArray loca;
    loca.reserve((glyphCount_ + 1) * qsizetype{4});
    for (int glyph = 0; glyph < glyphCount_; ++glyph) {
        put32(loca, static_cast<quint32>(glyf.size()));
        if (!kept[static_cast<std::size_t>(glyph)])
            continue;
        const auto [start, end] = outlineOf(glyph);
        glyf.append(glyf_.constData() + start, end - start);
        padTo4(glyf);
    }
    put32(loca, static_cast<quint32>(glyf.size()));

    QByteArray head = head_;
    set16(head, 8, 0); // the whole file's checksum adjustment: readers do not check it
    set16(head, 10, 0);
    set16(head, 50, 1); // the index is written with long offsets

    // Tables in the order of their tags, as the directory must list them.
    struct Table {
        std::array<char, 4> tag;
        const QByteArray *data;
    };
    std::vector<Table> tables;
    const auto add = [&tables](const char *tag, const QByteArray &data) {
        if (!data.isEmpty())
            tables.push_back({{tag[0], tag[1], tag[2], tag[3]}, &data});
    };
    add("cvt ", cvt_);
    add("fpgm", fpgm_);
    add("glyf", glyf);
    add("head", head);
    add("hhea", hhea_);
    add("hmtx", hmtx_);
    add("loca", loca);
    add("maxp", maxp_);
    add("prep", prep_);

    const auto count = static_cast<quint32>(tables.size());
    quint32 power = 1;
    quint32 log = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++log;
    }
    QByteArray file;
    put32(file, 0x00010000);
    put16(file, count);
    put16(file, power * 16);
    put16(file, log);
    put16(file, count * 16 - power * 16);
    auto offset = static_cast<quint32>(12 + 16 * count);
    for (const Table &table : tables) {
        file.append(table.tag.data(), 4);
        put32(file, checksum(*table.data));
        put32(file, offset);
        put32(file, static_cast<quint32>(table.data->size()));
        offset += static_cast<quint32>((table.data->size() + 3) / 4 * 4);
    }
    for (const Table &table : tables) {
        file.append(*table.data);
        padTo4(file);
    }
    return file;
}

} // namespace bco
