#include <functional>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "server_test_support.h"
#include "statement_model/statement_calls.h"
#include "statement_model/statement_packets.h"
#include "support/qt_printers.h"

namespace bco::server::testing {
namespace {

// Days of the matching cases: far from the demo's movements, so that only the case's own are open then.
const QDate matchDay{2031, 6, 16};

// A line of a statement as the client sends it.
struct Line {
    QString id;
    int day = 0; // from matchDay, or from the demo date in the reconciliation tests
    char kind = 'C';
    double value = 0;
    QString document{};
};

// A statement of `lines` (days from `base`) as a reader answers it: of no account named, without balances,
// over the days of its lines and `base`, its content key the hex digit `key` repeated.
BankStatement statementOf(const QString &key, const QList<Line> &lines, QDate base) {
    BankStatement statement;
    statement.firstDay = statement.lastDay = base;
    statement.contentKey = key.repeated(64 / key.size()).toLatin1();
    int fileLine = 10;
    for (const Line &line : lines) {
        const QDate day = base.addDays(line.day);
        statement.firstDay = std::min(statement.firstDay, day);
        statement.lastDay = std::max(statement.lastDay, day);
        statement.lines.append({.bankId = line.id,
                                .date = day,
                                .kind = QChar::fromLatin1(line.kind),
                                .cents = qRound64(line.value * 100),
                                .document = line.document,
                                .description = QStringLiteral("LINHA %1").arg(line.id),
                                .fileLine = fileLine++});
    }
    return statement;
}

class StatementTest : public DemoServerTest {
public:
    // Stores a statement of `lines` (days from `base`) in account 001 under the content key `key` (one hex
    // digit, repeated); answers the call's outcome.
    CallOutcome store(const QString &key, const QList<Line> &lines, QDate base, const QString &token = {},
                      const QString &account = QStringLiteral("001")) {
        const StatementPackets sent = statementPackets(statementOf(key, lines, base));
        return server->callAs(token.isEmpty() ? server->demoToken() : token,
                              QStringLiteral("SetGravaExtrato"), {account, sent.header, sent.lines});
    }
    QString stored(const QString &key, const QList<Line> &lines, QDate base) {
        const CallOutcome outcome = store(key, lines, base);
        EXPECT_TRUE(outcome.ok()) << outcome.error.toStdString();
        return outcome.ok() ? field(outcome.result.packet(), 0, "CDSEQUEXBA").toText() : QString();
    }

    // A movement of account 001 written as another program would, named M<n>.
    void movement(int n, int day, char kind, qint64 cents, const QString &document = {},
                  const QString &reverses = {}) {
        sql().execute(
            QStringLiteral("INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, IDMOVBANC, "
                           "NRDOCMBANC, DSHISMBANC, VRMOVBANC, IDORIGMBANC, NRMOVBANCORIG) VALUES ('001', "
                           ":numero, :data, :natureza, :documento, :historico, :valor, 'C', :origem)"),
            {{QStringLiteral("numero"), movementNumber(n)},
             {QStringLiteral("data"), matchDay.addDays(day)},
             {QStringLiteral("natureza"), QString(QChar::fromLatin1(kind))},
             {QStringLiteral("documento"), document.isEmpty() ? QVariant() : QVariant(document)},
             {QStringLiteral("historico"), QStringLiteral("M%1").arg(n)},
             {QStringLiteral("valor"), cents},
             {QStringLiteral("origem"), reverses.isEmpty() ? QVariant() : QVariant(reverses)}});
    }
    static QString movementNumber(int n) {
        return QStringLiteral("99000000%1").arg(n, 2, 10, QLatin1Char('0'));
    }

