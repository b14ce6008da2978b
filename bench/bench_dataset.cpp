#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <QFile>
#include <QTemporaryFile>

#include <unistd.h>

#include "bench_support.h"
#include "lancamentos_packet.h"

#include "framework/data/client_data_set.h"
#include "framework/data/packet_codec.h"

namespace {

// The entry list as the entry form declares it: the packet's fields, four of them shown.
void declareEntryList(bco::ClientDataSet &cds) {
    for (const bco::FieldDef &def : bench::lancamentosFields())
        cds.AddField({.name = def.name, .kind = def.kind, .size = def.size, .hidden = true});
    cds.FieldByName(u"DTMOVICRED").SetVisible(true);
    cds.FieldByName(u"TIPO").SetVisible(true);
    cds.FieldByName(u"DSMOVICRED").SetVisible(true);
    cds.FieldByName(u"VRMOVICRED").SetVisible(true);
    cds.FieldByName(u"VRMOVICRED").SetDisplayFormat(QStringLiteral("#,##0.00"));
}

// Resident memory now, as opposed to the peak: what the process keeps once the encoded bytes are gone.
double residentMegabytes() {
    long pages = 0;
    long resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void check(bool condition, const char *what) {
    if (!condition) {
        std::fprintf(stderr, "%s\n", what);
        std::exit(EXIT_FAILURE);
    }
}

// What the client alone holds: run in a process of its own that reads the server's bytes from a file, so
// that the generated packet does not count. Its peak is the encoded body and the rows decoded from it; what
// it keeps is the rows.
int loadOnly(const char *path) {
    QFile file(QString::fromLocal8Bit(path));
    check(file.open(QIODevice::ReadOnly), "cannot read the encoded packet");
    QByteArray bytes = file.readAll();
    bco::ClientDataSet cds;
    declareEntryList(cds);
    cds.SetData(bco::decodePacket(bytes));
    bytes = QByteArray();
    check(cds.RecordCount() > 0, "the data set is empty");
    bench::report("dataset_client_peak_resident_100k_entries", bench::peakResidentMegabytes(), "MiB");
    bench::report("dataset_client_resident_holding_100k_entries", residentMegabytes(), "MiB");
    return EXIT_SUCCESS;
}

} // namespace

// Finding an entry in the largest list the forms hold, and the whole way of that list from the server's
// packet into the data set.
int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--load-only") == 0)
        return loadOnly(argv[2]);

    constexpr int Rows = 100'000;
    const bco::DataPacket packet = bench::lancamentosPacket(Rows);

    bco::ClientDataSet cds;
    declareEntryList(cds);
    QByteArray bytes;
    const double pipelineMs = bench::medianMilliseconds(5, [&] {
        cds.Close();
        bytes = bco::encodePacket(packet);
        cds.SetData(bco::decodePacket(bytes));
    });
    check(cds.RecordCount() == Rows, "the data set does not hold every row");
    const double peakMegabytes = bench::peakResidentMegabytes();

    const QString lastNumber = QString::number(Rows).rightJustified(10, u'0');
    bool found = true;
    const double exactMs = bench::medianMilliseconds(
        21, [&] { found = found && cds.Locate(QStringLiteral("NRMOVBANC"), lastNumber); });
    check(found && cds.RecNo() == Rows, "the last entry was not found");
    const double caseInsensitiveMs = bench::medianMilliseconds(21, [&] {
        found =
            found && cds.Locate(QStringLiteral("NRMOVBANC"), lastNumber, bco::LocateOption::CaseInsensitive);
    });
    const double twoFieldsMs = bench::medianMilliseconds(21, [&] {
        found = found && cds.Locate(QStringLiteral("CDEMPRESA; NRMOVBANC"),
                                    bco::VariantList{"01", lastNumber}, bco::LocateOption::CaseInsensitive);
    });
    check(found && cds.RecNo() == Rows, "the last entry was not found");

    bench::report("dataset_locate_last_of_100k", exactMs, "ms");
    bench::report("dataset_locate_last_of_100k_case_insensitive", caseInsensitiveMs, "ms");
    bench::report("dataset_locate_last_of_100k_two_fields", twoFieldsMs, "ms");
    bench::report("dataset_encode_decode_load_100k_entries", pipelineMs, "ms");
    bench::report("dataset_pipeline_peak_resident_100k_entries", peakMegabytes, "MiB");

    QTemporaryFile file;
    check(file.open() && file.write(bytes) == bytes.size() && file.flush(),
          "cannot write the encoded packet");
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command = "\"" + self + "\" --load-only \"" + file.fileName().toStdString() + "\"";
    check(std::system(command.c_str()) == 0, "the load-only run failed");
    return EXIT_SUCCESS;
}
