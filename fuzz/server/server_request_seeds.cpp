#include <cstdio>

#include <QDate>
#include <QDir>
#include <QFile>

#include "framework/remote/wire_codec.h"
#include "server/methods/all_methods.h"

// Writes the seeds of server_request_fuzz: a well-formed call of every method with the session, and a few
// calls that must be refused. Built by hand when the methods or the input format change
// (ninja server_request_seeds && bin/server_request_seeds fuzz/server/corpus).
int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QStringList methods = bco::server::allMethods().names();
    const QDate day(2024, 3, 15);
    const struct {
        const char *name;
        const char *method;
        unsigned char flags;
        bco::VariantList args;
    } seeds[] = {
        {"login", "Login", 0, {"DEMO", "demo"}},
        {"param_geral", "GetParamGeral", 1, {}},
        {"saldo_dia", "getSaldoDia", 1, {"001", day}},
        {"filial", "getFilial", 3, {"01", ""}},
        {"cliente", "getCliente", 1, {"12.345.678/0001-95", ""}},
        {"fornecedor", "getFornecedor", 1, {"", "T"}},
        {"periodo_contabil", "GetVdPeriodoContabil", 1, {"01", day}},
        {"pesq_mov_banc",
         "getPesqMovBanc",
         1,
         {"001", day, "0000001234", 10.5, "Depósito(Depósito em dinheiro)"}},
        {"cent_cust_filial", "getCentCustFilial", 1, {"0101"}},
        {"empresa", "getEmpresa", 1, {"02"}},
        {"prx_mov_bancario", "getPrxMovBancario", 1, {"001", "1"}},
        {"prx_mov_cred_banc", "getPrxMovCredBanc", 1, {"002", "3"}},
        {"prx_mov_deb_banc", "getPrxMovDebBanc", 1, {"003", "1"}},
        {"geral_bco", "getGeral_bco", 1, {}},
        {"lancto", "getLancto", 1, {}},
        {"lancamentos",
         "GetLancamentos",
         1,
         {"001", day.addDays(-30), day, 99.999, 100.001, "", "T", "'C0002','D0001'", ""}},
        {"filial_rel", "GetFilialRel", 1, {"'01','03'", "T", false}},
        {"no_session", "getSaldoDia", 0, {"001", day}},
        {"wrong_kinds", "getSaldoDia", 1, {day, "001"}},
    };
    for (const auto &seed : seeds) {
        const int index = static_cast<int>(methods.indexOf(QString::fromLatin1(seed.method)));
        if (index < 0) {
            std::fprintf(stderr, "no method %s\n", seed.method);
            return 1;
        }
        QByteArray bytes;
        bytes.append(static_cast<char>(index));
        bytes.append(static_cast<char>(seed.flags));
        bytes.append(bco::encodeRequest(seed.args));
        QFile file(folder.filePath(QString::fromLatin1(seed.name)));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
    }
    return 0;
}