    // The proposals as "line: proposals", each proposal its movements (M<n>) joined by '+', '*' marking the
    // decided one, proposals of a line in their rank's order, separated by blanks.
    QStringList proposals(const QString &statement, const Variant &window = Variant()) {
        VariantList args{QStringLiteral("001"), statement};
        if (!window.isNull())
            args.push_back(window);
        const DataPacket rows = server->answer(QStringLiteral("GetSugestoesConciliacao"), args).packet();
        std::map<QString, std::map<qint64, QStringList>> byLine; // line -> rank -> movements
        std::set<std::pair<QString, qint64>> decided;
        for (int row = 0; row < rows.rowCount(); ++row) {
            const QString line = field(rows, row, "NRSEQMOVREBA").toText();
            const qint64 rank = field(rows, row, "NRPROPOSTA").toInt();
            byLine[line][rank].append(field(rows, row, "DSHISMBANC").toText());
            if (field(rows, row, "IDDECIDIDA").toText() == u"S")
                decided.insert({line, rank});
        }
        QStringList text;
        for (const auto &[line, ranked] : byLine) {
            QStringList shown;
            for (const auto &[rank, movements] : ranked)
                shown.append((decided.count({line, rank}) ? QStringLiteral("*") : QString()) +
                             movements.join(u'+'));
            text.append(QStringLiteral("L%1: %2").arg(line.toInt()).arg(shown.join(u' ')));
        }
        return text;
    }
};

struct Movement {
    int n, day;
    char kind;
    qint64 cents;
    QString document{};
    int reverses = 0; // the movement this one reverses
};

struct MatchCase {
    const char *name;
    QList<Movement> movements;
    QList<Line> lines; // ids L1, L2... in order: the statement numbers them 1, 2...
    QStringList expected;
    Variant window{};
};

const MatchCase matchCases[] = {
    {"one movement of the line's kind and value is the one decided proposal",
     {{1, 0, 'C', 10000}, {2, 0, 'D', 10000}, {3, 0, 'C', 10001}},
     {{"L1", 0, 'C', 100.00}},
     {"L1: *M1"}},
    {"two equal values on one day are both offered, none decided",
     {{1, 0, 'C', 5000}, {2, 0, 'C', 5000}},
     {{"L1", 0, 'C', 50.00}, {"L2", 0, 'C', 50.00}},
     {"L1: M1 M2", "L2: M1 M2"}},
    {"of two equal values the one whose document agrees is decided, digits only",
     {{1, 0, 'D', 5000, "000123"}, {2, 0, 'D', 5000, "124"}},
     {{"L1", 0, 'D', 50.00, "CH 123"}},
     {"L1: *M1"}},
    {"the nearer day ranks first",
     {{1, -2, 'C', 7000}, {2, 1, 'C', 7000}},
     {{"L1", 0, 'C', 70.00}},
     {"L1: M2 M1"}},
    {"a line equal to the sum of three movements proposes them as a group",
     {{1, -1, 'C', 10000}, {2, 0, 'C', 25050}, {3, 1, 'C', 4950}, {4, 0, 'C', 99999}},
     {{"L1", 0, 'C', 400.00}},
     {"L1: *M1+M2+M3"}},
    {"a single movement of the value is preferred to a group",
     {{1, 0, 'C', 10000}, {2, 0, 'C', 6000}, {3, 0, 'C', 4000}},
     {{"L1", 0, 'C', 100.00}},
     {"L1: *M1"}},
    {"a date at the window's edge is offered",
     {{1, 3, 'D', 1234}, {2, -3, 'C', 1234}},
     {{"L1", 0, 'D', 12.34}, {"L2", 0, 'C', 12.34}},
     {"L1: *M1", "L2: *M2"}},
    {"a date a day past the window is not", {{1, 4, 'D', 1234}}, {{"L1", 0, 'D', 12.34}}, {}},
    {"a wider window offers it", {{1, 4, 'D', 1234}}, {{"L1", 0, 'D', 12.34}}, {"L1: *M1"}, 5.0},
    {"a reversed movement and its reversal give way to the live one, which is decided",
     {{1, 0, 'C', 30000}, {2, 1, 'D', 30000, {}, 1}, {3, 1, 'C', 30000}},
     {{"L1", 0, 'C', 300.00}},
     {"L1: *M3"}},
    {"a movement a reversal cancels is offered but never decided",
     {{1, 0, 'C', 30000}, {2, 1, 'D', 30000, {}, 1}},
     {{"L1", 0, 'C', 300.00}},
     {"L1: M1"}},
    {"a movement decided for one line is not offered to another, which is then decided",
     {{1, 0, 'C', 8000}, {2, 3, 'C', 8000}},
     {{"L1", -2, 'C', 80.00}, {"L2", 2, 'C', 80.00}},
     {"L1: *M1", "L2: *M2"}},
    {"two lines whose one proposal is the same movement are both left to the operator",
     {{1, 0, 'C', 8000}},
     {{"L1", -1, 'C', 80.00}, {"L2", 1, 'C', 80.00}},
     {"L1: M1", "L2: M1"}},
    {"a line left with one movement once another's is decided does not take it from lines that claim it",
     {{1, -2, 'C', 4444}, {2, 2, 'C', 4444}},
     {{"L1", 0, 'C', 44.44}, {"L2", -4, 'C', 44.44}, {"L3", -5, 'C', 44.44}, {"L4", 4, 'C', 44.44}},
     {"L1: M1", "L2: M1", "L3: M1", "L4: *M2"}},
};

TEST_P(StatementTest, MatchingProposesByKindValueWindowDocumentAndSums) {
    for (const MatchCase &c : matchCases) {
        SCOPED_TRACE(c.name);
        sql().execute(QStringLiteral("DELETE FROM MOVBANCARIO WHERE NRMOVBANC LIKE '99000000%'"));
        for (const Movement &m : c.movements)
            movement(m.n, m.day, m.kind, m.cents, m.document,
                     m.reverses ? movementNumber(m.reverses) : QString());
        const QString statement = stored(QStringLiteral("a"), c.lines, matchDay);
        EXPECT_EQ(proposals(statement, c.window), c.expected);
        sql().execute(QStringLiteral("DELETE FROM MOVEXTRATO WHERE CDSEQUEXBA = :e"),
                      {{QStringLiteral("e"), statement}});
        sql().execute(QStringLiteral("DELETE FROM EXTRATOBANC WHERE CDSEQUEXBA = :e"),
                      {{QStringLiteral("e"), statement}});
    }
}

// The proposals for one statement weigh the open lines of the account's other statements too: a line of
// another statement that wants the same movement leaves it to the operator.
TEST_P(StatementTest, ALineOfAnotherStatementThatWantsTheSameMovementLeavesItToTheOperator) {
    movement(1, 0, 'D', 4880);
    const QString earlier =
        stored(QStringLiteral("a"), {{"L1", 0, 'D', 48.80}, {"L2", 1, 'D', 48.80}}, matchDay);
    const QString later = stored(QStringLiteral("b"), {{"K1", -1, 'D', 48.80}}, matchDay);
    EXPECT_EQ(proposals(earlier), (QStringList{"L1: M1", "L2: M1"}));
    EXPECT_EQ(proposals(later), QStringList{"L1: M1"});
}

// What the statements and their reconciliation may write, whole.
const char *const statementTables[] = {"EXTRATOBANC", "MOVEXTRATO",  "MOVBANCARIO", "MOVCREDBANC",
                                       "MOVDEBIBANC", "SALDODIARIO", "SALDOMENSAL", "VERSAOLISTA"};

QStringList everything(Sql &sql) {
    QStringList rows;
    for (const char *table : statementTables) {
        for (const QString &row : rowsOf(sql, QStringLiteral("SELECT * FROM %1").arg(table)))
            rows.append(QString::fromLatin1(table) + u' ' + row);
    }
    return rows;
}

TEST_P(StatementTest, AFileImportedTwiceStoresNothingAndAnOverlappingOneOnlyItsNewLines) {
    const QDate day = demoDate;
    const QList<Line> first{{"X1", 0, 'C', 10.00, "11"}, {"X2", 1, 'D', 20.00}, {"X3", 2, 'C', 30.00}};
    const QString statement = stored(QStringLiteral("b"), first, day);
    const DataPacket lines = server->answer(QStringLiteral("GetLinhasExtrato"), {"001", statement}).packet();
    ASSERT_EQ(lines.rowCount(), 3);
    EXPECT_EQ(field(lines, 0, "IDBANCO").toText(), u"X1");
    EXPECT_EQ(field(lines, 0, "NRDOCEXTR").toText(), u"11");
    EXPECT_EQ(field(lines, 1, "IDMOVEXTR").toText(), u"D");
    EXPECT_EQ(field(lines, 1, "VRMOVEXTR").toFloat(), 20.00);
    EXPECT_EQ(field(lines, 2, "DTMOVEXTR").toDate(), day.addDays(2));
    EXPECT_EQ(field(lines, 2, "NRLINHAARQ").toInt(), 12);
    EXPECT_EQ(field(lines, 2, "DSMOVEXTR").toText(), u"LINHA X3");
    EXPECT_EQ(field(lines, 2, "IDSTCONEXT").toText(), u"0");
    EXPECT_EQ(
        number(QStringLiteral("SELECT COUNT(*) FROM EXTRATOBANC WHERE CDSEQUEXBA = :e AND CDOPERADOR = "
                              "'DEMO' AND IDFORMATO = 'O' AND IDSALDINIC = 'A' AND CDCONTEUDO = :k"),
               {{QStringLiteral("e"), statement}, {QStringLiteral("k"), QStringLiteral("b").repeated(64)}}),
        1);

    struct Again {
        const char *name;
        QString key;
        QList<Line> lines;
        const char *situation;
        qint64 fresh, known;
    };
    const Again again[] = {
        {"the same file again", QStringLiteral("b"), first, "R", 0, 3},
        {"another file of lines all held", QStringLiteral("c"), {first[1], first[2]}, "S", 0, 2},
    };
    for (const Again &a : again) {
        SCOPED_TRACE(a.name);
        const QStringList before = everything(sql());
        const CallOutcome outcome = store(a.key, a.lines, day);
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        const DataPacket answer = outcome.result.packet();
        EXPECT_EQ(field(answer, 0, "IDSITUACAO").toText(), QString::fromLatin1(a.situation));
        EXPECT_EQ(field(answer, 0, "QTNOVAS").toInt(), a.fresh);
        EXPECT_EQ(field(answer, 0, "QTJAEXISTENTES").toInt(), a.known);
        EXPECT_TRUE(field(answer, 0, "DSMENSAGEM").toText().contains(u"nada foi gravado"));
        EXPECT_EQ(differences(before, everything(sql())), QStringList());
    }

    const QString overlapping = stored(QStringLiteral("d"), {first[2], {"X4", 3, 'D', 5.55}}, day);
    EXPECT_NE(overlapping, statement);
    const DataPacket added =
        server->answer(QStringLiteral("GetLinhasExtrato"), {"001", overlapping}).packet();
    ASSERT_EQ(added.rowCount(), 1);
    EXPECT_EQ(field(added, 0, "IDBANCO").toText(), u"X4");
    EXPECT_EQ(field(added, 0, "NRSEQMOVREBA").toText(), u"0000000001");
    EXPECT_EQ(number(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'SetGravaExtrato' AND "
                                    "CDREDUCONT = '001' AND DSNUMEROS = :e"),
                     {{QStringLiteral("e"), overlapping}}),
              1);
}

// Banks that give an id again to another movement (numbering each day's lines from 1), or one id to every
// line of a day: a file's line is held only where a line of its id holds its day, kind and value, so that
// no movement of the bank is left out as held, and none is stored twice.
TEST_P(StatementTest, ALineIsHeldOnlyWhereItsIdHoldsItsDayKindAndValue) {
    const QDate day = demoDate;
    const QString dayAfter = day.addDays(1).toString(u"yyyyMMdd"),
                  twoDaysAfter = day.addDays(2).toString(u"yyyyMMdd"),
                  threeDaysAfter = day.addDays(3).toString(u"yyyyMMdd"),
                  fourDaysAfter = day.addDays(4).toString(u"yyyyMMdd"),
                  fiveDaysAfter = day.addDays(5).toString(u"yyyyMMdd"),
                  sevenDaysAfter = day.addDays(7).toString(u"yyyyMMdd");
    const QString longId(240, u'L');
    const auto occurrence = [](const char *id, const QString &onDay, int n) {
        return QStringLiteral("%1 %2 #%3").arg(QLatin1String(id), onDay).arg(n);
    };
    const struct Step {
        const char *name;
        QString key;
        QList<Line> lines;
        qint64 fresh, known;
        QStringList ids; // of the lines stored
    } steps[] = {
        {"a day's file", QStringLiteral("1"), {{"0001", 0, 'C', 10.00}}, 1, 0, {"0001"}},
        {"the next day's file, whose line has the same id",
         QStringLiteral("2"),
         {{"0001", 1, 'D', 25.00}},
         1,
         0,
         {QStringLiteral("0001 %1 #1").arg(dayAfter)}},
        {"that file again, written another way", QStringLiteral("3"), {{"0001", 1, 'D', 25.00}}, 0, 1, {}},
        {"both days in one file, where the reader names each by its day",
         QStringLiteral("4"),
         {{QStringLiteral("0001 %1 #1").arg(day.toString(u"yyyyMMdd")), 0, 'C', 10.00},
          {QStringLiteral("0001 %1 #1").arg(dayAfter), 1, 'D', 25.00}},
         0,
         2,
         {}},
        {"a day with one line under an id", QStringLiteral("5"), {{"0002", 2, 'C', 7.00}}, 1, 0, {"0002"}},
        {"that day again with two lines under it, as the reader names them",
         QStringLiteral("6"),
         {{QStringLiteral("0002 %1 #1").arg(twoDaysAfter), 2, 'C', 7.00},
          {QStringLiteral("0002 %1 #2").arg(twoDaysAfter), 2, 'C', 8.00}},
         1,
         1,
         {QStringLiteral("0002 %1 #2").arg(twoDaysAfter)}},
        {"a file of two days that repeats an id, named by the reader by their days",
         QStringLiteral("7"),
         {{QStringLiteral("0003 %1 #1").arg(threeDaysAfter), 3, 'D', 4.00},
          {QStringLiteral("0003 %1 #1").arg(fourDaysAfter), 4, 'D', 5.00}},
         2,
         0,
         {QStringLiteral("0003 %1 #1").arg(threeDaysAfter), QStringLiteral("0003 %1 #1").arg(fourDaysAfter)}},
        {"then one of those days' own file, which has the id once",
         QStringLiteral("8"),
         {{"0003", 4, 'D', 5.00}},
         0,
         1,
         {}},
        {"a day of three lines under one id",
         QStringLiteral("9"),
         {{occurrence("0004", fiveDaysAfter, 1), 5, 'C', 100.00},
          {occurrence("0004", fiveDaysAfter, 2), 5, 'D', 50.00},
          {occurrence("0004", fiveDaysAfter, 3), 5, 'C', 3.00}},
         3,
         0,
         {occurrence("0004", fiveDaysAfter, 1), occurrence("0004", fiveDaysAfter, 2),
          occurrence("0004", fiveDaysAfter, 3)}},
        {"that day listed in another order, without the line the bank dropped",
         QStringLiteral("e"),
         {{occurrence("0004", fiveDaysAfter, 1), 5, 'C', 3.00},
          {occurrence("0004", fiveDaysAfter, 2), 5, 'C', 100.00}},
         0,
         2,
         {}},
        {"that day with a line added that is the same as one held",
         QStringLiteral("f"),
         {{occurrence("0004", fiveDaysAfter, 1), 5, 'D', 50.00},
          {occurrence("0004", fiveDaysAfter, 2), 5, 'C', 3.00},
          {occurrence("0004", fiveDaysAfter, 3), 5, 'C', 100.00},
          {occurrence("0004", fiveDaysAfter, 4), 5, 'C', 3.00}},
         1,
         3,
         {occurrence("0004", fiveDaysAfter, 4)}},
        {"an id of 240 characters", QStringLiteral("a"), {{longId, 6, 'C', 20.00}}, 1, 0, {longId}},
        {"that id the next day, for another movement",
         QStringLiteral("b"),
         {{longId, 7, 'C', 21.00}},
         1,
         0,
         {longId.left(230) + QStringLiteral(" %1 #1").arg(sevenDaysAfter)}},
        {"that day's line again, beside a new one",
         QStringLiteral("c"),
         {{longId, 7, 'C', 21.00}, {"0006", 7, 'C', 1.00}},
         1,
         1,
         {"0006"}},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        const CallOutcome outcome = store(step.key, step.lines, day);
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        const DataPacket answer = outcome.result.packet();
        EXPECT_EQ(field(answer, 0, "QTNOVAS").toInt(), step.fresh);
        EXPECT_EQ(field(answer, 0, "QTJAEXISTENTES").toInt(), step.known);
        if (step.fresh == 0)
            continue;
        const DataPacket lines =
            server->answer(QStringLiteral("GetLinhasExtrato"), {"001", field(answer, 0, "CDSEQUEXBA")})
                .packet();
        QStringList ids;
        for (int row = 0; row < lines.rowCount(); ++row)
            ids << field(lines, row, "IDBANCO").toText();
        EXPECT_EQ(ids, step.ids);
    }
}

// A statement that breaks a rule, each refused with nothing written: as a faulty reader would answer it, or
// as a client writing its own request would send it.
struct StoreRefusal {
    const char *name;
    std::function<void(BankStatement &)> read;
    std::function<void(StatementPackets &)> sent;
    const char *message;
    bool restricted = false; // sent by an operator who may not use the account
};

DataPacket withField(const DataPacket &packet, const char *name, const Variant &value) {
    DataPacket changed(packet.fields());
    for (int row = 0; row < packet.rowCount(); ++row) {
        std::vector<Variant> values;
        for (int f = 0; f < packet.fields().size(); ++f)
            values.push_back(packet.fields()[f].name == QLatin1String(name) ? value : packet.value(row, f));
        changed.appendValues(values);
    }
    return changed;
}

// The packet with the field declared of `kind` and holding `value` in every row, as a client writing its own
// request may declare it.
DataPacket withFieldOfKind(const DataPacket &packet, const char *name, FieldKind kind, const Variant &value) {
    FieldDefs fields = packet.fields();
    for (FieldDef &field : fields)
        if (field.name == QLatin1String(name))
            field.kind = kind;
    DataPacket changed(fields);
    for (int row = 0; row < packet.rowCount(); ++row) {
        std::vector<Variant> values;
        for (int f = 0; f < fields.size(); ++f)
            values.push_back(fields[f].name == QLatin1String(name) ? value : packet.value(row, f));
        changed.appendValues(values);
    }
    return changed;
}

// A bank's file names the bank by its code in the interbank standard, which an installation may keep apart
// from its own code of the bank: the account is found, and the file stored, by either.
TEST_P(StatementTest, AFileNamesItsBankByEitherOfItsCodes) {
    sql().execute(QStringLiteral("UPDATE BANCO SET CDBANCCNAB = '237' WHERE CDBANCO = (SELECT CDBANCO FROM "
                                 "CONTCORR WHERE CDREDUCONT = '001')"));
    QList<RegisteredAccount> registered;
    sql().forEach(QStringLiteral("SELECT C.CDBANCO, C.CDAGENCIA, C.CDCONTCORR, B.CDBANCCNAB FROM CONTCORR C "
                                 "JOIN BANCO B ON B.CDBANCO = C.CDBANCO WHERE C.CDREDUCONT = '001'"),
                  {}, [&](const SqlRow &row) {
                      registered.append({.code = QStringLiteral("001"),
                                         .bank = row.text(0),
                                         .agency = row.text(1),
                                         .number = row.text(2),
                                         .shownAgency = {},
                                         .shownNumber = {},
                                         .interbankBank = row.text(3)});
                  });
    ASSERT_EQ(registered.size(), 1);
    const RegisteredAccount &account = registered[0];
    const struct {
        QString bank;
        bool found;
    } cases[] = {{account.bank, true}, {QStringLiteral("237"), true}, {QStringLiteral("999"), false}};
    int key = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bank.toStdString());
        ++key;
        BankStatement statement = statementOf(QString::number(key), {{"B1", 0, 'C', 10.00 + key}}, demoDate);
        statement.account = {.bankCode = c.bank,
                             .agency = account.agency,
                             .agencyDigits = digitsOnly(account.agency),
                             .account = account.number,
                             .accountDigits = digitsOnly(account.number),
                             .agencyCheck = {},
                             .accountCheck = {}};
        EXPECT_EQ(accountsNamedBy(statement.account, registered),
                  c.found ? QStringList{QStringLiteral("001")} : QStringList());
        const StatementPackets sent = statementPackets(statement);
        const CallOutcome outcome =
            server->call(QStringLiteral("SetGravaExtrato"), {QStringLiteral("001"), sent.header, sent.lines});
        EXPECT_EQ(outcome.ok(), c.found) << outcome.error.toStdString();
    }
}

