#include <set>

#include <gtest/gtest.h>

#include "server/ledger/numbering.h"
#include "server_test_support.h"

namespace bco::server::testing {
namespace {

// The read methods, each against the demo data, on every database the suite has.
class MethodTest : public DemoServerTest {
protected:
    DataPacket packet(const QString &method, VariantList args = {}) {
        return server->answer(method, std::move(args)).packet();
    }
    QStringList column(const DataPacket &data, const char *name) {
        QStringList values;
        for (int row = 0; row < data.rowCount(); ++row)
            values.append(field(data, row, name).toText());
        return values;
    }
    // What one call of `searches` must answer: for each search in its order, the first movement (by number)
    // that the search finds alone and no search before it in the call took, or nothing.
    QStringList takenInOrder(const VariantList &searches) {
        std::set<std::pair<QString, QString>> taken; // account, movement
        QStringList answers;
        for (const Variant &search : searches) {
            const QString account = search.array().at(0).toText();
            const QStringList found =
                column(packet(QStringLiteral("getPesqMovBanc"), search.array()), "NRMOVBANC");
            const auto free = std::find_if(found.begin(), found.end(), [&](const QString &movement) {
                return !taken.contains({account, movement});
            });
            answers.append(free == found.end() ? QString() : *free);
            if (free != found.end())
                taken.insert({account, *free});
        }
        return answers;
    }
    static QStringList texts(const VariantList &values) {
        QStringList list;
        for (const Variant &value : values)
            list.append(value.toText());
        return list;
    }
    void expectRefused(const CallOutcome &outcome, const QString &message) {
        EXPECT_EQ(outcome.status, CallOutcome::Status::Refused) << outcome.error.toStdString();
        EXPECT_EQ(outcome.error, message);
    }
};

TEST_P(MethodTest, GeneralParametersCarryTheBlockedDateRuleAndTheCostCentreRule) {
    const VariantList answer = server->answer(QStringLiteral("GetParamGeral")).array();
    ASSERT_EQ(answer.size(), 2u);
    const DataPacket rules = answer[0].packet();
    ASSERT_EQ(rules.rowCount(), 1);
    EXPECT_EQ(field(rules, 0, "CDMODULO").toText(), u"BCO_");
    EXPECT_EQ(field(rules, 0, "IDBLOQDATA").toText(), u"S");
    EXPECT_EQ(field(rules, 0, "QTDIATOLE").toInt(), 120);
    EXPECT_EQ(field(rules, 0, "DTBLOQATE").toDate(), QDate(2023, 12, 31));
    EXPECT_EQ(field(answer[1].packet(), 0, "IDTIPOORCA").toText(), u"C");
}

TEST_P(MethodTest, BankParametersGiveTheDefaultPeriodOfTheList) {
    const DataPacket parameters = packet(QStringLiteral("getGeral_bco"));
    ASSERT_EQ(parameters.rowCount(), 1);
    EXPECT_EQ(field(parameters, 0, "QTDIAANTLANC").toFloat(), 30.0);
    EXPECT_EQ(field(parameters, 0, "QTDIAAPOLANC").toFloat(), 5.0);
}

// The balance is checked against a sum over the movements themselves, not over the daily sums it reads.
TEST_P(MethodTest, DayBalanceIsOpeningPlusCreditsMinusDebitsUpToTheEndOfTheDay) {
    for (const QDate date : {QDate(2023, 1, 1), demoDate.addDays(-90), demoDate.addDays(-1), demoDate}) {
        SCOPED_TRACE(date.toString(Qt::ISODate).toStdString());
        const auto expected = sql().scalar(
            QStringLiteral(
                "SELECT C.VRSALDINIC + COALESCE((SELECT SUM(CASE WHEN M.IDMOVBANC = 'C' THEN M.VRMOVBANC "
                "ELSE -M.VRMOVBANC END) FROM MOVBANCARIO M WHERE M.CDREDUCONT = C.CDREDUCONT AND "
                "M.DTMOVBANC <= :data), 0) FROM CONTCORR C WHERE C.CDREDUCONT = '004'"),
            {{QStringLiteral("data"), date}});
        const Variant balance = server->answer(QStringLiteral("getSaldoDia"), {"004", date});
        EXPECT_EQ(balance.type(), VariantType::Float);
        EXPECT_EQ(qRound64(balance.toFloat() * 100), expected->toLongLong());
    }
}

TEST_P(MethodTest, DayBalanceCountsAMovementFromItsOwnDayOn) {
    const QDate day(2024, 3, 20);
    const double before = server->answer(QStringLiteral("getSaldoDia"), {"006", day}).toFloat();
    sql().execute(
        QStringLiteral("INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, IDMOVBANC, VRMOVBANC, "
                       "IDORIGMBANC) VALUES ('006', '8000000001', :data, 'D', 1001, 'D')"),
        {{QStringLiteral("data"), day}});
    EXPECT_DOUBLE_EQ(server->answer(QStringLiteral("getSaldoDia"), {"006", day.addDays(-1)}).toFloat(),
                     before);
    EXPECT_DOUBLE_EQ(server->answer(QStringLiteral("getSaldoDia"), {"006", day}).toFloat(), before - 10.01);
}

TEST_P(MethodTest, DayBalanceRefusesAMissingDate) {
    expectRefused(server->call(QStringLiteral("getSaldoDia"), {"001", QDate()}),
                  QStringLiteral("Data deve ser informada."));
}

TEST_P(MethodTest, BranchesAreThoseOfTheCompany) {
    struct Case {
        const char *name;
        const char *company, *branch;
        QStringList branches;
    } cases[] = {
        {"every branch of the company", "01", "", {"0101", "0102"}},
        {"one branch of the company", "01", "0102", {"0102"}},
        {"a branch of another company is not found", "01", "0201", {}},
        {"an unknown company has no branches", "99", "", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const DataPacket branches = packet(QStringLiteral("getFilial"), {c.company, c.branch});
        EXPECT_EQ(column(branches, "CDFILIAL"), c.branches);
        EXPECT_EQ(branches.fieldIndex(u"CDCENTCUST"), 2);
    }
    const DataPacket one = packet(QStringLiteral("getFilial"), {"01", "0101"});
    EXPECT_EQ(field(one, 0, "NMFILIAL").toText(), u"Aurora Matriz");
    EXPECT_EQ(field(one, 0, "CDCENTCUST").toText(), u"0001");
}

TEST_P(MethodTest, CompanyLookUpsRefuseACompanyTheOperatorIsNotRelatedTo) {
    const QString refusal = QStringLiteral("Operador RESTRITO não relacionado à empresa 02.");
    const QString restricted = server->restrictedToken();
    expectRefused(server->callAs(restricted, QStringLiteral("getFilial"), {"02", ""}), refusal);
    expectRefused(server->callAs(restricted, QStringLiteral("getEmpresa"), {"02"}), refusal);
    expectRefused(server->callAs(restricted, QStringLiteral("getCentCustFilial"), {"0201"}), refusal);
    expectRefused(server->callAs(restricted, QStringLiteral("GetVdPeriodoContabil"), {"02", demoDate}),
                  refusal);
    expectRefused(server->callAs(restricted, QStringLiteral("GetFilialRel"), {"'01','02'", "T", false}),
                  refusal);
    EXPECT_TRUE(server->callAs(restricted, QStringLiteral("getFilial"), {"01", ""}).ok());
}

// Customers and suppliers are looked up the same way; the table holds what differs.
struct PartyLookUp {
    const char *method, *table, *code, *taxNumber, *kind;
};
const PartyLookUp partyLookUps[] = {
    {"getCliente", "CLIENTE", "CDCLIENTE", "NRINSJURCLIE", "IDTPIJURCLIE"},
    {"getFornecedor", "FORNECED", "CDFORNECED", "NRINSJURFORN", "IDTPIJURFORN"},
};

TEST_P(MethodTest, PartiesAreFoundByTaxNumberOrCode) {
    for (const PartyLookUp &party : partyLookUps) {
        SCOPED_TRACE(party.method);
        const QString method = QString::fromLatin1(party.method);
        const auto company =
            sql().scalar(QStringLiteral("SELECT MIN(%1) FROM %2 WHERE %3 = 'J'")
                             .arg(QString::fromLatin1(party.code), QString::fromLatin1(party.table),
                                  QString::fromLatin1(party.kind)));
        const auto taxNumber =
            sql().scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = :codigo")
                             .arg(QString::fromLatin1(party.taxNumber), QString::fromLatin1(party.table),
                                  QString::fromLatin1(party.code)),
                         {{QStringLiteral("codigo"), company->toString()}});
        const QString digits = taxNumber->toString();
        const QString masked = QStringLiteral("%1.%2.%3/%4-%5")
                                   .arg(digits.mid(0, 2), digits.mid(2, 3), digits.mid(5, 3),
                                        digits.mid(8, 4), digits.mid(12, 2));
        for (const QString &key : {digits, masked, company->toString()}) {
            SCOPED_TRACE(key.toStdString());
            const DataPacket found = packet(method, {key, ""});
            ASSERT_EQ(found.rowCount(), 1);
            EXPECT_EQ(field(found, 0, party.code).toText(), company->toString());
            EXPECT_EQ(field(found, 0, party.kind).toText(), u"J");
        }
        EXPECT_EQ(packet(method, {"00000000000000", ""}).rowCount(), 0);
        EXPECT_EQ(packet(method, {"", ""}).rowCount(), 0);
        const auto all =
            sql().scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QString::fromLatin1(party.table)));
        EXPECT_EQ(packet(method, {"", "T"}).rowCount(), all->toInt());
    }
}

