// The spreadsheet import of 60,000 clean rows against the real server in this process over HTTP on loopback,
// three times, printed as medians: the validation pass (reading the workbook, every check, the duplicate
// searches and the numbers) and the submission of the credits and the debits with their accounting, end to
// end, with the peak memory of the process (client and server) while it runs, and the peak of the import
// program alone doing the same. On SQLite the submission stands beside its floor: the same movements and
// records inserted through sqlite3 in one transaction, and the whole import beside the least any import could
// take: reading the workbook into its rows, then that floor. With BCO_TEST_POSTGRES_URL set, the same import
// on PostgreSQL, end to end, beside the same rows through libpq's COPY.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>

#include <libpq-fe.h>
#include <malloc.h>
#include <sqlite3.h>

#include "bench_support.h"
#include "framework/checks/dialogs.h"
#include "framework/data/database_url.h"
#include "framework/remote/net_connection.h"
#include "framework/session/login_context.h"
#include "framework/session/shared_database.h"
#include "import/import_messages.h"
#include "import/import_pass.h"
#include "import/import_submission.h"
#include "import/workbook_table.h"
#include "server/demo/demo_data.h"
#include "server/storage/database.h"
#include "server/storage/migrations.h"
#include "support/form_test_server.h"

namespace {

constexpr int Rows = 60000;
// Imports of each database, whose medians are printed.
constexpr int Runs = 3;

// What an import writes, which the floors write too: the accounting entries first and the movements before
// the records, since the records name both.
const char *const floorTables[] = {"LANCCONT",    "LANCCONTITEM", "RATEIOCTB",
                                   "MOVBANCARIO", "MOVCREDBANC",  "MOVDEBIBANC"};
constexpr size_t movementTable = 3;

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

void check(bool ok, const std::string &what) {
    if (!ok)
        throw std::runtime_error(what);
}

struct Timings {
    double validated = 0; // ms
    double submitted = 0; // ms
};

// One import of `workbook` into the database at `url`, through a server of this process.
Timings importInto(const bco::DatabaseUrl &url, const QString &workbook) {
    Timings timings;
    {
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
        timings.validated = millisecondsSince(start);
        check(pass.Importable() && records.entry.cdsMovBanc.RecordCount() == Rows,
              "the file was not clean (" + std::to_string(records.cdsErro.RecordCount()) + " errors)");
        const auto submitting = std::chrono::steady_clock::now();
        const Cli_bco11104::SubmissionOutcome outcome =
            Cli_bco11104::SubmitImport(connection, records, context.operatorCode,
                                       [&pass](const QString &account, const QString &movement) {
                                           return pass.LineOfMovement(account, movement);
                                       });
        timings.submitted = millisecondsSince(submitting);
        check(outcome.imported(), "the server could not account the entries");
    }
    QSqlDatabase::removeDatabase(QStringLiteral("adcGeral"));
    return timings;
}

// The milliseconds of reading `workbook` into the rows an import takes, with no check: the best of three,
// since a floor is the least the work can take (the first read of a process also pays for fresh memory,
// about 0.2 s of page faults on this kind of machine).
double workbookReading(const QString &workbook) {
    double best = 0;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const bco::WorkbookTable table = bco::WorkbookTable::read(workbook, Cli_bco11104::ImportSelection());
        const double elapsed = millisecondsSince(start);
        check(table.rowCount() == Rows, "the workbook did not read as " + std::to_string(Rows) + " rows");
        best = run == 0 ? elapsed : std::min(best, elapsed);
    }
    return best;
}

sqlite3_stmt *prepare(sqlite3 *db, const std::string &sql) {
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    return stmt;
}

// The peak memory, in megabytes, of the import program (`bco-import`) importing `workbook` into the database
// at `url` through a server of this process: the import's own footprint on an operator's machine, the server
// being another program there.
double importProgramPeak(const QString &database, const QString &workbook) {
    const QString url = QStringLiteral("sqlite:") + database;
    bco::testing::InProcessServer server(bco::DatabaseUrl::parse(url));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("BCO_PASSWORD"), QStringLiteral("demo"));
    program.setProcessEnvironment(environment);
    // A child forked from this process is charged, until it starts the program, with this process's pages; a
    // small Python starts it instead and says the peak of that child alone, in KiB.
    const QString measured = QStringLiteral("import resource, subprocess, sys\n"
                                            "code = subprocess.run(sys.argv[1:]).returncode\n"
                                            "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"
                                            "sys.exit(code)\n");
    program.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-c"), measured,
                   QCoreApplication::applicationDirPath() + QStringLiteral("/bco-import"),
                   QStringLiteral("--operator"), QStringLiteral("DEMO"), QStringLiteral("--branch"),
                   QStringLiteral("0101"), QStringLiteral("--date"),
                   bco::testing::formTestDate.toString(QStringLiteral("dd/MM/yyyy")),
                   QStringLiteral("--server-host"), server.host(), QStringLiteral("--server-port"),
                   QString::number(server.port()), QStringLiteral("--database"), url, workbook});
    check(program.waitForFinished(600000) && program.exitStatus() == QProcess::NormalExit &&
              program.exitCode() == 0,
          "bco-import failed: " + program.readAllStandardError().toStdString());
    const QList<QByteArray> lines = program.readAllStandardOutput().trimmed().split('\n');
    bool read = false;
    const double kibibytes = lines.last().toDouble(&read);
    check(read, "the import program's peak was not read");
    return kibibytes / 1024.0;
}