// The day before a statement that opens on the calendar's first day, and the days around lines on its first
// and last days, are no dates: the books' opening balance is the account's own, and the search for movements
// stops at the calendar's ends, on every database alike.
TEST_P(StatementTest, StatementsAtTheCalendarsEndsAreListedAndMatchedLikeAnyOther) {
    movement(1, 0, 'C', 1000);
    const QString ordinary = stored(QStringLiteral("d"), {{"D1", 0, 'C', 10.00}}, matchDay);
    const QString first = stored(QStringLiteral("e"), {{"E1", 1, 'C', 10.00}}, QDate(1, 1, 1));
    const QString last = stored(QStringLiteral("f"), {{"F1", 0, 'C', 20.00}}, QDate(9999, 12, 31));

    const CallOutcome listed = server->call(QStringLiteral("GetExtratos"), {QStringLiteral("001")});
    ASSERT_TRUE(listed.ok()) << listed.error.toStdString();
    const qint64 opening = number(QStringLiteral("SELECT VRSALDINIC FROM CONTCORR WHERE CDREDUCONT = '001'"));
    const DataPacket statements = listed.result.packet();
    bool found = false;
    for (int row = 0; row < statements.rowCount(); ++row) {
        if (field(statements, row, "CDSEQUEXBA").toText() == first) {
            found = true;
            EXPECT_EQ(qRound64(field(statements, row, "VRLIVROINIC").toFloat() * 100), opening);
        }
    }
    EXPECT_TRUE(found);

    for (const QString &statement : {ordinary, first, last, QString()}) {
        const CallOutcome proposed =
            server->call(QStringLiteral("GetSugestoesConciliacao"), {QStringLiteral("001"), statement});
        EXPECT_TRUE(proposed.ok()) << statement.toStdString() << ": " << proposed.error.toStdString();
    }
    EXPECT_EQ(proposals(QString()), QStringList{"L1: *M1"}) << "the line among the calendar's ends";
}

