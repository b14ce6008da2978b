// The reconciliation screen on a month of 5,000 statement lines and the 5,000 movements they stand for,
// against the real server in this process over HTTP on loopback: the time from choosing the statement to
// its lines, the open movements, the proposals and the chart shown.
#include <stdexcept>

#include <QComboBox>
#include <QCryptographicHash>
#include <QSqlQuery>

#include "bench_support.h"
#include "entry_form_bench.h"
#include "framework/remote/net_connection.h"
#include "framework/session/shared_database.h"
#include "reconciliation/reconciliation_form.h"
#include "statement_model/statement_calls.h"

namespace {

constexpr int Lines = 5000;

// The statement the bank would send for the account's movements of the month: one line each, two days after
// the books for every tenth, so that the proposals have dates to weigh.
bco::BankStatement statementOf(const QString &account) {
    bco::BankStatement statement;
    statement.firstDay = QDate(2024, 3, 1);
    statement.lastDay = QDate(2024, 3, 31);
    QSqlQuery query(dtmDBGeral::adcGeral());
    query.prepare(
        QStringLiteral("SELECT NRMOVBANC, DTMOVBANC, IDMOVBANC, VRMOVBANC, NRDOCMBANC FROM MOVBANCARIO "
                       "WHERE CDREDUCONT = ? ORDER BY NRMOVBANC"));
    query.addBindValue(account);
    if (!query.exec())
        throw std::runtime_error("the movements cannot be read");
    int line = 0;
    while (query.next()) {
        const QDate day = query.value(1).toDate().addDays(line % 10 == 0 ? 2 : 0);
        statement.lines.append({.bankId = QStringLiteral("B%1").arg(line),
                                .date = std::min(day, statement.lastDay),
                                .kind = query.value(2).toString().at(0),
                                .cents = query.value(3).toLongLong(),
                                .document = query.value(4).toString(),
                                .description = QStringLiteral("LINHA %1").arg(line),
                                .fileLine = line + 1});
        ++line;
    }
    statement.closing = bco::StatementBalance{.cents = 0, .date = statement.lastDay, .stated = true};
    statement.contentKey =
        QCryptographicHash::hash(QByteArray::number(line), QCryptographicHash::Sha256).toHex();
    return statement;
}

} // namespace

int main(int argc, char **argv) {
    bench::EntryFormBench bench(argc, argv, "bench_reconciliation",
                                {.account = QStringLiteral("070"),
                                 .count = Lines,
                                 .perDay = Lines / 31 + 1,
                                 .firstDate = QDate(2024, 3, 1),
                                 .firstNumber = 0},
                                true);
    bco::NetConnection server;
    server.SetBeforeConnect([](bco::NetConnection &connection) { Ondrima::PrepareConnection(connection); });
    server.Open();
    const bco::BankStatement statement = statementOf(QStringLiteral("070"));
    if (statement.lines.size() != Lines)
        throw std::runtime_error("the account does not hold the month's movements");
    bco::storeStatement(server, QStringLiteral("070"), statement);

    Cli_bco11105::CriaConciliacao();
    Cli_bco11105::TfrmConciliacao &form = *Cli_bco11105::frmConciliacao;
    form.resize(1200, 800);
    QApplication::setActiveWindow(&form);
    if (!QTest::qWaitForWindowActive(&form))
        throw std::runtime_error("the reconciliation did not become active");
    auto *account = form.findChild<QLineEdit *>(QStringLiteral("medCdRedu"));
    auto *statements = form.findChild<QComboBox *>(QStringLiteral("cbxExtrato"));
    account->setFocus();
    account->setText(QStringLiteral("070"));
    statements->setFocus();
    QApplication::processEvents();
    if (form.board().lines().size() != Lines)
        throw std::runtime_error(QStringLiteral("the screen shows %1 lines of the statement's %2")
                                     .arg(form.board().lines().size())
                                     .arg(Lines)
                                     .toStdString());

    const double open = bench::medianMilliseconds(5, [&] {
        Q_EMIT statements->activated(statements->currentIndex());
        QApplication::processEvents();
        form.repaint();
    });
    bench::report("reconciliation_open_statement_5k", open, "ms");
    bench::report("reconciliation_peak_memory", bench::peakResidentMegabytes(), "MB");
    form.Close();
    return 0;
}