// The SQLite floor: the rows the import wrote (those of `imported` that `before`, a copy of the database
// taken before the import, lacks) inserted into `before` in one durable transaction, as the server's
// connections are set, table after table, by prepared statements of up to 256 rows each (a statement per
// row would pay a statement journal for each, more than three times the time). Answers the milliseconds of
// the insertion alone.
double sqliteFloor(const QString &imported, const QString &before) {
    sqlite3 *db = nullptr;
    check(sqlite3_open(before.toUtf8().constData(), &db) == SQLITE_OK, "cannot open the floor's database");
    const auto run = [db](const std::string &sql) {
        char *message = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message != nullptr ? message : "?";
            sqlite3_free(message);
            throw std::runtime_error(sql + ": " + text);
        }
    };
    run("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON");
    run("ATTACH DATABASE '" + imported.toStdString() + "' AS importado");
    struct Table {
        std::string name;
        int columns = 0;
        std::vector<sqlite3_value *> values; // row after row
    };
    std::vector<Table> tables;
    for (const char *name : floorTables) {
        Table table{name, 0, {}};
        const std::string select =
            "SELECT * FROM importado." + table.name + " EXCEPT SELECT * FROM main." + table.name;
        sqlite3_stmt *stmt = prepare(db, select);
        table.columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            for (int c = 0; c < table.columns; ++c)
                table.values.push_back(sqlite3_value_dup(sqlite3_column_value(stmt, c)));
        sqlite3_finalize(stmt);
        tables.push_back(std::move(table));
    }
    run("DETACH DATABASE importado");
    check(tables[movementTable].values.size() == static_cast<size_t>(Rows * tables[movementTable].columns),
          "the floor did not find the imported movements");

    const auto start = std::chrono::steady_clock::now();
    run("BEGIN IMMEDIATE");
    constexpr size_t RowsPerStatement = 256;
    for (const Table &table : tables) {
        const auto columns = static_cast<size_t>(table.columns);
        const size_t rows = table.values.size() / columns;
        const auto statementOf = [&](size_t count) {
            std::string row = "(?";
            for (size_t c = 1; c < columns; ++c)
                row += ", ?";
            row += ")";
            std::string insert = "INSERT INTO " + table.name + " VALUES " + row;
            for (size_t r = 1; r < count; ++r)
                insert += ", " + row;
            return prepare(db, insert);
        };
        sqlite3_stmt *full = statementOf(RowsPerStatement);
        for (size_t first = 0; first < rows; first += RowsPerStatement) {
            const size_t count = std::min(RowsPerStatement, rows - first);
            sqlite3_stmt *stmt = count == RowsPerStatement ? full : statementOf(count);
            for (size_t v = 0; v < count * columns; ++v)
                sqlite3_bind_value(stmt, static_cast<int>(v) + 1, table.values[first * columns + v]);
            if (sqlite3_step(stmt) != SQLITE_DONE)
                throw std::runtime_error(table.name + ": " + sqlite3_errmsg(db));
            sqlite3_reset(stmt);
            if (stmt != full)
                sqlite3_finalize(stmt);
        }
        sqlite3_finalize(full);
    }
    run("COMMIT");
    const double elapsed = millisecondsSince(start);
    for (const Table &table : tables)
        for (sqlite3_value *value : table.values)
            sqlite3_value_free(value);
    sqlite3_close(db);
    return elapsed;
}