// A bank's file may hold a control character in a text, one left by a charset converted twice: the file is
// stored, the character a blank, as the server takes texts only on one line.
TEST_P(StatementTest, AControlCharacterInATextOfTheFileIsStoredAsABlank) {
    BankStatement statement = statementOf(QStringLiteral("c"), {{"K1", 0, 'C', 10.00}}, matchDay);
    statement.lines[0].description = QStringLiteral("DEPOSITO \u0096 LOJA 2");
    statement.lines[0].document = QStringLiteral("7\u00817");
    const StatementPackets sent = statementPackets(statement);
    const CallOutcome outcome =
        server->call(QStringLiteral("SetGravaExtrato"), {QStringLiteral("001"), sent.header, sent.lines});
    ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
    EXPECT_EQ(sql()
                  .scalar(QStringLiteral("SELECT NRDOCEXTR || '|' || DSMOVEXTR FROM MOVEXTRATO WHERE "
                                         "CDREDUCONT = '001' AND IDBANCO = 'K1'"))
                  ->toString(),
              QStringLiteral("7 7|DEPOSITO   LOJA 2"));

    // Read from a file, a line the bank gives no id of its own is known by its texts, which stand as one
    // line there too; and so is an id the bank gives.
    const struct {
        const char *what;
        QByteArray transaction;
    } read[] = {
        {"a C1 control", "<TRNAMT>-1,00<MEMO>PAGTO \xC2\x96 FORNECEDOR"},
        {"a mark of the text's direction", "<TRNAMT>-2,00<MEMO>PAGTO \xE2\x80\x8E"
                                           "FORNECEDOR"},
        {"the end-of-file mark of old systems", "<TRNAMT>-3,00<MEMO>PAGTO \x1A FORNECEDOR"},
        {"a mark of direction in the bank's id", "<TRNAMT>-4,00<FITID>ID\xE2\x80\x8E"
                                                 "4<MEMO>PAGTO"},
        // A file that garbled an id once, then the same line sent clean: one line.
        {"a bank id ending in the end-of-file mark", "<TRNAMT>-5,00<FITID>CFX\x1A<MEMO>PAGTO"},
        {"the same bank id sent clean", "<TRNAMT>-5,00<FITID>CFX<MEMO>PAGTO"},
    };
    for (const auto &[what, transaction] : read) {
        SCOPED_TRACE(what);
        const BankStatement fromFile = readStatement(
            "OFXHEADER:100\nDATA:OFXSGML\n\n<OFX><STMTRS><BANKTRANLIST>\n<STMTTRN><TRNTYPE>DEBIT"
            "<DTPOSTED>20240314" +
            transaction + "</STMTTRN>\n</BANKTRANLIST></STMTRS></OFX>\n");
        const StatementPackets fromFileSent = statementPackets(fromFile);
        const CallOutcome stored =
            server->call(QStringLiteral("SetGravaExtrato"),
                         {QStringLiteral("001"), fromFileSent.header, fromFileSent.lines});
        EXPECT_TRUE(stored.ok()) << stored.error.toStdString();
    }
    EXPECT_EQ(sql()
                  .scalar(QStringLiteral("SELECT COUNT(*) FROM MOVEXTRATO WHERE CDREDUCONT = '001' AND "
                                         "DSMOVEXTR LIKE 'PAGTO%'"))
                  ->toInt(),
              5);
}

