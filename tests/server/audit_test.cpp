#include <gtest/gtest.h>

#include "server/transport/audit.h"
#include "server_test_support.h"

namespace bco::server::testing {
namespace {

using AuditTest = BackendTest;

QStringList auditRows(Sql &sql) {
    QStringList rows;
    sql.forEach(
        QStringLiteral("SELECT CDOPERADOR, NMMETODO, COALESCE(CDREDUCONT, '-'), COALESCE(DSNUMEROS, '-') "
                       "FROM AUDITORIA ORDER BY NRAUDITORIA"),
        {}, [&](const SqlRow &row) {
            rows.append(
                QStringLiteral("%1 %2 %3 %4").arg(row.text(0), row.text(1), row.text(2), row.text(3)));
        });
    return rows;
}

// Whatever a writing handler reports becomes the call's audit rows, in the call's transaction: gone with a
// refusal, absent for a reading call.
TEST_P(AuditTest, EveryWritingCallLeavesTheRowsItsHandlerReported) {
    TestServer server(GetParam());
    const auto reporting = [](std::vector<std::pair<QString, QStringList>> reports, bool refuse) {
        return [reports, refuse](CallContext &context, VariantList &) -> Variant {
            for (const auto &[account, numbers] : reports)
                context.reportWrite(account, numbers);
            if (refuse)
                throw Refusal(QStringLiteral("não"));
            return true;
        };
    };
    MethodRegistry methods;
    methods.add({.name = QStringLiteral("writesOne"),
                 .writes = true,
                 .handler = reporting({{"001", {"0000000010", "0000000004"}}}, false)});
    methods.add({.name = QStringLiteral("writesTwo"),
                 .writes = true,
                 .handler = reporting(
                     {{"001", {"0000000011"}}, {"002", {"0000000001"}}, {"001", {"0000000012"}}}, false)});
    methods.add({.name = QStringLiteral("writesNothingOfAnAccount"),
                 .writes = true,
                 .handler = reporting({}, false)});
    methods.add({.name = QStringLiteral("refusesAfterWriting"),
                 .writes = true,
                 .handler = reporting({{"001", {"0000000013"}}}, true)});
    methods.add({.name = QStringLiteral("reads"), .handler = reporting({{"001", {"0000000014"}}}, false)});
    Dispatcher dispatcher(server.database().pool(), server.sessions(), std::move(methods));
    for (const char *method :
         {"writesOne", "writesTwo", "writesNothingOfAnAccount", "refusesAfterWriting", "reads"})
        dispatcher.call(QString::fromLatin1(method), {}, server.restrictedToken());
    EXPECT_EQ(auditRows(server.database().sql()),
              (QStringList{QStringLiteral("RESTRITO writesOne 001 0000000010, 0000000004"),
                           QStringLiteral("RESTRITO writesTwo 001 0000000011, 0000000012"),
                           QStringLiteral("RESTRITO writesTwo 002 0000000001"),
                           QStringLiteral("RESTRITO writesNothingOfAnAccount - -")}));
}

TEST_P(AuditTest, TheNumberingMethodsReportTheNumbersTheyHandedOut) {
    TestServer server(GetParam());
    const QString first = server.answer(QStringLiteral("getPrxMovDebBanc"), {"003", "3"}).toText();
    const QString single = server.answer(QStringLiteral("getPrxMovBancario"), {"003", "1"}).toText();
    const QString last = QStringLiteral("%1").arg(first.toLongLong() + 2, 10, 10, QLatin1Char('0'));
    EXPECT_EQ(auditRows(server.database().sql()),
              (QStringList{QStringLiteral("DEMO getPrxMovDebBanc 003 %1-%2").arg(first, last),
                           QStringLiteral("DEMO getPrxMovBancario 003 %1").arg(single)}));
}

// An entry's inclusion, change and deletion each name its account, movement and number; a refused one
// leaves nothing.
TEST_P(AuditTest, TheEntryMethodsReportTheMovementAndNumberTheyWrote) {
    TestServer server(GetParam());
    EntryRequest entry{.kind = 'D', .costCentre = "0005"};
    const Insertion included = insertion(server, entry);
    server.answer(included.method, included.args);
    const Insertion changed = change(entry, QStringLiteral("Tarifa corrigida"));
    server.answer(changed.method, changed.args);
    EntryRequest stale = entry;
    stale.value = 1.0;
    EXPECT_FALSE(server.call(QStringLiteral("GetDeletaLanc"), deletion(stale)).ok());
    server.answer(QStringLiteral("GetDeletaLanc"), deletion(entry));

    const QString numbers = entry.movement + QStringLiteral(", ") + entry.number;
    QStringList entryRows = auditRows(server.database().sql());
    entryRows.removeIf([](const QString &row) { return row.contains(u" getPrx"); });
    EXPECT_EQ(entryRows, (QStringList{QStringLiteral("DEMO getIncDebito 001 ") + numbers,
                                      QStringLiteral("DEMO getAlterDebito 001 ") + numbers,
                                      QStringLiteral("DEMO GetDeletaLanc 001 ") + numbers}));
}

TEST_P(AuditTest, TheListingOfAnAccountKeepsToItsDays) {
    TestDatabase database(GetParam(), false);
    Sql &sql = database.sql();
    const QDate day(2024, 3, 15);
    const auto at = [](QDate date, int hour) {
        return QDateTime(date, QTime(hour, 0)).toMSecsSinceEpoch();
    };
    recordAudit(sql, at(day.addDays(-1), 23), QStringLiteral("DEMO"), QStringLiteral("getInsert"),
                {{QStringLiteral("001"), {QStringLiteral("0000000001")}}});
    recordAudit(sql, at(day, 0), QStringLiteral("SUPERV"), QStringLiteral("GetDeletaLanc"),
                {{QStringLiteral("001"), {QStringLiteral("0000000001")}}, {QStringLiteral("002"), {}}});
    recordAudit(sql, at(day, 23), QStringLiteral("DEMO"), QStringLiteral("getAlteraCred"),
                {{QStringLiteral("001"), {QStringLiteral("0000000002"), QStringLiteral("0000000007")}}});
    recordAudit(sql, at(day.addDays(1), 0), QStringLiteral("DEMO"), QStringLiteral("getInsert"),
                {{QStringLiteral("001"), {QStringLiteral("0000000003")}}});
    EXPECT_EQ(formatAudit(auditOf(sql, QStringLiteral("001"), day, day)),
              QStringLiteral("2024-03-15 00:00:00.000  SUPERV      GetDeletaLanc         001  0000000001\n"
                             "2024-03-15 23:00:00.000  DEMO        getAlteraCred         001  0000000002, "
                             "0000000007\n"));
    EXPECT_EQ(auditOf(sql, QStringLiteral("001"), QDate(), QDate()).size(), 4);
    EXPECT_EQ(auditOf(sql, QStringLiteral("001"), day.addDays(1), QDate()).size(), 1);
    EXPECT_EQ(auditOf(sql, QStringLiteral("002"), QDate(), day.addDays(-1)).size(), 0);
}

INSTANTIATE_TEST_SUITE_P(Databases, AuditTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
