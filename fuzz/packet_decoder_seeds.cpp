#include <cstdio>
#include <cstdlib>
#include <limits>

#include <QByteArray>
#include <QCborStreamWriter>
#include <QFile>

#include "lancamentos_packet.h"

#include "framework/data/packet_codec.h"

namespace {

// A packet written with lengths left open, as a streaming writer would.
QByteArray openLengthPacket() {
    QByteArray bytes;
    QCborStreamWriter w(&bytes);
    w.append(QCborTag(bco::PacketTag));
    w.startMap();
    w.append(QLatin1StringView("fields"));
    w.startArray();
    w.startArray();
    for (const char *text : {"CDFILIAL", "text"})
        w.append(QLatin1StringView(text));
    w.append(4);
    w.append(true);
    w.endArray();
    w.endArray();
    w.append(QLatin1StringView("rows"));
    w.startArray();
    w.startArray();
    w.append(0);
    w.append(QLatin1StringView("0001"));
    w.endArray();
    w.endArray();
    w.endMap();
    return bytes;
}

} // namespace

// Writes the seed corpus of packet_decoder_fuzz into the folder given: one valid encoding of each shape the
// decoder knows, small, so that the fuzzer starts from every path.
int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return EXIT_FAILURE;
    }
    using namespace bco;
    DataPacket everyKind({{"CDREDUCONT", FieldKind::Text, 3, true},
                          {"VRSALDO", FieldKind::Float},
                          {"DTABERTURA", FieldKind::Date},
                          {"QTMOV", FieldKind::Integer},
                          {"IDATIVA", FieldKind::Boolean}});
    everyKind.appendValues({"001", 1234.56, QDate(2024, 2, 29), 7, true});
    everyKind.appendValues({"", Variant(), Variant(), Variant(), false});

    DataPacket changeLog({{"NRMOVBANC", FieldKind::Text, 10, true}, {"VRMOVBANC", FieldKind::Float}});
    const auto record = [](const char *number, double value) {
        return RecordBuilder(2).addText(QString::fromLatin1(number)).addReal(value).build();
    };
    changeLog.appendRow(record("0000000001", 10.0), RowState::Inserted);
    changeLog.appendRow(record("0000000002", 25.5), RowState::Modified, record("0000000002", 20.0));
    changeLog.appendRow(record("0000000003", 5.0), RowState::Deleted);

    const struct {
        const char *name;
        QByteArray bytes;
    } seeds[] = {
        {"null", encodeVariant(Variant())},
        {"scalars",
         encodeVariant(VariantList{true, -5, 1.5, QStringLiteral("Lançamento"), QDate(2024, 3, 15)})},
        {"integer_limits",
         encodeVariant(VariantList{std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()})},
        {"nested_arrays", encodeVariant(VariantList{VariantList{VariantList{}}, VariantList{Variant()}})},
        {"date", encodeVariant(QDate(1999, 12, 31))},
        {"empty_packet", encodePacket(DataPacket())},
        {"every_kind_packet", encodePacket(everyKind)},
        {"change_log", encodePacket(changeLog)},
        {"request_with_packet", encodeVariant(VariantList{"001", QDate(2024, 1, 1), "T", changeLog})},
        {"entry_list", encodePacket(bench::lancamentosPacket(2))},
        // Open-length array, chunked text, half-precision float: what other writers may produce.
        {"open_lengths", QByteArray::fromHex("9f7f626c61616efff93e00f6ff")},
        {"packet_open_lengths", openLengthPacket()},
    };
    for (const auto &seed : seeds) {
        QFile file(QString::fromLocal8Bit(argv[1]) + u'/' + QLatin1StringView(seed.name));
        if (!file.open(QIODevice::WriteOnly) || file.write(seed.bytes) != seed.bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", seed.name);
            return EXIT_FAILURE;
        }
    }
    return EXIT_SUCCESS;
}