TEST_P(StatementTest, AStatementAgainstARuleIsRefusedAndWritesNothing) {
    const StoreRefusal refusals[] = {
        {"a line outside the period",
         [](BankStatement &s) { s.lines[0].date = s.lastDay.addDays(1); },
         {},
         "período do extrato"},
        {"a bank id the file repeats",
         [](BankStatement &s) { s.lines[1].bankId = s.lines[0].bankId; },
         {},
         "se repete"},
        {"a line neither credit nor debit",
         [](BankStatement &s) { s.lines[0].kind = u'X'; },
         {},
         "natureza inválida"},
        {"a negative amount", [](BankStatement &s) { s.lines[0].cents = -100; }, {}, "negativo"},
        {"an amount below the cent",
         {},
         [](StatementPackets &p) { p.lines = withField(p.lines, "VRMOVEXTR", 1.005); },
         "valor inválido"},
        {"lines that move the balance past what any statement can",
         [](BankStatement &s) {
             // Each the largest amount the books hold; summed unchecked they would overflow soon after.
             for (int copy = 0; copy < 120; ++copy) {
                 StatementLine line = s.lines[0];
                 line.bankId = QStringLiteral("X%1").arg(copy);
                 line.cents = 999'999'999'999'999;
                 s.lines.append(line);
             }
         },
         {},
         "mais do que um extrato pode mover"},
        {"a document longer than 40",
         [](BankStatement &s) { s.lines[0].document = QString(41, u'9'); },
         {},
         "documento"},
        {"a description on two lines, sent by a client of its own",
         {},
         [](StatementPackets &p) {
             p.lines = withField(p.lines, "DSMOVEXTR", QStringLiteral("TARIFA\n999\tLINHA FALSA"));
         },
         "quebras de linha"},
        {"a document across two paragraphs",
         {},
         [](StatementPackets &p) { p.lines = withField(p.lines, "NRDOCEXTR", QStringLiteral("12\u2029X")); },
         "quebras de linha"},
        {"a bank's id of a line with a line break",
         [](BankStatement &s) { s.lines[0].bankId = QStringLiteral("ID\n2"); },
         {},
         "quebras de linha"},
        {"a content key that is not one", [](BankStatement &s) { s.contentKey = "zz"; }, {}, "64 dígitos"},
        {"a worked-out closing balance that the lines do not give",
         [](BankStatement &s) {
             s.opening = StatementBalance{.cents = 10000, .date = s.firstDay};
             s.closing = StatementBalance{.cents = 10000, .date = s.lastDay, .stated = false};
         },
         {},
         "saldo final calculado"},
        {"a file of another account",
         [](BankStatement &s) {
             s.account = {.bankCode = QStringLiteral("001"),
                          .agency = QStringLiteral("9999"),
                          .agencyDigits = QStringLiteral("9999"),
                          .account = QStringLiteral("99999-9"),
                          .accountDigits = QStringLiteral("999999"),
                          .agencyCheck = QString(),
                          .accountCheck = QStringLiteral("9")};
         },
         {},
         "e não da conta corrente 001"},
        {"a file that names a bank without digits and no account",
         [](BankStatement &s) {
             s.account = StatementAccount();
             s.account.bankCode = QStringLiteral("ITAU");
         },
         {},
         "do banco ITAU, e não da conta corrente 001"},
        {"a file that names another bank and no account",
         [](BankStatement &s) {
             s.account = StatementAccount();
             s.account.bankCode = QStringLiteral("341");
         },
         {},
         "do banco 341, e não da conta corrente 001"},
        {"an account of a company the operator may not use", {}, {}, "não relacionado", true},
        // Values of another kind than their fields', which a client writing its own request may send: none is
        // converted into a value of the file.
        {"a stated opening balance without its amount",
         {},
         [](StatementPackets &sent) {
             sent.header = withField(withField(sent.header, "IDSALDINIC", "I"), "VRSALDINIC", Variant());
         },
         "VRSALDINIC must hold a value"},
        {"a line's amount as a boolean",
         {},
         [](StatementPackets &sent) {
             sent.lines = withFieldOfKind(sent.lines, "VRMOVEXTR", FieldKind::Boolean, true);
         },
         "VRMOVEXTR holds a value of another kind"},
        {"a line's amount as text",
         {},
         [](StatementPackets &sent) {
             sent.lines = withFieldOfKind(sent.lines, "VRMOVEXTR", FieldKind::Text, QStringLiteral("1e2"));
         },
         "VRMOVEXTR holds a value of another kind"},
        {"a line's number as a fraction",
         {},
         [](StatementPackets &sent) {
             sent.lines = withFieldOfKind(sent.lines, "NRLINHAARQ", FieldKind::Float, 3.7);
         },
         "NRLINHAARQ holds a value of another kind"},
        {"a line's number past any file's, which a shorter integer would cut",
         {},
         [](StatementPackets &sent) {
             sent.lines = withField(sent.lines, "NRLINHAARQ", Variant(qint64{1} << 40));
         },
         "linha 1099511627776 do arquivo"},
        {"a line's number below the first",
         {},
         [](StatementPackets &sent) {
             sent.lines = withField(sent.lines, "NRLINHAARQ", Variant(qint64{-7}));
         },
         "linha -7 do arquivo"},
    };
    for (const StoreRefusal &r : refusals) {
        SCOPED_TRACE(r.name);
        BankStatement statement =
            statementOf(QStringLiteral("e"), {{"R1", 0, 'C', 10.00}, {"R2", 1, 'D', 2.50}}, demoDate);
        statement.lastDay = demoDate.addDays(2);
        if (r.read)
            r.read(statement);
        StatementPackets sent = statementPackets(statement);
        if (r.sent)
            r.sent(sent);
        const QStringList before = everything(sql());
        const CallOutcome outcome = server->callAs(
            r.restricted ? server->restrictedToken() : server->demoToken(), QStringLiteral("SetGravaExtrato"),
            {r.restricted ? "004" : "001", sent.header, sent.lines});
        EXPECT_FALSE(outcome.ok());
        EXPECT_TRUE(outcome.error.contains(QString::fromUtf8(r.message))) << outcome.error.toStdString();
        EXPECT_EQ(differences(before, everything(sql())), QStringList());
    }
}

