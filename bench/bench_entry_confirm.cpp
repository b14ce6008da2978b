// Confirming a new entry on the entry form, against the real server in this process over HTTP on loopback,
// on an account whose period holds 1,000 entries: the time from the click on confirm to the refreshed list
// (every check, the duplicate search, the numbers, the insertion with its accounting, the balance and the
// two reloads of the list).
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

#include <QLineEdit>
#include <QToolButton>

#include "bench_support.h"
#include "entry_form_bench.h"
#include "framework/ui/date_edit.h"
#include "framework/ui/number_edit.h"

namespace {

constexpr int Entries = 1000;

} // namespace

int main(int argc, char **argv) {
    bench::EntryFormBench bench(argc, argv, "bench_entry_confirm",
                                {.account = QStringLiteral("071"),
                                 .count = Entries,
                                 .perDay = Entries / 34 + 1,
                                 .firstDate = QDate(2024, 2, 15)});
    bench.showList();
    if (bench.form().records.cdsLancamentos.RecordCount() != Entries)
        throw std::runtime_error("the period does not hold every entry");

    int run = 0;
    // Each run includes an entry of its own (another document), so no duplicate question is asked.
    const auto include = [&] {
        bench.control<QToolButton>("sbtIncluir").click();
        bench.control<bco::TDateEditPlus>("depDataMov").SetDate(bco::testing::formTestDate);
        bench.control<bco::TMaskEdit>("medTpLanc").SetText(QStringLiteral("0001"));
        bench.control<QLineEdit>("edtDsLancamento").setText(QStringLiteral("Depósito de medição"));
        bench.control<bco::TNumberEdit>("nedLancamento").SetValue(100.0 + run);
        bench.control<bco::TMaskEdit>("medFilial").SetText(QStringLiteral("0101"));
        bench.control<bco::TMaskEdit>("medCentCust").SetText(QStringLiteral("0001"));
        bench.control<bco::TMaskEdit>("medNrDocBanc").SetText(QString::number(++run));
        bench.control<QLineEdit>("edtDsLancamento").setFocus();
        QApplication::processEvents();
    };
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
        include();
        const auto start = std::chrono::steady_clock::now();
        bench.control<QToolButton>("sbtConfirmar").click();
        QApplication::processEvents();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (Cli_bco11100::boInclusao)
            throw std::runtime_error("the confirm did not end the include");
    }
    std::sort(times.begin(), times.end());
    bench::report("entry_form_confirm_include_1k_period", times[times.size() / 2], "ms");
    return 0;
}
