#include <functional>
#include <limits>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCborStreamWriter>

#include "framework/data/packet_codec.h"

using namespace bco;
using ::testing::HasSubstr;

namespace {

DataPacket everyKindPacket() {
    DataPacket packet({{"CDREDUCONT", FieldKind::Text, 3, true},
                       {"VRMOVICRED", FieldKind::Float},
                       {"DTMOVICRED", FieldKind::Date},
                       {"QTMOV", FieldKind::Integer},
                       {"IDATIVA", FieldKind::Boolean},
                       {"DSMOVICRED", FieldKind::Text, 40}});
    packet.appendValues({"001", 1234.56, QDate(2024, 2, 29), std::numeric_limits<qint64>::min(), true,
                         QStringLiteral("Depósito em espécie — agência 0001")});
    packet.appendValues({"", -0.01, QDate(1, 1, 1), std::numeric_limits<qint64>::max(), false, ""});
    packet.appendValues({Variant(), Variant(), Variant(), Variant(), Variant(), Variant()});
    return packet;
}

DataPacket changeLog() {
    DataPacket packet({{"NRMOVBANC", FieldKind::Text, 10, true}, {"VRMOVBANC", FieldKind::Float}});
    const auto record = [](const char *number, Variant value) {
        return RecordBuilder(2).addText(QString::fromLatin1(number)).add(FieldKind::Float, value).build();
    };
    packet.appendRow(record("0000000001", 10.0), RowState::Inserted);
    packet.appendRow(record("0000000002", 25.5), RowState::Modified, record("0000000002", 20.0));
    packet.appendRow(record("0000000003", Variant()), RowState::Deleted);
    packet.appendRow(record("0000000004", 1.0), RowState::Unchanged);
    return packet;
}

QByteArray cbor(const std::function<void(QCborStreamWriter &)> &write) {
    QByteArray bytes;
    QCborStreamWriter writer(&bytes);
    write(writer);
    return bytes;
}

// A packet of the given fields, written by hand so that a case can break one part of it.
void writePacketHead(QCborStreamWriter &w, const QList<std::pair<const char *, const char *>> &fields) {
    w.append(QCborTag(PacketTag));
    w.startMap(2);
    w.append(QLatin1StringView("fields"));
    w.startArray(static_cast<quint64>(fields.size()));
    for (const auto &[name, kind] : fields) {
        w.startArray(4);
        w.append(QLatin1StringView(name));
        w.append(QLatin1StringView(kind));
        w.append(0);
        w.append(false);
        w.endArray();
    }
    w.endArray();
    w.append(QLatin1StringView("rows"));
}

QByteArray packetWithRow(const std::function<void(QCborStreamWriter &)> &writeRow) {
    return cbor([&](QCborStreamWriter &w) {
        writePacketHead(w, {{"CDREDUCONT", "text"}, {"VRSALDO", "float"}});
        w.startArray(1);
        writeRow(w);
        w.endArray();
        w.endMap();
    });
}

QByteArray nested(int depth) {
    return QByteArray(depth, '\x81') + QByteArray(1, '\x01');
}

} // namespace

TEST(CodecTest, VariantsOfEveryTypeSurviveTheRoundTrip) {
    const Variant cases[] = {
        Variant(),
        true,
        false,
        0,
        -1,
        std::numeric_limits<qint64>::min(),
        std::numeric_limits<qint64>::max(),
        1234.56,
        -0.01,
        QString(),
        QStringLiteral("Lançamento nº 3 — conciliação"),
        QDate(2024, 2, 29),
        QDate(1, 1, 1),
        QDate(9999, 12, 31),
        VariantList{},
        VariantList{"T", QDate(2024, 1, 31), 10.5, VariantList{Variant(), 7}},
        VariantList{everyKindPacket(), changeLog()},
    };
    for (const Variant &value : cases)
        EXPECT_EQ(decodeVariant(encodeVariant(value)), value) << describe(value).toStdString();
}

