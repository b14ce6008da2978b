// GetLancamentos of a period holding 100,000 entries of one account, through the dispatcher, with the answer
// encoded for the wire as the server sends it.
#include <QCoreApplication>

#include "bench_database.h"
#include "bench_support.h"
#include "framework/remote/wire_codec.h"

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    for (const auto &[dialect, name] : bench::dialects()) {
        bench::BenchDatabase database(dialect);
        database.addMovements(100000, 100, true);
        bco::server::SessionStore sessions;
        bco::server::Dispatcher dispatcher(database.pool(), sessions, bco::server::allMethods());
        const QString token = sessions.open(database.sql(), QStringLiteral("DEMO"));
        const bco::VariantList args{"001", QDate(2014, 1, 1), QDate(2020, 1, 1), 0.0, 0.0, "T", "T", "", "T"};
        qsizetype bytes = 0;
        int rows = 0;
        const double milliseconds = bench::medianMilliseconds(7, [&] {
            const auto outcome = dispatcher.call(QStringLiteral("GetLancamentos"), args, token);
            if (!outcome.ok())
                throw std::runtime_error(outcome.error.toStdString());
            rows = outcome.result.packet().rowCount();
            bytes = bco::encodeAnswer(outcome.result, outcome.args).size();
        });
        if (rows != 100000)
            throw std::runtime_error("the period does not hold 100,000 entries");
        // The same call without the encoding, to tell the database's share from the codec's.
        const double query = bench::medianMilliseconds(7, [&] {
            rows = dispatcher.call(QStringLiteral("GetLancamentos"), args, token).result.packet().rowCount();
        });
        bench::report((std::string("server_lancamentos_100k_without_encoding_") + name).c_str(), query, "ms");
        bench::report((std::string("server_lancamentos_100k_") + name).c_str(), milliseconds, "ms");
        bench::report((std::string("server_lancamentos_100k_bytes_") + name).c_str(),
                      static_cast<double>(bytes), "bytes");
    }
    bench::report("server_lancamentos_peak_memory", bench::peakResidentMegabytes(), "MB");
    return 0;
}