// A new PostgreSQL database beside the one BCO_TEST_POSTGRES_URL names, at the newest schema with the demo's
// registers and no entries; dropped when this goes.
class PostgresDatabase {
public:
    explicit PostgresDatabase(const QString &serverUrl)
        : serverUrl_(serverUrl) {
        name_ = QStringLiteral("bco_bench_import_%1").arg(QRandomGenerator::global()->generate(), 0, 16);
        administer(QStringLiteral("CREATE DATABASE ") + name_);
        QUrl parsed(serverUrl);
        parsed.setPath(u'/' + name_);
        url_ = parsed.toString();
        bco::server::ConnectionPool pool(bco::DatabaseUrl::parse(url_));
        bco::server::migrate(pool.forThisThread());
        bco::server::DemoOptions options;
        options.processingDate = bco::testing::formTestDate;
        options.entries = 0;
        options.passwordIterations = 50;
        bco::server::loadDemoData(pool.forThisThread(), options);
    }
    ~PostgresDatabase() {
        try {
            administer(QStringLiteral("DROP DATABASE ") + name_ + QStringLiteral(" WITH (FORCE)"));
        } catch (const std::exception &error) {
            std::fprintf(stderr, "bench_import: %s\n", error.what());
        }
    }
    PostgresDatabase(const PostgresDatabase &) = delete;
    PostgresDatabase &operator=(const PostgresDatabase &) = delete;

    const QString &url() const { return url_; }

private:
    void administer(const QString &statement) const {
        const QString connection = QStringLiteral("bench-import-admin");
        {
            QSqlDatabase admin = bco::openDatabase(bco::DatabaseUrl::parse(serverUrl_), connection);
            QSqlQuery query(admin);
            check(query.exec(statement), statement.toStdString());
        }
        QSqlDatabase::removeDatabase(connection);
    }

    QString serverUrl_;
    QString name_;
    QString url_;
};

PGconn *connectTo(const QString &url) {
    PGconn *connection = PQconnectdb(url.toUtf8().constData());
    check(PQstatus(connection) == CONNECTION_OK, PQerrorMessage(connection));
    return connection;
}

void runOn(PGconn *connection, const char *sql, ExecStatusType expected = PGRES_COMMAND_OK) {
    PGresult *result = PQexec(connection, sql);
    const bool ok = PQresultStatus(result) == expected;
    PQclear(result);
    check(ok, std::string(sql) + ": " + PQerrorMessage(connection));
}

// The text COPY gives of every row of `table`.
std::vector<std::string> copiedRows(PGconn *connection, const std::string &table) {
    runOn(connection, ("COPY " + table + " TO STDOUT").c_str(), PGRES_COPY_OUT);
    std::vector<std::string> rows;
    char *line = nullptr;
    int length = 0;
    while ((length = PQgetCopyData(connection, &line, 0)) > 0) {
        rows.emplace_back(line, static_cast<size_t>(length));
        PQfreemem(line);
    }
    PGresult *result = PQgetResult(connection);
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    check(ok && length == -1, PQerrorMessage(connection));
    return rows;
}

