// The spreadsheet import of 60,000 clean rows against the real server in this process over HTTP on loopback,
// on SQLite: the validation pass (reading the workbook, every check, the duplicate searches and the numbers)
// and the submission of the credits and the debits with their accounting, end to end; and the peak memory of
// the process (client and server) while it runs.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>

#include "bench_support.h"
#include "framework/checks/dialogs.h"
#include "framework/data/database_url.h"
#include "framework/remote/net_connection.h"
#include "framework/session/login_context.h"
#include "framework/session/shared_database.h"
#include "import/import_messages.h"
#include "import/import_pass.h"
#include "import/import_submission.h"
#include "support/form_test_server.h"

namespace {

constexpr int Rows = 60000;

// Nothing is expected to be shown: anything that is ends the benchmark with its text.
class FailingDialogs final : public bco::MessageDialogs {
public:
    using bco::MessageDialogs::show;
    bco::MsgButton show(bco::MsgKind, const QString &text, bco::MsgButtons, const QString &,
                        const QString &) override {
        std::fprintf(stderr, "bench_import: %s\n", qPrintable(text));
        std::exit(EXIT_FAILURE);
    }
};

class Unwatched final : public Cli_bco11104::ImportProgress {
public:
    void Started(int) override {}
    void Advanced(int) override {}
    void Finished() override {}
};

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    // Writing the workbook takes the Python writer a while, so it is kept beside the build; the number after
    // the rows changes with what the writer puts in them, so that a workbook kept from before is not read.
    const QString workbook = QStringLiteral(BCO_BINARY_DIR "/bench-workbooks/importacao-limpa-60000-2.xls");
    if (!QFileInfo::exists(workbook)) {
        QDir().mkpath(QFileInfo(workbook).absolutePath());
        if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral(BCO_SOURCE_DIR "/tests/support/write_workbooks.py"),
                               QStringLiteral("--clean-entries"), QString::number(Rows), workbook}) != 0) {
            std::fprintf(stderr, "bench_import: the workbook could not be written\n");
            return EXIT_FAILURE;
        }
    }

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bench.db"));
    bco::testing::createDatabase(path, bco::testing::formTestDate, 0);
    const bco::DatabaseUrl url = bco::DatabaseUrl::parse(QStringLiteral("sqlite:") + path);
    bco::openDatabase(url, QStringLiteral("adcGeral"));
    bco::testing::InProcessServer server(url);
    bco::LoginContext context = bco::testing::demoLoginContext(server, QStringLiteral("adcGeral"));
    bco::ScopedLoginContext installedContext(context);
    FailingDialogs dialogs;
    bco::ScopedMessageDialogs installedDialogs(dialogs);

    bco::NetConnection connection;
    connection.SetBeforeConnect([](bco::NetConnection &c) { Ondrima::PrepareConnection(c); });
    connection.Open();
    bco::TMessages catalogue;
    Cli_bco11104::AddImportMessages(catalogue);
    Cli_bco11104::ImportRecords records([] { return dtmDBGeral::adcGeral(); });
    records.Open();
    Cli_bco11104::ImportPass pass(connection, catalogue, records);
    Unwatched unwatched;

    const auto start = std::chrono::steady_clock::now();
    pass.Run(workbook, unwatched);
    const double validated = millisecondsSince(start);
    if (!pass.Importable() || records.entry.cdsMovBanc.RecordCount() != Rows) {
        std::fprintf(stderr, "bench_import: the file was not clean (%d errors)\n",
                     records.cdsErro.RecordCount());
        return EXIT_FAILURE;
    }
    const auto submitting = std::chrono::steady_clock::now();
    const Cli_bco11104::SubmissionOutcome outcome =
        Cli_bco11104::SubmitImport(connection, records, context.operatorCode);
    const double submitted = millisecondsSince(submitting);
    if (!outcome.imported()) {
        std::fprintf(stderr, "bench_import: the server could not account the entries\n");
        return EXIT_FAILURE;
    }
    bench::report("import_60k_validate", validated / 1000.0, "s");
    bench::report("import_60k_submit", submitted / 1000.0, "s");
    bench::report("import_60k_end_to_end", (validated + submitted) / 1000.0, "s");
    bench::report("import_60k_peak_memory", bench::peakResidentMegabytes(), "MB");
    return 0;
}