TEST_P(MethodTest, AccountingPeriodIsOpenOnlyInsideAnOpenPeriodOfTheCompany) {
    struct Case {
        const char *name;
        const char *company;
        QDate date;
        bool open;
    } cases[] = {
        {"this month is open", "01", demoDate, true},
        {"the month before last is closed for company 01", "01", QDate(2024, 1, 20), false},
        {"the month before last is open for company 02", "02", QDate(2024, 1, 20), true},
        {"three months back is closed for everyone", "02", QDate(2023, 12, 31), false},
        {"a date beyond every period", "01", QDate(2025, 1, 1), false},
        {"no date", "01", QDate(), false},
        {"an unknown company", "99", demoDate, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const CallOutcome outcome = server->call(QStringLiteral("GetVdPeriodoContabil"), {c.company, c.date});
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        EXPECT_EQ(outcome.result, Variant(c.open));
        EXPECT_EQ(outcome.args, (VariantList{c.company, c.date}));
    }
}

TEST_P(MethodTest, DuplicateSearchFindsTheMovementOfThoseFiveValues) {
    QString account, document, history;
    QDate date;
    qint64 cents = 0;
    sql().forEach(
        QStringLiteral("SELECT CDREDUCONT, DTMOVBANC, NRDOCMBANC, VRMOVBANC, DSHISMBANC FROM MOVBANCARIO "
                       "WHERE NRDOCMBANC IS NOT NULL ORDER BY CDREDUCONT, NRMOVBANC"),
        {}, [&](const SqlRow &row) {
            if (!account.isEmpty())
                return;
            account = row.text(0);
            date = row.date(1);
            document = row.text(2);
            cents = row.integer(3);
            history = row.text(4);
        });
    const double value = cents / 100.0;
    QString withoutLeadingZeros = document;
    while (withoutLeadingZeros.startsWith(u'0'))
        withoutLeadingZeros.remove(0, 1);
    ASSERT_NE(withoutLeadingZeros, document) << "the demo's documents are brought to width with zeros";
    // A movement of those values without a document, which a document of zeros alone does not repeat.
    sql().execute(QStringLiteral("INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, IDMOVBANC, "
                                 "NRDOCMBANC, DSHISMBANC, VRMOVBANC, IDORIGMBANC, IDSTCONEXT) VALUES "
                                 "(:conta, '9000000003', :data, 'C', '', 'Sem documento', :valor, 'R', '0')"),
                  {{QStringLiteral("conta"), account},
                   {QStringLiteral("data"), date},
                   {QStringLiteral("valor"), cents}});
    // Two more of those values whose histories begin with what is no blank: a tab, a no-break space.
    const QString tabbed = QStringLiteral("\tAluguel"), unbroken = QStringLiteral("\u00a0Aluguel");
    for (const QString &begun : {tabbed, unbroken})
        sql().execute(
            QStringLiteral("INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, IDMOVBANC, "
                           "NRDOCMBANC, DSHISMBANC, VRMOVBANC, IDORIGMBANC, IDSTCONEXT) VALUES "
                           "(:conta, :numero, :data, 'C', :documento, :historico, :valor, 'R', '0')"),
            {{QStringLiteral("conta"), account},
             {QStringLiteral("numero"), begun == tabbed ? "9000000001" : "9000000002"},
             {QStringLiteral("data"), date},
             {QStringLiteral("documento"), document},
             {QStringLiteral("historico"), begun + QStringLiteral(" (Importação via xls)")},
             {QStringLiteral("valor"), cents}});
    struct Case {
        const char *name;
        VariantList args;
        int found;
    } cases[] = {
        {"the same five values", {account, date, document, value, history}, 1},
        {"a history that begins with a tab",
         {account, date, document, value, tabbed + QStringLiteral(" (Importação via xls)")},
         1},
        {"a history that begins with a no-break space",
         {account, date, document, value, unbroken + QStringLiteral(" (Importação via xls)")},
         1},
        {"that history without its tab", {account, date, document, value, QStringLiteral("Aluguel")}, 0},
        {"a history longer than the stored one, as the import sends it",
         {account, date, document, value, history + QStringLiteral(" (Importação via xls)")},
         history.size() == 40},
        {"the value as the change form holds a debit's, negative",
         {account, date, document, -value, history},
         1},
        {"another value", {account, date, document, value + 0.01, history}, 0},
        {"another day", {account, date.addDays(1), document, value, history}, 0},
        {"another document", {account, date, QStringLiteral("X"), value, history}, 0},
        {"the document with a no-break space after it, which it is stored without",
         {account, date, document + QStringLiteral("\u00a0"), value, history},
         1},
        // The form brings a document to its width with zeros; a workbook's import stores it as written.
        {"the document without the zeros that lead it",
         {account, date, withoutLeadingZeros, value, history},
         1},
        {"the document led by more zeros",
         {account, date, QStringLiteral("00") + document, value, history},
         1},
        {"zeros alone, which is no empty document",
         {account, date, QStringLiteral("0000000000"), value, QStringLiteral("Sem documento")},
         0},
    };
    VariantList searches;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const DataPacket found = packet(QStringLiteral("getPesqMovBanc"), c.args);
        EXPECT_EQ(found.rowCount(), c.found);
        searches.push_back(c.args);
    }
    // The same searches in one call answer, in their order, the number of what each finds, each movement to
    // the first search that finds it: it stands for one row of a file.
    const VariantList numbers =
        server->answer(QStringLiteral("getPesqMovBancLote"), VariantList{Variant(searches)}).array();
    const QStringList expected = takenInOrder(searches);
    EXPECT_EQ(texts(numbers), expected);
    EXPECT_EQ(expected.count(QString()),
              std::count_if(std::begin(cases), std::end(cases), [](const Case &c) { return c.found == 0; }) +
                  5)
        << "five searches find the movement of the first";
}

