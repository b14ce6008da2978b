// bco-import: the spreadsheet import without a window, for automation. It runs the import form's own
// validation pass (ImportPass) and submission (SubmitImport) in the host's session, so that a file gives the
// same error list here and on the screen.

#include <cstdio>
#include <functional>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include "framework/checks/consiste.h"
#include "framework/remote/net_connection.h"
#include "framework/session/shared_database.h"
#include "framework/session/command_line_session.h"
#include "framework/text/portuguese.h"
#include "import/import_messages.h"
#include "import/import_pass.h"
#include "import/import_submission.h"
#include "import/statement_command.h"
#include "import/workbook_error.h"

using namespace Cli_bco11104;

namespace {

enum ExitCode { Imported = 0, FileHasErrors = 1, CannotRun = 2 };

const char helpText[] =
    "Uso: bco-import [--check] [--kind C|D] [opções da sessão] ARQUIVO\n"
    "     bco-import --statement EXTRATO [--reconcile] [--account CONTA] [opções da sessão]\n"
    "\n"
    "Importa os lançamentos de conta corrente da planilha ARQUIVO (.xls, .xlsx ou .ods; aba Plan1, uma\n"
    "linha de títulos: Data, Conta Corrente, Filial, Forma, Tipo, Descrição, Valor, Documento, Cliente,\n"
    "Fornecedor) com as mesmas verificações da tela de importação (BCO11104).\n"
    "\n"
    "Com erros, escreve a lista de erros, um por linha: o número da linha, contada como a tela de\n"
    "importação a conta (a linha de títulos é a 1 e as linhas sem data não contam), uma tabulação e a\n"
    "mensagem; nada é gravado. Sem erros, grava os créditos e os débitos e diz quantos foram importados.\n"
    "\n"
    "Com --statement, grava o extrato bancário EXTRATO (OFX ou CNAB 240) na conta corrente do banco, "
    "agência\n"
    "e conta que o arquivo informa (ou na conta --account, quando o arquivo não informa ou é de mais de uma\n"
    "conta cadastrada); as linhas que já estavam gravadas não são gravadas de novo. Com --reconcile, "
    "concilia\n"
    "as sugestões sem dúvida (uma só possibilidade para a linha); nenhum lançamento é incluído. Escreve as\n"
    "linhas que ficaram sem conciliar, uma por linha: a linha do arquivo, a data, o valor (negativo para\n"
    "débito) e a descrição, separados por tabulação; depois, a diferença entre o saldo final do extrato e o\n"
    "dos livros nesse dia.\n"
    "\n"
    "  --check              só verifica o arquivo, sem gravar nada\n"
    "  --kind C|D           só os créditos (C) ou só os débitos (D) da planilha; depois que os débitos\n"
    "                       foram recusados e os créditos gravados, --kind D envia só os débitos\n"
    "  --statement EXTRATO  grava o extrato bancário EXTRATO\n"
    "  --reconcile          concilia as sugestões sem dúvida do extrato\n"
    "  --account CONTA      conta corrente do extrato (código reduzido, como 001)\n"
    "  --config ARQUIVO     arquivo de configuração do hospedeiro (padrão ~/.config/bco/bco-host.ini)\n"
    "  --operator CODIGO    operador; a senha vem da variável de ambiente BCO_PASSWORD, nunca da linha\n"
    "                       de comando\n"
    "  --branch FILIAL      filial de processamento\n"
    "  --date DATA          data de processamento (dd/mm/aaaa)\n"
    "  --server-host HOST   endereço do servidor de aplicação\n"
    "  --server-port PORTA  porta do servidor de aplicação\n"
    "  --server-tls         fala com o servidor por HTTPS\n"
    "  --server-ca ARQUIVO  certificado (PEM) da autoridade que assinou o do servidor; implica\n"
    "                       --server-tls\n"
    "  --database URL       banco de dados compartilhado (sqlite:ARQUIVO ou postgresql://...)\n"
    "  --help               esta ajuda\n"
    "\n"
    "Situação de saída: 0 quando o arquivo foi importado inteiro (com --check: quando não tem erros);\n"
    "1 quando o arquivo tem erros, não tem lançamentos ou os lançamentos não podem ser contabilizados;\n"
    "2 quando o arquivo não pode ser lido, a sessão não pode ser aberta, o servidor recusou a operação ou\n"
    "a chamada falhou depois de enviada (a saída diz então o que pode ter sido gravado).\n"
    "Quando os débitos não são importados depois que os créditos foram gravados, a saída diz quantos\n"
    "créditos foram gravados.\n"
    "Com --statement: 0 quando não sobrou linha sem conciliar e os saldos finais conferem; 1 quando "
    "sobraram\n"
    "linhas, os saldos diferem ou o extrato não informa o saldo final; 2 quando o arquivo não pode ser "
    "lido,\n"
    "a conta não pode ser determinada, a sessão não pode ser aberta ou o servidor recusou o extrato.\n";

// Notices of the framework (a server failure that CheckResultServ reports) go to the standard error.
class PrintedMessages final : public bco::MessageDialogs {
public:
    bco::MsgButton show(bco::MsgKind, const QString &text, bco::MsgButtons, const QString &,
                        const QString &details) override {
        bco::writeLine(stderr, details.isEmpty() ? text : text + u'\n' + details);
        return bco::MsgButton::Ok;
    }
};

// Runs a command with the framework's notices on the standard error; whatever it throws ends it (the session
// that cannot be opened, the server that cannot be reached) with CannotRun.
int runGuarded(const std::function<int()> &command) {
    PrintedMessages messages;
    bco::ScopedMessageDialogs installedMessages(messages);
    try {
        return command();
    } catch (const Consiste::EAbort &) {
        // CheckResultServ has written the server's message.
    } catch (const std::exception &error) {
        bco::writeLine(stderr, QString::fromUtf8(error.what()));
    }
    return CannotRun;
}

class Unwatched final : public ImportProgress {
public:
    void Started(int) override {}
    void Advanced(int) override {}
    void Finished() override {}
};

void printErrors(const bco::ClientDataSet &errors) {
    for (int row = 0; row < errors.RecordCount(); ++row) {
        const bco::ClientDataSet::ActiveRowScope at(errors, row);
        bco::writeLine(stdout, errors.FieldByName(u"NRLINHA").AsString() + u'\t' +
                                   errors.FieldByName(u"DSERRO").AsString());
    }
}

LineOfMovement lineOf(const ImportPass &pass) {
    return [&pass](const QString &account, const QString &movement) {
        return pass.LineOfMovement(account, movement);
    };
}

// The entries the server could not account, each by the line it came from.
void printAccountingErrors(const bco::ClientDataSet &result, const ImportPass &pass) {
    for (int row = 0; row < result.RecordCount(); ++row) {
        const bco::ClientDataSet::ActiveRowScope at(result, row);
        if (result.FieldByName(u"CDRESULT").AsString() != u"CTB")
            continue;
        const QString text = result.FieldByName(u"DSRESULT").AsString();
        const auto named = LineNamedBy(text, lineOf(pass));
        bco::writeLine(stdout, named ? QStringLiteral("%1\t%2").arg(named->first).arg(named->second)
                                     : QStringLiteral("0\t%1").arg(text));
    }
}

int run() {
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption help(QStringLiteral("help"));
    const QCommandLineOption check(QStringLiteral("check"));
    const QCommandLineOption statement(QStringLiteral("statement"), QString(), QStringLiteral("EXTRATO"));
    const QCommandLineOption reconcile(QStringLiteral("reconcile"));
    const QCommandLineOption account(QStringLiteral("account"), QString(), QStringLiteral("CONTA"));
    const QCommandLineOption kind(QStringLiteral("kind"), QString(), QStringLiteral("C|D"));
    parser.addOptions({help, check, statement, reconcile, account, kind});
    bco::CommandLineSession::addOptions(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
        bco::writeLine(stderr, parser.errorText() + QStringLiteral(" (bco-import --help mostra o uso)"));
        return CannotRun;
    }
    if (parser.isSet(help)) {
        std::fputs(helpText, stdout);
        return Imported;
    }
    if (parser.isSet(statement) || parser.isSet(reconcile) || parser.isSet(account)) {
        if (!parser.isSet(statement) || parser.isSet(check) || parser.isSet(kind) ||
            !parser.positionalArguments().isEmpty()) {
            bco::writeLine(
                stderr,
                QStringLiteral("--reconcile e --account valem só com --statement, que não leva "
                               "--check, --kind nem outro arquivo (bco-import --help mostra o uso)."));
            return CannotRun;
        }
        return runGuarded([&] {
            return importStatement(parser, parser.value(statement), parser.isSet(reconcile),
                                   parser.value(account).trimmed());
        });
    }
    if (parser.positionalArguments().size() != 1) {
        bco::writeLine(stderr, QStringLiteral("Informe um arquivo (bco-import --help mostra o uso)."));
        return CannotRun;
    }
    const QString onlyKind = parser.value(kind).trimmed().toUpper();
    if (parser.isSet(kind) && onlyKind != u"C" && onlyKind != u"D") {
        bco::writeLine(stderr, QStringLiteral("--kind leva C (só os créditos) ou D (só os débitos)."));
        return CannotRun;
    }
    const QString path = parser.positionalArguments().first();
    if (const QFileInfo file(path); !file.isFile()) {
        bco::writeLine(stderr, file.exists()
                                   ? QStringLiteral("%1 não é um arquivo: informe a pasta de trabalho "
                                                    "dos lançamentos.")
                                         .arg(path)
                                   : QStringLiteral("Arquivo não existe: %1").arg(path));
        return CannotRun;
    }

    PrintedMessages messages;
    bco::ScopedMessageDialogs installedMessages(messages);
    try {
        const bco::CommandLineSession session(parser, QDate::currentDate());
        bco::NetConnection server;
        server.SetBeforeConnect(
            [](bco::NetConnection &connection) { Ondrima::PrepareConnection(connection); });
        server.Open();
        bco::TMessages catalogue;
        AddImportMessages(catalogue);
        ImportRecords records([] { return dtmDBGeral::adcGeral(); });
        records.Open();
        ImportPass pass(server, catalogue, records);
        Unwatched unwatched;
        // A check writes nothing, so it draws no numbers either: the account's series stay as they were.
        pass.Run(path, unwatched,
                 parser.isSet(check) ? ImportPass::Purpose::Check : ImportPass::Purpose::Import,
                 onlyKind.isEmpty() ? QChar() : onlyKind.front());
        if (!records.cdsErro.IsEmpty()) {
            printErrors(records.cdsErro);
            return FileHasErrors;
        }
        if (!pass.Clean()) {
            bco::writeLine(stderr, catalogue.Msg(QStringLiteral("Arq_Sem_Lanc")));
            return FileHasErrors;
        }
        const int credits = pass.Credits();
        const int debits = pass.Debits();
        if (parser.isSet(check)) {
            bco::writeLine(
                stdout,
                QStringLiteral("Arquivo sem erros: %1 crédito(s) e %2 débito(s).").arg(credits).arg(debits));
            return Imported;
        }
        const SubmissionOutcome outcome =
            SubmitImport(server, records, session.context().operatorCode, lineOf(pass));
        if (!outcome.imported() && outcome.unsure) {
            // The call may have written: a script must not take the file for refused whole, and learns on
            // its standard output what is in the books for sure.
            if (outcome.credits > 0)
                bco::writeLine(stdout, QStringLiteral("Importados %1 crédito(s).")
                                           .arg(outcome.credits - outcome.skippedCredits));
            bco::writeLine(stderr, outcome.refusal);
            const QString lost = QStringLiteral("Não se sabe se os %1 foram gravados: a chamada ao servidor "
                                                "falhou depois de enviada.")
                                     .arg(outcome.refusedKindsName());
            // Sent again, the file is checked first, and what the lost call wrote is told as already there.
            bco::writeLine(stderr,
                           QStringLiteral("%1 Confira a lista de lançamentos da conta: o que não estiver "
                                          "lá pode ser importado de novo%2.")
                               .arg(lost, outcome.credits > 0
                                              ? QStringLiteral(" (os débitos sozinhos, com --kind D)")
                                              : QString()));
            return CannotRun;
        }
        if (!outcome.imported()) {
            // The credits' call was answered before the debits' failed: a script must know they are in.
            if (outcome.credits > 0)
                bco::writeLine(
                    stdout, QStringLiteral("Importados %1 crédito(s); os débitos não foram importados: "
                                           "corrigido o que os impediu, importe o mesmo arquivo com --kind "
                                           "D, que envia só os débitos.")
                                .arg(outcome.credits - outcome.skippedCredits));
            if (!outcome.refusal.isEmpty()) {
                bco::writeLine(stderr, outcome.refusal);
                return CannotRun;
            }
            printAccountingErrors(records.entry.cdsResult, pass);
            return FileHasErrors;
        }
        // What another import wrote meanwhile is in the books, but this one did not write it.
        bco::writeLine(stdout, QStringLiteral("Importados %1 crédito(s) e %2 débito(s).")
                                   .arg(outcome.credits - outcome.skippedCredits)
                                   .arg(outcome.debits - outcome.skippedDebits));
        if (outcome.skippedCredits + outcome.skippedDebits > 0)
            bco::writeLine(stdout,
                           QStringLiteral("Já estavam incluídos e não foram gravados de novo: %1 crédito(s) "
                                          "e %2 débito(s).")
                               .arg(outcome.skippedCredits)
                               .arg(outcome.skippedDebits));
        return Imported;
    } catch (const bco::WorkbookError &error) {
        bco::writeLine(stderr, error.message());
    } catch (const Consiste::EAbort &) {
        // CheckResultServ has written the server's message.
    } catch (const std::exception &error) {
        bco::writeLine(stderr, QString::fromUtf8(error.what()));
    }
    return CannotRun;
}

} // namespace

int main(int argc, char **argv) {
    bco::ignoreBrokenPipes();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bco-import"));
    bco::speakBrazilianPortuguese();
    return run();
}
