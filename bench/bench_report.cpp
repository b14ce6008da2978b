// The entries report's design by account and date over 100,000 entries, run as the report screen and
// bco-report run it: the query on the shared database, the layout, and every page written to a PDF file.
// Figures: the time from asking for the report to the file written, and the process's peak memory.
#include <cstdio>
#include <optional>

#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QTemporaryDir>

#include "bench_support.h"
#include "framework/data/database_url.h"
#include "framework/session/login_context.h"
#include "framework/ui/report/report_designer_dialog.h"
#include "framework/ui/report/report_painter.h"
#include "framework/ui/report/report_progress.h"
#include "report/entries_report_parameters.h"
#include "support/form_test_server.h"

namespace {

constexpr int Entries = 100000;

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bench.db"));
    bco::testing::createDatabase(path, bco::testing::formTestDate, 0);
    const bco::DatabaseUrl url = bco::DatabaseUrl::parse(QStringLiteral("sqlite:") + path);
    QSqlDatabase shared = bco::openDatabase(url, QStringLiteral("adcGeral"));
    // Three accounts of one company, a third of the entries each, 100 a day.
    for (const char *account : {"071", "072", "073"}) {
        bco::testing::rows::addAccount(shared,
                                       {.code = QString::fromLatin1(account), .openingCents = 100000});
        bco::testing::rows::addEntries(shared, {.account = QString::fromLatin1(account),
                                                .count = Entries / 3 + (account[2] == '1' ? Entries % 3 : 0),
                                                .perDay = 100,
                                                .firstDate = QDate(2023, 1, 1),
                                                .firstNumber = 1000000});
    }

    bco::LoginContext context;
    context.operatorCode = QStringLiteral("DEMO");
    context.processingBranch = QStringLiteral("0101");
    context.processingDate = bco::testing::formTestDate;
    context.databaseConnection = QStringLiteral("adcGeral");
    bco::ScopedLoginContext installed(context);

    bco::TReportDesignerDialog engine;
    engine.ReportCode = QStringLiteral("BCO111");
    engine.BeforeGetQueryParams = [](bco::ReportParams &params) {
        Cli_bco11101::EntriesReportChoices choices;
        choices.operatorCompanies = QStringLiteral("'01'");
        choices.allAccounts = false;
        choices.accounts = QStringLiteral("'071','072','073'");
        choices.start = QDate(2023, 1, 1);
        choices.end = QDate(2024, 12, 31);
        Cli_bco11101::FillEntriesReportParams(choices, params, QLocale());
    };
    const QString title = QStringLiteral("Lançamentos por conta e data");
    const QString pdf = folder.filePath(QStringLiteral("relatorio.pdf"));
    int pages = 0;
    double runMs = 0;
    const double ms = bench::medianMilliseconds(1, [&] {
        std::optional<bco::ReportDocument> ran;
        runMs = bench::medianMilliseconds(1, [&] { ran.emplace(engine.Run(title)); });
        const bco::ReportDocument &document = *ran;
        bco::SilentProgress progress;
        bco::WriteReportPdf(document, pdf, progress);
        pages = document.PageCount();
        if (document.Rows().RowCount() != Entries) {
            std::fprintf(stderr, "bench_report: %d rows instead of %d\n", document.Rows().RowCount(),
                         Entries);
            std::exit(1);
        }
    });
    std::fprintf(stderr, "bench_report: %d pages, %lld bytes\n", pages,
                 static_cast<long long>(QFileInfo(pdf).size()));
    bench::report("report_entries_100k_pdf_time", ms, "ms");
    // Of that time, the query and the layout; the rest is painting and writing the pages.
    bench::report("report_entries_100k_query_and_layout_time", runMs, "ms");
    bench::report("report_entries_100k_pdf_time_target", 3000, "ms");
    bench::report("report_entries_100k_pdf_peak_memory", bench::peakResidentMegabytes(), "MB");
    return 0;
}