// Searches over more days than one reading of the days takes, the days of every account of the database
// among them, answer what each search answers alone, less what the searches before took; of two equal
// movements of a day, the first by number goes to the first search.
TEST_P(MethodTest, ManyDuplicateSearchesOverManyDaysAnswerAsEachAlone) {
    sql().execute(QStringLiteral(
        "INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, IDMOVBANC, NRDOCMBANC, DSHISMBANC, "
        "VRMOVBANC, IDORIGMBANC, IDSTCONEXT) SELECT CDREDUCONT, '0000000000', DTMOVBANC, IDMOVBANC, "
        "NRDOCMBANC, DSHISMBANC, VRMOVBANC, IDORIGMBANC, '0' FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND "
        "NRMOVBANC = (SELECT MAX(NRMOVBANC) FROM MOVBANCARIO WHERE CDREDUCONT = '001')"));
    VariantList searches;
    std::set<QDate> daysOfOne;
    sql().forEach(QStringLiteral("SELECT CDREDUCONT, DTMOVBANC, NRDOCMBANC, VRMOVBANC, DSHISMBANC FROM "
                                 "MOVBANCARIO ORDER BY CDREDUCONT, NRMOVBANC"),
                  {}, [&](const SqlRow &row) {
                      for (const int later : {0, 1, 40, 90}) {
                          if (row.text(0) == u"001")
                              daysOfOne.insert(row.date(1).addDays(later));
                          searches.push_back(VariantList{row.text(0), row.date(1).addDays(later), row.text(2),
                                                         row.integer(3) / 100.0, row.text(4)});
                      }
                  });
    ASSERT_GT(daysOfOne.size(), 64U);
    const VariantList numbers =
        server->answer(QStringLiteral("getPesqMovBancLote"), VariantList{Variant(searches)}).array();
    const QStringList expected = takenInOrder(searches);
    EXPECT_EQ(texts(numbers), expected);
    EXPECT_GE(searches.size() - static_cast<size_t>(expected.count(QString())), searches.size() / 4);
    EXPECT_TRUE(std::find(numbers.begin(), numbers.end(), Variant(QStringLiteral("0000000000"))) !=
                numbers.end());
}