TEST(CodecTest, PacketsKeepFieldsValuesAndNulls) {
    const DataPacket packet = everyKindPacket();
    const DataPacket decoded = decodePacket(encodePacket(packet));
    EXPECT_EQ(decoded, packet);
    EXPECT_EQ(decoded.fields()[0].size, 3);
    EXPECT_TRUE(decoded.fields()[0].required);
    EXPECT_FALSE(decoded.row(1).values.isNull(0)) << "empty text must not become null";
    EXPECT_TRUE(decoded.row(2).values.isNull(0));
}

TEST(CodecTest, ChangeLogsKeepStatesAndOriginalValues) {
    const DataPacket decoded = decodePacket(encodePacket(changeLog()));
    EXPECT_EQ(decoded, changeLog());
    EXPECT_EQ(decoded.row(1).state, RowState::Modified);
    EXPECT_EQ(decoded.row(1).original.real(1), 20.0);
    EXPECT_FALSE(decoded.row(0).original.isValid());
    EXPECT_EQ(decoded.row(2).state, RowState::Deleted);
}

TEST(CodecTest, EmptyPacketsKeepTheirShape) {
    const DataPacket noRows({{"CDFILIAL", FieldKind::Text, 4}});
    EXPECT_EQ(decodePacket(encodePacket(noRows)), noRows);
    DataPacket noFields;
    noFields.appendValues({});
    EXPECT_EQ(decodePacket(encodePacket(noFields)), noFields);
}

TEST(CodecTest, DatesTravelAsCalendarDateText) {
    const QByteArray expected = QByteArray::fromHex("d903ec") + QByteArray("\x6a"
                                                                           "2024-03-05");
    EXPECT_EQ(encodeVariant(QDate(2024, 3, 5)), expected);
    EXPECT_THROW(encodeVariant(QDate(10000, 1, 1)), std::invalid_argument);
}

TEST(CodecTest, ReadsWhatOtherWritersMayProduce) {
    // Open-length arrays, chunked text, a half-precision float and a whole amount as an integer.
    const QByteArray openArray = QByteArray::fromHex("9f7f626c61616effF93e00ff");
    EXPECT_EQ(decodeVariant(openArray), Variant(VariantList{"lan", 1.5}));
    const QByteArray wholeAmount = packetWithRow([](QCborStreamWriter &w) {
        w.startArray(3);
        w.append(0);
        w.append(QLatin1StringView("001"));
        w.append(250);
        w.endArray();
    });
    EXPECT_EQ(decodePacket(wholeAmount).value(0, u"VRSALDO"), Variant(250.0));
}

struct EncodingCase {
    const char *name;
    QByteArray bytes;
    Variant value;
};

TEST(CodecTest, ReadsEveryFormCborAllowsForAnItem) {
    const EncodingCase cases[] = {
        {"an integer in a one-byte argument", QByteArray::fromHex("1818"), 24},
        {"an integer in a two-byte argument", QByteArray::fromHex("190100"), 256},
        {"an integer in a four-byte argument", QByteArray::fromHex("1a00010000"), 65536},
        {"an integer in an eight-byte argument", QByteArray::fromHex("1b0000000100000000"),
         qint64(4294967296)},
        {"the smallest 64-bit integer", QByteArray::fromHex("3b7fffffffffffffff"),
         std::numeric_limits<qint64>::min()},
        {"a half-precision float", QByteArray::fromHex("f9c100"), -2.5},
        {"a subnormal half-precision float", QByteArray::fromHex("f90001"), 1.0 / (1 << 24)},
        {"a half-precision infinity", QByteArray::fromHex("f9fc00"),
         -std::numeric_limits<double>::infinity()},
        {"a single-precision float", QByteArray::fromHex("fa3fc00000"), 1.5},
        {"text in two chunks", QByteArray::fromHex("7f6161626262ff"), "abb"},
        {"text in no chunks", QByteArray::fromHex("7fff"), ""},
        {"an open array inside an open array", QByteArray::fromHex("9f019f0203ffff"),
         VariantList{1, VariantList{2, 3}}},
    };
    for (const EncodingCase &c : cases) {
        try {
            EXPECT_EQ(decodeVariant(c.bytes), c.value) << c.name;
        } catch (const DecodeError &error) {
            ADD_FAILURE() << c.name << ": " << error.what();
        }
    }
}

