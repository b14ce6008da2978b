#include <gtest/gtest.h>

#include "server_test_support.h"

namespace bco::server::testing {
namespace {

using ChequeTest = DemoServerTest;

// A cheque is recorded for a debit once, under a number the account has not used, for the debit's value;
// anything else is refused with nothing written.
TEST_P(ChequeTest, ACheckedChequeIsRecordedOnItsDebitAndAnythingElseIsRefused) {
    struct Debit {
        QString account, number;
        QDate date;
        double value = 0.0;
    } chequeDebit, other;
    const auto pick = [this](Debit &found, const QString &exclude) {
        sql().forEach(
            QStringLiteral(
                "SELECT CDREDUCONT, NRMOVIDEBI, DTMOVIDEBI, VRMOVIDEBI FROM MOVDEBIBANC WHERE "
                "NRCHEQUE IS NULL AND CDREDUCONT = '001' AND NRMOVIDEBI <> :fora AND DTMOVIDEBI > (SELECT "
                "DTBLOQATE FROM PARAMGERAL WHERE TRIM(CDMODULO) = 'BCO_') AND EXISTS (SELECT 1 FROM "
                "PERIODOCTB P WHERE P.CDEMPRESA = MOVDEBIBANC.CDEMPRESA AND P.IDSITUPERI = 'A' AND "
                "DTMOVIDEBI BETWEEN P.DTINIPERI AND P.DTFIMPERI) ORDER BY 2"),
            {{QStringLiteral("fora"), exclude}}, [&](const SqlRow &row) {
                if (found.number.isEmpty())
                    found = {row.text(0), row.text(1), row.date(2), row.integer(3) / 100.0};
            });
        ASSERT_FALSE(found.number.isEmpty());
    };
    pick(chequeDebit, QString());
    pick(other, chequeDebit.number);
    const QString used =
        sql().scalar(QStringLiteral("SELECT MAX(NRCHEQUE) FROM CHEQUE WHERE CDREDUCONT = '001'"))->toString();
    ASSERT_FALSE(used.isEmpty());
    const auto emit = [&](const Debit &d, const QString &cheque, double value, QDate date,
                          const QString &token = {}) {
        return server->callAs(
            token.isEmpty() ? server->demoToken() : token, QStringLiteral("SetEmiteCheque"),
            {d.account, d.number, cheque, date, value, QStringLiteral("Energia Limpa S.A.")});
    };
    // Another debit's cheque, good but for its payee.
    const auto payee = [&](const QString &name) {
        return server->call(QStringLiteral("SetEmiteCheque"),
                            {other.account, other.number, "5000", other.date, other.value, name});
    };
    const auto written = [this] {
        return QList<qint64>{
            number(QStringLiteral("SELECT COUNT(*) FROM CHEQUE")),
            number(QStringLiteral("SELECT COUNT(*) FROM MOVDEBIBANC WHERE NRCHEQUE IS NOT NULL"))};
    };

    const CallOutcome recorded =
        emit(chequeDebit, QStringLiteral("4242"), chequeDebit.value, chequeDebit.date);
    ASSERT_TRUE(recorded.ok()) << recorded.error.toStdString();
    EXPECT_EQ(recorded.result.toText(), QStringLiteral("004242"));
    EXPECT_EQ(
        number(QStringLiteral("SELECT COUNT(*) FROM CHEQUE WHERE CDREDUCONT = '001' AND NRCHEQUE = '004242' "
                              "AND IDSITUCHEQ = 'E' AND NRMOVIDEBI = :debito AND VRCHEQUE = :valor"),
               {{QStringLiteral("debito"), chequeDebit.number},
                {QStringLiteral("valor"), qRound64(chequeDebit.value * 100)}}),
        1);
    EXPECT_EQ(sql()
                  .scalar(QStringLiteral(
                              "SELECT NRCHEQUE FROM MOVDEBIBANC WHERE CDREDUCONT = '001' AND NRMOVIDEBI = "
                              ":debito"),
                          {{QStringLiteral("debito"), chequeDebit.number}})
                  ->toString(),
              QStringLiteral("004242"));

    const struct {
        const char *name;
        std::function<CallOutcome()> call;
        const char *error;
    } refusals[] = {
        {"a second cheque for the debit",
         [&] { return emit(chequeDebit, "4243", chequeDebit.value, chequeDebit.date); },
         "já tem o cheque 004242"},
        {"a number the account used", [&] { return emit(other, used, other.value, other.date); },
         "já foi emitido"},
        {"a number that is no number", [&] { return emit(other, "12A", other.value, other.date); },
         "Número de cheque inválido"},
        {"a number of seven digits", [&] { return emit(other, "1234567", other.value, other.date); },
         "Número de cheque inválido"},
        {"a number with a sign", [&] { return emit(other, "+12", other.value, other.date); },
         "Número de cheque inválido"},
        {"a date other than the debit's", [&] { return emit(other, "5000", other.value, QDate(1, 1, 1)); },
         "A data do cheque deve ser a data do débito"},
        {"another value than the debit's",
         [&] { return emit(other, "5000", other.value + 0.01, other.date); }, "deve ser o valor do débito"},
        {"no date", [&] { return emit(other, "5000", other.value, QDate()); }, "Data do cheque"},
        {"a payee longer than the cheque's line", [&] { return payee(QString(61, u'F')); },
         "passa de 60 caracteres"},
        {"a payee across two lines", [&] { return payee(QStringLiteral("LINHA1\nLINHA2")); },
         "caracteres de controle"},
        {"a payee across two paragraphs", [&] { return payee(QStringLiteral("LINHA1\u2029LINHA2")); },
         "caracteres de controle"},
        {"a debit the account does not hold",
         [&] {
             return emit({"001", "0099999999", chequeDebit.date, 1.0}, "5000", 1.0, chequeDebit.date);
         },
         "não encontrado"},
        // Named as one deleted since the list was loaded, the operator would look for someone who deleted it.
        {"a debit's number without its zeros, with a listed version",
         [&] {
             return server->call(QStringLiteral("SetEmiteCheque"),
                                 {other.account, QString::number(other.number.toLongLong()), "5000",
                                  other.date, other.value, QStringLiteral("Energia Limpa S.A."),
                                  QStringLiteral("1")});
         },
         "não encontrado"},
        {"a debit's number drawn and never written, with a listed version",
         [&] {
             const QString drawn = server->answer(QStringLiteral("getPrxMovDebBanc"), {"001", "1"}).toText();
             return server->call(QStringLiteral("SetEmiteCheque"),
                                 {other.account, drawn, "5000", other.date, other.value,
                                  QStringLiteral("Energia Limpa S.A."), QStringLiteral("1")});
         },
         "não encontrado"},
        {"an account of another company",
         [&] {
             return emit({"004", other.number, chequeDebit.date, 1.0}, "5000", 1.0, chequeDebit.date,
                         server->restrictedToken());
         },
         "não relacionado"},
    };
    for (const auto &r : refusals) {
        SCOPED_TRACE(r.name);
        const QList<qint64> before = written();
        const CallOutcome outcome = r.call();
        EXPECT_FALSE(outcome.ok());
        EXPECT_TRUE(outcome.error.contains(QString::fromUtf8(r.error))) << outcome.error.toStdString();
        EXPECT_EQ(written(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, ChequeTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
