#include <vector>

#include <gtest/gtest.h>

#include "framework/data/variant.h"

using namespace bco;

namespace {

DataPacket accountsPacket() {
    DataPacket packet({{"CDREDUCONT", FieldKind::Text, 3, true},
                       {"VRSALDO", FieldKind::Float},
                       {"DTABERTURA", FieldKind::Date},
                       {"QTMOV", FieldKind::Integer},
                       {"IDATIVA", FieldKind::Boolean}});
    packet.appendValues({"001", 1234.56, QDate(2024, 3, 15), 7, true});
    packet.appendValues({"002", Variant(), Variant(), Variant(), false});
    return packet;
}

} // namespace

TEST(RecordTest, KeepsEveryKindAndTellsNullFromEmpty) {
    const Record record = RecordBuilder(6)
                              .addText(u"Lançamento")
                              .addText(u"")
                              .addNull()
                              .addReal(-0.01)
                              .addDate(QDate(1899, 12, 30))
                              .addInteger(-9'000'000'000'000LL)
                              .build();
    EXPECT_EQ(record.text(0), QStringLiteral("Lançamento"));
    EXPECT_FALSE(record.isNull(1));
    EXPECT_EQ(record.text(1), QString());
    EXPECT_TRUE(record.isNull(2));
    EXPECT_DOUBLE_EQ(record.real(3), -0.01);
    EXPECT_EQ(record.date(4), QDate(1899, 12, 30));
    EXPECT_EQ(record.integer(5), -9'000'000'000'000LL);
}

TEST(RecordTest, ReplacingOneValueLeavesTheOthersAndTheOriginal) {
    const Record before = RecordBuilder(3).addText(u"A").addReal(1.5).addNull().build();
    const Record after = before.with(2, FieldKind::Date, QDate(2024, 2, 29));
    EXPECT_TRUE(before.isNull(2));
    EXPECT_EQ(after.text(0), QStringLiteral("A"));
    EXPECT_DOUBLE_EQ(after.real(1), 1.5);
    EXPECT_EQ(after.date(2), QDate(2024, 2, 29));
}

TEST(RecordTest, RecordsBuiltInABatchOutliveTheirBuilderAndOneAnother) {
    // Texts of growing length fill several blocks, the last one longer than a block on its own.
    const auto textOf = [](int i) {
        return i == 0 ? QString(RecordBuilder::BatchBlockBytes + 1, u'x')
                      : QString(i % 300, QChar(u'a' + i % 26));
    };
    constexpr int Count = 20'000;
    // Blocks doubling, sized for what is announced, and sized for far more than comes.
    for (const qint64 expected : {qint64(0), qint64(Count), qint64(1) << 40}) {
        std::vector<Record> kept;
        {
            RecordBuilder batch(2, RecordBuilder::Storage::Batch);
            batch.expectRecords(expected);
            std::vector<Record> all;
            for (int i = Count - 1; i >= 0; --i)
                all.push_back(batch.addText(textOf(i)).addInteger(i).build());
            for (size_t i = 0; i < all.size(); i += 97)
                kept.push_back(all[i]);
            kept.push_back(all.back());
        }
        for (const Record &record : kept) {
            const int i = static_cast<int>(record.integer(1));
            ASSERT_EQ(record.text(0), textOf(i)) << "record " << i << ", expecting " << expected;
            EXPECT_EQ(record, RecordBuilder(2).addText(textOf(i)).addInteger(i).build()) << "record " << i;
            EXPECT_EQ(record.with(1, FieldKind::Integer, -i).integer(1), -i);
        }
    }
}

TEST(RecordTest, RefusesTheWrongNumberOfValues) {
    RecordBuilder builder(2);
    builder.addNull();
    EXPECT_THROW(builder.build(), std::logic_error);
    builder.addNull();
    EXPECT_THROW(builder.addNull(), std::logic_error);
}

TEST(DataPacketTest, FindsFieldsWithoutRegardToCase) {
    const DataPacket packet = accountsPacket();
    EXPECT_EQ(packet.fieldIndex(u"vrsaldo"), 1);
    EXPECT_EQ(packet.fieldIndex(u"NOPE"), -1);
    EXPECT_EQ(packet.value(0, u"cdreducont"), Variant("001"));
    EXPECT_TRUE(packet.value(1, u"VRSALDO").isNull());
}

TEST(DataPacketTest, RefusesARowThatDoesNotMatchItsFields) {
    DataPacket packet = accountsPacket();
    EXPECT_THROW(packet.appendValues({"003"}), std::invalid_argument);
    EXPECT_THROW(packet.appendRow(RecordBuilder(1).addNull().build()), std::invalid_argument);
    EXPECT_EQ(packet.rowCount(), 2);
}

TEST(DataPacketTest, CopiesShareUntilOneChanges) {
    const DataPacket original = accountsPacket();
    DataPacket copy = original;
    copy.appendValues({"003", 0.0, Variant(), 0, false});
    EXPECT_EQ(original.rowCount(), 2);
    EXPECT_EQ(copy.rowCount(), 3);
    EXPECT_FALSE(original == copy);
}

TEST(VariantTest, ConvertsAsTheFormsReadValues) {
    EXPECT_EQ(Variant().toText(), QString());
    EXPECT_EQ(Variant().toFloat(), 0.0);
    EXPECT_EQ(Variant(" 42 ").toInt(), 42);
    EXPECT_DOUBLE_EQ(Variant("12.5").toFloat(), 12.5);
    EXPECT_EQ(Variant("2024-03-15").toDate(), QDate(2024, 3, 15));
    EXPECT_EQ(Variant(QDate()).type(), VariantType::Null);
    EXPECT_THROW(Variant("abc").toDate(), std::invalid_argument);
    EXPECT_THROW(Variant(QDate(2024, 1, 1)).toFloat(), std::invalid_argument);
}

TEST(VariantTest, ArraysAreCopiedOnlyWhenChanged) {
    const Variant original(VariantList{1, "a"});
    Variant copy = original;
    copy.array().push_back(QDate(2024, 1, 1));
    EXPECT_EQ(original.array().size(), 2u);
    EXPECT_EQ(copy.array().size(), 3u);
    EXPECT_EQ(describe(copy), QStringLiteral("[1, \"a\", 2024-01-01]"));
}
