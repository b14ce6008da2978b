#include <functional>
#include <utility>

#include <gtest/gtest.h>

#include <QByteArrayList>

#include "statements/statement_outcome.h"

namespace bco::statements {
namespace {

// CNAB 240 statements written here from the FEBRABAN layout (v10, "extrato para conciliação bancária"),
// its positions spelled again apart from the reader's table, so that a slip in either shows.

QByteArray cnabLine(std::initializer_list<std::pair<int, QByteArray>> fields) {
    QByteArray line(240, ' ');
    for (const auto &[position, value] : fields)
        line.replace(position - 1, value.size(), value);
    return line;
}

QByteArray zeros(qint64 value, int width) {
    return QByteArray::number(value).rightJustified(width, '0');
}

struct Movement {
    QByteArray date; // DDMMAAAA
    qint64 cents;
    char kind;
    QByteArray code, history, document;
};

struct Batch {
    QByteArray agency = "01234", agencyCheck = "5", account = "000000012345", accountCheck = "6";
    QByteArray openingDate = "14032024";
    qint64 opening = 150000;
    char openingSign = 'C';
    QList<Movement> movements;
    QByteArray closingDate = "15032024";
    qint64 closing = 397500;
    char closingSign = 'C';
    QByteArray service = "04";
};

const QByteArray Company = "22333444000181";

QByteArrayList cnabFile(const QList<Batch> &batches, const QByteArray &bank = "101") {
    QByteArrayList lines{cnabLine({{1, bank},
                                   {4, "0000"},
                                   {8, "0"},
                                   {18, "2"},
                                   {19, Company},
                                   {73, "PADARIA PAO DOURADO LTDA"},
                                   {103, "BANCO PATRIA"},
                                   {143, "2"},
                                   {144, "16032024"},
                                   {152, "101500"},
                                   {158, "000001"},
                                   {164, "089"}})};
    int number = 0;
    for (const Batch &batch : batches) {
        const QByteArray lot = zeros(++number, 4);
        // Every record of the batch names the company and the account at the same positions.
        const auto account = [&](char type) {
            return cnabLine({{1, bank},
                             {4, lot},
                             {8, QByteArray(1, type)},
                             {18, "2"},
                             {19, Company},
                             {53, batch.agency},
                             {58, batch.agencyCheck},
                             {59, batch.account},
                             {71, batch.accountCheck}});
        };
        QByteArray header = account('1');
        header.replace(8, 5, "E" + batch.service + "40");
        header.replace(13, 3, "033");
        header.replace(142, 31, batch.openingDate + zeros(batch.opening, 18) + batch.openingSign + "FBRL");
        lines.append(header);
        qint64 debits = 0, credits = 0;
        int sequence = 0;
        for (const Movement &m : batch.movements) {
            QByteArray detail = account('3');
            detail.replace(8, 6, zeros(++sequence, 5) + "E");
            detail.replace(108, 3, "DPV");
            detail.replace(133, 1, "N");
            detail.replace(134, 8, "29022024"); // the accounting date, which is not the posting date
            detail.replace(142, 8, m.date);
            detail.replace(150, 18, zeros(m.cents, 18));
            detail.replace(168, 4, m.kind + QByteArray(m.kind == 'D' ? "105" : "201"));
            detail.replace(172, 4, m.code);
            // The history is 25 characters wide, whatever bytes its characters take.
            detail.replace(176, 25, m.history + QByteArray(25 - QString::fromUtf8(m.history).size(), ' '));
            detail.replace(201, m.document.size(), m.document);
            lines.append(detail);
            (m.kind == 'D' ? debits : credits) += m.cents;
        }
        QByteArray trailer = account('5');
        trailer.replace(142, 28, batch.closingDate + zeros(batch.closing, 18) + batch.closingSign + "F");
        trailer.replace(170, 42,
                        zeros(batch.movements.size() + 2, 6) + zeros(debits, 18) + zeros(credits, 18));
        lines.append(trailer);
    }
    lines.append(cnabLine({{1, bank},
                           {4, "9999"},
                           {8, "9"},
                           {18, zeros(batches.size(), 6)},
                           {24, zeros(lines.size() + 1, 6)},
                           {30, zeros(batches.size(), 6)}}));
    return lines;
}

const QList<Movement> March = {
    {"14032024", 1250, 'D', "0105", "TARIFA PACOTE", ""},
    {"15032024", 250000, 'C', "0201", "DEPOSITO DINHEIRO AGENCIA", "778899"},
    {"15032024", 1250, 'D', "0105", "TARIFA PACOTE", ""},
};

Batch marchBatch() {
    Batch batch;
    batch.movements = March;
    return batch;
}

QByteArray crlf(const QByteArrayList &lines) {
    return lines.join("\r\n") + "\r\n";
}

const char MarchOutcome[] =
    "CNAB banco=101 agência=01234-5/012345/5 conta=000000012345-6/0000000123456/6 moeda=BRL\n"
    "período=2024-03-14..2024-03-15 inicial=150000@2024-03-14 final=397500@2024-03-15\n"
    "20240314 D 1250  TARIFA PACOTE (0105) #1|2024-03-14|D|1250||TARIFA PACOTE (0105)|l3\n"
    "20240315 C 250000 778899 DEPOSITO DINHEIRO AGENCIA (0201) #1|2024-03-15|C|250000|778899|DEPOSITO "
    "DINHEIRO AGENCIA (0201)|l4\n"
    "20240315 D 1250  TARIFA PACOTE (0105) #1|2024-03-15|D|1250||TARIFA PACOTE (0105)|l5";

struct CnabCase {
    const char *name;
    std::function<QByteArray()> file;
    const char *outcome;
};

const CnabCase cnabCases[] = {
    {"a statement with CRLF line ends and an end-of-file mark",
     [] { return crlf(cnabFile({marchBatch()})) + "\x1a"; }, MarchOutcome},
    {"LF line ends and trailing empty lines", [] { return cnabFile({marchBatch()}).join('\n') + "\n\n\n"; },
     MarchOutcome},
    {"saved by an editor that marks UTF-8", [] { return "\xEF\xBB\xBF" + crlf(cnabFile({marchBatch()})); },
     MarchOutcome},
    {"two batches of one account",
     [] {
         Batch first = marchBatch();
         first.movements = March.mid(0, 1);
         first.closingDate = "14032024";
         first.closing = 148750;
         Batch second = marchBatch();
         second.movements = March.mid(1);
         second.openingDate = "15032024";
         second.opening = 148750;
         return crlf(cnabFile({first, second}));
     },
     "CNAB banco=101 agência=01234-5/012345/5 conta=000000012345-6/0000000123456/6 moeda=BRL\n"
     "período=2024-03-14..2024-03-15 inicial=150000@2024-03-14 final=397500@2024-03-15\n"
     "20240314 D 1250  TARIFA PACOTE (0105) #1|2024-03-14|D|1250||TARIFA PACOTE (0105)|l3\n"
     "20240315 C 250000 778899 DEPOSITO DINHEIRO AGENCIA (0201) #1|2024-03-15|C|250000|778899|DEPOSITO "
     "DINHEIRO AGENCIA (0201)|l6\n"
     "20240315 D 1250  TARIFA PACOTE (0105) #1|2024-03-15|D|1250||TARIFA PACOTE (0105)|l7"},
    {"identical movements of a day, an overdrawn balance and accents in UTF-8",
     [] {
         Batch batch = marchBatch();
         batch.movements = {{"15032024", 990, 'D', "0110", "IOF S/ SALDO DEVEDOR", ""},
                            {"15032024", 990, 'D', "0110", "IOF S/ SALDO DEVEDOR", ""},
                            {"15032024", 5000, 'D', "0105", "TARIFA MANUTEN\xC3\x87\xC3\x83O", ""}};
         batch.opening = 5000;
         batch.openingDate = "15032024";
         batch.closing = 1980;
         batch.closingSign = 'D';
         return crlf(cnabFile({batch}));
     },
     "CNAB banco=101 agência=01234-5/012345/5 conta=000000012345-6/0000000123456/6 moeda=BRL\n"
     "período=2024-03-15..2024-03-15 inicial=5000@2024-03-15 final=-1980@2024-03-15\n"
     "20240315 D 990  IOF S/ SALDO DEVEDOR (0110) #1|2024-03-15|D|990||IOF S/ SALDO DEVEDOR (0110)|l3\n"
     "20240315 D 990  IOF S/ SALDO DEVEDOR (0110) #2|2024-03-15|D|990||IOF S/ SALDO DEVEDOR (0110)|l4\n"
     "20240315 D 5000  TARIFA MANUTENÇÃO (0105) #1|2024-03-15|D|5000||TARIFA MANUTENÇÃO (0105)|l5"},
    {"batches of one account in the reverse order of their days",
     [] {
         Batch first = marchBatch();
         first.movements = March.mid(0, 1);
         first.closingDate = "14032024";
         first.closing = 148750;
         Batch second = marchBatch();
         second.movements = March.mid(1);
         second.openingDate = "15032024";
         second.opening = 148750;
         return crlf(cnabFile({second, first}));
     },
     "CNAB banco=101 agência=01234-5/012345/5 conta=000000012345-6/0000000123456/6 moeda=BRL\n"
     "período=2024-03-14..2024-03-15 inicial=150000@2024-03-14 final=397500@2024-03-15\n"
     "20240315 C 250000 778899 DEPOSITO DINHEIRO AGENCIA (0201) #1|2024-03-15|C|250000|778899|DEPOSITO "
     "DINHEIRO AGENCIA (0201)|l3\n"
     "20240315 D 1250  TARIFA PACOTE (0105) #1|2024-03-15|D|1250||TARIFA PACOTE (0105)|l4\n"
     "20240314 D 1250  TARIFA PACOTE (0105) #1|2024-03-14|D|1250||TARIFA PACOTE (0105)|l7"},
    {"a line of another account within a batch",
     [] {
         QByteArrayList lines = cnabFile({marchBatch()});
         lines[3].replace(58, 12, "000000054321");
         return crlf(lines);
     },
     "erro: Linha 4 do arquivo CNAB: o lançamento é da agência 01234-5, conta 000000054321-6, e o lote da "
     "agência 01234-5, conta 000000012345-6; importe um arquivo por conta."},
    {"a line of another agency whose account is left blank",
     [] {
         QByteArrayList lines = cnabFile({marchBatch()});
         lines[3].replace(52, 5, "09999");
         lines[3].replace(58, 13, QByteArray(13, ' '));
         return crlf(lines);
     },
     "erro: Linha 4 do arquivo CNAB: o lançamento é da agência 09999-5, conta 000000012345-6, e o lote da "
     "agência 01234-5, conta 000000012345-6; importe um arquivo por conta."},
    {"lines that leave the agency or the account blank are the batch's",
     [] {
         QByteArrayList lines = cnabFile({marchBatch()});
         lines[2].replace(52, 6, QByteArray(6, ' '));
         lines[3].replace(58, 13, QByteArray(13, ' '));
         return crlf(lines);
     },
     MarchOutcome},
    {"batches of two accounts",
     [] {
         Batch other = marchBatch();
         other.account = "000000054321";
         return crlf(cnabFile({marchBatch(), other}));
     },
     "erro: O arquivo traz extratos de mais de uma conta (agência 01234-5, conta 000000012345-6 e agência "
     "01234-5, conta 000000054321-6); importe um arquivo por conta."},
    {"a line two columns short",
     [] {
         QByteArrayList lines = cnabFile({marchBatch()});
         lines[2].chop(2);
         return crlf(lines);
     },
     "erro: Linha 3 do arquivo CNAB tem 238 caracteres; o layout exige 240."},
    {"a batch of collection (service 01), not of statement",
     [] {
         Batch batch = marchBatch();
         batch.service = "01";
         return crlf(cnabFile({batch}));
     },
     "erro: Linha 2 do arquivo CNAB: o lote não é de extrato para conciliação bancária (tipo de serviço "
     "“01”; o "
     "extrato é 04)."},
    {"amounts whose sum no total could hold",
     [] {
         Batch batch = marchBatch();
         batch.movements = QList<Movement>(10, March[0]);
         QByteArrayList lines = cnabFile({batch});
         for (int detail = 2; detail < 12; ++detail)
             lines[detail].replace(150, 18, QByteArray(18, '9'));
         return crlf(lines);
     },
     "erro: Linha 12 do arquivo CNAB: os lançamentos do lote somam mais do que um extrato pode informar."},
    {"a detail of segment T",
     [] {
         QByteArrayList lines = cnabFile({marchBatch()});
         lines[3][13] = 'T';
         return crlf(lines);
     },
     "erro: Linha 4 do arquivo CNAB: segmento “T”; o extrato para conciliação só tem detalhes do segmento "
     "E."},
    {"an amount with a blank in it",
     [] {
         QByteArrayList lines = cnabFile({marchBatch()});
         lines[2][160] = ' ';
         return crlf(lines);
     },
     "erro: Linha 3 do arquivo CNAB: o campo valor do lançamento (posições 151 a 168) tem “0000000000 "
     "0001250”, "
     "que não é um valor (só algarismos, com os centavos nos dois últimos)."},
    {"a posting date that is no day",
     [] {
         QByteArrayList lines = cnabFile({marchBatch()});
         lines[3].replace(142, 8, "31022024");
         return crlf(lines);
     },
     "erro: Linha 4 do arquivo CNAB: o campo data do lançamento (posições 143 a 150) tem “31022024”, que não "
     "é "
     "uma data DDMMAAAA."},
    {"a movement that is neither debit nor credit",
     [] {
         QByteArrayList lines = cnabFile({marchBatch()});
         lines[4][168] = 'X';
         return crlf(lines);
     },
     "erro: Linha 5 do arquivo CNAB: o campo tipo do lançamento (posições 169 a 169) tem “X”, que não é D "
     "(débito) nem C (crédito)."},
    {"a detail the trailer's debit total does not count",
     [] {
         QByteArrayList lines = cnabFile({marchBatch()});
         lines[5].replace(176, 18, zeros(1250, 18));
         return crlf(lines);
     },
     "erro: Linha 6 do arquivo CNAB: o trailer informa débitos de R$ 12,50, mas o arquivo tem R$ 25,00; o "
     "arquivo parece incompleto ou alterado."},
    {"a batch missing one of its details",
     [] {
         QByteArrayList lines = cnabFile({marchBatch()});
         lines.removeAt(3);
         return crlf(lines);
     },
     "erro: Linha 5 do arquivo CNAB: o trailer informa um lote de 5 registros, mas o arquivo tem 4; o "
     "arquivo "
     "parece incompleto ou alterado."},
    {"a file cut after a detail", [] { return crlf(cnabFile({marchBatch()}).mid(0, 4)); },
     "erro: O arquivo CNAB termina sem o trailer de arquivo (registro 9): o arquivo parece incompleto."},
    {"a record after the file trailer",
     [] {
         QByteArrayList lines = cnabFile({marchBatch()});
         lines.append(lines[2]);
         return crlf(lines);
     },
     "erro: Linha 8 do arquivo CNAB: há registros depois do trailer de arquivo (tipo 9)."},
    {"a file that starts with a batch header", [] { return crlf(cnabFile({marchBatch()}).mid(1)); },
     "erro: Arquivo não reconhecido como extrato OFX ou CNAB 240."},
};

TEST(Cnab240Reader, ReadsStatementsWrittenFromTheLayoutOrSaysWhatIsWrong) {
    for (const CnabCase &c : cnabCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(outcomeOf(c.file()), QString::fromUtf8(c.outcome));
    }
}

TEST(Cnab240Reader, ReadsTheSameTextFromCp1252Bytes) {
    Batch batch = marchBatch();
    batch.movements[0].history = "TARIFA MANUTEN\xC7\xC3O";
    const BankStatement statement = readStatement(crlf(cnabFile({batch})));
    EXPECT_EQ(statement.lines.value(0).description, QStringLiteral("TARIFA MANUTENÇÃO (0105)"));
}

// The key of a second import: the lines of a day that two files share get the same ids in both, though
// their sequence numbers and lines in the files differ.
TEST(Cnab240Reader, LinesThatOverlappingFilesShareKeepTheirIds) {
    Batch first = marchBatch();
    Batch second = marchBatch();
    second.movements = March.mid(1) + QList<Movement>{{"16032024", 700, 'D', "0105", "TARIFA PACOTE", ""}};
    second.openingDate = "15032024";
    second.opening = 148750;
    second.closingDate = "16032024";
    second.closing = 396800;
    const BankStatement a = readStatement(crlf(cnabFile({first})));
    const BankStatement b = readStatement(crlf(cnabFile({second})));
    ASSERT_EQ(a.lines.size(), 3);
    ASSERT_EQ(b.lines.size(), 3);
    EXPECT_EQ(b.lines[0].bankId, a.lines[1].bankId);
    EXPECT_EQ(b.lines[1].bankId, a.lines[2].bankId);
    EXPECT_NE(b.lines[2].bankId, a.lines[0].bankId);
    EXPECT_NE(a.contentKey, b.contentKey);
}

// The demo's banks register agencies and accounts each in its own way (CONTCORR: with or without the check
// digit, which the CNAB file always writes apart); the statement finds the account either way.
struct DemoAccountCase {
    QByteArray bank, agency, agencyCheck, account, accountCheck;
    const char *registeredAgency, *registeredAccount;
};

const DemoAccountCase demoAccounts[] = {
    {"101", "04321", "7", "000012345678", "9", "43217", "123456789"},
    {"202", "00042", "1", "000007654321", "0", "00421", "76543210"},
    {"303", "00777", " ", "000000012345", "6", "0777", "123456"},
};

TEST(Cnab240Reader, FindsTheDemoBanksAccountsByDigits) {
    for (const DemoAccountCase &c : demoAccounts) {
        SCOPED_TRACE(c.bank.constData());
        Batch batch = marchBatch();
        batch.agency = c.agency;
        batch.agencyCheck = c.agencyCheck;
        batch.account = c.account;
        batch.accountCheck = c.accountCheck;
        const StatementAccount account = readStatement(crlf(cnabFile({batch}, c.bank))).account;
        EXPECT_EQ(account.bankCode, QString::fromLatin1(c.bank));
        EXPECT_TRUE(account.matches(QString::fromLatin1(c.bank), QString::fromUtf8(c.registeredAgency),
                                    QString::fromUtf8(c.registeredAccount)));
        EXPECT_FALSE(account.matches(QString::fromLatin1(c.bank), QString::fromUtf8(c.registeredAgency),
                                     QStringLiteral("99") + QString::fromUtf8(c.registeredAccount)));
    }
}

// A file is known by its content: the copy whose line ends a transfer changed is the same file.
TEST(Cnab240Reader, KnowsAFileByItsContentWhateverItsLineEnds) {
    const QByteArrayList lines = cnabFile({marchBatch()});
    const QByteArray key = readStatement(crlf(lines) + "\x1a").contentKey;
    EXPECT_EQ(readStatement(lines.join('\n')).contentKey, key);
    EXPECT_EQ(readStatement(lines.join('\r')).contentKey, key);
    QByteArrayList changed = lines;
    changed[2].replace(160, 8, "00001251");
    changed[5].replace(176, 18, zeros(2501, 18));
    EXPECT_NE(readStatement(crlf(changed)).contentKey, key);
}

} // namespace
} // namespace bco::statements