// Two entries included through the server and a statement with a line for each and one for both, listed as
// the reconciliation screen lists them.
class ReconciliationTest : public StatementTest {
public:
    void SetUp() override {
        StatementTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        for (EntryRequest *entry : {&credit, &debit, &other}) {
            const Insertion call = insertion(*server, *entry);
            const CallOutcome outcome = server->call(call.method, call.args);
            ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        }
        statement = stored(QStringLiteral("f"),
                           {{"C1", 0, 'C', 1234.56}, {"D1", 0, 'D', 777.77}, {"S1", 1, 'C', 1234.56 + 11.11}},
                           demoDate);
    }

    // The pairing of `line` (1, 2, 3) with `entry` at the versions listed now.
    StatementPairing pair(int line, const EntryRequest &entry) {
        const QString lineNumber = QStringLiteral("%1").arg(line, 10, 10, QLatin1Char('0'));
        return {statement, lineNumber, versionOfLine(lineNumber), entry.movement, versionOfEntry(entry)};
    }
    QString versionOfLine(const QString &line) {
        return QString::number(
            number(QStringLiteral("SELECT NRVERSAO FROM MOVEXTRATO WHERE CDREDUCONT = '001' AND "
                                  "CDSEQUEXBA = :e AND NRSEQMOVREBA = :l"),
                   {{QStringLiteral("e"), statement}, {QStringLiteral("l"), line}}));
    }
    QString versionOfEntry(const EntryRequest &entry) {
        return QString::number(
            number(QStringLiteral("SELECT NRVERSAO FROM MOVBANCARIO WHERE CDREDUCONT = '001' "
                                  "AND NRMOVBANC = :m"),
                   {{QStringLiteral("m"), entry.movement}}));
    }
    static DataPacket pairings(const QList<StatementPairing> &rows) { return pairingPacket(rows); }
    CallOutcome call(const char *method, const DataPacket &packet, const QString &token = {}) {
        return server->callAs(token.isEmpty() ? server->demoToken() : token, QString::fromLatin1(method),
                              {"001", packet});
    }
    QString reconciliationOf(const EntryRequest &entry) {
        const QStringList rows =
            rowsOf(sql(),
                   QStringLiteral("SELECT IDSTCONEXT, CDSEQUEXBA, NRSEQMOVREBA FROM MOVBANCARIO "
                                  "WHERE CDREDUCONT = '001' AND NRMOVBANC = :m"),
                   {{QStringLiteral("m"), entry.movement}});
        return rows.value(0);
    }

