#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <freexl.h>

#include "bench_support.h"

#include "import/workbook_table.h"

namespace {

constexpr int Rows = 60'000;
constexpr int Runs = 5;

const QStringList Headings = {"Data",      "Conta Corrente", "Filial",    "Forma",   "Tipo",
                              "Descrição", "Valor",          "Documento", "Cliente", "Fornecedor"};

// Writing the workbooks takes the Python writers most of a minute, so they are kept beside the build.
bool writeWorkbooks(const QString &folder, const QStringList &names) {
    QStringList missing;
    for (const QString &name : names)
        if (!QFileInfo::exists(folder + u'/' + name))
            missing.append(folder + u'/' + name);
    if (missing.isEmpty())
        return true;
    QDir().mkpath(folder);
    // Debian's interpreter, which has the writers' packages.
    const int status =
        QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          QStringList{QStringLiteral(BCO_SOURCE_DIR "/tests/support/write_workbooks.py"),
                                      QStringLiteral("--entries"), QString::number(Rows)} +
                              missing);
    return status == 0;
}

double readMilliseconds(const QString &path) {
    bco::WorkbookSelection selection;
    selection.headings = Headings;
    int rows = 0;
    const double ms =
        bench::medianMilliseconds(Runs, [&] { rows = bco::WorkbookTable::read(path, selection).rowCount(); });
    if (rows != Rows) {
        std::fprintf(stderr, "%s: %d rows read, %d expected\n", qPrintable(path), rows, Rows);
        std::exit(EXIT_FAILURE);
    }
    return ms;
}

// FreeXL's figure for comparison: opening converts every date cell; then every cell is fetched.
double freexlMilliseconds(const QString &path) {
    return bench::medianMilliseconds(Runs, [&] {
        const void *handle = nullptr;
        if (freexl_open(QFile::encodeName(path).constData(), &handle) != FREEXL_OK) {
            std::fprintf(stderr, "FreeXL cannot open %s\n", qPrintable(path));
            std::exit(EXIT_FAILURE);
        }
        unsigned int rows = 0;
        unsigned short columns = 0;
        freexl_select_active_worksheet(handle, 0);
        freexl_worksheet_dimensions(handle, &rows, &columns);
        FreeXL_CellValue value;
        for (unsigned int row = 0; row < rows; ++row)
            for (unsigned short column = 0; column < columns; ++column)
                freexl_get_cell_value(handle, row, column, &value);
        freexl_close(handle);
    });
}

// A zipped format read in a process of its own, so that its peak memory is its own: its figures, as it
// prints them.
bool reportAlone(const char *self, const char *format, const QString &path) {
    QProcess alone;
    alone.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    alone.start(QFile::decodeName(self), {QStringLiteral("--alone"), QString::fromLatin1(format), path});
    if (!alone.waitForFinished(-1) || alone.exitStatus() != QProcess::NormalExit || alone.exitCode() != 0)
        return false;
    const QByteArray figures = alone.readAllStandardOutput();
    std::fwrite(figures.constData(), 1, static_cast<size_t>(figures.size()), stdout);
    std::fflush(stdout);
    return true;
}

} // namespace

// Reading the import's workbook of 60,000 entries, each with a date cell, in every format read.
int main(int argc, char **argv) {
    if (argc == 4 && std::strcmp(argv[1], "--alone") == 0) {
        const std::string name = std::string("workbook_read_") + argv[2] + "_60k";
        const bool xlsx = std::strcmp(argv[2], "xlsx") == 0;
        bench::report(name.c_str(), readMilliseconds(QFile::decodeName(argv[3])), "ms");
        if (xlsx)
            bench::report("workbook_read_xlsx_60k_target", 400, "ms");
        bench::report((name + "_peak_resident").c_str(), bench::peakResidentMegabytes(), "MiB");
        if (xlsx)
            bench::report("workbook_read_xlsx_60k_peak_resident_target", 150, "MiB");
        return EXIT_SUCCESS;
    }
    const QString folder = QStringLiteral(BCO_BINARY_DIR "/bench-workbooks");
    if (!writeWorkbooks(folder, {"entries.xls", "entries.xlsx", "entries.ods"})) {
        std::fprintf(stderr, "cannot write the workbooks\n");
        return EXIT_FAILURE;
    }
    for (const char *format : {"xlsx", "ods"}) {
        if (!reportAlone(argv[0], format, folder + "/entries." + format)) {
            std::fprintf(stderr, "the .%s read alone failed\n", format);
            return EXIT_FAILURE;
        }
    }
    bench::report("workbook_read_xls_60k", readMilliseconds(folder + "/entries.xls"), "ms");
    bench::report("workbook_freexl_xls_60k", freexlMilliseconds(folder + "/entries.xls"), "ms");
    // The .xls alone (and FreeXL's), the zipped formats having been read above in processes of their own.
    bench::report("workbook_peak_resident", bench::peakResidentMegabytes(), "MiB");
    return EXIT_SUCCESS;
}
