#include <memory>

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "support/case_name.h"
#include "support/qt_printers.h"
#include "framework/data/data_set_model.h"
#include "framework/data/display_format.h"

using namespace bco;

namespace {

const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);

struct FormatCase {
    const char *name;
    const char *format;
    double value;
    const char *shown;
};

class DisplayFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DisplayFormatTest, ShowsTheNumberAsAnOperatorReadsIt) {
    EXPECT_EQ(FormatFloat(QString::fromUtf8(GetParam().format), GetParam().value, brazil),
              QString::fromUtf8(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(
    DisplayFormat, DisplayFormatTest,
    ::testing::Values(FormatCase{"thousands with a point and decimals with a comma", "#,##0.00", 1234567.891,
                                 "1.234.567,89"},
                      FormatCase{"small amounts keep their leading zero", "#,##0.00", 0.5, "0,50"},
                      FormatCase{"negative amounts lead with a minus", "#,##0.00", -1234.5, "-1.234,50"},
                      FormatCase{"a half cent stored just below rounds up", "#,##0.00", 2.675, "2,68"},
                      FormatCase{"another half cent stored just below", "#,##0.00", 1.005, "1,01"},
                      FormatCase{"an exact half rounds away from zero", "0.00", 0.125, "0,13"},
                      FormatCase{"a negative half rounds away from zero", "0.00", -0.125, "-0,13"},
                      FormatCase{"rounding carries into a new thousands group", "#,##0", 999.5, "1.000"},
                      FormatCase{"a value that rounds to zero has no sign", "#,##0.00", -0.001, "0,00"},
                      FormatCase{"optional digits drop trailing zeros", "#.##", 2.5, "2,5"},
                      FormatCase{"optional digits show nothing before the point", "#.##", 0.25, ",25"},
                      FormatCase{"a negative section shows no minus", "#,##0.00;(#,##0.00)", -5, "(5,00)"},
                      FormatCase{"a zero section", "#,##0.00;-#,##0.00;zero", 0.0001, "zero"},
                      FormatCase{"quoted text around the number", "'R$ '#,##0.00' CR'", 5, "R$ 5,00 CR"},
                      FormatCase{"no format shows every significant digit", "", 1234.5, "1234,5"},
                      FormatCase{"large amounts keep their cents", "#,##0.00", 123456789012.34,
                                 "123.456.789.012,34"}),
    CaseName());

// The entry list as the grid shows it: four visible columns of the many fields.
struct EntryList {
    ClientDataSet cds;
    EntryList() {
        cds.setObjectName(QStringLiteral("cdsLancamentos"));
        cds.AddFields(
            {{.name = "DTMOVICRED", .kind = FieldKind::Date, .label = "Data"},
             {.name = "TIPO", .size = 30, .label = "Tipo"},
             {.name = "DSMOVICRED", .size = 40, .label = "Descrição"},
             {.name = "VRMOVICRED", .kind = FieldKind::Float, .label = "Valor", .displayFormat = "#,##0.00"},
             {.name = "DEBCRED", .size = 1, .hidden = true, .fixedWidth = true},
             {.name = "NRMOVBANC", .size = 10, .hidden = true},
             {.name = "CDAGENCIA", .size = 5, .label = "Agência", .editMask = "9999-9;0; "}});
        DataPacket packet({{"DTMOVICRED", FieldKind::Date},
                           {"TIPO", FieldKind::Text, 30},
                           {"DSMOVICRED", FieldKind::Text, 40},
                           {"VRMOVICRED", FieldKind::Float},
                           {"DEBCRED", FieldKind::Text, 1},
                           {"NRMOVBANC", FieldKind::Text, 10},
                           {"CDAGENCIA", FieldKind::Text, 5}});
        packet.appendValues(
            {QDate(2024, 3, 15), "Tarifa", "Tarifa de manutenção", 1234.5, "D", "0002", "12345"});
        packet.appendValues(
            {QDate(2024, 3, 1), "Depósito", "Depósito em espécie", -0.5, "C", "0001", Variant()});
        cds.SetData(packet);
    }
};

QStringList headers(const QAbstractItemModel &model) {
    QStringList titles;
    for (int c = 0; c < model.columnCount(); ++c)
        titles << model.headerData(c, Qt::Horizontal).toString();
    return titles;
}

QStringList rowTexts(const QAbstractItemModel &model, int row) {
    QStringList texts;
    for (int c = 0; c < model.columnCount(); ++c)
        texts << model.index(row, c).data().toString();
    return texts;
}

TEST(DataSetModelTest, ShowsTheVisibleFieldsWithTheirLabelsAndFormats) {
    EntryList list;
    DataSetModel model(&list.cds, brazil);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(headers(model), (QStringList{"Data", "Tipo", "Descrição", "Valor", "Agência"}));
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(rowTexts(model, 0),
              (QStringList{"15/03/2024", "Tarifa", "Tarifa de manutenção", "1.234,50", "1234-5"}));
    EXPECT_EQ(rowTexts(model, 1),
              (QStringList{"01/03/2024", "Depósito", "Depósito em espécie", "-0,50", ""}));
    EXPECT_EQ(model.index(0, 3).data(Qt::EditRole).toString(), QStringLiteral("1234,5"));
    EXPECT_EQ(model.index(0, 3).data(DataSetModel::ValueRole).toDouble(), 1234.5);
    EXPECT_EQ(model.index(0, 3).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(model.index(0, 1).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
    EXPECT_EQ(model.CurrentRow(), 0);
}

TEST(DataSetModelTest, ExplicitColumnsChooseFieldsTitlesWidthsAndAlignment) {
    EntryList list;
    DataSetModel model(&list.cds, brazil);
    model.SetColumns({{.fieldName = "DEBCRED", .title = "C/D"},
                      {.fieldName = "VRMOVICRED", .width = 105, .titleAlignment = Qt::AlignRight}});
    EXPECT_EQ(headers(model), (QStringList{"C/D", "Valor"}));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(model.Columns()[1].width, 105);
    EXPECT_EQ(rowTexts(model, 1), (QStringList{"C", "-0,50"}));
    EXPECT_EQ(model.ColumnOf(u"vrmovicred"), 1);
}

TEST(DataSetModelTest, ATextHandlerReadsTheRowBeingShown) {
    EntryList list;
    list.cds.FieldByName(u"TIPO").SetOnGetText([](const Field &field, bool displayText) {
        const QString kind = field.DataSet().FieldByName(u"DEBCRED").AsString() == u"C"
                                 ? QStringLiteral("Crédito")
                                 : QStringLiteral("Débito");
        return displayText ? kind + u' ' + field.AsString() : field.AsString();
    });
    DataSetModel model(&list.cds, brazil);
    EXPECT_EQ(model.index(1, 1).data().toString(), QStringLiteral("Crédito Depósito"));
    EXPECT_EQ(model.index(0, 1).data().toString(), QStringLiteral("Débito Tarifa"));
    EXPECT_EQ(model.index(1, 1).data(Qt::EditRole).toString(), QStringLiteral("Depósito"));
    EXPECT_EQ(list.cds.RecNo(), 1) << "showing a row does not move to it";
}

TEST(DataSetModelTest, FollowsInsertsMovesDeletesAndReloads) {
    ClientDataSet cds;
    cds.AddFields({{.name = "NRLINHA", .kind = FieldKind::Integer, .label = "Linha"},
                   {.name = "DSERRO", .size = 100, .label = "Descrição do Erro"}});
    cds.SetIndexFieldNames(QStringLiteral("NRLINHA"));
    cds.CreateDataSet();
    DataSetModel model(&cds, brazil);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    const auto append = [&](int line, const char *text) {
        cds.Append();
        cds.FieldByName(u"NRLINHA").SetAsInteger(line);
        cds.FieldByName(u"DSERRO").SetAsString(QString::fromUtf8(text));
        cds.Post();
    };
    append(7, "sete");
    append(3, "três");
    append(5, "cinco");
    EXPECT_EQ(moved.count(), 2);
    EXPECT_EQ(rowTexts(model, 0), (QStringList{"3", "três"}));
    EXPECT_EQ(rowTexts(model, 2), (QStringList{"7", "sete"}));
    EXPECT_EQ(model.CurrentRow(), 1);
    cds.Insert();
    EXPECT_EQ(model.rowCount(), 4);
    cds.Cancel();
    cds.Delete();
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(rowTexts(model, 1), (QStringList{"7", "sete"}));
    EXPECT_EQ(resets.count(), 0);
    cds.EmptyDataSet();
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    cds.Close();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(DataSetModelTest, MovingToARowMakesItCurrent) {
    EntryList list;
    DataSetModel model(&list.cds, brazil);
    QSignalSpy current(&model, &DataSetModel::CurrentRowChanged);
    int scrolls = 0;
    list.cds.AfterScroll = [&](ClientDataSet &) {
        ++scrolls;
    };
    model.MoveToRow(1);
    EXPECT_EQ(list.cds.FieldByName(u"NRMOVBANC").AsString(), QStringLiteral("0001"));
    EXPECT_EQ(scrolls, 1);
    ASSERT_EQ(current.count(), 1);
    EXPECT_EQ(current.front().front().toInt(), 1);
}

TEST(DataSetModelTest, DisabledControlsRebuildTheModelOnceAtTheEnd) {
    EntryList list;
    DataSetModel model(&list.cds, brazil);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    {
        const ClientDataSet::DisabledControls disabled(list.cds);
        for (int i = 0; i < 3; ++i) {
            list.cds.Append();
            list.cds.FieldByName(u"TIPO").SetAsString(QStringLiteral("Novo"));
            list.cds.Post();
        }
        EXPECT_EQ(model.rowCount(), 2);
        EXPECT_EQ(model.index(1, 1).data().toString(), QStringLiteral("Depósito"));
    }
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(model.rowCount(), 5);
}

TEST(DataSetModelTest, AModelThatOutlivesItsDataSetShowsNothing) {
    auto list = std::make_unique<EntryList>();
    DataSetModel model(&list->cds, brazil);
    list.reset();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_EQ(model.CurrentRow(), -1);
}

TEST(DataSetModelTest, ShowsAHundredThousandRowsWithoutReadingThemFirst) {
    ClientDataSet cds;
    cds.AddField({.name = "NRMOVBANC", .size = 10});
    DataPacket packet({{"NRMOVBANC", FieldKind::Text, 10}});
    packet.reserve(100'000);
    for (int i = 0; i < 100'000; ++i)
        packet.appendRow(RecordBuilder(1).addText(QString::number(i)).build());
    cds.SetData(packet);
    int texts = 0;
    cds.FieldByName(u"NRMOVBANC").SetOnGetText([&](const Field &field, bool) {
        ++texts;
        return field.AsString();
    });
    DataSetModel model(&cds, brazil);
    EXPECT_EQ(model.rowCount(), 100'000);
    EXPECT_EQ(texts, 0);
    EXPECT_EQ(model.index(99'999, 0).data().toString(), QStringLiteral("99999"));
    EXPECT_EQ(texts, 1);
}

} // namespace
