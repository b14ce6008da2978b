// The entry form on an account whose filter period holds 100,000 entries, against the real server in this
// process over HTTP on loopback: the time from leaving the account bar to the list shown and browsable, and
// the time of one move through the grid with the down arrow (a held key repeats some 30 times a second).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include "bench_support.h"
#include "entries/entry_form.h"
#include "framework/checks/dialogs.h"
#include "framework/data/database_url.h"
#include "framework/session/login_context.h"
#include "framework/ui/db_grid.h"
#include "framework/ui/mask_edit.h"
#include "support/form_test_server.h"

namespace {

constexpr int Entries = 100000;
const QString account = QStringLiteral("070");

// Nothing is expected to be asked or shown: anything that is ends the benchmark with its text.
class FailingDialogs final : public bco::MessageDialogs {
public:
    using bco::MessageDialogs::show;
    bco::MsgButton show(bco::MsgKind, const QString &text, bco::MsgButtons, const QString &,
                        const QString &) override {
        std::fprintf(stderr, "bench_entry_form: the form said: %s\n", qPrintable(text));
        std::exit(1);
    }
};

// Paints what is pending, as the event loop would before the operator sees the list.
void showPending(QWidget &form) {
    QApplication::processEvents();
    form.repaint();
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bench.db"));
    bco::testing::createDatabase(path, bco::testing::formTestDate, 0);
    const bco::DatabaseUrl url = bco::DatabaseUrl::parse(QStringLiteral("sqlite:") + path);
    QSqlDatabase shared = bco::openDatabase(url, QStringLiteral("adcGeral"));
    bco::testing::seed::addAccount(shared, {.code = account, .openingCents = 100000});
    // The default period runs from 30 days before the processing date (15/03/2024) to 5 days after it.
    bco::testing::seed::addEntries(shared, {.account = account,
                                            .count = Entries,
                                            .perDay = Entries / 34 + 1,
                                            .firstDate = QDate(2024, 2, 15),
                                            .firstNumber = 0});
    bco::testing::seed::execute(shared, QStringLiteral("ANALYZE"));

    bco::testing::InProcessServer server(url);
    bco::LoginContext context;
    context.operatorCode = QStringLiteral("DEMO");
    context.processingBranch = QStringLiteral("0101");
    context.processingDate = bco::testing::formTestDate;
    context.serverHost = server.host();
    context.serverPort = server.port();
    context.sessionToken = server.logIn(QStringLiteral("DEMO"), QStringLiteral("demo"));
    context.databaseConnection = QStringLiteral("adcGeral");
    bco::ScopedLoginContext installedContext(context);
    FailingDialogs dialogs;
    bco::ScopedMessageDialogs installedDialogs(dialogs);

    Cli_bco11100::CriaLancamento();
    Cli_bco11100::TfrmLancCCorr &form = *Cli_bco11100::frmLancCCorr;
    form.resize(900, 600);
    QApplication::setActiveWindow(&form);
    if (!QTest::qWaitForWindowActive(&form))
        throw std::runtime_error("the entry form did not become active");
    auto *code = form.findChild<bco::TMaskEdit *>(QStringLiteral("medCdRedu"));
    auto *grid = form.findChild<bco::TNewDBGrid *>(QStringLiteral("dbgPadrao"));
    code->setFocus();
    code->SetText(account);

    // Back into the bar (which closes the list) outside the measure, then out of it.
    std::vector<double> exits;
    for (int run = 0; run < 7; ++run) {
        code->setFocus();
        showPending(form);
        const auto start = std::chrono::steady_clock::now();
        grid->setFocus(Qt::MouseFocusReason);
        showPending(form);
        exits.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(exits.begin(), exits.end());
    const double leaving = exits[exits.size() / 2];
    if (form.records.cdsLancamentos.RecordCount() != Entries)
        throw std::runtime_error("the period does not hold every entry");

    // One key press is measured with the repaint it causes; the grid starts at the top each round.
    grid->setFocus();
    form.records.cdsLancamentos.First();
    showPending(form);
    const double perRow = bench::medianMilliseconds(301, [&] {
        QTest::keyClick(grid, Qt::Key_Down);
        showPending(form);
    });
    if (form.records.cdsLancamentos.RecNo() != 302)
        throw std::runtime_error("the down arrow did not move through the list");

    // The shares of that time: the remote call (the server's query, the transfer and the decoding of the
    // answer) and the form's own (loading the packet into the list and painting it).
    const bco::VariantList criteria{
        account, QDate(2024, 2, 14), QDate(2024, 3, 20), -0.001, 0.001, "T", "T", "", "T"};
    bco::Variant answer;
    const double call = bench::medianMilliseconds(
        5, [&] { answer = form.netLancContCorr.Call(QStringLiteral("GetLancamentos"), criteria).payload(); });
    const double load = bench::medianMilliseconds(5, [&] {
        form.records.cdsLancamentos.Close();
        form.records.cdsLancamentos.SetData(answer);
        showPending(form);
    });

    bench::report("entry_form_account_exit_to_list_100k", leaving, "ms");
    bench::report("entry_form_getlancamentos_call_100k", call, "ms");
    bench::report("entry_form_list_load_and_paint_100k", load, "ms");
    bench::report("entry_form_down_arrow_per_row_100k", perRow, "ms");
    bench::report("entry_form_peak_memory", bench::peakResidentMegabytes(), "MB");
    form.Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