TEST(CodecTest, ReadsAPacketWrittenWithOpenLengthsThroughout) {
    const DataPacket expected = changeLog();
    const QByteArray bytes = cbor([&](QCborStreamWriter &w) {
        w.append(QCborTag(PacketTag));
        w.startMap();
        w.append(QLatin1StringView("fields"));
        w.startArray();
        for (const FieldDef &field : expected.fields()) {
            w.startArray();
            w.append(field.name);
            w.append(QLatin1StringView(fieldKindName(field.kind)));
            w.append(field.size);
            w.append(field.required);
            w.endArray();
        }
        w.endArray();
        w.append(QLatin1StringView("rows"));
        w.startArray();
        for (int i = 0; i < expected.rowCount(); ++i) {
            const PacketRow &row = expected.row(i);
            w.startArray();
            w.append(static_cast<int>(row.state));
            for (const Record *record : {&row.values, &row.original}) {
                if (!record->isValid())
                    continue;
                w.append(record->text(0));
                if (record->isNull(1))
                    w.appendNull();
                else
                    w.append(record->real(1));
            }
            w.endArray();
        }
        w.endArray();
        w.endMap();
    });
    EXPECT_EQ(decodePacket(bytes), expected);
}

// The message decodePacket refuses the bytes with; empty when it reads them.
std::string refusal(const QByteArray &bytes) {
    try {
        decodePacket(bytes);
    } catch (const DecodeError &error) {
        return error.what();
    }
    return {};
}

// A packet of one field holding one value, written by hand: for values our encoder would never write.
QByteArray packetOfOneValue(const char *kind, const std::function<void(QCborStreamWriter &)> &writeValue) {
    return cbor([&](QCborStreamWriter &w) {
        writePacketHead(w, {{"VALOR", kind}});
        w.startArray(1);
        w.startArray(2);
        w.append(0);
        writeValue(w);
        w.endArray();
        w.endArray();
        w.endMap();
    });
}

struct DateTextCase {
    const char *name;
    const char *text;
    QDate date; // invalid: the text must be refused
};

TEST(CodecTest, ReadsADateOfAPacketOnlyWhenTheCalendarHasIt) {
    const DateTextCase cases[] = {
        {"the leap day of a leap year", "2024-02-29", QDate(2024, 2, 29)},
        {"the leap day of a century divisible by 400", "2000-02-29", QDate(2000, 2, 29)},
        {"the first day the encoding holds", "0001-01-01", QDate(1, 1, 1)},
        {"the last day the encoding holds", "9999-12-31", QDate(9999, 12, 31)},
        {"a day the Julian calendar skipped", "1582-10-10", QDate(1582, 10, 10)},
        {"the leap day of a common year", "2023-02-29", {}},
        {"the leap day of a century not divisible by 400", "1900-02-29", {}},
        {"the 31st of a month of 30 days", "2024-04-31", {}},
        {"the 32nd of a month of 31 days", "2024-01-32", {}},
        {"month 13", "2024-13-01", {}},
        {"month 0", "2024-00-10", {}},
        {"day 0", "2024-01-00", {}},
        {"year 0", "0000-01-01", {}},
        {"a letter among the digits", "2024-1a-01", {}},
        {"a sign among the digits", "+024-01-01", {}},
        {"slashes for hyphens", "2024/01/01", {}},
    };
    for (const DateTextCase &c : cases) {
        const QByteArray bytes = packetOfOneValue("date", [&](QCborStreamWriter &w) {
            w.append(QCborTag(DateTag));
            w.append(QLatin1StringView(c.text));
        });
        if (c.date.isValid()) {
            EXPECT_EQ(refusal(bytes), "") << c.name;
            EXPECT_EQ(decodePacket(bytes).value(0, 0), Variant(c.date)) << c.name;
        } else {
            EXPECT_THAT(refusal(bytes),
                        HasSubstr(QStringLiteral("row 0, value of field VALOR: \"%1\" is not a date")
                                      .arg(QLatin1StringView(c.text))
                                      .toStdString()))
                << c.name;
        }
    }
}