// A search that names its kind finds movements of that kind only: a debit that reverses a credit of the same
// values repeats none. Without a kind, either is found.
TEST_P(MethodTest, ADuplicateSearchOfAKindFindsMovementsOfThatKindOnly) {
    const QString account = QStringLiteral("001");
    QString number, document, history;
    QDate date;
    qint64 cents = 0;
    sql().forEach(
        QStringLiteral("SELECT NRMOVBANC, IDMOVBANC, COALESCE(NRDOCMBANC, ''), DSHISMBANC, DTMOVBANC, "
                       "VRMOVBANC FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND IDMOVBANC = 'C' ORDER BY "
                       "NRMOVBANC"),
        {}, [&](const SqlRow &row) {
            if (!number.isEmpty())
                return;
            number = row.text(0);
            document = row.text(2);
            history = row.text(3);
            date = row.date(4);
            cents = row.integer(5);
        });
    ASSERT_FALSE(number.isEmpty());
    const VariantList values{account, date, document, cents / 100.0, history};
    const auto with = [&values](const char *letter) {
        VariantList search = values;
        search.push_back(QString::fromLatin1(letter));
        return Variant(search);
    };
    const struct {
        const char *name;
        VariantList searches;
        QStringList found;
    } cases[] = {
        {"a debit", {with("D")}, {QString()}},
        {"a credit", {with("c")}, {number}},
        {"no kind", {Variant(values)}, {number}},
        {"a debit, then no kind", {with("D"), Variant(values)}, {QString(), number}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(texts(server->answer(QStringLiteral("getPesqMovBancLote"), VariantList{Variant(c.searches)})
                            .array()),
                  c.found);
    }
}

TEST_P(MethodTest, ManyDuplicateSearchesAreRefusedWholeForAnyOneOfThem) {
    const VariantList fine{"001", demoDate, "", 1.0, ""};
    struct Case {
        const char *name;
        Variant searches;
        CallOutcome::Status status;
        QString error;
    } cases[] = {
        {"an account nobody registered", VariantList{fine, VariantList{"999", demoDate, "", 1.0, ""}},
         CallOutcome::Status::Refused, QStringLiteral("Pesquisa 2: Conta corrente 999 não cadastrada.")},
        {"no date", VariantList{Variant(VariantList{"001", QDate(), "", 1.0, ""})},
         CallOutcome::Status::Refused, QStringLiteral("Pesquisa 1: Data deve ser informada.")},
        {"no list", Variant(QStringLiteral("001")), CallOutcome::Status::Refused,
         QStringLiteral("As pesquisas devem ser enviadas numa lista.")},
        {"a search of four values", VariantList{fine, VariantList{"001", demoDate, "", 1.0}},
         CallOutcome::Status::BadArguments,
         QStringLiteral("getPesqMovBancLote failed: search 2: getPesqMovBanc takes 5 arguments, not 4")},
        {"a search that is no list", VariantList{fine, Variant(2)}, CallOutcome::Status::BadArguments,
         QStringLiteral("getPesqMovBancLote failed: search 2 must be an array of the arguments of "
                        "getPesqMovBanc")},
        {"more searches than a call takes", VariantList(10001, fine), CallOutcome::Status::Refused,
         QStringLiteral("Uma chamada pesquisa no máximo 10000 movimentos.")},
        {"a kind that is neither credit nor debit",
         VariantList{fine, VariantList{"001", demoDate, "", 1.0, "", "X"}}, CallOutcome::Status::Refused,
         QStringLiteral("Pesquisa 2: Tipo de lançamento inválido: \"X\" (use C ou D).")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const CallOutcome outcome =
            server->call(QStringLiteral("getPesqMovBancLote"), VariantList{c.searches});
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.error, c.error);
    }
    expectRefused(
        server->callAs(server->restrictedToken(), QStringLiteral("getPesqMovBancLote"),
                       VariantList{Variant(VariantList{fine, VariantList{"004", demoDate, "", 1.0, ""}})}),
        QStringLiteral("Pesquisa 2: Operador RESTRITO não relacionado à empresa 02 da conta corrente "
                       "004."));
}

TEST_P(MethodTest, DefaultCostCentresComeFromTheBranchOrTheCompany) {
    struct Case {
        const char *name;
        const char *method, *code;
        int rows;
        Variant costCentre;
    } cases[] = {
        {"a branch with a default", "getCentCustFilial", "0101", 1, "0001"},
        {"a branch without one", "getCentCustFilial", "0102", 1, Variant()},
        {"no branch", "getCentCustFilial", "", 0, Variant()},
        {"an unknown branch", "getCentCustFilial", "9999", 0, Variant()},
        {"a company with a default", "getEmpresa", "02", 1, "0003"},
        {"a company without one", "getEmpresa", "03", 1, Variant()},
        {"no company", "getEmpresa", "", 0, Variant()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const DataPacket answer = packet(QString::fromLatin1(c.method), {c.code});
        ASSERT_EQ(answer.rowCount(), c.rows);
        EXPECT_EQ(answer.fieldIndex(u"CDCENTCUST"), 0);
        if (c.rows > 0) {
            EXPECT_EQ(field(answer, 0, "CDCENTCUST"), c.costCentre);
        }
    }
}

TEST_P(MethodTest, NumbersFollowTheAccountsHighestAndAreNeverRepeated) {
    struct Series {
        const char *method, *table, *column;
    } series[] = {
        {"getPrxMovBancario", "MOVBANCARIO", "NRMOVBANC"},
        {"getPrxMovCredBanc", "MOVCREDBANC", "NRMOVICRED"},
        {"getPrxMovDebBanc", "MOVDEBIBANC", "NRMOVIDEBI"},
    };
    for (const Series &s : series) {
        SCOPED_TRACE(s.method);
        const auto highest =
            sql().scalar(QStringLiteral("SELECT MAX(%1) FROM %2 WHERE CDREDUCONT = '002'")
                             .arg(QString::fromLatin1(s.column), QString::fromLatin1(s.table)));
        const qint64 next = highest->toString().toLongLong() + 1;
        const QString method = QString::fromLatin1(s.method);
        EXPECT_EQ(server->answer(method, {"002", "1"}),
                  Variant(QStringLiteral("%1").arg(next, 10, 10, QLatin1Char('0'))));
        EXPECT_EQ(server->answer(method, {"002", "3"}).toText().toLongLong(), next + 1);
        EXPECT_EQ(server->answer(method, {"002", "1"}).toText().toLongLong(), next + 4);
    }
}

TEST_P(MethodTest, NumberingStartsAfterTheNumbersAnAccountAlreadyHolds) {
    sql().execute(QStringLiteral("DELETE FROM NUMERACAO WHERE CDCHAVE = '003'"));
    const auto highest =
        sql().scalar(QStringLiteral("SELECT MAX(NRMOVBANC) FROM MOVBANCARIO WHERE CDREDUCONT = '003'"));
    EXPECT_EQ(server->answer(QStringLiteral("getPrxMovBancario"), {"003", "1"}).toText().toLongLong(),
              highest->toString().toLongLong() + 1);
}

TEST_P(MethodTest, NumberingRefusesAnImpossibleQuantityAndWritesNothing) {
    for (const char *quantity : {"0", "-1", "100001", "x"}) {
        SCOPED_TRACE(quantity);
        expectRefused(
            server->call(QStringLiteral("getPrxMovBancario"), {"002", quantity}),
            QStringLiteral("Quantidade de números inválida: %1.").arg(QString::fromLatin1(quantity)));
    }
    const auto last = sql().scalar(
        QStringLiteral("SELECT NRULTIMO FROM NUMERACAO WHERE IDTIPONUM = 'MB' AND CDCHAVE = '002'"));
    EXPECT_EQ(server->answer(QStringLiteral("getPrxMovBancario"), {"002", "1"}).toText().toLongLong(),
              last->toLongLong() + 1);
}

// A client drawing the largest quantities without writing would use up an account's numbers for good in
// minutes: an operator's draws of a series in a day stop at the day's allowance, moving no series, and leave
// the other series and the other operators theirs. The count is the database's (every server's, across
// restarts), and keeps yesterday's and today's only: a draw begun before midnight still counts on
// yesterday's.
TEST_P(MethodTest, AnOperatorsDrawsOfASeriesStopAtTheDaysAllowanceMovingNoSeries) {
    sql().execute(
        QStringLiteral("INSERT INTO NUMEROPEDIDO (IDTIPONUM, CDCHAVE, CDOPERADOR, DTDIA, QTNUMEROS) "
                       "VALUES ('MB', '002', 'DEMO', '2000-01-01', 1), ('MB', '002', 'SUPERV', %1, 7)")
            .arg(sql().dialect() == Dialect::Sqlite
                     ? QStringLiteral("date('now', '-1 day')")
                     : QStringLiteral("(now() AT TIME ZONE 'UTC')::date - 1")));
    constexpr int Largest = 100000;
    for (int draw = 0; draw < NumbersPerOperatorPerDay / Largest; ++draw)
        ASSERT_TRUE(server->call(QStringLiteral("getPrxMovBancario"), {"002", QString::number(Largest)}).ok())
            << draw;
    const auto last = [this] {
        return sql()
            .scalar(
                QStringLiteral("SELECT NRULTIMO FROM NUMERACAO WHERE IDTIPONUM = 'MB' AND CDCHAVE = '002'"))
            ->toLongLong();
    };
    const qint64 before = last();
    expectRefused(
        server->call(QStringLiteral("getPrxMovBancario"), {"002", "1"}),
        QStringLiteral("O operador DEMO já pediu hoje 20000000 números desta série da conta 002, e "
                       "estes 1 passariam do limite de um dia (20000000): nenhum número foi dado. Um "
                       "programa que pede números sem gravar os lançamentos deve ser parado; o limite "
                       "recomeça no dia seguinte."));
    EXPECT_EQ(last(), before);
    EXPECT_EQ(number(QStringLiteral("SELECT SUM(QTNUMEROS) FROM NUMEROPEDIDO WHERE IDTIPONUM = 'MB' AND "
                                    "CDCHAVE = '002' AND CDOPERADOR = 'DEMO'")),
              NumbersPerOperatorPerDay)
        << "the refused draw counted nothing, and the count of a day before yesterday is gone";
    EXPECT_EQ(number(QStringLiteral("SELECT SUM(QTNUMEROS) FROM NUMEROPEDIDO WHERE CDOPERADOR = 'SUPERV'")),
              7)
        << "yesterday's count stays";
    EXPECT_TRUE(server->call(QStringLiteral("getPrxMovCredBanc"), {"002", "1"}).ok()) << "another series";
    const CallOutcome other =
        server->callAs(server->restrictedToken(), QStringLiteral("getPrxMovBancario"), {"002", "1"});
    EXPECT_TRUE(other.ok()) << "another operator: " << other.error.toStdString();
}

TEST_P(MethodTest, AccountBoundMethodsRefuseUnknownAccountsAndAccountsOfOtherCompanies) {
    const struct {
        const char *method;
        VariantList args;
    } calls[] = {
        {"getSaldoDia", {"ACCOUNT", demoDate}},
        {"getPesqMovBanc", {"ACCOUNT", demoDate, "", 1.0, ""}},
        {"getPrxMovBancario", {"ACCOUNT", "1"}},
        {"getPrxMovCredBanc", {"ACCOUNT", "1"}},
        {"getPrxMovDebBanc", {"ACCOUNT", "1"}},
        {"GetLancamentos", {"ACCOUNT", QDate(), QDate(), 0.0, 0.0, "T", "T", "", "T"}},
        {"GetVersaoLancamentos", {"ACCOUNT"}},
    };
    for (const auto &c : calls) {
        SCOPED_TRACE(c.method);
        const auto withAccount = [&](const char *account) {
            VariantList args = c.args;
            args[0] = account;
            return args;
        };
        expectRefused(
            server->callAs(server->restrictedToken(), QString::fromLatin1(c.method), withAccount("004")),
            QStringLiteral("Operador RESTRITO não relacionado à empresa 02 da conta corrente 004."));
        expectRefused(server->call(QString::fromLatin1(c.method), withAccount("999")),
                      QStringLiteral("Conta corrente 999 não cadastrada."));
        EXPECT_TRUE(
            server->callAs(server->restrictedToken(), QString::fromLatin1(c.method), withAccount("001"))
                .ok());
    }
}

TEST_P(MethodTest, EntryTypesAreListedWithTheirKindLetter) {
    const DataPacket types = packet(QStringLiteral("getLancto"));
    const auto credits = sql().scalar(QStringLiteral("SELECT COUNT(*) FROM TPCREDBANC"))->toInt();
    const auto debits = sql().scalar(QStringLiteral("SELECT COUNT(*) FROM TPDEBIBANC"))->toInt();
    ASSERT_EQ(types.rowCount(), credits + debits);
    EXPECT_EQ(field(types, 0, "TIPCOD").toText(), u"C0001");
    EXPECT_EQ(field(types, 0, "CODIGO").toText(), u"0001");
    EXPECT_EQ(field(types, 0, "TIPO").toText(), u"C");
    EXPECT_EQ(field(types, 0, "IDMARCADO").toText(), u"N");
    EXPECT_EQ(field(types, credits, "TIPCOD").toText(), u"D0001");
    EXPECT_EQ(field(types, credits, "DESCRICAO").toText(), u"Tarifa bancária");
}

TEST_P(MethodTest, ReportBranchesAreThoseOfTheChosenOrOfAllTheOperatorsCompanies) {
    EXPECT_EQ(column(packet(QStringLiteral("GetFilialRel"), {"'01','03'", "T", false}), "CDFILIAL"),
              (QStringList{"0101", "0102", "0301", "0302"}));
    EXPECT_EQ(column(packet(QStringLiteral("GetFilialRel"), {"", "T", true}), "CDFILIAL").size(), 6);
    const CallOutcome restricted =
        server->callAs(server->restrictedToken(), QStringLiteral("GetFilialRel"), {"'02'", "T", true});
    ASSERT_TRUE(restricted.ok());
    EXPECT_EQ(column(restricted.result.packet(), "CDFILIAL"), (QStringList{"0101", "0102"}));
    expectRefused(server->call(QStringLiteral("GetFilialRel"), {"01,03", "T", false}),
                  QStringLiteral("Lista de empresas inválida: 01,03"));
}

INSTANTIATE_TEST_SUITE_P(Databases, MethodTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
