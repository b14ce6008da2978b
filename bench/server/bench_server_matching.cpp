// GetSugestoesConciliacao for a statement of 10,000 lines against an account of 100,000 movements, through
// the dispatcher: most lines stand for one movement a few days off, some for two movements together, some
// (fees) for nothing in the books.
#include <iostream>

#include <QCoreApplication>

#include "bench_database.h"
#include "bench_support.h"

namespace {

struct Stored {
    QString number;
    QDate date;
    QString kind;
    qint64 cents;
};

// The statement's lines, built from the account's movements and written in one transaction.
void addStatement(bco::server::Sql &sql, int lines) {
    std::vector<Stored> movements;
    sql.forEach(QStringLiteral("SELECT NRMOVBANC, DTMOVBANC, IDMOVBANC, VRMOVBANC FROM MOVBANCARIO WHERE "
                               "CDREDUCONT = '001' ORDER BY NRMOVBANC"),
                {}, [&](const bco::server::SqlRow &row) {
                    movements.push_back({row.text(0), row.date(1), row.text(2), row.integer(3)});
                });
    const size_t step = movements.size() / static_cast<size_t>(lines);
    sql.begin(true);
    sql.execute(
        QStringLiteral("INSERT INTO EXTRATOBANC (CDREDUCONT, CDSEQUEXBA, DTINIEXTR, DTFIMEXTR, VRSALDINIC, "
                       "VRSALDFINA) VALUES ('001', '0000000001', :inicio, :fim, 0, 0)"),
        {{QStringLiteral("inicio"), movements.front().date.addDays(-3)},
         {QStringLiteral("fim"), movements.back().date.addDays(3)}});
    for (int k = 0; k < lines; ++k) {
        const size_t at = static_cast<size_t>(k) * step;
        Stored line = movements[at];
        line.date = line.date.addDays(k % 7 - 3);
        if (k % 25 == 0) {
            line.cents = 777; // a fee the books do not hold
        } else if (k % 25 == 1 && movements[at + 1].kind == line.kind) {
            line.cents += movements[at + 1].cents; // two movements paid as one
        }
        sql.execute(
            QStringLiteral("INSERT INTO MOVEXTRATO (CDREDUCONT, CDSEQUEXBA, NRSEQMOVREBA, DTMOVEXTR, "
                           "IDMOVEXTR, VRMOVEXTR, IDBANCO) VALUES ('001', '0000000001', :linha, :data, "
                           ":natureza, :valor, :linha)"),
            {{QStringLiteral("linha"), QStringLiteral("%1").arg(k + 1, 10, 10, QLatin1Char('0'))},
             {QStringLiteral("data"), line.date},
             {QStringLiteral("natureza"), line.kind},
             {QStringLiteral("valor"), line.cents}});
    }
    sql.commit();
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    for (const auto &[dialect, name] : bench::dialects()) {
        bench::BenchDatabase database(dialect);
        database.addMovements(100000, 100, true);
        addStatement(database.sql(), 10000);
        database.sql().executeScript(QStringLiteral("ANALYZE"));
        bco::server::SessionStore sessions;
        bco::server::Dispatcher dispatcher(database.pool(), sessions, bco::server::allMethods());
        const QString token = sessions.open(database.sql(), QStringLiteral("DEMO"));
        int rows = 0, decided = 0;
        const double milliseconds = bench::medianMilliseconds(5, [&] {
            const auto outcome =
                dispatcher.call(QStringLiteral("GetSugestoesConciliacao"), {"001", "0000000001", 3.0}, token);
            if (!outcome.ok())
                throw std::runtime_error(outcome.error.toStdString());
            const bco::DataPacket &packet = outcome.result.packet();
            rows = packet.rowCount();
            decided = 0;
            const int field = packet.fieldIndex(u"IDDECIDIDA");
            for (int row = 0; row < rows; ++row)
                decided += packet.value(row, field).toText() == u"S" ? 1 : 0;
        });
        std::cerr << name << ": " << rows << " proposal rows, " << decided << " decided\n";
        bench::report((std::string("server_match_10k_lines_100k_movements_") + name).c_str(), milliseconds,
                      "ms");
    }
    return 0;
}