TEST(CodecTest, EveryDayAroundTheLeapRulesKeepsItsDate) {
    DataPacket packet({{"DTMOVBANC", FieldKind::Date}});
    for (const int first : {1, 1596, 1896, 1996, 2096, 9995}) {
        for (QDate day(first, 1, 1); day.year() < first + 5; day = day.addDays(1))
            packet.appendValues({day});
    }
    const DataPacket decoded = decodePacket(encodePacket(packet));
    ASSERT_EQ(decoded.rowCount(), packet.rowCount());
    for (int i = 0; i < packet.rowCount(); ++i)
        ASSERT_EQ(decoded.row(i).values.date(0), packet.row(i).values.date(0)) << "row " << i;
}

TEST(CodecTest, TextOfAPacketKeepsItsLengthInEveryHeadSize) {
    // Lengths in the head, in one byte, in two (300 tells the byte order) and in four.
    DataPacket packet({{"DSMOVBANC", FieldKind::Text}});
    for (const int length : {0, 23, 24, 255, 300, 65535, 65536})
        packet.appendValues({QString(length - length / 2, u'a') + QString(length / 4, u'ç')});
    const DataPacket decoded = decodePacket(encodePacket(packet));
    ASSERT_EQ(decoded.rowCount(), packet.rowCount());
    for (int i = 0; i < packet.rowCount(); ++i)
        EXPECT_EQ(decoded.row(i).values.utf8(0).size(), packet.row(i).values.utf8(0).size()) << "row " << i;
    EXPECT_EQ(decoded, packet);
}

TEST(CodecTest, RefusesBrokenTextOfAPacketInEveryHeadSize) {
    for (const int length : {2, 30, 300}) {
        const QByteArray text = QByteArray(length - 2, 'a') + "\xc3\x28";
        const QByteArray bytes = packetOfOneValue(
            "text", [&](QCborStreamWriter &w) { w.appendTextString(text.constData(), text.size()); });
        EXPECT_THAT(refusal(bytes), HasSubstr("text value is not valid UTF-8")) << length << " bytes";
        // The text is the packet's last item: cut inside it.
        EXPECT_THAT(refusal(bytes.chopped(length / 2 + 1)), HasSubstr("truncated")) << length << " bytes";
    }
}

struct MalformedCase {
    const char *name;
    QByteArray bytes;
    const char *message;
    bool asPacket = false;
};

