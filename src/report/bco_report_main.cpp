// bco-report: renders a stored report design to a PDF file with nobody watching (a scheduled report), or
// lists the titles stored for a report code. It takes the host's session options, logs the operator in to
// the application server, reads the designs and runs their queries on the shared database, as the report
// screen does.

#include <cstdio>

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QTemporaryDir>

#include "framework/data/database_url.h"
#include "framework/remote/net_connection.h"
#include "framework/report/report_store.h"
#include "framework/session/login_context.h"
#include "framework/session/operator_lookups.h"
#include "framework/session/command_line_session.h"
#include "framework/text/portuguese.h"
#include "framework/ui/report/report_designer_dialog.h"
#include "framework/ui/report/report_painter.h"
#include "framework/ui/report/report_progress.h"
#include "report/report_parameters_text.h"

using namespace bco;
using namespace Cli_bco11101;

namespace {

// A refusal to run, with the message for whoever reads the log of the schedule.
class RunError : public std::runtime_error {
public:
    explicit RunError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
};

struct ReportRequest {
    QString code;
    QString title;
    QString pdfFile;
    bool list = false;
    QStringList params; // NAME=VALUE
};

int run(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Gera em PDF um relatório cadastrado, ou lista os relatórios de um código.\n\nA senha do "
        "operador vem da variável de ambiente BCO_PASSWORD, nunca da linha de comando.\n"
        "Situação de saída: 0 quando o relatório foi gerado (ou a lista escrita); 1 quando não "
        "pôde ser gerado (o servidor, a sessão, o relatório, os parâmetros ou o arquivo); 2 "
        "quando as opções ou a configuração estão erradas ou incompletas."));
    parser.addHelpOption();
    CommandLineSession::addOptions(parser);
    const QCommandLineOption code(QStringLiteral("code"), QStringLiteral("Código do relatório (BCO111)."),
                                  QStringLiteral("codigo"));
    const QCommandLineOption title(QStringLiteral("title"), QStringLiteral("Título do relatório."),
                                   QStringLiteral("titulo"));
    const QCommandLineOption param(QStringLiteral("param"),
                                   QStringLiteral("Parâmetro do relatório (NOME=VALOR; datas dd/mm/aaaa)."),
                                   QStringLiteral("NOME=VALOR"));
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("Arquivo PDF a gerar."),
                                 QStringLiteral("arquivo"));
    const QCommandLineOption list(QStringLiteral("list"), QStringLiteral("Lista os títulos do código."));
    parser.addOptions({code, title, param, pdf, list});
    if (!parser.parse(arguments))
        throw SettingsError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        throw SettingsError(
            QStringLiteral("Argumento desconhecido: %1").arg(parser.positionalArguments().first()));
    ReportRequest request{parser.value(code).trimmed().toUpper(), parser.value(title), parser.value(pdf),
                          parser.isSet(list), parser.values(param)};
    if (request.code.isEmpty())
        throw SettingsError(QStringLiteral("Informe o código do relatório (--code)."));
    if (!request.list && (request.title.isEmpty() || request.pdfFile.isEmpty()))
        throw SettingsError(QStringLiteral("Informe o título do relatório (--title) e o arquivo PDF (--pdf), "
                                           "ou peça a lista dos títulos (--list)."));

    const CommandLineSession session(parser, QDate::currentDate());
    const LoginContext &context = session.context();

    TReportDesignerDialog engine;
    engine.ReportCode = request.code;
    const QStringList titles = engine.Titles();
    if (titles.isEmpty())
        throw RunError(QStringLiteral("Não há relatório cadastrado com o código %1.").arg(request.code));
    if (request.list) {
        for (const QString &stored : titles)
            std::printf("%s\n", qPrintable(stored));
        return 0;
    }
    if (!titles.contains(request.title))
        throw RunError(QStringLiteral("Não há relatório \"%1\" com o código %2. Os títulos cadastrados: %3.")
                           .arg(request.title, request.code, titles.join(QStringLiteral(", "))));

    const ReportDesign design = engine.Design(request.title);
    const ParameterValues given = ParseParameterValues(request.params);
    engine.BeforeGetQueryParams = [&](ReportParams &params) {
        QString operatorCompanies;
        Dbgeral::ListaEmpresaOper(context.operatorCode, operatorCompanies);
        FillReportParameters(request.code, given, operatorCompanies, params, QLocale());
    };
    const ReportDocument document = engine.Run(request.title, design);
    SilentProgress progress;
    WriteReportPdf(document, request.pdfFile, progress);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    bco::ignoreBrokenPipes();
    // A scheduled report runs with no display: the offscreen platform paints fonts all the same.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nor has it a session's runtime folder, which Qt asks for (and warns about in the schedule's log).
    QTemporaryDir runtimeFolder;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeFolder.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder.path()));
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("bco-report"));
    QGuiApplication::setOrganizationName(QStringLiteral("bco"));
    bco::speakBrazilianPortuguese();
    try {
        return run(QGuiApplication::arguments());
    } catch (const SettingsError &error) {
        std::fprintf(stderr, "bco-report: %s\n", error.what());
        return 2;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bco-report: %s\n", error.what());
        return 1;
    }
}
