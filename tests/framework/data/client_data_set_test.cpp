#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

#include "support/case_name.h"
#include "support/qt_printers.h"
#include "framework/data/client_data_set.h"
#include "framework/data/data_source.h"

using namespace bco;

namespace {

// Entries of two companies, as the entry list receives them.
DataPacket entriesPacket() {
    DataPacket packet({{"CDEMPRESA", FieldKind::Text, 2},
                       {"NRMOVBANC", FieldKind::Text, 10},
                       {"DSMOVICRED", FieldKind::Text, 40},
                       {"VRMOVICRED", FieldKind::Float},
                       {"DTMOVICRED", FieldKind::Date}});
    packet.appendValues({"01", "0001", "Tarifa bancária", 10.0, QDate(2024, 3, 1)});
    packet.appendValues({"01", "0002", "TARIFA", 25.5, QDate(2024, 3, 2)});
    packet.appendValues({"02", "0002", "Depósito em espécie", 1500.0, QDate(2024, 3, 2)});
    packet.appendValues({"02", "0003", "Ação judicial", 99.99, Variant()});
    packet.appendValues({"02", "0004", Variant(), 0.0, QDate(2024, 3, 5)});
    return packet;
}

struct Entries {
    ClientDataSet cds;
    Entries() {
        cds.setObjectName(QStringLiteral("cdsLancamentos"));
        cds.SetData(entriesPacket());
    }
    QString key() const {
        return cds.FieldByName(u"CDEMPRESA").AsString() + u'/' + cds.FieldByName(u"NRMOVBANC").AsString();
    }
    void locate(const char *number) { ASSERT_TRUE(cds.Locate(QStringLiteral("NRMOVBANC"), number)); }
    void set(const char *field, const Variant &value) {
        cds.FieldByName(QString::fromLatin1(field)).SetValue(value);
    }
};

// One line per change: "state number description", and " was <description>" for a modified row.
QStringList describeDelta(const DataPacket &delta) {
    QStringList lines;
    const int number = delta.fieldIndex(u"NRMOVBANC");
    const int description = delta.fieldIndex(u"DSMOVICRED");
    for (int i = 0; i < delta.rowCount(); ++i) {
        const PacketRow &row = delta.row(i);
        QString line = QString::fromLatin1(rowStateName(row.state)) + u' ' + row.values.text(number) + u' ' +
                       row.values.text(description);
        if (row.original.isValid())
            line += QStringLiteral(" was ") + row.original.text(description);
        lines << line;
    }
    return lines;
}

struct ChangeLogCase {
    const char *name;
    std::function<void(Entries &)> act;
    QStringList delta;
};

class ChangeLogTest : public ::testing::TestWithParam<ChangeLogCase> {};

TEST_P(ChangeLogTest, ReportsEachRowOnce) {
    Entries entries;
    GetParam().act(entries);
    EXPECT_EQ(describeDelta(entries.cds.GetDelta()), GetParam().delta);
    EXPECT_FALSE(entries.cds.Data().isChangeLog());
}

const auto appendNew = [](Entries &e, const char *number, const char *description) {
    e.cds.Append();
    e.set("CDEMPRESA", "01");
    e.set("NRMOVBANC", number);
    e.set("DSMOVICRED", description);
    e.cds.Post();
};

const auto editDescription = [](Entries &e, const char *number, const char *description) {
    e.locate(number);
    e.cds.Edit();
    e.set("DSMOVICRED", description);
    e.cds.Post();
};

INSTANTIATE_TEST_SUITE_P(
    ClientDataSet, ChangeLogTest,
    ::testing::Values(ChangeLogCase{"an untouched data set has no changes", [](Entries &) {}, {}},
                      ChangeLogCase{"insert then edit stays inserted",
                                    [](Entries &e) {
                                        appendNew(e, "0009", "Novo");
                                        editDescription(e, "0009", "Novo corrigido");
                                    },
                                    {"inserted 0009 Novo corrigido"}},
                      ChangeLogCase{"edit of a loaded row keeps the first original",
                                    [](Entries &e) {
                                        editDescription(e, "0002", "Primeira");
                                        editDescription(e, "0002", "Segunda");
                                    },
                                    {"modified 0002 Segunda was TARIFA"}},
                      ChangeLogCase{"delete of an inserted row leaves no trace",
                                    [](Entries &e) {
                                        appendNew(e, "0009", "Novo");
                                        e.cds.Delete();
                                    },
                                    {}},
                      ChangeLogCase{"delete of a modified row reports the original values",
                                    [](Entries &e) {
                                        editDescription(e, "0002", "Alterada");
                                        e.cds.Delete();
                                    },
                                    {"deleted 0002 TARIFA"}},
                      ChangeLogCase{"delete during an edit reports the values before the edit",
                                    [](Entries &e) {
                                        e.locate("0003");
                                        e.cds.Edit();
                                        e.set("DSMOVICRED", "Nunca gravada");
                                        e.cds.Delete();
                                    },
                                    {"deleted 0003 Ação judicial"}},
                      ChangeLogCase{"a post that changes nothing logs nothing",
                                    [](Entries &e) { editDescription(e, "0002", "TARIFA"); },
                                    {}},
                      ChangeLogCase{"cancel restores the row and logs nothing",
                                    [](Entries &e) {
                                        e.locate("0002");
                                        e.cds.Edit();
                                        e.set("DSMOVICRED", "Desistida");
                                        e.cds.Cancel();
                                        EXPECT_EQ(e.cds.FieldByName(u"DSMOVICRED").AsString(),
                                                  QStringLiteral("TARIFA"));
                                    },
                                    {}},
                      ChangeLogCase{"a pending edit is not part of the log yet",
                                    [](Entries &e) {
                                        e.locate("0002");
                                        e.cds.Edit();
                                        e.set("DSMOVICRED", "Pendente");
                                    },
                                    {}},
                      ChangeLogCase{"changes come in the order they were made",
                                    [](Entries &e) {
                                        e.locate("0003");
                                        e.cds.Delete();
                                        appendNew(e, "0009", "Novo");
                                        editDescription(e, "0001", "Tarifa corrigida");
                                    },
                                    {"deleted 0003 Ação judicial", "inserted 0009 Novo",
                                     "modified 0001 Tarifa corrigida was Tarifa bancária"}},
                      ChangeLogCase{"merging accepts every change",
                                    [](Entries &e) {
                                        editDescription(e, "0002", "Aceita");
                                        e.cds.Delete();
                                        appendNew(e, "0009", "Novo");
                                        e.cds.MergeChangeLog();
                                        EXPECT_EQ(e.cds.RecordCount(), 5);
                                    },
                                    {}}),
    CaseName());

TEST(ClientDataSetTest, DataHoldsTheCurrentValuesWithoutThePendingEdit) {
    Entries e;
    editDescription(e, "0002", "Gravada");
    e.locate("0004");
    e.cds.Delete();
    e.locate("0001");
    e.cds.Edit();
    e.set("DSMOVICRED", "Pendente");
    const DataPacket data = e.cds.Data();
    ASSERT_EQ(data.rowCount(), 4);
    EXPECT_EQ(data.value(0, u"DSMOVICRED"), Variant("Tarifa bancária"));
    EXPECT_EQ(data.value(1, u"DSMOVICRED"), Variant("Gravada"));
    EXPECT_EQ(data.row(1).state, RowState::Unchanged);
}

TEST(ClientDataSetTest, EmptyDataSetDropsRowsAndChangeLogButStaysOpen) {
    Entries e;
    editDescription(e, "0002", "Alterada");
    e.cds.Delete();
    e.cds.EmptyDataSet();
    EXPECT_TRUE(e.cds.Active());
    EXPECT_TRUE(e.cds.IsEmpty());
    EXPECT_EQ(e.cds.GetDelta().rowCount(), 0);
    appendNew(e, "0009", "Depois de esvaziar");
    EXPECT_EQ(describeDelta(e.cds.GetDelta()), QStringList{"inserted 0009 Depois de esvaziar"});
}

TEST(ClientDataSetTest, LoadedRowsShareThePacketsRecords) {
    const DataPacket packet = entriesPacket();
    ClientDataSet cds;
    cds.SetData(packet);
    const DataPacket data = cds.Data();
    ASSERT_EQ(data.rowCount(), packet.rowCount());
    for (int i = 0; i < packet.rowCount(); ++i)
        EXPECT_EQ(data.row(i).values.utf8(0).data(), packet.row(i).values.utf8(0).data()) << "row " << i;
}

// ---- loading into declared fields ----

TEST(ClientDataSetTest, DeclaredFieldsTakePacketFieldsByNameWhateverTheirCase) {
    ClientDataSet cds;
    cds.AddFields({{.name = "nrmovbanc", .size = 10},
                   {.name = "VRMOVICRED", .kind = FieldKind::Float},
                   {.name = "IDMARCADO", .size = 1, .fixedWidth = true}});
    DataPacket packet({{"NRMOVBANC", FieldKind::Text, 10},
                       {"VRMOVICRED", FieldKind::Integer},
                       {"VRTOTADIA", FieldKind::Float}});
    packet.appendValues({"0001", 150, 20.5});
    cds.SetData(packet);

    EXPECT_EQ(cds.FieldCount(), 3);
    EXPECT_EQ(cds.FieldByName(u"NRMOVBANC").AsString(), QStringLiteral("0001"));
    EXPECT_EQ(cds.FieldByName(u"VRMOVICRED").Value(), Variant(150.0));
    EXPECT_TRUE(cds.FieldByName(u"IDMARCADO").IsNull());
    EXPECT_EQ(cds.FindField(u"VRTOTADIA"), nullptr);
    // Asked for in any case, and whatever the name was declared in, each name finds its own field.
    EXPECT_EQ(cds.FindField(u"NrMovBanc"), &cds.FieldByName(u"NRMOVBANC"));
    EXPECT_EQ(cds.FindField(u"vrmovicred"), &cds.FieldByName(u"VRMOVICRED"));
    EXPECT_EQ(cds.FindField(u"NRMOVBANC_"), nullptr);

    // What the packet carried beyond the declared fields goes back out with the rows.
    const DataPacket data = cds.Data();
    EXPECT_EQ(data.value(0, u"VRTOTADIA"), Variant(20.5));
    EXPECT_EQ(data.fields()[data.fieldIndex(u"VRMOVICRED")].kind, FieldKind::Float);
    EXPECT_TRUE(data.value(0, u"IDMARCADO").isNull());
}

TEST(ClientDataSetTest, FieldsMadeFromAPacketFollowEachPacket) {
    ClientDataSet cds;
    cds.SetData(entriesPacket());
    EXPECT_EQ(cds.FieldCount(), 5);
    DataPacket other({{"QTCONCILIADO", FieldKind::Float}});
    other.appendValues({3.0});
    cds.SetData(Variant(other));
    EXPECT_EQ(cds.FieldCount(), 1);
    EXPECT_EQ(cds.FindField(u"NRMOVBANC"), nullptr);
    EXPECT_EQ(cds.FieldByName(u"QTCONCILIADO").AsFloat(), 3.0);
    cds.SetData(Variant());
    EXPECT_FALSE(cds.Active());
    EXPECT_EQ(cds.FieldCount(), 0);
}

TEST(ClientDataSetTest, MisuseIsRefusedWithTheNamesInvolved) {
    Entries e;
    const auto message = [](const std::function<void()> &action) {
        try {
            action();
        } catch (const DataSetError &error) {
            return QString::fromUtf8(error.what());
        }
        return QString();
    };
    EXPECT_EQ(
        message([&] { e.set("DSMOVICRED", "x"); }),
        QStringLiteral("cdsLancamentos: cannot assign field 'DSMOVICRED': the data set is not in insert or "
                       "edit state (it is in browse state)"));
    EXPECT_EQ(message([&] { e.cds.FieldByName(u"NOPE"); }),
              QStringLiteral("cdsLancamentos: field 'NOPE' not found"));
    e.cds.Edit();
    EXPECT_TRUE(
        message([&] { e.set("VRMOVICRED", "abc"); }).startsWith(u"cdsLancamentos: cannot assign \"abc\""));
    EXPECT_EQ(e.cds.FieldByName(u"VRMOVICRED").AsFloat(), 10.0);
    e.cds.Cancel();
    e.cds.Close();
    EXPECT_THROW(e.cds.First(), DataSetError);
    EXPECT_THROW(e.cds.Open(), DataSetError);
    EXPECT_THROW(e.cds.CreateDataSet(), DataSetError); // no declared fields
}

TEST(ClientDataSetTest, CreatedDataSetRefusesAPostWithoutARequiredValue) {
    ClientDataSet cds;
    cds.AddFields({{.name = "CDREDUCONT", .size = 3, .required = true}, {.name = "DSCONTCORR"}});
    cds.CreateDataSet();
    cds.Append();
    cds.FieldByName(u"DSCONTCORR").SetAsString(QStringLiteral("Conta"));
    EXPECT_THROW(cds.Post(), DataSetError);
    EXPECT_EQ(cds.State(), DataSetState::Insert);
    cds.FieldByName(u"CDREDUCONT").SetAsString(QStringLiteral("001"));
    cds.Post();
    EXPECT_EQ(cds.RecordCount(), 1);
    EXPECT_THROW(cds.CreateDataSet(), DataSetError); // already open
}

// ---- text width ----

struct WidthCase {
    const char *name;
    FieldSpec declared;
    Variant assigned;
    Variant stored;
};

class TextWidthTest : public ::testing::TestWithParam<WidthCase> {};

TEST_P(TextWidthTest, KeepsWhatTheFieldHolds) {
    ClientDataSet cds;
    cds.AddField(GetParam().declared);
    cds.CreateDataSet();
    cds.Append();
    Field &field = *cds.Fields().front();
    field.SetValue(GetParam().assigned);
    cds.Post();
    EXPECT_EQ(field.Value(), GetParam().stored);
    EXPECT_EQ(cds.Data().value(0, 0), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    ClientDataSet, TextWidthTest,
    ::testing::Values(
        WidthCase{"a longer history is cut to forty characters",
                  {.name = "DSHISMBANC", .size = 40},
                  "Pagamento de tarifa bancária - Tarifa de manutenção",
                  "Pagamento de tarifa bancária - Tarifa de"},
        WidthCase{"accented letters count as one character",
                  {.name = "DSRESUMO", .size = 4},
                  "Ação judicial",
                  "Ação"},
        WidthCase{"a field without a width holds twenty",
                  {.name = "TEXTO"},
                  "123456789012345678901234",
                  "12345678901234567890"},
        WidthCase{"a fixed-width mark is not padded",
                  {.name = "IDMARCADO", .size = 3, .fixedWidth = true},
                  "S",
                  "S"},
        WidthCase{"empty text is stored as null", {.name = "CDFILILANCRE", .size = 4}, "", Variant()},
        WidthCase{"a number becomes its text", {.name = "NRCHEQUE", .size = 6}, 123456.0, "123456"},
        WidthCase{"a letter outside the basic plane is never split",
                  {.name = "SIMBOLO", .size = 2},
                  QString::fromUtf8("a\xF0\x9D\x84\x9E"
                                    "b"),
                  QString::fromUtf8("a\xF0\x9D\x84\x9E")}),
    CaseName());

// ---- Locate ----

struct LocateCase {
    const char *name;
    const char *fields;
    Variant values;
    LocateOptions options;
    bool found;
    const char *currentAfter; // CDEMPRESA/NRMOVBANC of the current row afterwards
};

class LocateTest : public ::testing::TestWithParam<LocateCase> {};

TEST_P(LocateTest, FindsTheFirstMatchOrStays) {
    Entries e;
    e.cds.Last();
    EXPECT_EQ(e.cds.Locate(QString::fromLatin1(GetParam().fields), GetParam().values, GetParam().options),
              GetParam().found);
    EXPECT_EQ(e.key(), QString::fromUtf8(GetParam().currentAfter));
}

constexpr LocateOptions caseInsensitive = LocateOption::CaseInsensitive;
constexpr LocateOptions partialKey = LocateOption::PartialKey;

INSTANTIATE_TEST_SUITE_P(
    ClientDataSet, LocateTest,
    ::testing::Values(
        LocateCase{"the first of equal keys is found", "NRMOVBANC", "0002", {}, true, "01/0002"},
        LocateCase{"text compares with case by default", "DSMOVICRED", "tarifa", {}, false, "02/0004"},
        LocateCase{"case-insensitive finds upper-case text", "DSMOVICRED", "tarifa", caseInsensitive, true,
                   "01/0002"},
        LocateCase{"case-insensitive folds accented letters", "DSMOVICRED", "AÇÃO JUDICIAL", caseInsensitive,
                   true, "02/0003"},
        LocateCase{"partial key matches the start of the text", "DSMOVICRED", "Tarifa b", partialKey, true,
                   "01/0001"},
        LocateCase{"partial key alone still compares case", "DSMOVICRED", "depó", partialKey, false,
                   "02/0004"},
        LocateCase{"partial and case-insensitive together", "DSMOVICRED", "depó",
                   caseInsensitive | partialKey, true, "02/0002"},
        LocateCase{"a longer key is no partial match", "NRMOVBANC", "00011", partialKey, false, "02/0004"},
        LocateCase{"several fields with blanks between the names", "CDEMPRESA; NRMOVBANC",
                   Variant(VariantList{"02", "0002"}), caseInsensitive, true, "02/0002"},
        LocateCase{"an integer key finds a float value", "VRMOVICRED", 1500, {}, true, "02/0002"},
        LocateCase{"a date key", "DTMOVICRED", QDate(2024, 3, 2), {}, true, "01/0002"},
        LocateCase{"a null key finds an empty field", "DSMOVICRED", Variant(), {}, true, "02/0004"},
        LocateCase{"a null key finds a null date", "DTMOVICRED", Variant(), {}, true, "02/0003"},
        LocateCase{"a key that is not a number matches nothing", "VRMOVICRED", "abc", {}, false, "02/0004"},
        LocateCase{"no match keeps the current row", "NRMOVBANC", "9999", caseInsensitive, false, "02/0004"}),
    CaseName());

TEST(ClientDataSetTest, LocateRefusesValuesThatDoNotFitTheFields) {
    Entries e;
    EXPECT_THROW(e.cds.Locate(QStringLiteral("CDEMPRESA;NRMOVBANC"), "02"), DataSetError);
    EXPECT_THROW(e.cds.Locate(QStringLiteral("NAOEXISTE"), "02"), DataSetError);
}

// ---- index ----

ClientDataSet *makeErrorList(ClientDataSet &cds) {
    cds.AddFields({{.name = "NRLINHA", .kind = FieldKind::Integer, .label = "Linha"},
                   {.name = "DSERRO", .size = 100, .label = "Descrição do Erro"}});
    cds.AddIndex(QStringLiteral("cdsErroIndex1"), QStringLiteral("NRLINHA"));
    cds.SetIndexName(QStringLiteral("cdsErroIndex1"));
    cds.CreateDataSet();
    return &cds;
}

void appendError(ClientDataSet &cds, int line, const char *text) {
    cds.Append();
    cds.FieldByName(u"NRLINHA").SetAsInteger(line);
    cds.FieldByName(u"DSERRO").SetAsString(QString::fromUtf8(text));
    cds.Post();
}

QStringList rowsInOrder(ClientDataSet &cds) {
    QStringList rows;
    for (cds.First(); !cds.Eof(); cds.Next())
        rows << cds.FieldByName(u"NRLINHA").AsString() + u' ' + cds.FieldByName(u"DSERRO").AsString();
    return rows;
}

TEST(ClientDataSetIndexTest, KeepsLineOrderWithTiesInArrivalOrder) {
    ClientDataSet cds;
    makeErrorList(cds);
    appendError(cds, 5, "conta");
    appendError(cds, 2, "data");
    appendError(cds, 5, "tipo");
    EXPECT_EQ(cds.RecNo(), 3) << "a posted row moves to its place and stays current";
    appendError(cds, 1, "valor");
    EXPECT_EQ(rowsInOrder(cds), (QStringList{"1 valor", "2 data", "5 conta", "5 tipo"}));
}

TEST(ClientDataSetIndexTest, AnEditedKeyMovesTheRowAndDroppingTheIndexRestoresArrival) {
    ClientDataSet cds;
    makeErrorList(cds);
    appendError(cds, 3, "a");
    appendError(cds, 1, "b");
    appendError(cds, 2, "c");
    cds.First();
    cds.Edit();
    cds.FieldByName(u"NRLINHA").SetAsInteger(9);
    cds.Post();
    EXPECT_EQ(cds.RecNo(), 3);
    EXPECT_EQ(cds.FieldByName(u"DSERRO").AsString(), QStringLiteral("b"));
    EXPECT_EQ(rowsInOrder(cds), (QStringList{"2 c", "3 a", "9 b"}));
    cds.SetIndexFieldNames(QString());
    EXPECT_EQ(rowsInOrder(cds), (QStringList{"3 a", "9 b", "2 c"}));
}

TEST(ClientDataSetIndexTest, ANamedIndexOrdersLoadedRowsAndKeepsTheCurrentRow) {
    ClientDataSet cds;
    cds.AddFields({{.name = "CDRESULT", .size = 3}, {.name = "IDTPRESULT", .size = 2}});
    cds.AddIndex(QStringLiteral("idxResultado"), QStringLiteral("IDTPRESULT"));
    DataPacket packet({{"CDRESULT", FieldKind::Text, 3}, {"IDTPRESULT", FieldKind::Text, 2}});
    packet.appendValues({"MSG", "02"});
    packet.appendValues({"BOL", Variant()});
    packet.appendValues({"LAN", "01"});
    cds.SetData(packet);
    cds.Last();
    cds.SetIndexName(QStringLiteral("IDXRESULTADO"));
    EXPECT_EQ(cds.FieldByName(u"CDRESULT").AsString(), QStringLiteral("LAN"));
    QStringList order;
    for (cds.First(); !cds.Eof(); cds.Next())
        order << cds.FieldByName(u"CDRESULT").AsString();
    EXPECT_EQ(order, (QStringList{"BOL", "LAN", "MSG"}));
    EXPECT_THROW(cds.SetIndexName(QStringLiteral("idxNenhum")), DataSetError);
    EXPECT_THROW(cds.SetIndexFieldNames(QStringLiteral("NAOEXISTE")), DataSetError);
    EXPECT_EQ(cds.IndexName(), QStringLiteral("IDXRESULTADO"));
}

// ---- calculated fields ----

struct Advances {
    ClientDataSet cds;
    int calculations = 0;
    Advances() {
        cds.AddFields({{.name = "IDMARCADO", .size = 1, .fixedWidth = true},
                       {.name = "VRORIGINAL", .kind = FieldKind::Float},
                       {.name = "VRTOTADIA", .kind = FieldKind::Float},
                       {.name = "VRTOTDISP", .kind = FieldKind::Float, .calculated = true}});
        cds.OnCalcFields = [this](ClientDataSet &dataSet) {
            ++calculations;
            dataSet.FieldByName(u"VRTOTDISP")
                .SetAsFloat(dataSet.FieldByName(u"VRORIGINAL").AsFloat() -
                            dataSet.FieldByName(u"VRTOTADIA").AsFloat());
        };
        DataPacket packet({{"IDMARCADO", FieldKind::Text, 1},
                           {"VRORIGINAL", FieldKind::Float},
                           {"VRTOTADIA", FieldKind::Float}});
        packet.appendValues({"N", 150.0, 50.0});
        packet.appendValues({"N", 80.0, 0.0});
        packet.appendValues({"N", 10.0, 10.0});
        cds.SetData(packet);
    }
    double available() { return cds.FieldByName(u"VRTOTDISP").AsFloat(); }
};

TEST(CalculatedFieldTest, IsFilledOnEveryLoadedRow) {
    Advances a;
    QList<double> available;
    for (a.cds.First(); !a.cds.Eof(); a.cds.Next())
        available << a.available();
    EXPECT_EQ(available, (QList<double>{100.0, 80.0, 0.0}));
    EXPECT_EQ(a.calculations, 3) << "calculated once per row, not per move";
}

TEST(CalculatedFieldTest, FollowsTheEditedValuesAndThePost) {
    Advances a;
    a.cds.Edit();
    a.cds.FieldByName(u"VRTOTADIA").SetAsFloat(120.0);
    EXPECT_EQ(a.available(), 30.0);
    a.cds.Post();
    EXPECT_EQ(a.available(), 30.0);
    a.cds.Edit();
    a.cds.FieldByName(u"VRTOTADIA").SetAsFloat(0.0);
    a.cds.Cancel();
    EXPECT_EQ(a.available(), 30.0);
}

TEST(CalculatedFieldTest, ManyValuesAssignedAtOnceGiveWhatAssigningEachGives) {
    // A text cut to its width, a number given as text, a field named twice, a calculated field among them.
    Advances one, many;
    const auto field = [](Advances &a, const char *name) {
        return &a.cds.FieldByName(QString::fromLatin1(name));
    };
    const std::vector<std::pair<const char *, Variant>> values = {{"IDMARCADO", "SIM"},
                                                                  {"VRORIGINAL", "200"},
                                                                  {"VRTOTADIA", 20.0},
                                                                  {"VRTOTADIA", 25.0},
                                                                  {"VRTOTDISP", 1.0}};
    std::vector<std::pair<Field *, Variant>> fields;
    one.cds.Append();
    many.cds.Append();
    for (const auto &[name, value] : values) {
        field(one, name)->SetValue(value);
        fields.emplace_back(field(many, name), value);
    }
    const int calculationsBefore = many.calculations;
    many.cds.SetValues(fields);
    EXPECT_EQ(many.calculations, calculationsBefore + 1) << "calculated once for all the values";
    EXPECT_TRUE(many.cds.Modified());
    for (Advances *a : {&one, &many})
        a->cds.Post();
    EXPECT_EQ(many.cds.GetDelta(), one.cds.GetDelta());
    EXPECT_EQ(many.available(), one.available());

    many.cds.First();
    EXPECT_THROW(many.cds.SetValues({{field(many, "VRTOTADIA"), 1.0}}), std::exception)
        << "a row not being edited takes no value";
    many.cds.Edit();
    EXPECT_THROW(many.cds.SetValues({{field(one, "VRTOTADIA"), 1.0}}), std::exception)
        << "another data set's field";
}

TEST(CalculatedFieldTest, IsNeverStored) {
    Advances a;
    a.cds.Edit();
    a.cds.FieldByName(u"IDMARCADO").SetAsString(QStringLiteral("S"));
    a.cds.Post();
    EXPECT_EQ(a.cds.Data().fieldIndex(u"VRTOTDISP"), -1);
    EXPECT_EQ(a.cds.GetDelta().fieldIndex(u"VRTOTDISP"), -1);
    EXPECT_EQ(a.cds.GetDelta().rowCount(), 1);
}

TEST(CalculatedFieldTest, OnlyCalculatedFieldsMayBeAssignedWhileCalculating) {
    Advances a;
    a.cds.OnCalcFields = [](ClientDataSet &dataSet) {
        dataSet.FieldByName(u"VRTOTADIA").SetAsFloat(1.0);
    };
    a.cds.Edit();
    EXPECT_THROW(a.cds.FieldByName(u"VRORIGINAL").SetAsFloat(1.0), DataSetError);
    EXPECT_EQ(a.cds.State(), DataSetState::Edit);
}

// ---- events ----

struct Logged {
    ClientDataSet cds;
    QStringList log;
    Logged() {
        cds.SetData(entriesPacket());
        const auto record = [this](const char *name) {
            return [this, name](ClientDataSet &) {
                log << QString::fromLatin1(name);
            };
        };
        cds.BeforeInsert = record("BeforeInsert");
        cds.AfterInsert = record("AfterInsert");
        cds.BeforeEdit = record("BeforeEdit");
        cds.AfterEdit = record("AfterEdit");
        cds.BeforePost = record("BeforePost");
        cds.AfterPost = record("AfterPost");
        cds.BeforeCancel = record("BeforeCancel");
        cds.AfterCancel = record("AfterCancel");
        cds.BeforeDelete = record("BeforeDelete");
        cds.AfterDelete = record("AfterDelete");
        cds.BeforeScroll = record("BeforeScroll");
        cds.AfterScroll = record("AfterScroll");
        cds.OnNewRecord = record("OnNewRecord");
    }
};

struct EventCase {
    const char *name;
    std::function<void(ClientDataSet &)> act;
    QStringList events;
};

class EventOrderTest : public ::testing::TestWithParam<EventCase> {};

TEST_P(EventOrderTest, RunsTheEventsInOrder) {
    Logged l;
    GetParam().act(l.cds);
    EXPECT_EQ(l.log, GetParam().events);
}

const auto assignDescription = [](ClientDataSet &cds) {
    cds.FieldByName(u"DSMOVICRED").SetAsString(QStringLiteral("x"));
};

INSTANTIATE_TEST_SUITE_P(
    ClientDataSet, EventOrderTest,
    ::testing::Values(EventCase{"append and post",
                                [](ClientDataSet &cds) {
                                    cds.Append();
                                    assignDescription(cds);
                                    cds.Post();
                                },
                                {"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll",
                                 "BeforePost", "AfterPost"}},
                      EventCase{"edit and cancel",
                                [](ClientDataSet &cds) {
                                    cds.Edit();
                                    cds.Cancel();
                                },
                                {"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel"}},
                      EventCase{"moving posts an assigned edit first",
                                [](ClientDataSet &cds) {
                                    cds.Edit();
                                    assignDescription(cds);
                                    cds.Next();
                                },
                                {"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost", "BeforeScroll",
                                 "AfterScroll"}},
                      EventCase{"moving cancels an untouched insert",
                                [](ClientDataSet &cds) {
                                    cds.Insert();
                                    cds.First();
                                    EXPECT_EQ(cds.RecordCount(), 5);
                                },
                                {"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll",
                                 "BeforeCancel", "AfterCancel", "BeforeScroll", "AfterScroll"}},
                      EventCase{"delete",
                                [](ClientDataSet &cds) { cds.Delete(); },
                                {"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}},
                      EventCase{"a failed locate only announces the scroll",
                                [](ClientDataSet &cds) { cds.Locate(QStringLiteral("NRMOVBANC"), "9999"); },
                                {"BeforeScroll"}},
                      EventCase{"next at the last row still runs the scroll events",
                                [](ClientDataSet &cds) {
                                    cds.SetRecNo(5);
                                    cds.Next();
                                    EXPECT_TRUE(cds.Eof());
                                },
                                {"BeforeScroll", "AfterScroll", "BeforeScroll", "AfterScroll"}}),
    CaseName());

struct Refusal {};

TEST(ClientDataSetEventTest, ARefusedPostLeavesTheRowInEditWithTheRefusedValues) {
    Logged l;
    l.cds.BeforePost = [](ClientDataSet &) {
        throw Refusal();
    };
    l.cds.Edit();
    l.cds.FieldByName(u"VRMOVICRED").SetAsFloat(999.0);
    EXPECT_THROW(l.cds.Post(), Refusal);
    EXPECT_EQ(l.cds.State(), DataSetState::Edit);
    EXPECT_EQ(l.cds.FieldByName(u"VRMOVICRED").AsFloat(), 999.0);
    EXPECT_EQ(l.cds.FieldByName(u"VRMOVICRED").OldValue(), Variant(10.0));
    EXPECT_THROW(l.cds.Next(), Refusal) << "a move cannot leave a refused row behind";
    EXPECT_EQ(l.cds.RecNo(), 1);
    l.cds.Cancel();
    EXPECT_EQ(l.cds.FieldByName(u"VRMOVICRED").AsFloat(), 10.0);
    EXPECT_EQ(l.cds.GetDelta().rowCount(), 0);
}

TEST(ClientDataSetEventTest, AbortedOperationsLeaveTheDataSetAsItWas) {
    struct Case {
        const char *name;
        DataSetEvent ClientDataSet::*event;
        std::function<void(ClientDataSet &)> act;
    };
    const Case cases[] = {
        {"before insert", &ClientDataSet::BeforeInsert,
         [](ClientDataSet &cds) {
             cds.Append();
         }},
        {"new record", &ClientDataSet::OnNewRecord,
         [](ClientDataSet &cds) {
             cds.Insert();
         }},
        {"before edit", &ClientDataSet::BeforeEdit,
         [](ClientDataSet &cds) {
             cds.Edit();
         }},
        {"before delete", &ClientDataSet::BeforeDelete,
         [](ClientDataSet &cds) {
             cds.Delete();
         }},
        {"before scroll", &ClientDataSet::BeforeScroll,
         [](ClientDataSet &cds) {
             cds.Last();
         }},
    };
    for (const Case &c : cases) {
        Entries e;
        e.cds.SetRecNo(2);
        e.cds.*c.event = [](ClientDataSet &) {
            throw Refusal();
        };
        EXPECT_THROW(c.act(e.cds), Refusal) << c.name;
        EXPECT_EQ(e.cds.State(), DataSetState::Browse) << c.name;
        EXPECT_EQ(e.cds.RecordCount(), 5) << c.name;
        EXPECT_EQ(e.key(), QStringLiteral("01/0002")) << c.name;
        EXPECT_EQ(e.cds.GetDelta().rowCount(), 0) << c.name;
    }
}

// ---- moving ----

TEST(ClientDataSetTest, MovesFromFirstToLastAndBack) {
    Entries e;
    EXPECT_TRUE(e.cds.Bof());
    EXPECT_FALSE(e.cds.Eof());
    int visited = 0;
    for (e.cds.First(); !e.cds.Eof(); e.cds.Next())
        ++visited;
    EXPECT_EQ(visited, 5);
    EXPECT_EQ(e.cds.RecNo(), 5);
    int back = 0;
    for (e.cds.Last(); !e.cds.Bof(); e.cds.Prior())
        ++back;
    EXPECT_EQ(back, 5);
    EXPECT_EQ(e.cds.RecNo(), 1);
}

TEST(ClientDataSetTest, AnEmptyDataSetIsAtBothEndsAndEditInserts) {
    ClientDataSet cds;
    cds.AddField({.name = "CDFILIAL", .size = 4});
    cds.CreateDataSet();
    EXPECT_TRUE(cds.IsEmpty());
    EXPECT_TRUE(cds.Bof());
    EXPECT_TRUE(cds.Eof());
    EXPECT_EQ(cds.RecNo(), 0);
    EXPECT_TRUE(cds.FieldByName(u"CDFILIAL").IsNull());
    EXPECT_THROW(cds.Delete(), DataSetError);
    cds.Edit();
    EXPECT_EQ(cds.State(), DataSetState::Insert);
}

TEST(ClientDataSetTest, InsertGoesBeforeTheCurrentRowAndCancelGoesBackToIt) {
    Entries e;
    e.cds.SetRecNo(3);
    e.cds.Insert();
    EXPECT_EQ(e.cds.RecNo(), 3);
    EXPECT_EQ(e.cds.RecordCount(), 6);
    e.cds.Cancel();
    EXPECT_EQ(e.key(), QStringLiteral("02/0002"));
    e.cds.Append();
    EXPECT_EQ(e.cds.RecNo(), 6);
    e.cds.Cancel();
    EXPECT_EQ(e.key(), QStringLiteral("02/0002"));
}

TEST(ClientDataSetTest, MovingToARowDuringAnInsertReachesTheRowThatWasShown) {
    Entries e;
    e.cds.SetRecNo(2);
    e.cds.Insert();
    e.cds.SetRecNo(6); // the last entry, shown after the new row
    EXPECT_EQ(e.cds.RecordCount(), 5);
    EXPECT_EQ(e.key(), QStringLiteral("02/0004"));

    ClientDataSet lines;
    makeErrorList(lines);
    appendError(lines, 1, "a");
    appendError(lines, 2, "b");
    appendError(lines, 3, "c");
    lines.First();
    lines.Edit();
    lines.FieldByName(u"NRLINHA").SetAsInteger(9); // posted on the move, it goes to the end
    lines.SetRecNo(2);
    EXPECT_EQ(lines.FieldByName(u"DSERRO").AsString(), QStringLiteral("b"));
}

TEST(ClientDataSetTest, OldValueIsTheLoadedValue) {
    Entries e;
    Field &description = e.cds.FieldByName(u"DSMOVICRED");
    editDescription(e, "0001", "Primeira");
    editDescription(e, "0001", "Segunda");
    EXPECT_EQ(description.OldValue(), Variant("Tarifa bancária"));
    appendNew(e, "0009", "Nova");
    EXPECT_TRUE(description.OldValue().isNull());
}

// ---- controls ----

struct Heard {
    int rowChanges = 0;
    QStringList fieldChanges;
    int stateChanges = 0;
    explicit Heard(DataSource &source) {
        QObject::connect(&source, &DataSource::DataChange, [this](const Field *field) {
            if (field)
                fieldChanges << field->FieldName();
            else
                ++rowChanges;
        });
        QObject::connect(&source, &DataSource::StateChange, [this] { ++stateChanges; });
    }
};

TEST(DataSourceTest, TellsOfRowsValuesAndStates) {
    Entries e;
    DataSource source(&e.cds);
    Heard heard(source);
    e.cds.Next();
    EXPECT_EQ(heard.rowChanges, 1);
    e.cds.Edit();
    EXPECT_EQ(heard.stateChanges, 1);
    e.set("DSMOVICRED", "x");
    EXPECT_EQ(heard.fieldChanges, QStringList{"DSMOVICRED"});
    e.cds.Post();
    EXPECT_EQ(heard.stateChanges, 2);
    EXPECT_EQ(heard.rowChanges, 2);
    source.SetEnabled(false);
    e.cds.First();
    EXPECT_EQ(heard.rowChanges, 2);
    EXPECT_EQ(source.State(), DataSetState::Inactive);
}

TEST(DataSourceTest, DisabledControlsAreToldOnceWhenTheLastEnableComes) {
    Entries e;
    DataSource source(&e.cds);
    Heard heard(source);
    int scrolls = 0;
    e.cds.AfterScroll = [&](ClientDataSet &) {
        ++scrolls;
    };
    e.cds.DisableControls();
    {
        const ClientDataSet::DisabledControls inner(e.cds);
        for (e.cds.First(); !e.cds.Eof(); e.cds.Next()) {
            e.cds.Edit();
            e.set("DSMOVICRED", "y");
            e.cds.Post();
        }
    }
    EXPECT_EQ(heard.rowChanges, 0);
    EXPECT_EQ(heard.stateChanges, 0);
    EXPECT_TRUE(heard.fieldChanges.isEmpty());
    EXPECT_EQ(scrolls, 6) << "events still run";
    e.cds.EnableControls();
    EXPECT_EQ(heard.rowChanges, 1);
    EXPECT_EQ(heard.stateChanges, 0) << "the state is what it was when disabled";
    e.cds.EnableControls();
    EXPECT_EQ(heard.rowChanges, 1) << "an extra enable says nothing";
}

} // namespace