TEST(CodecTest, RefusesMalformedBytesWithAClearMessage) {
    const QByteArray goodPacket = encodePacket(everyKindPacket());
    const MalformedCase cases[] = {
        {"no bytes at all", {}, "truncated"},
        {"a packet cut short", goodPacket.left(goodPacket.size() - 3), "truncated", true},
        {"a packet under a tag of someone else", cbor([](QCborStreamWriter &w) {
             w.append(QCborTag(1005));
             w.startMap(0);
             w.endMap();
         }),
         "expected a data packet", true},
        {"a tag the codec does not know", QByteArray::fromHex("d9ffff01"), "unknown tag 65535"},
        {"a date that is a number", QByteArray::fromHex("d903ec01"), "date: expected text, found an integer"},
        {"a date that is not in the calendar", QByteArray::fromHex("d903ec6a") + "2023-02-29",
         "\"2023-02-29\" is not a date"},
        {"a map where a value belongs", QByteArray::fromHex("a0"), "expected a value, found a map"},
        {"a byte string", QByteArray::fromHex("4100"), "found a byte string"},
        {"an integer beyond 64 bits", QByteArray::fromHex("1bffffffffffffffff"), "beyond the 64-bit"},
        {"a negative integer beyond 64 bits", QByteArray::fromHex("3b8000000000000000"), "beyond the 64-bit"},
        {"text that is not UTF-8", QByteArray::fromHex("62c328"), "not valid UTF-8"},
        {"bytes after the value", QByteArray::fromHex("0102"), "1 trailing bytes"},
        {"a reserved additional information", QByteArray::fromHex("1c"), "malformed CBOR"},
        {"an integer of open length", QByteArray::fromHex("1f"), "malformed CBOR"},
        {"a break where a value belongs", QByteArray::fromHex("ff"), "malformed CBOR"},
        {"a simple value in two bytes below 32", QByteArray::fromHex("f810"), "malformed CBOR"},
        {"a byte string among the chunks of text", QByteArray::fromHex("7f4161ff"), "malformed CBOR"},
        {"text in chunks cut before its break", QByteArray::fromHex("7f6161"), "truncated"},
        {"an open array cut before its break", QByteArray::fromHex("9f01"), "truncated"},
        {"an array closing on a break it never opened", QByteArray::fromHex("8101ff"), "1 trailing bytes"},
        {"nesting ten thousand deep", nested(10'000), "nesting deeper than 64"},
        {"an array declaring 4 GB", QByteArray::fromHex("9b0000000100000000"),
         "declares 4294967296 items, only"},
        {"text declaring 4 GB", QByteArray::fromHex("7b000000010000000041"), "declares 4294967296 bytes"},
        {"a field of an unknown kind", cbor([](QCborStreamWriter &w) {
             writePacketHead(w, {{"ANEXO", "blob"}});
             w.startArray(0);
             w.endArray();
             w.endMap();
         }),
         "field ANEXO: unknown kind \"blob\"", true},
        // Read by name, one of the two would be lost unseen.
        {"a field named twice, in either letter case", cbor([](QCborStreamWriter &w) {
             writePacketHead(w, {{"VRMOVEXTR", "float"}, {"vrmovextr", "float"}});
             w.startArray(0);
             w.endArray();
             w.endMap();
         }),
         "field vrmovextr: a packet names each field once", true},
        {"a row with fewer values than fields", packetWithRow([](QCborStreamWriter &w) {
             w.startArray(2);
             w.append(0);
             w.append(QLatin1StringView("001"));
             w.endArray();
         }),
         "row 0 holds 2 items (its state and its values), its packet has 2 fields", true},
        {"a row of an unknown state", packetWithRow([](QCborStreamWriter &w) {
             w.startArray(3);
             w.append(9);
             w.appendNull();
             w.appendNull();
             w.endArray();
         }),
         "row 0: unknown row state 9", true},
        {"text in a float field", packetWithRow([](QCborStreamWriter &w) {
             w.startArray(3);
             w.append(0);
             w.append(QLatin1StringView("001"));
             w.append(QLatin1StringView("12,50"));
             w.endArray();
         }),
         "row 0, value of field VRSALDO: expected a float, found text", true},
        {"a packet declaring more rows than its bytes hold", cbor([](QCborStreamWriter &w) {
             writePacketHead(w, {{"CDREDUCONT", "text"}});
             w.startArray(1'000'000);
         }),
         "row list declares 1000000 items", true},
        {"a packet with a third entry", cbor([](QCborStreamWriter &w) {
             w.append(QCborTag(PacketTag));
             w.startMap(3);
             for (int i = 0; i < 6; ++i)
                 w.appendNull();
             w.endMap();
         }),
         "this one 3 entries", true},
    };
    for (const MalformedCase &c : cases) {
        try {
            if (c.asPacket)
                decodePacket(c.bytes);
            else
                decodeVariant(c.bytes);
            ADD_FAILURE() << c.name << ": decoded without complaint";
        } catch (const DecodeError &error) {
            EXPECT_THAT(error.what(), HasSubstr(c.message)) << c.name;
        }
    }
}

TEST(CodecTest, EnforcesTheCallersLimits) {
    EXPECT_NO_THROW(decodeVariant(nested(10), {.maxDepth = 10}));
    EXPECT_THROW(decodeVariant(nested(11), {.maxDepth = 10}), DecodeError);
    EXPECT_THROW(decodeVariant(encodeVariant(QString(100, u'x')), {.maxBytes = 64}), DecodeError);
    const QByteArray fourNulls = encodeVariant(VariantList{VariantList{Variant(), Variant()}, Variant()});
    EXPECT_NO_THROW(decodeVariant(fourNulls, {.maxArrayItems = 4}));
    EXPECT_THROW(decodeVariant(fourNulls, {.maxArrayItems = 3}), DecodeError)
        << "items of nested arrays count together";

    // Rows of null values take far more memory than their bytes: they count, each as four values besides
    // its own, over every packet of the decode.
    const auto nullRows = [](int fields, int rows) {
        return cbor([&](QCborStreamWriter &w) {
            static const char *const names[] = {"CAMPO1", "CAMPO2", "CAMPO3", "CAMPO4"};
            QList<std::pair<const char *, const char *>> defs;
            for (int f = 0; f < fields; ++f)
                defs.append(std::pair<const char *, const char *>(names[f], "text"));
            writePacketHead(w, defs);
            w.startArray(static_cast<quint64>(rows));
            for (int r = 0; r < rows; ++r) {
                w.startArray(static_cast<quint64>(1 + fields));
                w.append(0);
                for (int f = 0; f < fields; ++f)
                    w.append(QCborSimpleType::Null);
                w.endArray();
            }
            w.endArray();
            w.endMap();
        });
    };
    EXPECT_NO_THROW(decodeVariant(nullRows(2, 10), {.maxPacketValues = 60}));
    EXPECT_THROW(decodeVariant(nullRows(2, 10), {.maxPacketValues = 59}), DecodeError);
    EXPECT_THROW(decodeVariant(nullRows(0, 3), {.maxPacketValues = 11}), DecodeError)
        << "a row of no fields counts all the same";
}

TEST(CodecTest, EveryPrefixOfAPacketFailsCleanly) {
    const QByteArray bytes = encodeVariant(VariantList{everyKindPacket(), changeLog()});
    for (qsizetype size = 0; size < bytes.size(); ++size)
        EXPECT_THROW(decodeVariant(bytes.left(size)), DecodeError) << "prefix of " << size << " bytes";
}

TEST(CodecTest, WritesTheSameBytesAsQtsGeneralWriter) {
    // Every head size of each major type, written by both writers through what their interfaces share.
    const auto writeItems = [](auto &w) {
        for (quint64 n : {0ULL, 23ULL, 24ULL, 255ULL, 256ULL, 65535ULL, 65536ULL, 4294967295ULL,
                          4294967296ULL, 18446744073709551615ULL})
            w.append(n);
        for (qint64 n : {qint64(-1), qint64(-24), qint64(-25), qint64(-256), qint64(-257), qint64(-65537),
                         std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()})
            w.append(n);
        for (double d : {0.0, -0.0, 1.5, -1234.56, 1e300, std::numeric_limits<double>::infinity()})
            w.append(d);
        w.appendNull();
        w.append(true);
        w.append(false);
        w.append(
            QStringLiteral("Lançamento em conta corrente com histórico bem mais longo que vinte e três"));
        w.append(QString(300, u'x')); // longer than the room our writer first keeps
        w.startArray(1);
        w.appendNull();
        w.startMap(1);
        w.append(QStringLiteral("k"));
        w.appendNull();
    };
    const QByteArray withQt = cbor([&](QCborStreamWriter &w) {
        writeItems(w);
        w.endMap();
        w.endArray();
        w.append(QCborTag(DateTag));
        w.append(QCborTag(PacketTag));
    });
    CborWriter writer;
    writeItems(writer);
    writer.appendTag(DateTag);
    writer.appendTag(PacketTag);
    const QByteArray ours = writer.take();
    EXPECT_EQ(ours.toHex().toStdString(), withQt.toHex().toStdString());
}

namespace {

// A list long enough to be encoded and read in two halves at once, of every kind of value and row: texts in
// each head size, change-log rows that carry their original values, null rows.
DataPacket longList(int rows) {
    DataPacket packet = everyKindPacket();
    const DataPacket samples = packet;
    for (int i = samples.rowCount(); i < rows; ++i) {
        const PacketRow &sample = samples.row(i % samples.rowCount());
        RecordBuilder builder(samples.fields().size());
        for (int field = 0; field < samples.fields().size(); ++field) {
            const FieldKind kind = samples.fields()[field].kind;
            builder.add(kind, field == 5 && i % 7 == 0 ? Variant(QString(i % 300, u'á'))
                                                       : sample.values.value(field, kind));
        }
        if (i % 5 == 0)
            packet.appendRow(builder.build(), RowState::Modified, sample.values);
        else
            packet.appendRow(builder.build(), i % 3 == 0 ? RowState::Inserted : RowState::Unchanged);
    }
    return packet;
}

// Where the state of row `row` of a list's encoding lies: after the rows before it, under the list's own
// head, and the row's own head of one byte.
qsizetype stateOffset(const DataPacket &list, int row) {
    const auto headBytes = [](qsizetype items) {
        return items < 24 ? 1 : items < 256 ? 2 : items < 65536 ? 3 : 5;
    };
    DataPacket before(list.fields());
    for (int i = 0; i < row; ++i)
        before.appendRow(list.row(i).values, list.row(i).state, list.row(i).original);
    return encodePacket(before).size() - headBytes(row) + headBytes(list.rowCount()) + 1;
}

} // namespace

TEST(CodecTest, ALongListReadInTwoHalvesComesOutAsOneReaderWouldReadIt) {
    constexpr int Rows = 40'000;
    const DataPacket list = longList(Rows);
    const QByteArray bytes = encodePacket(list);
    EXPECT_EQ(decodePacket(bytes), list);

    // A fault names its row and byte wherever it lies, and the first fault is the one told.
    const qsizetype early = stateOffset(list, 100), late = stateOffset(list, 30'000);
    QByteArray broken = bytes;
    broken[late] = 9;
    EXPECT_EQ(refusal(broken),
              QStringLiteral("row 30000: unknown row state 9 (at byte %1)").arg(late + 1).toStdString());
    broken[early] = 9;
    EXPECT_THAT(refusal(broken), HasSubstr("row 100: unknown row state 9"));

    // A row in a form the halves cannot step over (an open length, which other writers may use) is read
    // all the same, one row after another.
    const QByteArray openRow = cbor([&](QCborStreamWriter &w) {
        writePacketHead(w, {{"CDREDUCONT", "text"}, {"VRSALDO", "float"}});
        w.startArray(Rows);
        for (int i = 0; i < Rows; ++i) {
            if (i == 7)
                w.startArray();
            else
                w.startArray(3);
            w.append(0);
            w.append(QString::number(i));
            w.append(i / 100.0);
            w.endArray();
        }
        w.endArray();
        w.endMap();
    });
    const DataPacket read = decodePacket(openRow);
    ASSERT_EQ(read.rowCount(), Rows);
    for (int i : {0, 7, Rows / 2 - 1, Rows / 2, Rows - 1})
        EXPECT_EQ(read.value(i, 0).toText(), QString::number(i));
}
