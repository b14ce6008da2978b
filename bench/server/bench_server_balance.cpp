// getSaldoDia on an account with 1,000,000 movements, through the dispatcher (session check, account check,
// transaction), for the last day (the balance that sums the most days).
#include <QCoreApplication>

#include "bench_database.h"
#include "bench_support.h"

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    for (const auto &[dialect, name] : bench::dialects()) {
        bench::BenchDatabase database(dialect);
        database.addMovements(1000000, 300, false);
        bco::server::SessionStore sessions;
        bco::server::Dispatcher dispatcher(database.pool(), sessions, bco::server::allMethods());
        const QString token = sessions.open(database.sql(), QStringLiteral("DEMO"));
        const QDate last = QDate(2014, 1, 1).addDays(1000000 / 300);
        double balance = 0;
        const double milliseconds = bench::medianMilliseconds(201, [&] {
            const auto outcome = dispatcher.call(QStringLiteral("getSaldoDia"), {"001", last}, token);
            if (!outcome.ok())
                throw std::runtime_error(outcome.error.toStdString());
            balance = outcome.result.toFloat();
        });
        (void)balance;
        bench::report((std::string("server_saldo_dia_1m_") + name).c_str(), milliseconds, "ms");
    }
    return 0;
}