    TestServer &testServer() { return *server; }
    Sql &database() { return sql(); }
    QString otherToken() const { return server->restrictedToken(); }

    EntryRequest credit{.kind = 'C', .value = 1234.56, .type = "0001", .description = "Crédito conciliado"};
    EntryRequest debit{.kind = 'D',
                       .value = 777.77,
                       .type = "0002",
                       .description = "Débito conciliado",
                       .supplier = "FOR0001"};
    EntryRequest other{.kind = 'C', .value = 11.11, .type = "0001", .description = "Outro crédito"};
    QString statement;
};

TEST_P(ReconciliationTest, PairsAreReconciledInOneCallAndUndoneInOne) {
    const DataPacket both = pairings({pair(1, credit), pair(2, debit)});
    const CallOutcome done = call("SetConciliacao", both);
    ASSERT_TRUE(done.ok()) << done.error.toStdString();
    EXPECT_EQ(done.result.toInt(), 2);
    EXPECT_EQ(reconciliationOf(credit),
              QStringLiteral("IDSTCONEXT=1|CDSEQUEXBA=%1|NRSEQMOVREBA=0000000001").arg(statement));
    EXPECT_EQ(reconciliationOf(debit),
              QStringLiteral("IDSTCONEXT=1|CDSEQUEXBA=%1|NRSEQMOVREBA=0000000002").arg(statement));
    const DataPacket lines = server->answer(QStringLiteral("GetLinhasExtrato"), {"001", statement}).packet();
    EXPECT_EQ(field(lines, 0, "IDSTCONEXT").toText(), u"1");
    EXPECT_EQ(field(lines, 0, "DSMOVIMENTOS").toText(), credit.movement);
    EXPECT_EQ(field(lines, 2, "IDSTCONEXT").toText(), u"0");
    EXPECT_EQ(number(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'SetConciliacao' AND "
                                    "DSNUMEROS = :n"),
                     {{QStringLiteral("n"), QStringLiteral("%1/0000000001, %2, %1/0000000002, %3")
                                                .arg(statement, credit.movement, debit.movement)}}),
              1);

    const CallOutcome undone = call("SetDesfazConciliacao", pairings({pair(1, credit), pair(2, debit)}));
    ASSERT_TRUE(undone.ok()) << undone.error.toStdString();
    EXPECT_EQ(reconciliationOf(credit), u"IDSTCONEXT=0|CDSEQUEXBA=<null>|NRSEQMOVREBA=<null>");
    EXPECT_EQ(reconciliationOf(debit), u"IDSTCONEXT=0|CDSEQUEXBA=<null>|NRSEQMOVREBA=<null>");
}

