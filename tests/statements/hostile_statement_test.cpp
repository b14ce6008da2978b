#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "statements/bank_statement.h"
#include "statements/statement_outcome.h"

namespace bco::statements {
namespace {

QByteArray nested(int depth) {
    return "OFXHEADER:100\r\nDATA:OFXSGML\r\n\r\n<OFX><BANKMSGSRSV1><STMTTRNRS><STMTRS>" +
           QByteArray("<A>").repeated(depth) + "</STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>";
}

const QByteArray Ofx = "OFXHEADER:100\nDATA:OFXSGML\n\n<OFX><STMTRS><BANKTRANLIST>\n"
                       "<STMTTRN><TRNTYPE>DEBIT<DTPOSTED>20240315<TRNAMT>-1,00<FITID>1</STMTTRN>\n"
                       "</BANKTRANLIST></STMTRS></OFX>\n";

QByteArray utf16(const QByteArray &text) {
    const QString decoded = QString::fromLatin1(text);
    return "\xFF\xFE" + QByteArray(reinterpret_cast<const char *>(decoded.utf16()), decoded.size() * 2);
}

struct HostileCase {
    const char *name;
    QByteArray content;
    const char *message;
};

const HostileCase hostileCases[] = {
    {"an empty file", "", "O arquivo está vazio."},
    {"blank lines only", " \r\n\r\n\t", "O arquivo está vazio."},
    {"a binary file (a PNG picture)", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
     "O arquivo não é um extrato em texto: a linha 3 contém bytes de controle ou binários."},
    {"an OFX in UTF-16", utf16(Ofx),
     "O arquivo não é um extrato em texto: a linha 1 contém bytes de controle ou binários."},
    {"a spreadsheet saved as text", "Data;Valor\n15/03/2024;10,00\n",
     "Arquivo não reconhecido como extrato OFX ou CNAB 240."},
    {"an OFX cut in the middle of a date", Ofx.left(Ofx.indexOf("0315")),
     "O arquivo OFX termina antes de fechar <STMTTRN>, aberto na linha 5: o arquivo parece incompleto."},
    {"an OFX cut in the middle of a tag", Ofx.left(Ofx.indexOf("FITID")),
     "O arquivo OFX termina antes de fechar <STMTTRN>, aberto na linha 5: o arquivo parece incompleto."},
    {"an OFX cut after a transaction", Ofx.left(Ofx.indexOf("</BANKTRANLIST>")),
     "O arquivo OFX termina antes de fechar <BANKTRANLIST>, aberto na linha 4: o arquivo parece incompleto."},
    {"an OFX cut in the middle of an end tag", Ofx.left(Ofx.indexOf("</BANKTRANLIST>") + 5),
     "O arquivo OFX termina antes de fechar <BANKTRANLIST>, aberto na linha 4: o arquivo parece incompleto."},
    {"an OFX header alone", "OFXHEADER:100\r\nDATA:OFXSGML\r\n",
     "O arquivo OFX não traz extrato de conta corrente (elemento <STMTRS>)."},
    {"an OFX with a thousand nested tags", nested(1000),
     "Linha 4 do arquivo OFX: elementos aninhados demais (mais de 64)."},
    {"an OFX with a '<' left unescaped in a value",
     "<OFX><STMTRS><BANKTRANLIST>\n<STMTTRN><DTPOSTED>20240315<TRNAMT>1<MEMO>A < "
     "B</STMTTRN></BANKTRANLIST></STMTRS></OFX>",
     "Linha 2 do arquivo OFX: marcação inválida “< B</STMTTRN></BANKT”."},
    {"an OFX with text in a transaction's aggregate",
     "<OFX><STMTRS><BANKTRANLIST>\n<STMTTRN>15/03 PADARIA -12,50</STMTTRN></BANKTRANLIST></STMTRS></OFX>",
     "Linha 2 do arquivo OFX: marcação inválida “<STMTTRN>15/03 PADAR”."},
    {"an OFX with a comment never closed", "<OFX><!-- <STMTRS></STMTRS></OFX>",
     "Linha 1 do arquivo OFX: marcação inválida “<!-- <STMTRS></STMTR”."},
    {"a CNAB 400 return", "02RETORNO01COBRANCA" + QByteArray(381, ' ') + "\r\n",
     "O arquivo é CNAB 400; só o extrato CNAB 240 para conciliação bancária é aceito."},
    {"a CNAB 400 return whose lines end in CR alone",
     "02RETORNO01COBRANCA" + QByteArray(381, ' ') + "\r1" + QByteArray(399, '0') + "\r",
     "O arquivo é CNAB 400; só o extrato CNAB 240 para conciliação bancária é aceito."},
    {"a CNAB header of the wrong width", "10100000" + QByteArray(230, ' ') + "\r\n",
     "Linha 1 do arquivo CNAB tem 238 caracteres; o layout exige 240."},
    {"a file over the size limit", QByteArray(MaxStatementBytes + 1, 'x'),
     "O arquivo tem 33 MB; um extrato pode ter no máximo 32 MB."},
};

TEST(HostileStatements, AnswerAClearMessageAndNoStatement) {
    for (const HostileCase &c : hostileCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(outcomeOf(c.content), QStringLiteral("erro: ") + QString::fromUtf8(c.message));
    }
}

// A pipe would have the reader wait for a writer without end, a device such as /dev/zero would be read
// without end; a file grown past the limit is read no further than it.
TEST(StatementFile, ThatIsNoRegularFileOrTooLargeIsRefusedWithoutWaitingOrReadingWithoutEnd) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString pipe = folder.filePath(QStringLiteral("extrato.ofx"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString large = folder.filePath(QStringLiteral("grande.ofx"));
    QFile written(large);
    ASSERT_TRUE(written.open(QIODevice::WriteOnly));
    ASSERT_TRUE(written.resize(MaxStatementBytes + 1));
    written.close();
    const struct {
        QString path, message;
    } cases[] = {
        {pipe, pipe + QStringLiteral(" não é um arquivo: escolha o arquivo do extrato que o banco enviou.")},
        {QStringLiteral("/dev/zero"),
         QStringLiteral("/dev/zero não é um arquivo: escolha o arquivo do extrato que o banco enviou.")},
        {folder.path(),
         folder.path() +
             QStringLiteral(" não é um arquivo: escolha o arquivo do extrato que o banco enviou.")},
        {large, QStringLiteral("O arquivo tem 33 MB; um extrato pode ter no máximo 32 MB.")},
        {folder.filePath(QStringLiteral("nao-existe.ofx")),
         QStringLiteral("Não foi possível abrir o arquivo %1: o arquivo não existe.")
             .arg(folder.filePath(QStringLiteral("nao-existe.ofx")))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        try {
            readStatementFile(c.path);
            ADD_FAILURE() << "read";
        } catch (const StatementError &error) {
            EXPECT_EQ(error.message(), c.message);
        }
    }
}

} // namespace
} // namespace bco::statements
