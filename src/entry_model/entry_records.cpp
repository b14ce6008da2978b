#include "entry_model/entry_records.h"

#include "entry_model/entry_kind.h"
#include "framework/checks/tax_number_text.h"
#include "framework/data/field_shorthands.h"
#include "framework/text/edit_mask.h"

namespace Cli_bco11100 {

using bco::FieldSpec;
using namespace bco::fields;

namespace {

// A stored code shown through a bank's picture ("99999-9" becomes the mask "99999-9;0; ").
QString throughPicture(const bco::ClientDataSet &dataSet, const char *picture, const char *value) {
    return bco::FormatThroughPicture(dataSet.FieldByName(QString::fromLatin1(picture)).AsString(),
                                     dataSet.FieldByName(QString::fromLatin1(value)).AsString());
}

} // namespace

EntryRecords::EntryRecords(bco::LocalQuery::ConnectionProvider connection, QObject *parent)
    : QObject(parent) {
    declareEntryList();
    declareEntryRecords();
    declareInsertionAnswer();
    declareLookups();
    declareOtherOperations();
    declareQueries(connection);
}

void EntryRecords::declareEntryList() {
    cdsLancamentos.setObjectName(QStringLiteral("cdsLancamentos"));
    cdsLancamentos.AddFields({
        date("DTMOVICRED", "Data"),
        text("TIPO", 30, "Tipo"),
        text("DSMOVICRED", 40, "Descrição"),
        amount("VRMOVICRED", "Valor"),
        hidden(fixed(text("DEBCRED", 1))),
        hidden(text("NUMERO", 10)),
        hidden(text("NRMOVBANC", 10)),
        hidden(text("CDCLASSFINA", 6)),
        // Type codes are four characters wide: a narrower field would cut them.
        hidden(text("CDTIPO", 4)),
        hidden(text("CDFILIAL", 4)),
        hidden(date("DTMOVBANC")),
        hidden(text("NRDOCMBANC", 10)),
        hidden(text("CDEMPRESA", 2)),
        hidden(date("DTMOVFLUXO")),
        hidden(text("IDMOVFLUXO", 1)),
        hidden(text("CDSEQUEXBA", 10)),
        hidden(text("NRSEQMOVREBA", 10)),
        hidden(text("CDFILILANCA", 4)),
        hidden(text("NMFILIAL", 30)),
        hidden(text("CDEMPLANCTB", 2)),
        hidden(text("NMEMPRESA", 40)),
        hidden(text("CDCLIENTE", 21)),
        hidden(text("CDFORNECED", 21)),
        hidden(text("NRINSJURCLIE", 20)),
        hidden(text("NMRAZSOCCLIE", 50)),
        hidden(text("NRINSJURFORN", 20)),
        hidden(text("NMRAZSOCFORN", 40)),
        hidden(text("NRCHEQUE", 6)),
        hidden(text("NRSEQUENCIALEMP", 10)),
        hidden(text("IDLANCCOMP", 1)),
        hidden(text("CDCONTCTBL", 20)),
        hidden(text("CDHISTPADR", 4)),
        hidden(text("NRLANCCONT", 12)),
        hidden(text("NRMOVBANCORIG", 10)),
        hidden(text("CDCENTCUST", 4)),
        // The entry's version as it was listed: the server refuses a write that carries an older one.
        hidden(text("NRVERSAO", 20)),
    });
}

void EntryRecords::declareEntryRecords() {
    cdsMovBanc.setObjectName(QStringLiteral("cdsMovBanc"));
    cdsMovBanc.AddFields({
        text("CDREDUCONT", 3),
        text("NRMOVBANC", 10),
        date("DTMOVBANC"),
        text("IDMOVBANC", 1),
        text("NRDOCMBANC", 10),
        text("DSHISMBANC", 40),
        number("VRMOVBANC"),
        text("IDORIGMBANC", 1),
        text("IDSTCONEXT", 1),
        text("DESCTIPO", 40),
    });

    // Credit and debit records are twins: the same layout under their own column names.
    const std::pair<bco::ClientDataSet *, const EntryKind *> twins[] = {{&cdsCredito, &CreditKind()},
                                                                        {&cdsDebito, &DebitKind()}};
    for (const auto &[record, kind] : twins) {
        record->setObjectName(kind->isCredit() ? QStringLiteral("cdsCredito") : QStringLiteral("cdsDebito"));
        record->AddFields({
            text("CDREDUCONT", 3),
            text(kind->number, 10),
            text("CDCLASSFINA", 6),
            text("CDEMPRESA", 2),
            text("CDFILIAL", 4),
            date("DTMOVFLUXO"),
            text("IDMOVFLUXO", 1),
            text("NRMOVBANC", 10),
            text(kind->type, 4),
            date(kind->date),
            text(kind->description, 40),
            number(kind->value),
            text(kind->accountingCompany, 2),
            text(kind->typedBranch, 4),
            text("CDCLIENTE", 21),
            text("CDFORNECED", 21),
        });
    }
}

void EntryRecords::declareInsertionAnswer() {
    cdsResult.setObjectName(QStringLiteral("cdsResult"));
    cdsResult.AddFields({
        text("CDRESULT", 3),
        text("DSRESULT", 250),
        text("IDTPRESULT", 2),
        text("DTVENC", 15),
        text("NMFORN", 60),
        text("VRBOLET", 20),
    });
    cdsResult.AddIndex(QStringLiteral("idxResultado"), QStringLiteral("IDTPRESULT"));
    cdsResult.SetIndexName(QStringLiteral("idxResultado"));

    cdsLancContTemp.setObjectName(QStringLiteral("cdsLancContTemp"));
    cdsLancContTemp.AddFields({
        text("CDEMPRESA", 2, "Empresa"),
        text("CDCONTREDU", 20, "C. Reduzido"),
        text("NMCONTCTBL", 40, "Nome"),
        hidden(text("NRLANCCTBTEMP", 20)),
        hidden(text("NRSEQCTBTEMP", 6)),
        text("CDCONTCTBL", 20, "Conta Contábil"),
        text("CDHISTPADR", 4, "Histórico"),
        text("DSHISTCTB", 200, "Descrição do Histórico"),
        hidden(date("DTLANCCTBTEMP", "Data")),
        number("VRLANCCTBTEMP", "Valor"),
        hidden(text("IDLANCCTBCOME", 1, "ID")),
        text("CDLANCCTBCOME", 21, "C. Comercial"),
        hidden(text("NMEMPRESA", 40, "Empresa")),
        hidden(text("CDDOCUCONT", 40)),
    });

    cdsRateio.setObjectName(QStringLiteral("cdsRateio"));
    cdsRateio.AddFields({
        text("CDFILIAL", 4, "Filial"),
        text("NMFILIAL", 30, "Nome da Filial"),
        text("CDCENTCUST", 4, "C. Custo"),
        text("NMCENTCUST", 40, "Nome do Centro de Custo"),
        hidden(number("VRLANCCUST", "Valor")),
        hidden(text("NRSEQCTBTEMP", 6)),
        hidden(text("NRLANCCTBTEMP", 12)),
        date("DTCOMPCTBTEMP", "Data"),
        text("CDEMPRESA", 2),
        hidden(text("NRSEQRATTEMP", 5)),
    });

    cdsErrosTemp.setObjectName(QStringLiteral("cdsErrosTemp"));
    cdsErrosTemp.AddFields({text("CDERROTEMP", 3), text("NRSEQCTBTEMP", 5)});
}

void EntryRecords::declareLookups() {
    // Customer and supplier look-ups are twins too.
    struct PartyNames {
        bco::ClientDataSet *lookup;
        const char *objectName, *taxNumber, *tradeName, *legalName, *personKind, *code, *titleKind;
        int nameWidth;
    };
    const PartyNames parties[] = {
        {&cdsCliente, "cdsCliente", "NRINSJURCLIE", "NMFANTCLIE", "NMRAZSOCCLIE", "IDTPIJURCLIE", "CDCLIENTE",
         "CDTPCTRECEB", 50},
        {&cdsFornecedor, "cdsFornecedor", "NRINSJURFORN", "NMFANTFORN", "NMRAZSOCFORN", "IDTPIJURFORN",
         "CDFORNECED", "CDTPCTPAGAR", 40},
    };
    for (const auto &names : parties) {
        names.lookup->setObjectName(QString::fromLatin1(names.objectName));
        names.lookup->AddFields({
            text(names.taxNumber, 20, "Inscrição Jurídica"),
            text(names.tradeName, names.nameWidth, "Nome Fantasia"),
            text(names.legalName, names.nameWidth, "Razão Social"),
            text("CDCONTCTBL", 20, "Conta Contábil"),
            hidden(text(names.personKind, 1)),
            hidden(text(names.code, 21)),
            hidden(text(names.titleKind, 6)),
        });
        bco::ShowTaxNumberByPersonKind(*names.lookup, QString::fromLatin1(names.taxNumber),
                                       QString::fromLatin1(names.personKind));
    }

    cdsFilial.setObjectName(QStringLiteral("cdsFilial"));
    cdsFilial.AddFields(
        {text("CDFILIAL", 4, "Código"), text("NMFILIAL", 30, "Nome"), hidden(text("CDCENTCUST", 4))});
    cdsCentCustFilial.setObjectName(QStringLiteral("cdsCentCustFilial"));
    cdsCentCustFilial.AddFields({hidden(text("CDCENTCUST", 4))});
    cdsEmpresa.setObjectName(QStringLiteral("cdsEmpresa"));
    cdsEmpresa.AddFields({hidden(text("CDCENTCUST", 4))});
    cdsPesqMovBanc.setObjectName(QStringLiteral("cdsPesqMovBanc"));
    cdsParamGeral.setObjectName(QStringLiteral("cdsParamGeral"));
    cdsGerParamgeral.setObjectName(QStringLiteral("cdsGerParamgeral"));
    cdsGerParamgeral.AddFields({text("IDTIPOORCA", 1)});
}

void EntryRecords::declareOtherOperations() {
    cdsVeri_Bol.setObjectName(QStringLiteral("cdsVeri_Bol"));
    cdsVeri_Bol.AddFields({text("CDFILIAL", 4), text("NRLANBOLREC", 10)});
    cdsVeriDevolu.setObjectName(QStringLiteral("cdsVeriDevolu"));
    cdsVeriDevolu.AddFields({text("NRLANCTONF", 10)});
    cdsPesqConciliacao.setObjectName(QStringLiteral("cdsPesqConciliacao"));
    cdsPesqConciliacao.AddFields({number("QTCONCILIADO")});
    cdsPesqConciliacaoORIG.setObjectName(QStringLiteral("cdsPesqConciliacaoORIG"));
    cdsPesqConciliacaoORIG.AddFields({text("CDSEQUEXBA", 10), text("NRSEQMOVREBA", 10)});
    cdsMaxFilialEmp.setObjectName(QStringLiteral("cdsMaxFilialEmp"));
    cdsMaxFilialEmp.AddFields(
        {hidden(text("CDFILIAL", 4)), hidden(text("NMFILIAL", 30)), hidden(text("CDCENTCUST", 4))});
    cdsHistPad.setObjectName(QStringLiteral("cdsHistPad"));
    cdsHistPad.AddFields({text("DSHISTPADR", 60)});
    cdsContCtbl.setObjectName(QStringLiteral("cdsContCtbl"));
    cdsContCtbl.AddFields({text("CDCONTCTBL", 20), text("IDTIPOCOME", 1)});

    cdsAdiantaCred.setObjectName(QStringLiteral("cdsAdiantaCred"));
    cdsAdiantaCred.AddFields({
        fixed(text("IDMARCADO", 1)),
        date("DTATUAVENREC", "Vencimento"),
        hidden(text("NRSEQVENREC", 2)),
        hidden(text("NRPARCELAREC", 2)),
        hidden(text("CDFILIAL", 4)),
        number("VRORIGINAL", "Vr. Original"),
        hidden(text("NRLANCTONF", 10)),
        calculated(number("VRTOTDISP", "Vr.Disponível")),
        number("VRDESCONTO", "Vr. Desconto"),
        hidden(text("NRINSJURCLIE", 20)),
        hidden(text("IDTPIJURCLIE", 1)),
        hidden(text("NMRAZSOCCLIE", 50)),
    });
    cdsAdiantaCredFor.setObjectName(QStringLiteral("cdsAdiantaCredFor"));
    cdsAdiantaCredFor.AddFields({
        fixed(text("IDMARCADO", 1)),
        date("DTATUAVENPAG", "Vencimento"),
        text("NRSEQVENPAG", 2),
        text("NRPARCELAPAG", 2),
        text("CDFILIAL", 4),
        number("VRORIGINAL", "Vr. Original"),
        text("NRLANCTONF", 10),
        number("VRDESCONTO", "Vr. Desconto"),
        text("NRINSJURFORN", 20),
        text("IDTPIJURFORN", 1),
        calculated(number("VRTOTDISP", "Vr.Disponível")),
        text("NMRAZSOCFORN", 40),
    });
    cdsDevolucaoCLI.setObjectName(QStringLiteral("cdsDevolucaoCLI"));
    cdsDevolucaoCLI.AddFields({
        fixed(text("IDMARCADO", 1)),
        text("DOCUMENTO", 26, "Doc/Série"),
        text("FILIDEVO", 4),
        text("NRNFDEVO", 10),
        date("DTEMISSAO", "Emissão"),
        date("DTENTRSAID", "Saída"),
        text("NRLANCTONF", 10),
        number("VRDISPONIVEL", "Vr. Disponível"),
        number("VRDESCONTO", "Vr. Desconto"),
        number("VRNFDEVOL", "Vr. Original"),
        text("NRINSJURCLIE", 20),
        text("IDTPIJURCLIE", 1),
        text("NMRAZSOCCLIE", 40),
        text("FILIVENDA", 4),
        text("NRNFVENDA", 10),
    });
    cdsDevolucaoFOR.setObjectName(QStringLiteral("cdsDevolucaoFOR"));
    cdsDevolucaoFOR.AddFields({
        fixed(text("IDMARCADO", 1)),
        text("DOCUMENTO", 26),
        text("FILIDEVO", 4),
        text("NRNFDEVO", 10),
        date("DTEMISSAO"),
        number("VRDISPONIVEL"),
        number("VRDESCONTO"),
        number("VRNFDEVOL"),
        text("NRINSJURFORN", 20),
        text("IDTPIJURFORN", 1),
        text("NMRAZSOCFORN", 40),
        text("DOCUMENTOORI", 26),
    });
    cdsAdiantamentoFOR.setObjectName(QStringLiteral("cdsAdiantamentoFOR"));
    cdsAdiantamentoFOR.AddFields({
        number("VRTOTADIA"),
        number("VRDISPONIVEL"),
        text("NRLANCTONF", 10),
        text("NRSEQVENPAG", 2),
        text("NRPARCELAPAG", 2),
        text("CDFILIAL", 4),
        number("VRORIGINAL"),
        fixed(text("IDMARCADO", 1)),
        number("VRDESCONTO"),
        text("IDTPIJURFORN", 1),
        text("NMRAZSOCFORN", 40),
        text("NRINSJURFORN", 20),
        date("DTATUAVENPAG"),
    });
    cdsDevoluCredFor.setObjectName(QStringLiteral("cdsDevoluCredFor"));
    cdsDevoluCredFor.AddFields({
        fixed(text("IDMARCADO", 1)),
        text("DOCUMENTO", 26, "Doc/Série"),
        text("FILIDEVO", 4),
        text("NRNFDEVO", 10),
        date("DTEMISSAO", "Emissão"),
        number("VRDISPONIVEL", "Vr. Disponível"),
        number("VRDESCONTO", "Vr. Desconto"),
        number("VRNFDEVOL", "Vr. Original"),
        text("NRINSJURFORN", 20),
        text("IDTPIJURFORN", 1),
        text("NMRAZSOCFORN", 40),
        text("DOCUMENTOORI", 26, "Doc/Série Origem"),
    });
    cdsDevoluDebCli.setObjectName(QStringLiteral("cdsDevoluDebCli"));
    cdsDevoluDebCli.AddFields({
        fixed(text("IDMARCADO", 1)),
        text("DOCUMENTO", 26),
        text("FILIDEVO", 4),
        text("NRNFDEVO", 10),
        text("FILIVENDA", 4),
        text("NRNFVENDA", 10),
        date("DTEMISSAO"),
        date("DTENTRSAID"),
        text("NRLANCTONF", 10),
        number("VRDISPONIVEL"),
        number("VRDESCONTO"),
        number("VRNFDEVOL"),
        text("NRINSJURCLIE", 20),
        text("IDTPIJURCLIE", 1),
        text("NMRAZSOCCLIE", 50),
    });

    // Layouts that come from the packet: nothing declared.
    const std::pair<bco::ClientDataSet *, const char *> fromPacket[] = {
        {&cdsAdiantamentoCLI, "cdsAdiantamentoCLI"},
        {&cdsIncMovBanc, "cdsIncMovBanc"},
        {&cdsIncCredito, "cdsIncCredito"},
        {&cdsIncDebito, "cdsIncDebito"},
        {&cdsAlterCredito, "cdsAlterCredito"},
        {&cdsAlterDebito, "cdsAlterDebito"},
        {&cdsAltMoviReal, "cdsAltMoviReal"},
        {&cdsDelCredito, "cdsDelCredito"},
        {&cdsDelDebito, "cdsDelDebito"},
        {&cdsDelMovBanc, "cdsDelMovBanc"},
    };
    for (const auto &[dataSet, name] : fromPacket)
        dataSet->setObjectName(QString::fromLatin1(name));
}

void EntryRecords::declareQueries(const bco::LocalQuery::ConnectionProvider &connection) {
    for (bco::LocalQuery *query : {&qryConta, &qryLancCred, &qryLancDeb, &qryCentCustFil})
        query->SetConnection(connection);

    qryConta.setObjectName(QStringLiteral("qryConta"));
    qryConta.SQL = QStringList{"SELECT",
                               "   C.CDREDUCONT,",
                               "   C.CDBANCO,",
                               "   C.CDAGENCIA,",
                               "   C.CDCONTCTBL,",
                               "   C.CDCONTCORR,",
                               "   C.DSCONTCORR,",
                               "   C.IDTIPOCCORR,",
                               "   B.CDPICTCONT,",
                               "   C.CDEMPRESA,",
                               "   E.NMEMPRESA,",
                               "   B.CDPICTAGEN",
                               "FROM",
                               "   EMPRESA  E,",
                               "   BANCO    B,",
                               "   CONTCORR C,",
                               "   PARAM(:P_CDREDUCONT) P_CDREDUCONT",
                               "WHERE",
                               "   (C.CDREDUCONT = NVLSTR(P_CDREDUCONT.PARAM, C.CDREDUCONT)) AND",
                               "   (C.CDBANCO    = B.CDBANCO)                        AND",
                               "   (E.CDEMPRESA  = C.CDEMPRESA)",
                               "ORDER BY",
                               "   C.CDREDUCONT"};
    const auto accountDialect = [](const QString &optionalCode) {
        return QStringList{"SELECT",
                           "   C.CDREDUCONT,",
                           "   C.CDBANCO,",
                           "   C.CDAGENCIA,",
                           "   C.CDCONTCTBL,",
                           "   C.CDCONTCORR,",
                           "   C.DSCONTCORR,",
                           "   C.IDTIPOCCORR,",
                           "   B.CDPICTCONT,",
                           "   C.CDEMPRESA,",
                           "   E.NMEMPRESA,",
                           "   B.CDPICTAGEN,",
                           "   B.CDBANCCNAB",
                           "FROM",
                           "   EMPRESA  E,",
                           "   BANCO    B,",
                           "   CONTCORR C",
                           "WHERE",
                           "   (C.CDREDUCONT = " + optionalCode + ") AND",
                           "   (C.CDBANCO    = B.CDBANCO)                        AND",
                           "   (E.CDEMPRESA  = C.CDEMPRESA)",
                           "ORDER BY",
                           "   C.CDREDUCONT"};
    };
    qryConta.SQL_ORACLE = accountDialect(QStringLiteral("NVL(:P_CDREDUCONT, C.CDREDUCONT)"));
    qryConta.SQL_MSSQL = accountDialect(QStringLiteral("ISNULL(:P_CDREDUCONT, C.CDREDUCONT)"));
    qryConta.SQL_IB = qryConta.SQL;
    qryConta.SQL_IB[11] = QStringLiteral("   B.CDPICTAGEN,");
    qryConta.SQL_IB.insert(12, QStringLiteral("   B.CDBANCCNAB"));
    qryConta.SQL_IB << QStringLiteral(" ") << QStringLiteral(" ");

    qryConta.AddFields({
        required(text("CDREDUCONT", 3, "Código")),
        text("CDBANCO", 3, "Banco"),
        FieldSpec{.name = "CDAGENCIA", .size = 5, .label = "Agência", .editMask = "9999-9;0; "},
        calculated(text("CDMASKCONTA", 15, "Conta Corrente")),
        hidden(text("CDCONTCORR", 10, "Código")),
        text("DSCONTCORR", 20, "Descrição"),
        hidden(text("CDPICTCONT", 20)),
        hidden(required(text("CDCONTCTBL", 20))),
        hidden(required(text("IDTIPOCCORR", 1))),
        text("CDEMPRESA", 2, "Código de Empresa"),
        text("NMEMPRESA", 40, "Nome da Empresa"),
        hidden(text("CDPICTAGEN", 10)),
        hidden(calculated(text("CDMASKAGEN", 16, "Agência"))),
        // Only the dialect texts select it; where the generic text runs it reads null.
        hidden(text("CDBANCCNAB", 3)),
    });
    // Account number and agency as the operator knows them: through the pictures of their bank.
    qryConta.OnCalcFields = [](bco::ClientDataSet &accounts) {
        accounts.FieldByName(u"CDMASKCONTA")
            .SetAsString(throughPicture(accounts, "CDPICTCONT", "CDCONTCORR"));
        accounts.FieldByName(u"CDMASKAGEN").SetAsString(throughPicture(accounts, "CDPICTAGEN", "CDAGENCIA"));
    };
    qryConta.FieldByName(u"CDAGENCIA").SetOnGetText([](const bco::Field &field, bool) {
        return field.IsNull() ? QString() : throughPicture(field.DataSet(), "CDPICTAGEN", "CDAGENCIA");
    });

    // Credit and debit types: one text per kind, their columns named after the kind.
    struct TypeQuery {
        bco::LocalQuery *query;
        const char *objectName, *table, *code, *description, *accounted;
        bool debitColumnOrder;
    };
    const TypeQuery types[] = {
        {&qryLancCred, "qryLancCred", "TPCREDBANC", "CDTPCREDBANC", "DSTPCREDBANC", "IDCTBLCRBANC", false},
        {&qryLancDeb, "qryLancDeb", "TPDEBIBANC", "CDTPDEBIBANC", "DSTPDEBIBANC", "IDCTBLDBBANC", true},
    };
    for (const auto &t : types) {
        const QString code = QString::fromLatin1(t.code);
        const QString indent = t.debitColumnOrder ? QStringLiteral("   ") : QStringLiteral("  ");
        const QStringList selectList = t.debitColumnOrder
                                           ? QStringList{"   T." + code + ",",
                                                         "   T.CDCLASSFINA,",
                                                         "   T.CDCONTCTBL,",
                                                         "   T.CDHISTPADR,",
                                                         "   T." + QString::fromLatin1(t.description) + ",",
                                                         "   T." + QString::fromLatin1(t.accounted) + ",",
                                                         "   C.IDTIPOCOME"}
                                           : QStringList{"   T." + code + ",",
                                                         "   T.CDCLASSFINA,",
                                                         "   T.CDHISTPADR,",
                                                         "   T.CDCONTCTBL,",
                                                         "   T." + QString::fromLatin1(t.description) + ",",
                                                         "   T." + QString::fromLatin1(t.accounted) + ",",
                                                         "   C.IDTIPOCOME"};
        const auto typeText = [&](const QStringList &fromTail, const QString &optionalType) {
            return QStringList{"SELECT"} + selectList +
                   QStringList{"FROM", "   " + QString::fromLatin1(t.table) + " T,"} + fromTail +
                   QStringList{"WHERE", indent + "C.CDCONTCTBL = T.CDCONTCTBL",
                               indent + "AND (" + code + " = " + optionalType + ")", "ORDER BY",
                               "   " + code};
        };
        t.query->setObjectName(QString::fromLatin1(t.objectName));
        t.query->SQL =
            typeText({"   CONTCTBL C,", "   PARAM(:P_TIPO) P_TIPO"}, "NVLSTR(P_TIPO.PARAM, " + code + ")");
        t.query->SQL_ORACLE = typeText({"   CONTCTBL C"}, "NVL(:P_TIPO, " + code + ")");
        t.query->SQL_MSSQL = typeText({"   CONTCTBL C"}, "ISNULL(:P_TIPO, " + code + ")");
        t.query->SQL_IB = t.query->SQL;
    }
    qryLancCred.AddFields({
        required(text("CDTPCREDBANC", 4, "Código")),
        hidden(text("CDCLASSFINA", 6)),
        hidden(text("CDHISTPADR", 4)),
        hidden(text("CDCONTCTBL", 20)),
        text("DSTPCREDBANC", 30, "Nome"),
        hidden(text("IDCTBLCRBANC", 1)),
        hidden(text("IDTIPOCOME", 1)),
    });
    qryLancDeb.AddFields({
        required(text("CDTPDEBIBANC", 4, "Código")),
        hidden(text("CDCLASSFINA", 6)),
        required(text("DSTPDEBIBANC", 30, "Nome")),
        hidden(text("CDCONTCTBL", 20)),
        hidden(text("CDHISTPADR", 4)),
        hidden(text("IDCTBLDBBANC", 1)),
        hidden(text("IDTIPOCOME", 1)),
    });

    qryCentCustFil.setObjectName(QStringLiteral("qryCentCustFil"));
    qryCentCustFil.SQL = QStringList{"SELECT CF.CDCENTCUST, CC.NMCENTCUST",
                                     " FROM CENTCUST CC, CENTCUSTFIL CF",
                                     "WHERE",
                                     "   ((CF.CDCENTCUST = :P_CDCENTCUST) OR (:P_TCDCENTCUST = 'T')) AND",
                                     "   CC.CDCENTCUST = CF.CDCENTCUST AND",
                                     "   CF.CDFILIAL = :P_CDFILIAL",
                                     "ORDER BY",
                                     "   CF.CDCENTCUST"};
    qryCentCustFil.SQL_ORACLE = qryCentCustFil.SQL;
    qryCentCustFil.SQL_MSSQL = qryCentCustFil.SQL;
    qryCentCustFil.SQL_IB = qryCentCustFil.SQL;
    qryCentCustFil.AddFields({required(text("CDCENTCUST", 4, "Código")), text("NMCENTCUST", 40, "Nome")});
}

} // namespace Cli_bco11100
