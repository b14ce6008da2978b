// Deleting an entry on the entry form, against the real server in this process over HTTP on loopback, on an
// account whose period holds 100,000 entries: the time from the click on delete (its confirmation answered
// at once) to the refreshed list painted: the checks of what owns the entry, the deletion with its
// accounting and balances, and the reload of the whole period.
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

#include <QToolButton>

#include "bench_support.h"
#include "entry_form_bench.h"

namespace {

constexpr int Entries = 100000;

} // namespace

int main(int argc, char **argv) {
    bench::EntryFormBench bench(argc, argv, "bench_entry_delete",
                                {.account = QStringLiteral("072"),
                                 .count = Entries,
                                 .perDay = Entries / 34 + 1,
                                 .firstDate = QDate(2024, 2, 15),
                                 .firstNumber = 0},
                                true);
    bco::ClientDataSet &list = bench.form().records.cdsLancamentos;
    bench.showList();
    bench.showPending();
    if (list.RecordCount() != Entries)
        throw std::runtime_error("the period does not hold every entry");

    std::vector<double> times;
    for (int run = 0; run < 9; ++run) {
        // A different entry each time, from the middle of the period.
        list.SetRecNo(Entries / 2 - run * 97);
        bench.showPending();
        const int before = list.RecordCount();
        const auto start = std::chrono::steady_clock::now();
        bench.control<QToolButton>("sbtExcluir").click();
        bench.showPending();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (list.RecordCount() != before - 1)
            throw std::runtime_error("the deletion did not leave the list one entry shorter");
    }
    std::sort(times.begin(), times.end());
    bench::report("entry_form_delete_click_to_list_100k", times[times.size() / 2], "ms");
    return 0;
}