// The PostgreSQL floor: the rows the import wrote into `imported` (those the untouched `before` lacks)
// copied into `before` through COPY in one transaction. Answers the milliseconds of the copy alone.
double postgresFloor(const QString &imported, const QString &before) {
    PGconn *source = connectTo(imported);
    PGconn *target = connectTo(before);
    std::vector<std::pair<std::string, std::string>> tables; // name, COPY text of the rows to write
    size_t movements = 0;
    for (const char *name : floorTables) {
        const std::vector<std::string> present = copiedRows(target, name);
        const std::set<std::string> old(present.begin(), present.end());
        std::string data;
        size_t count = 0;
        for (const std::string &row : copiedRows(source, name)) {
            if (!old.contains(row)) {
                data += row;
                ++count;
            }
        }
        if (tables.size() == movementTable)
            movements = count;
        tables.emplace_back(name, std::move(data));
    }
    PQfinish(source);
    check(movements == static_cast<size_t>(Rows), "the floor did not find the imported movements");

    const auto start = std::chrono::steady_clock::now();
    runOn(target, "BEGIN");
    for (const auto &[name, data] : tables) {
        runOn(target, ("COPY " + name + " FROM STDIN").c_str(), PGRES_COPY_IN);
        check(PQputCopyData(target, data.data(), static_cast<int>(data.size())) == 1, PQerrorMessage(target));
        check(PQputCopyEnd(target, nullptr) == 1, PQerrorMessage(target));
        PGresult *result = PQgetResult(target);
        const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
        check(ok, PQerrorMessage(target));
    }
    runOn(target, "COMMIT");
    const double elapsed = millisecondsSince(start);
    PQfinish(target);
    return elapsed;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    try {
        // Writing the workbook takes the Python writer a while, so it is kept beside the build; the number
        // after the rows changes with what the writer puts in them, so that a workbook kept from before is
        // not read.
        const QString workbook =
            QStringLiteral(BCO_BINARY_DIR "/bench-workbooks/importacao-limpa-60000-2.xls");
        if (!QFileInfo::exists(workbook)) {
            QDir().mkpath(QFileInfo(workbook).absolutePath());
            check(QProcess::execute(QStringLiteral("/usr/bin/python3"),
                                    {QStringLiteral(BCO_SOURCE_DIR "/tests/support/write_workbooks.py"),
                                     QStringLiteral("--clean-entries"), QString::number(Rows), workbook}) ==
                      0,
                  "the workbook could not be written");
        }

        QTemporaryDir folder;
        const QString empty = folder.filePath(QStringLiteral("vazio.db"));
        bco::testing::createDatabase(empty, bco::testing::formTestDate, 0);
        const QString programDatabase = folder.filePath(QStringLiteral("programa.db"));
        check(QFile::copy(empty, programDatabase), "cannot copy the database for the import program");

        // Each run imports into a fresh copy of the same database; a ratio is the median of the runs' own
        // ratios, since a run's import and its floor meet the same moment of a noisy machine.
        std::vector<double> validated, submitted, floors, submitRatios, endToEnds, endToEndRatios;
        const double reading = workbookReading(workbook);
        double peak = 0;
        for (int run = 0; run < Runs; ++run) {
            const QString path = folder.filePath(QStringLiteral("importacao-%1.db").arg(run));
            const QString before = folder.filePath(QStringLiteral("piso-%1.db").arg(run));
            check(QFile::copy(empty, path) && QFile::copy(empty, before), "cannot copy the database");
            // Every run starts as an operator's first import does, with none of the memory an earlier one
            // freed still in hand: fresh pages cost this kind of machine a fault each, about 0.2 s an import.
            malloc_trim(0);
            // The peak of the import alone: the floors' workbook reads before it are not the import's.
            if (run == 0)
                check(bench::restartPeakResident(), "the peak memory could not be started over");
            const Timings timings =
                importInto(bco::DatabaseUrl::parse(QStringLiteral("sqlite:") + path), workbook);
            // Before any floor reads the written rows back.
            if (run == 0)
                peak = bench::peakResidentMegabytes();
            const double floor = sqliteFloor(path, before);
            const double endToEnd = timings.validated + timings.submitted;
            validated.push_back(timings.validated);
            submitted.push_back(timings.submitted);
            floors.push_back(floor);
            submitRatios.push_back(timings.submitted / floor);
            endToEnds.push_back(endToEnd);
            endToEndRatios.push_back(endToEnd / (reading + floor));
            for (const QString &database : {path, before})
                for (const char *suffix : {"", "-wal", "-shm"})
                    QFile::remove(database + QLatin1String(suffix));
        }
        bench::report("import_60k_validate", bench::median(validated) / 1000.0, "s");
        bench::report("import_60k_submit", bench::median(submitted) / 1000.0, "s");
        bench::report("import_60k_submit_floor", bench::median(floors) / 1000.0, "s");
        bench::report("import_60k_submit_ratio_to_floor", bench::median(submitRatios), "x");
        bench::report("import_60k_end_to_end", bench::median(endToEnds) / 1000.0, "s");
        bench::report("import_60k_read_workbook", reading / 1000.0, "s");
        bench::report("import_60k_end_to_end_floor", (reading + bench::median(floors)) / 1000.0, "s");
        bench::report("import_60k_end_to_end_ratio_to_floor", bench::median(endToEndRatios), "x");
        bench::report("import_60k_peak_memory", peak, "MB");
        bench::report("import_60k_peak_memory_import_program", importProgramPeak(programDatabase, workbook),
                      "MB");

        const QString postgres = qEnvironmentVariable("BCO_TEST_POSTGRES_URL");
        if (!postgres.isEmpty()) {
            std::vector<double> validatedThere, submittedThere, totals, copies, ratios;
            for (int run = 0; run < Runs; ++run) {
                PostgresDatabase imported(postgres);
                PostgresDatabase untouched(postgres);
                malloc_trim(0);
                const Timings timings = importInto(bco::DatabaseUrl::parse(imported.url()), workbook);
                const double copy = postgresFloor(imported.url(), untouched.url());
                const double total = timings.validated + timings.submitted;
                validatedThere.push_back(timings.validated);
                submittedThere.push_back(timings.submitted);
                totals.push_back(total);
                copies.push_back(copy);
                ratios.push_back(total / copy);
            }
            bench::report("import_60k_validate_postgresql", bench::median(validatedThere) / 1000.0, "s");
            bench::report("import_60k_submit_postgresql", bench::median(submittedThere) / 1000.0, "s");
            bench::report("import_60k_end_to_end_postgresql", bench::median(totals) / 1000.0, "s");
            bench::report("import_60k_copy_floor_postgresql", bench::median(copies) / 1000.0, "s");
            bench::report("import_60k_end_to_end_ratio_to_floor_postgresql", bench::median(ratios), "x");
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench_import: %s\n", error.what());
        return EXIT_FAILURE;
    }
    return 0;
}