// What another client does between the operator's list and the call, or what the call itself gets wrong.
struct PairingRefusal {
    const char *name;
    bool undoing; // the call undoes a reconciliation of lines 1 and 3 made before the list
    std::function<void(ReconciliationTest &, QList<StatementPairing> &)> act;
    const char *message;
};

TEST_P(ReconciliationTest, AReconciliationOrItsUndoingAgainstARuleOrAnotherClientIsRefusedAndWritesNothing) {
    const PairingRefusal refusals[] = {
        {"another operator reconciled the line meanwhile", false,
         [](ReconciliationTest &t, auto &) {
             ASSERT_TRUE(t.call("SetConciliacao", t.pairings({t.pair(1, t.credit)}), t.otherToken()).ok());
         },
         "foi conciliado por outro operador, na linha 0000000001 do extrato"},
        {"another operator changed the entry meanwhile", false,
         [](ReconciliationTest &t, auto &) {
             const Insertion change = bco::testing::change(t.credit, QStringLiteral("Mudado por outro"));
             ASSERT_TRUE(t.testServer().callAs(t.otherToken(), change.method, change.args).ok());
         },
         // named as its operator typed it, not by the movement's history with the type's name
         "\"Mudado por outro\", foi gravado por outro operador"},
        {"values that do not add up to the line", false,
         [](ReconciliationTest &t, auto &rows) { rows = {t.pair(3, t.credit)}; }, "ao centavo"},
        {"a movement of another kind than the line", false,
         [](ReconciliationTest &t, auto &rows) { rows = {t.pair(1, t.debit)}; }, "é um débito"},
        {"a movement named twice", false,
         [](ReconciliationTest &t, auto &rows) {
             rows = {t.pair(1, t.credit), t.pair(3, t.credit)};
         },
         "mais de uma vez"},
        {"a line reconciled already", false,
         [](ReconciliationTest &t, auto &rows) {
             ASSERT_TRUE(t.call("SetConciliacao", t.pairings({t.pair(1, t.credit)})).ok());
             rows = {t.pair(1, t.other)};
         },
         "já está conciliada"},
        {"another operator undid the reconciliation meanwhile", true,
         [](ReconciliationTest &t, auto &) {
             ASSERT_TRUE(t.call("SetDesfazConciliacao", t.pairings({t.pair(3, t.credit), t.pair(3, t.other)}),
                                t.otherToken())
                             .ok());
         },
         "teve a conciliação desfeita por outro operador"},
        {"an entry change that released the reconciliation meanwhile", true,
         [](ReconciliationTest &t, auto &) {
             t.database().execute(
                 QStringLiteral("UPDATE MOVBANCARIO SET IDSTCONEXT = '0', CDSEQUEXBA = NULL, "
                                "NRSEQMOVREBA = NULL WHERE CDREDUCONT = '001' AND NRMOVBANC = :m"),
                 {{QStringLiteral("m"), t.other.movement}});
         },
         "por outro operador"},
        {"an undoing that leaves out a movement of the line", true,
         [](ReconciliationTest &, auto &rows) { rows.pop_back(); }, "inteira"},
        {"an account the operator may not use", false, [](ReconciliationTest &, auto &rows) { rows.clear(); },
         "não relacionado"},
    };
    for (const PairingRefusal &r : refusals) {
        SCOPED_TRACE(r.name);
        sql().execute(
            QStringLiteral("UPDATE MOVBANCARIO SET IDSTCONEXT = '0', CDSEQUEXBA = NULL, NRSEQMOVREBA = "
                           "NULL WHERE CDREDUCONT = '001' AND CDSEQUEXBA = :e"),
            {{QStringLiteral("e"), statement}});
        QList<StatementPairing> rows;
        if (r.undoing) {
            ASSERT_TRUE(call("SetConciliacao", pairings({pair(3, credit), pair(3, other)})).ok());
            rows = {pair(3, credit), pair(3, other)};
        } else {
            rows = {pair(1, credit), pair(2, debit)};
        }
        r.act(*this, rows);
        const QStringList before = everything(sql());
        const bool restricted = rows.empty();
        const CallOutcome outcome =
            restricted ? server->callAs(server->restrictedToken(), QStringLiteral("SetConciliacao"),
                                        {"004", pairings({})})
                       : call(r.undoing ? "SetDesfazConciliacao" : "SetConciliacao", pairings(rows));
        EXPECT_FALSE(outcome.ok());
        EXPECT_TRUE(outcome.error.contains(QString::fromUtf8(r.message))) << outcome.error.toStdString();
        EXPECT_EQ(differences(before, everything(sql())), QStringList());
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, ReconciliationTest, ::testing::ValuesIn(availableBackends()),
                         backendName);
INSTANTIATE_TEST_SUITE_P(Databases, StatementTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
