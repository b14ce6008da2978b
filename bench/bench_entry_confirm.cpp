// Confirming a new entry on the entry form, against the real server in this process over HTTP on loopback,
// on an account whose period holds 1,000 entries: the time from the click on confirm to the refreshed list
// (every check, the duplicate search, the numbers, the insertion with its accounting, the balance and the
// two reloads of the list).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>
#include <cstdlib>
#include <stdexcept>

#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "bench_support.h"
#include "entries/entry_form.h"
#include "framework/checks/dialogs.h"
#include "framework/data/database_url.h"
#include "framework/session/login_context.h"
#include "framework/ui/date_edit.h"
#include "framework/ui/db_grid.h"
#include "framework/ui/mask_edit.h"
#include "framework/ui/number_edit.h"
#include "support/form_test_server.h"

namespace {

constexpr int Entries = 1000;
const QString account = QStringLiteral("071");

// Nothing is expected to be asked or shown: anything that is ends the benchmark with its text.
class FailingDialogs final : public bco::MessageDialogs {
public:
    using bco::MessageDialogs::show;
    bco::MsgButton show(bco::MsgKind, const QString &text, bco::MsgButtons, const QString &,
                        const QString &) override {
        std::fprintf(stderr, "bench_entry_confirm: the form said: %s\n", qPrintable(text));
        std::exit(1);
    }
};

template <class Widget> Widget &control(QWidget &form, const char *name) {
    auto *widget = form.findChild<Widget *>(QString::fromLatin1(name));
    if (widget == nullptr)
        throw std::runtime_error(std::string("the entry form has no ") + name);
    return *widget;
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
    bco::testing::seed::addEntries(
        shared,
        {.account = account, .count = Entries, .perDay = Entries / 34 + 1, .firstDate = QDate(2024, 2, 15)});
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
    auto &code = control<bco::TMaskEdit>(form, "medCdRedu");
    code.setFocus();
    code.SetText(account);
    control<bco::TNewDBGrid>(form, "dbgPadrao").setFocus(Qt::MouseFocusReason);
    if (form.records.cdsLancamentos.RecordCount() != Entries)
        throw std::runtime_error("the period does not hold every entry");

    int run = 0;
    // Each run includes an entry of its own (another document), so no duplicate question is asked.
    const auto include = [&] {
        control<QToolButton>(form, "sbtIncluir").click();
        control<bco::TDateEditPlus>(form, "depDataMov").SetDate(bco::testing::formTestDate);
        control<bco::TMaskEdit>(form, "medTpLanc").SetText(QStringLiteral("0001"));
        control<QLineEdit>(form, "edtDsLancamento").setText(QStringLiteral("Depósito de medição"));
        control<bco::TNumberEdit>(form, "nedLancamento").SetValue(100.0 + run);
        control<bco::TMaskEdit>(form, "medFilial").SetText(QStringLiteral("0101"));
        control<bco::TMaskEdit>(form, "medCentCust").SetText(QStringLiteral("0001"));
        control<bco::TMaskEdit>(form, "medNrDocBanc").SetText(QString::number(++run));
        control<QLineEdit>(form, "edtDsLancamento").setFocus();
        QApplication::processEvents();
    };
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
        include();
        const auto start = std::chrono::steady_clock::now();
        control<QToolButton>(form, "sbtConfirmar").click();
        QApplication::processEvents();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (Cli_bco11100::boInclusao)
            throw std::runtime_error("the confirm did not end the include");
    }
    std::sort(times.begin(), times.end());
    bench::report("entry_form_confirm_include_1k_period", times[times.size() / 2], "ms");
    form.Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
