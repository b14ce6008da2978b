// The entry form on an account whose filter period holds 100,000 entries, against the real server in this
// process over HTTP on loopback: the time from leaving the account bar to the list shown and browsable, and
// the time of one move through the grid with the down arrow (a held key repeats some 30 times a second).
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

#include "bench_support.h"
#include "entry_form_bench.h"

namespace {

constexpr int Entries = 100000;

} // namespace

int main(int argc, char **argv) {
    bench::EntryFormBench bench(argc, argv, "bench_entry_form",
                                {.account = QStringLiteral("070"),
                                 .count = Entries,
                                 .perDay = Entries / 34 + 1,
                                 .firstDate = QDate(2024, 2, 15),
                                 .firstNumber = 0});
    Cli_bco11100::TfrmLancCCorr &form = bench.form();
    auto &code = bench.control<bco::TMaskEdit>("medCdRedu");
    auto &grid = bench.control<bco::TNewDBGrid>("dbgPadrao");

    // Back into the bar (which closes the list) outside the measure, then out of it.
    std::vector<double> exits;
    for (int run = 0; run < 7; ++run) {
        code.setFocus();
        bench.showPending();
        const auto start = std::chrono::steady_clock::now();
        bench.showList();
        bench.showPending();
        exits.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(exits.begin(), exits.end());
    const double leaving = exits[exits.size() / 2];
    if (form.records.cdsLancamentos.RecordCount() != Entries)
        throw std::runtime_error("the period does not hold every entry");

    // One key press is measured with the repaint it causes; the grid starts at the top each round.
    grid.setFocus();
    form.records.cdsLancamentos.First();
    bench.showPending();
    const double perRow = bench::medianMilliseconds(301, [&] {
        QTest::keyClick(&grid, Qt::Key_Down);
        bench.showPending();
    });
    if (form.records.cdsLancamentos.RecNo() != 302)
        throw std::runtime_error("the down arrow did not move through the list");

    // The shares of that time: the remote call (the server's query, the transfer and the decoding of the
    // answer) and the form's own (loading the packet into the list and painting it).
    const bco::VariantList criteria{
        QStringLiteral("070"), QDate(2024, 2, 14), QDate(2024, 3, 20), -0.001, 0.001, "T", "T", "", "T"};
    bco::Variant answer;
    const double call = bench::medianMilliseconds(
        5, [&] { answer = form.netLancContCorr.Call(QStringLiteral("GetLancamentos"), criteria).payload(); });
    const double load = bench::medianMilliseconds(5, [&] {
        form.records.cdsLancamentos.Close();
        form.records.cdsLancamentos.SetData(answer);
        bench.showPending();
    });

    bench::report("entry_form_account_exit_to_list_100k", leaving, "ms");
    bench::report("entry_form_getlancamentos_call_100k", call, "ms");
    bench::report("entry_form_list_load_and_paint_100k", load, "ms");
    bench::report("entry_form_down_arrow_per_row_100k", perRow, "ms");
    bench::report("entry_form_peak_memory", bench::peakResidentMegabytes(), "MB");
    return 0;
}
