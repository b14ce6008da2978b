#include "import/statement_command.h"

#include <cstdio>

#include "framework/remote/net_connection.h"
#include "framework/session/command_line_session.h"
#include "framework/session/shared_database.h"
#include "framework/text/whole_characters.h"
#include "statement_model/statement_calls.h"
#include "statements/bank_statement.h"

void bco::writeLine(std::FILE *stream, const QString &text) {
    std::fputs(text.toUtf8().constData(), stream);
    std::fputc('\n', stream);
}

namespace {

enum StatementExit { Agrees = 0, LinesLeft = 1, StatementCannotRun = 2 };

// Signed, a comma before the cents and no thousands separator, so that a script reads it back as easily as
// an operator does.
// Without thousands separators in the lines a script reads field by field; with them in the sentences.
QString reais(qint64 cents, bool grouped = false) {
    const qint64 whole = cents < 0 ? -cents : cents;
    return QStringLiteral("%1%2,%3")
        .arg(cents < 0 ? QStringLiteral("-") : QString())
        .arg(grouped ? QLocale(QLocale::Portuguese, QLocale::Brazil).toString(whole / 100)
                     : QString::number(whole / 100))
        .arg(whole % 100, 2, 10, QLatin1Char('0'));
}

QString day(const QDate &date) {
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}

// The account the statement is stored in: the one chosen, else the one of the operator's that the file names.
// Empty, with what the operator must do in `problem`, when it cannot be told.
QString accountOf(const bco::BankStatement &statement, const QString &chosen, const QString &operatorCode,
                  QString &problem) {
    if (!chosen.isEmpty())
        return chosen;
    const bco::StatementAccount &named = statement.account;
    if (named.isEmpty()) {
        problem = QStringLiteral("O arquivo não diz de que conta é o extrato: informe a conta corrente com "
                                 "--account.");
        return {};
    }
    const QStringList found = bco::accountsNamedBy(
        named, bco::operatorAccounts([] { return dtmDBGeral::adcGeral(); }, operatorCode));
    if (found.size() == 1)
        return found.first();
    const QString described =
        QStringLiteral("banco %1, agência %2, conta %3")
            .arg(named.bankCode.isEmpty() ? QStringLiteral("não informado") : named.bankCode, named.agency,
                 named.account);
    problem =
        found.isEmpty()
            ? QStringLiteral("Nenhuma conta corrente das suas empresas é a do extrato (%1).").arg(described)
            : QStringLiteral("Mais de uma conta corrente é a do extrato (%1): %2. Informe qual com "
                             "--account.")
                  .arg(described, found.join(QStringLiteral(", ")));
    return {};
}

} // namespace

int importStatement(const QCommandLineParser &parser, const QString &path, bool reconcile,
                    const QString &chosenAccount) {
    bco::BankStatement statement;
    try {
        statement = bco::readStatementFile(path);
    } catch (const bco::StatementError &error) {
        bco::writeLine(stderr, error.message());
        return StatementCannotRun;
    }

    const bco::CommandLineSession session(parser, QDate::currentDate());
    bco::NetConnection server;
    server.SetBeforeConnect([](bco::NetConnection &connection) { Ondrima::PrepareConnection(connection); });
    server.Open();
    QString problem;
    const QString account = accountOf(statement, chosenAccount, session.context().operatorCode, problem);
    if (account.isEmpty()) {
        bco::writeLine(stderr, problem);
        return StatementCannotRun;
    }
    try {
        const bco::StoreOutcome stored = bco::storeStatement(server, account, statement);
        bco::writeLine(stderr, stored.message);
    } catch (const bco::StatementCallError &error) {
        bco::writeLine(stderr, error.message());
        return StatementCannotRun;
    }

    QList<bco::HeldLine> lines = bco::linesOfFile(server, account, statement);
    if (reconcile) {
        const bco::ReconcileOutcome reconciled = bco::reconcileDecided(server, account, lines);
        if (reconciled.unsure)
            bco::writeLine(stderr,
                           QStringLiteral("Não se sabe se a conciliação foi gravada: a chamada ao "
                                          "servidor falhou depois de enviada, e as linhas abaixo dizem o "
                                          "que está conciliado (%1)")
                               .arg(reconciled.refusal));
        else if (!reconciled.refusal.isEmpty())
            bco::writeLine(stderr,
                           QStringLiteral("A conciliação não foi gravada: %1").arg(reconciled.refusal));
        else
            bco::writeLine(stderr, QStringLiteral("%1 linha(s) conciliada(s).").arg(reconciled.lines));
        lines = bco::linesOfFile(server, account, statement);
    }

    bool left = false;
    for (const bco::HeldLine &line : lines) {
        // A line of no amount (a bank's notice) moves nothing, and no movement of the books could pair it:
        // left, it would keep the statement from ever agreeing.
        if (line.reconciled || line.cents == 0)
            continue;
        left = true;
        bco::writeLine(stdout, QStringLiteral("%1\t%2\t%3\t%4")
                                   .arg(line.fileLine)
                                   .arg(day(line.date), reais(line.kind == u'D' ? -line.cents : line.cents),
                                        bco::asOneLine(line.description)));
    }
    if (!statement.closing) {
        bco::writeLine(
            stdout,
            QStringLiteral("O extrato não informa o saldo final: não há com que comparar o dos livros."));
        return LinesLeft;
    }
    const qint64 books = bco::booksBalanceAt(server, account, statement.closing->date);
    const qint64 difference = statement.closing->cents - books;
    bco::writeLine(stdout, QStringLiteral("Diferença do saldo final em %1: %2 (banco %3, livros %4)")
                               .arg(day(statement.closing->date), reais(difference, true),
                                    reais(statement.closing->cents, true), reais(books, true)));
    return left || difference != 0 ? LinesLeft : Agrees;
}
