#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "statements/statement_outcome.h"

namespace bco::statements {
namespace {

// The CSV the bank's statement stands for, converted to OFX by ofxstatement through the tests' plugin
// (bco_statement_csv.py): date, payee, memo, amount, FITID, check number.
const char StatementCsv[] = "2024-03-15,Padaria Pão Dourado,Pão e café,-12.50,20240315001,\n"
                            "2024-03-15,Cheque,,-100.00,20240315002,000123\n"
                            "2024-03-18,Salário,Março,2100.00,20240318001,\n";

struct Run {
    int status = -1;
    QByteArray out, err;
};

Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.status = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool writeFile(const QString &path, const QByteArray &content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The OFX that ofxstatement writes for StatementCsv, as it wrote it.
QByteArray ofxstatementOutput(const QTemporaryDir &folder) {
    const QString plugins = folder.filePath(QStringLiteral("plugins"));
    const QString eggInfo = plugins + QStringLiteral("/bco_statement_csv-1.0.egg-info");
    const QString config = folder.filePath(QStringLiteral("config/ofxstatement"));
    if (!QDir().mkpath(eggInfo) || !QDir().mkpath(config))
        return {};
    // ofxstatement finds its plugins by their entry points and its settings in the user's config folder.
    const bool written = writeFile(eggInfo + QStringLiteral("/PKG-INFO"),
                                   "Metadata-Version: 1.0\nName: bco-statement-csv\nVersion: 1.0\n") &&
                         writeFile(eggInfo + QStringLiteral("/entry_points.txt"),
                                   "[ofxstatement]\nbcocsv = bco_statement_csv:CsvPlugin\n") &&
                         writeFile(config + QStringLiteral("/config.ini"),
                                   "[extrato]\nplugin = bcocsv\nbank = 101\naccount = 12345-6\n"
                                   "currency = BRL\nclosing-balance = 2987.50\n") &&
                         writeFile(folder.filePath(QStringLiteral("extrato.csv")), StatementCsv);
    if (!written)
        return {};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PYTHONPATH"),
                       plugins + u':' + QStringLiteral(BCO_STATEMENT_PLUGIN_DIR));
    environment.insert(QStringLiteral("PYTHONDONTWRITEBYTECODE"), QStringLiteral("1"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
    const QString ofx = folder.filePath(QStringLiteral("extrato.ofx"));
    const Run converted = run(QStringLiteral("ofxstatement"),
                              {QStringLiteral("convert"), QStringLiteral("-t"), QStringLiteral("extrato"),
                               folder.filePath(QStringLiteral("extrato.csv")), ofx},
                              environment);
    EXPECT_EQ(converted.status, 0) << converted.err.toStdString();
    QFile file(ofx);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// How many transactions libofx's own reader finds in the file, failing the test on any error it reports.
int transactionsOfxdumpReads(const QTemporaryDir &folder, const QByteArray &content) {
    const QString path = folder.filePath(QStringLiteral("dump.ofx"));
    if (!writeFile(path, content))
        return -1;
    const Run dump = run(QStringLiteral("ofxdump"), {path}, QProcessEnvironment::systemEnvironment());
    EXPECT_EQ(dump.status, 0);
    EXPECT_FALSE(dump.err.contains("ERROR")) << dump.err.toStdString();
    return int(dump.out.count("ofx_proc_transaction()"));
}

// What Brazilian banks do to such a file: an OFX 1.x header that declares CP1252 over the UTF-8 body,
// values without their closing tags, dates with the time and zone, amounts with a decimal comma, the
// agency with its check digit.
QByteArray withBrazilianQuirks(const QByteArray &ofx) {
    QString text = QString::fromUtf8(ofx);
    text.replace(
        QRegularExpression(QStringLiteral("^<!--.*-->\\s*"), QRegularExpression::DotMatchesEverythingOption),
        QStringLiteral("OFXHEADER:100\r\nDATA:OFXSGML\r\nVERSION:102\r\nSECURITY:NONE\r\nENCODING:USASCII\r\n"
                       "CHARSET:1252\r\nCOMPRESSION:NONE\r\nOLDFILEUID:NONE\r\nNEWFILEUID:NONE\r\n\r\n"));
    text.replace(QRegularExpression(QStringLiteral("<DTPOSTED>(\\d{8})<")),
                 QStringLiteral("<DTPOSTED>\\1233000.000[-3:BRT]<"));
    text.replace(QRegularExpression(QStringLiteral("<(TRNAMT|BALAMT)>(-?\\d+)\\.(\\d\\d)<")),
                 QStringLiteral("<\\1>\\2,\\3<"));
    text.replace(QStringLiteral("</BANKID>"), QStringLiteral("</BANKID><BRANCHID>1234-5</BRANCHID>"));
    text.replace(QRegularExpression(QStringLiteral("(<([A-Z0-9.]+)>[^<]+)</\\2>")),
                 QStringLiteral("\\1\r\n"));
    return text.toUtf8();
}

const char ExpectedStatement[] =
    "OFX banco=101 agência=1234-5/12345/5 conta=12345-6/123456/6 moeda=BRL\n"
    "período=2024-03-15..2024-03-18 inicial=100000@2024-03-15(calculado) final=298750@2024-03-18\n"
    "20240315001|2024-03-15|D|1250||Padaria Pão Dourado - Pão e café|l%1\n"
    "20240315002|2024-03-15|D|10000|000123|Cheque|l%2\n"
    "20240318001|2024-03-18|C|210000||Salário - Março|l%3";

int lineOf(const QByteArray &content, const QByteArray &fitId) {
    const qsizetype at = content.indexOf(fitId);
    return int(content.left(content.lastIndexOf("<STMTTRN>", at)).count('\n')) + 1;
}

QString expectedFor(const QByteArray &content) {
    return QString::fromUtf8(ExpectedStatement)
        .arg(lineOf(content, "20240315001"))
        .arg(lineOf(content, "20240315002"))
        .arg(lineOf(content, "20240318001"));
}

TEST(OfxReader, ReadsWhatOfxstatementWritesAndTheBrazilianQuirksOfIt) {
    const QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray written = ofxstatementOutput(folder);
    ASSERT_FALSE(written.isEmpty());
    ASSERT_EQ(transactionsOfxdumpReads(folder, written), 3);

    const QByteArray quirked = withBrazilianQuirks(written);
    ASSERT_TRUE(quirked.contains("CHARSET:1252\r\n") && quirked.contains("Pão") &&
                quirked.contains("-12,50\r\n") && quirked.contains("[-3:BRT]\r\n"))
        << quirked.toStdString();
    // Still a valid OFX 1.x file for libofx, whose own reading of the names is what ours must not copy.
    ASSERT_EQ(transactionsOfxdumpReads(folder, quirked), 3);

    // ofxstatement writes no agency: all but the account's row read the same from its own file.
    EXPECT_EQ(outcomeOf(written).section(u'\n', 1), expectedFor(written).section(u'\n', 1));
    EXPECT_EQ(outcomeOf(quirked), expectedFor(quirked));
}

struct OfxCase {
    const char *name;
    const char *content;
    const char *outcome;
};

const OfxCase ofxCases[] = {
    {"an OFX 2.x file with CDATA, entities and a balance of a later day",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<?OFX OFXHEADER=\"200\" VERSION=\"211\" SECURITY=\"NONE\" OLDFILEUID=\"NONE\" NEWFILEUID=\"NONE\"?>\n"
     "<OFX><BANKMSGSRSV1><STMTTRNRS><STMTRS><CURDEF>BRL</CURDEF>\n"
     "<BANKACCTFROM><BANKID>0202</BANKID><BRANCHID>0042</BRANCHID><ACCTID>9876543-2</ACCTID></BANKACCTFROM>\n"
     "<BANKTRANLIST><DTSTART>20240301</DTSTART><DTEND>20240331</DTEND>\n"
     "<STMTTRN><TRNTYPE>DEBIT</TRNTYPE><DTPOSTED>20240305100000[-3:BRT]</DTPOSTED><TRNAMT>-1500.00</TRNAMT>\n"
     "<FITID>ABC-1</FITID><REFNUM>77</REFNUM><NAME>Energia &amp; Luz</NAME><MEMO><![CDATA[conta "
     "<março>]]></MEMO></STMTTRN>\n"
     "</BANKTRANLIST><LEDGERBAL><BALAMT>10.00</BALAMT><DTASOF>20240402</DTASOF></LEDGERBAL>\n"
     "<AVAILBAL><BALAMT>99.00</BALAMT><DTASOF>20240331</DTASOF></AVAILBAL></STMTRS></STMTTRNRS></"
     "BANKMSGSRSV1></OFX>\n",
     "OFX banco=0202 agência=0042/0042/ conta=9876543-2/98765432/2 moeda=BRL\n"
     "período=2024-03-01..2024-04-02 inicial=- final=1000@2024-04-02\n"
     "ABC-1|2024-03-05|D|150000|77|Energia & Luz - conta <março>|l6"},
    {"CP1252 bytes under a CP1252 header, and a payee's name",
     "OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\nENCODING:USASCII\nCHARSET:1252\n\n"
     "<OFX><BANKMSGSRSV1><STMTTRNRS><STMTRS><BANKACCTFROM><ACCTID>555</BANKACCTFROM><BANKTRANLIST>\n"
     "<STMTTRN><TRNTYPE>CREDIT<DTPOSTED>20240310<TRNAMT>5<FITID>X1<PAYEE><NAME>Jo\xE3o \x96 "
     "Ltda</PAYEE></STMTTRN>\n"
     "</BANKTRANLIST></STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>",
     "OFX banco= agência=// conta=555/555/ moeda=\n"
     "período=2024-03-10..2024-03-10 inicial=- final=-\n"
     "X1|2024-03-10|C|500||João – Ltda|l8"},
    {"a header after the mark of an editor that saved the file as UTF-8",
     "\xEF\xBB\xBFOFXHEADER:100\nDATA:OFXSGML\n\n"
     "<OFX><BANKMSGSRSV1><STMTTRNRS><STMTRS><BANKACCTFROM><ACCTID>555</BANKACCTFROM><BANKTRANLIST>\n"
     "<STMTTRN><TRNTYPE>CREDIT<DTPOSTED>20240310<TRNAMT>5<FITID>X1<NAME>Dep\xC3\xB3sito</STMTTRN>\n"
     "</BANKTRANLIST></STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>",
     "OFX banco= agência=// conta=555/555/ moeda=\n"
     "período=2024-03-10..2024-03-10 inicial=- final=-\n"
     "X1|2024-03-10|C|500||Depósito|l5"},
    {"lines that end in CR alone, as an old Mac's program ends them",
     "OFXHEADER:100\rDATA:OFXSGML\r\r<OFX><STMTRS><BANKTRANLIST>\r"
     "<STMTTRN><DTPOSTED>20240310<TRNAMT>5<FITID>X1<MEMO>Dep</STMTTRN>\r</BANKTRANLIST></STMTRS></OFX>\r",
     "OFX banco= agência=// conta=// moeda=\n"
     "período=2024-03-10..2024-03-10 inicial=- final=-\n"
     "X1|2024-03-10|C|500||Dep|l5"},
    {"an XML file whose root carries the schema's namespace",
     "<?xml version=\"1.0\"?>\n<OFX xmlns=\"http://ofx.net/types/2003/04\"><STMTRS><BANKACCTFROM><ACCTID>555"
     "</ACCTID></BANKACCTFROM><BANKTRANLIST>\n"
     "<STMTTRN><TRNTYPE>CREDIT</TRNTYPE><DTPOSTED>20240310</DTPOSTED><TRNAMT>5</TRNAMT><FITID>X1</FITID>"
     "<NAME>Dep</NAME></STMTTRN>\n</BANKTRANLIST></STMTRS></OFX>",
     "OFX banco= agência=// conta=555/555/ moeda=\n"
     "período=2024-03-10..2024-03-10 inicial=- final=-\n"
     "X1|2024-03-10|C|500||Dep|l3"},
    {"an XML file whose elements carry a namespace's prefix",
     "<ns2:OFX xmlns:ns2=\"http://ofx.net/types/2003/04\"><ns2:STMTRS><ns2:BANKACCTFROM><ns2:ACCTID>555"
     "</ns2:ACCTID></ns2:BANKACCTFROM><ns2:BANKTRANLIST>\n"
     "<ns2:STMTTRN><ns2:DTPOSTED>20240310</ns2:DTPOSTED><ns2:TRNAMT>-5</ns2:TRNAMT><ns2:FITID>X1</ns2:FITID>"
     "</ns2:STMTTRN>\n</ns2:BANKTRANLIST></ns2:STMTRS></ns2:OFX>",
     "OFX banco= agência=// conta=555/555/ moeda=\n"
     "período=2024-03-10..2024-03-10 inicial=- final=-\n"
     "X1|2024-03-10|D|500|||l2"},
    {"repeated FITIDs and lines without one get ids by day and occurrence",
     "OFXHEADER:100\nDATA:OFXSGML\n\n<OFX><STMTRS><BANKTRANLIST>\n"
     "<STMTTRN><DTPOSTED>20240311<TRNAMT>-2,00<FITID>0001<MEMO>Tarifa</STMTTRN>\n"
     "<STMTTRN><DTPOSTED>20240311<TRNAMT>-2,00<FITID>0001<MEMO>Tarifa</STMTTRN>\n"
     "<STMTTRN><DTPOSTED>20240312<TRNAMT>-2,00<FITID>0001<MEMO>Tarifa</STMTTRN>\n"
     "<STMTTRN><DTPOSTED>20240312<TRNAMT>0,00<TRNTYPE>FEE<MEMO>Aviso</STMTTRN>\n"
     "<STMTTRN><DTPOSTED>20240312<TRNAMT>0,00<TRNTYPE>FEE<MEMO>Aviso</STMTTRN>\n"
     "</BANKTRANLIST></STMTRS></OFX>",
     "OFX banco= agência=// conta=// moeda=\n"
     "período=2024-03-11..2024-03-12 inicial=- final=-\n"
     "0001 20240311 #1|2024-03-11|D|200||Tarifa|l5\n"
     "0001 20240311 #2|2024-03-11|D|200||Tarifa|l6\n"
     "0001 20240312 #1|2024-03-12|D|200||Tarifa|l7\n"
     "20240312 D 0  Aviso #1|2024-03-12|D|0||Aviso|l8\n"
     "20240312 D 0  Aviso #2|2024-03-12|D|0||Aviso|l9"},
    {"two statements of one account written differently are joined",
     "<OFX><STMTRS><BANKACCTFROM><BANKID>101<ACCTID>12345-6</BANKACCTFROM><BANKTRANLIST>"
     "<STMTTRN><DTPOSTED>20240301<TRNAMT>1<FITID>a</STMTTRN></BANKTRANLIST></STMTRS>\n"
     "<STMTRS><BANKACCTFROM><BANKID>0101<ACCTID>0123456</BANKACCTFROM><BANKTRANLIST>"
     "<STMTTRN><DTPOSTED>20240302<TRNAMT>-1<FITID>b</STMTTRN></BANKTRANLIST>"
     "<LEDGERBAL><BALAMT>-3,5<DTASOF>20240302</LEDGERBAL></STMTRS></OFX>",
     "OFX banco=0101 agência=// conta=0123456/0123456/ moeda=\n"
     "período=2024-03-01..2024-03-02 inicial=-350@2024-03-01(calculado) final=-350@2024-03-02\n"
     "a|2024-03-01|C|100|||l1\nb|2024-03-02|D|100|||l2"},
    // The account is the operator's to choose, of that bank.
    {"a statement that names its bank only keeps the bank",
     "OFXHEADER:100\n\n<OFX><STMTRS><BANKACCTFROM><BANKID>202</BANKACCTFROM><BANKTRANLIST>\n"
     "<STMTTRN><DTPOSTED>20240305<TRNAMT>-1,00<FITID>z1</STMTTRN>\n</BANKTRANLIST></STMTRS></OFX>",
     "OFX banco=202 agência=// conta=// moeda=\n"
     "período=2024-03-05..2024-03-05 inicial=- final=-\n"
     "z1|2024-03-05|D|100|||l4"},
    {"two statements of one account whose bank comes with its check digit are joined",
     "<OFX><STMTRS><BANKACCTFROM><BANKID>101-7<ACCTID>12345-6</BANKACCTFROM><BANKTRANLIST>"
     "<STMTTRN><DTPOSTED>20240301<TRNAMT>1<FITID>a</STMTTRN></BANKTRANLIST></STMTRS>\n"
     "<STMTRS><BANKACCTFROM><BANKID>101<ACCTID>12345-6</BANKACCTFROM><BANKTRANLIST>"
     "<STMTTRN><DTPOSTED>20240302<TRNAMT>-1<FITID>b</STMTTRN></BANKTRANLIST></STMTRS></OFX>",
     "OFX banco=101 agência=// conta=12345-6/123456/6 moeda=\n"
     "período=2024-03-01..2024-03-02 inicial=- final=-\n"
     "a|2024-03-01|C|100|||l1\nb|2024-03-02|D|100|||l2"},
    {"a balance whose date the bank wrote as zeros is the last day's",
     "OFXHEADER:100\n\n<OFX><STMTRS><BANKTRANLIST><DTSTART>20240301<DTEND>20240308\n"
     "<STMTTRN><DTPOSTED>20240305<TRNAMT>-1,00<FITID>z1</STMTTRN>\n"
     "</BANKTRANLIST><LEDGERBAL><BALAMT>0,00<DTASOF>00000000</LEDGERBAL></STMTRS></OFX>",
     "OFX banco= agência=// conta=// moeda=\n"
     "período=2024-03-01..2024-03-08 inicial=100@2024-03-01(calculado) final=0@2024-03-08\n"
     "z1|2024-03-05|D|100|||l4"},
    {"statements of two accounts are refused",
     "<OFX><STMTRS><BANKACCTFROM><BANKID>101<ACCTID>12345-6</BANKACCTFROM></STMTRS>"
     "<STMTRS><BANKACCTFROM><BANKID>101<ACCTID>12345-7</BANKACCTFROM></STMTRS></OFX>",
     "erro: O arquivo traz extratos de mais de uma conta (banco 101, agência -, conta 12345-6 e banco 101, "
     "agência -, conta 12345-7); importe um arquivo por conta."},
    // Its lines would go to the account the other names.
    {"a statement that names no account beside one that does is refused",
     "<OFX>\n<STMTRS><BANKTRANLIST><STMTTRN><DTPOSTED>20240301<TRNAMT>1<FITID>a</STMTTRN></BANKTRANLIST>"
     "</STMTRS>\n<STMTRS><BANKACCTFROM><BANKID>101<ACCTID>12345-6</BANKACCTFROM></STMTRS></OFX>",
     "erro: O extrato da linha 2 não diz de que conta é, e outro extrato do arquivo diz; importe um arquivo "
     "por conta, cada extrato com a sua."},
    {"an amount with a thousands separator is refused with its line",
     "OFXHEADER:100\n\n<OFX><STMTRS><BANKTRANLIST>\n<STMTTRN><DTPOSTED>20240301\n<TRNAMT>1.234,56\n</STMTTRN>"
     "</BANKTRANLIST></STMTRS></OFX>",
     "erro: Linha 5 do arquivo OFX: o valor <TRNAMT> “1.234,56” não é aceito; um valor tem sinal opcional, "
     "ponto ou vírgula decimal, nenhum separador de milhar e no máximo duas casas decimais (ex.: -1234,56)."},
    {"an amount whose only separator is followed by three digits is refused",
     "<OFX><STMTRS><BANKTRANLIST>\n<STMTTRN><DTPOSTED>20240301<TRNAMT>1,000</STMTTRN></BANKTRANLIST></STMTRS>"
     "</OFX>",
     "erro: Linha 2 do arquivo OFX: o valor <TRNAMT> “1,000” não é aceito; um valor tem sinal opcional, "
     "ponto ou vírgula decimal, nenhum separador de milhar e no máximo duas casas decimais (ex.: -1234,56)."},
    {"header keys in small letters name an OFX file",
     "ofxheader:100\ndata:OFXSGML\n\n<OFX><STMTRS><BANKTRANLIST>\n<STMTTRN><DTPOSTED>20240301<TRNAMT>2<FITID>"
     "b"
     "</STMTTRN></BANKTRANLIST></STMTRS></OFX>",
     "OFX banco= agência=// conta=// moeda=\n"
     "período=2024-03-01..2024-03-01 inicial=- final=-\n"
     "b|2024-03-01|C|200|||l5"},
    {"element names in small letters are read as in capitals",
     "<ofx><stmtrs><banktranlist>\n<stmttrn><dtposted>20240301<trnamt>-1,5<fitid>a<memo>Tarifa</stmttrn>\n"
     "<stmttrn><dtposted>20240302<trnamt>2<fitid>b</stmttrn></banktranlist></stmtrs></ofx>",
     "OFX banco= agência=// conta=// moeda=\n"
     "período=2024-03-01..2024-03-02 inicial=- final=-\n"
     "a|2024-03-01|D|150||Tarifa|l2\nb|2024-03-02|C|200|||l3"},
    {"a line whose end tag is missing is refused, not dropped for the next one",
     "<OFX><STMTRS><BANKTRANLIST>\n<STMTTRN><DTPOSTED>20240301<TRNAMT>1<FITID>a\n"
     "<STMTTRN><DTPOSTED>20240302<TRNAMT>2<FITID>b</STMTTRN></BANKTRANLIST></STMTRS></OFX>",
     "erro: Linha 3 do arquivo OFX: marcação inválida “STMTTRN”."},
    {"a line whose end tag is misspelt is refused too",
     "<OFX><STMTRS><BANKTRANLIST>\n<STMTTRN><DTPOSTED>20240301<TRNAMT>1<FITID>a</STMTRN>\n"
     "<STMTTRN><DTPOSTED>20240302<TRNAMT>2<FITID>b</STMTTRN></BANKTRANLIST></STMTRS></OFX>",
     "erro: Linha 3 do arquivo OFX: marcação inválida “STMTTRN”."},
    {"a statement in another currency is refused",
     "<OFX><STMTRS><CURDEF>USD<BANKTRANLIST>\n<STMTTRN><DTPOSTED>20240301<TRNAMT>1</STMTTRN></BANKTRANLIST>"
     "</STMTRS></OFX>",
     "erro: O extrato está na moeda “USD”; as contas correntes são em reais (BRL)."},
    {"a date that is not an OFX date is refused with its line",
     "<OFX><STMTRS><BANKTRANLIST>\n\n<STMTTRN><DTPOSTED>15/03/2024<TRNAMT>1</STMTTRN></BANKTRANLIST></"
     "STMTRS></OFX>",
     "erro: Linha 3 do arquivo OFX: a data <DTPOSTED> “15/03/2024” não está no formato AAAAMMDD, "
     "AAAAMMDDHHMMSS ou AAAAMMDDHHMMSS.XXX[fuso]."},
    {"a line without amount is refused",
     "<OFX><STMTRS><BANKTRANLIST>\n<STMTTRN><DTPOSTED>20240301<FITID>1</STMTTRN></BANKTRANLIST></STMTRS></"
     "OFX>",
     "erro: Linha 2 do arquivo OFX: o lançamento não tem <TRNAMT>."},
    {"a response without a bank statement is refused",
     "OFXHEADER:100\n\n<OFX><SIGNONMSGSRSV1><SONRS><STATUS><CODE>15500<SEVERITY>ERROR</STATUS></SONRS>"
     "</SIGNONMSGSRSV1></OFX>",
     "erro: O arquivo OFX não traz extrato de conta corrente (elemento <STMTRS>)."},
};

TEST(OfxReader, ReadsEachFormOfOfxOrSaysWhatIsWrong) {
    for (const OfxCase &c : ofxCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(outcomeOf(QByteArray(c.content)), QString::fromUtf8(c.outcome));
    }
}

// A file is known by its content, whatever line ends the programs it went through gave it.
TEST(OfxReader, KnowsAFileByItsContentWhateverItsLineEnds) {
    const QByteArray lines = "OFXHEADER:100\nDATA:OFXSGML\n\n<OFX><STMTRS><BANKTRANLIST>\n"
                             "<STMTTRN><DTPOSTED>20240310<TRNAMT>5<FITID>X1</STMTTRN>\n"
                             "</BANKTRANLIST></STMTRS></OFX>\n";
    const QByteArray key = readStatement(lines).contentKey;
    for (const char *end : {"\r\n", "\r", "\r\r\n"})
        EXPECT_EQ(readStatement(QByteArray(lines).replace("\n", end)).contentKey, key)
            << QByteArray(end).toHex().toStdString();
}

TEST(OfxReader, KeepsAFitidOf255CharactersAndRefusesALongerOne) {
    const auto withFitId = [](int length) {
        return "<OFX><STMTRS><BANKTRANLIST><STMTTRN><DTPOSTED>20240301<TRNAMT>1<FITID>" +
               QByteArray(length, 'x') + "</STMTTRN></BANKTRANLIST></STMTRS></OFX>";
    };
    EXPECT_EQ(readStatement(withFitId(255)).lines.value(0).bankId, QString(255, u'x'));
    EXPECT_EQ(
        outcomeOf(withFitId(256)),
        QStringLiteral(
            "erro: Linha 1 do arquivo OFX: o identificador <FITID> tem 256 caracteres; o limite é 255."));
}

} // namespace
} // namespace bco::statements
