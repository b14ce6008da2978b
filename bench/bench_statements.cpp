#include <cstdio>
#include <cstdlib>
#include <utility>

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QTemporaryDir>

#include <libofx/libofx.h>

#include "bench_support.h"

#include "statements/bank_statement.h"

namespace {

constexpr int Lines = 10'000;
constexpr int Runs = 7;
// libofx takes seconds a run: a few runs give its figure.
constexpr int LibofxRuns = 3;

// A month of a busy account as Brazilian internet banking writes it: OFX 1.x, a CP1252 header over a UTF-8
// body, values without closing tags, dates with their zone, amounts with a decimal comma.
QByteArray ofxStatement() {
    QByteArray ofx =
        "OFXHEADER:100\r\nDATA:OFXSGML\r\nVERSION:102\r\nSECURITY:NONE\r\nENCODING:USASCII\r\n"
        "CHARSET:1252\r\nCOMPRESSION:NONE\r\nOLDFILEUID:NONE\r\nNEWFILEUID:NONE\r\n\r\n"
        "<OFX><SIGNONMSGSRSV1><SONRS><STATUS><CODE>0<SEVERITY>INFO</STATUS>"
        "<DTSERVER>20240401120000[-3:BRT]<LANGUAGE>POR</SONRS></SIGNONMSGSRSV1>\r\n"
        "<BANKMSGSRSV1><STMTTRNRS><TRNUID>1<STATUS><CODE>0<SEVERITY>INFO</STATUS><STMTRS><CURDEF>BRL\r\n"
        "<BANKACCTFROM><BANKID>101<BRANCHID>1234-5<ACCTID>12345-6<ACCTTYPE>CHECKING</BANKACCTFROM>\r\n"
        "<BANKTRANLIST><DTSTART>20240301<DTEND>20240331\r\n";
    for (int i = 0; i < Lines; ++i) {
        const bool debit = i % 3 != 0;
        ofx += "<STMTTRN>\r\n<TRNTYPE>" + QByteArray(debit ? "DEBIT" : "CREDIT") + "\r\n<DTPOSTED>202403" +
               QByteArray::number(1 + i % 28).rightJustified(2, '0') + "120000[-3:BRT]\r\n<TRNAMT>" +
               (debit ? "-" : "") + QByteArray::number(1 + i % 9000) + "," +
               QByteArray::number(i % 100).rightJustified(2, '0') + "\r\n<FITID>2024030" +
               QByteArray::number(i).rightJustified(8, '0') + "\r\n<CHECKNUM>" + QByteArray::number(i) +
               "\r\n<MEMO>Padaria Pão Dourado " + QByteArray::number(i) + "\r\n</STMTTRN>\r\n";
    }
    ofx += "</BANKTRANLIST><LEDGERBAL><BALAMT>1000,00<DTASOF>20240331</LEDGERBAL></STMTRS></STMTTRNRS>"
           "</BANKMSGSRSV1></OFX>\r\n";
    return ofx;
}

QByteArray cnabLine(std::initializer_list<std::pair<int, QByteArray>> fields) {
    QByteArray line(240, ' ');
    for (const auto &[position, value] : fields)
        line.replace(position - 1, value.size(), value);
    return line;
}

QByteArray zeros(qint64 value, int width) {
    return QByteArray::number(value).rightJustified(width, '0');
}

// The same month as a CNAB 240 statement for reconciliation: one batch of segment E details.
QByteArray cnabStatement() {
    const auto account = [](char type, const QByteArray &more) {
        QByteArray line = cnabLine({{1, "101"},
                                    {4, "0001"},
                                    {8, QByteArray(1, type)},
                                    {18, "2"},
                                    {19, "22333444000181"},
                                    {53, "01234"},
                                    {58, "5"},
                                    {59, "000000012345"},
                                    {71, "6"}});
        return line.replace(142, more.size(), more);
    };
    QByteArrayList lines{cnabLine({{1, "101"}, {4, "0000"}, {8, "0"}, {143, "2"}, {144, "01042024"}})};
    QByteArray header = account('1', "01032024" + zeros(100000, 18) + "CFBRL");
    lines.append(header.replace(8, 3, "E04"));
    qint64 debits = 0, credits = 0;
    for (int i = 0; i < Lines; ++i) {
        const char kind = i % 3 != 0 ? 'D' : 'C';
        const qint64 cents = 100 + i % 900000;
        (kind == 'D' ? debits : credits) += cents;
        QByteArray detail = account('3', QByteArray::number(1 + i % 28).rightJustified(2, '0') + "032024" +
                                             zeros(cents, 18) + kind + "105" + "0105" + "TARIFA PACOTE" +
                                             QByteArray(12, ' ') + QByteArray::number(i));
        lines.append(detail.replace(8, 6, zeros(i + 1, 5) + "E"));
    }
    const qint64 closing = 100000 + credits - debits;
    lines.append(account('5', "31032024" + zeros(std::abs(closing), 18) + (closing < 0 ? "DF" : "CF") +
                                  zeros(Lines + 2, 6) + zeros(debits, 18) + zeros(credits, 18)));
    lines.append(
        cnabLine({{1, "101"}, {4, "9999"}, {8, "9"}, {18, "000001"}, {24, zeros(lines.size() + 1, 6)}}));
    return lines.join("\r\n") + "\r\n";
}

double readMilliseconds(const char *format, const QByteArray &content) {
    qsizetype lines = 0;
    const double ms = bench::medianMilliseconds(Runs, [&] {
        try {
            lines = bco::readStatement(content).lines.size();
        } catch (const bco::StatementError &error) {
            std::fprintf(stderr, "%s: %s\n", format, error.what());
            std::exit(EXIT_FAILURE);
        }
    });
    if (lines != Lines) {
        std::fprintf(stderr, "%s: %lld lines read, %d expected\n", format, static_cast<long long>(lines),
                     Lines);
        std::exit(EXIT_FAILURE);
    }
    return ms;
}

// libofx's figure for the same file, for comparison: it reads files by name only.
double libofxMilliseconds(const QByteArray &content) {
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("extrato.ofx"));
    QFile file(path);
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(EXIT_FAILURE);
    }
    file.close();
    int lines = 0;
    const double ms = bench::medianMilliseconds(LibofxRuns, [&] {
        lines = 0;
        LibofxContextPtr context = libofx_get_new_context();
        const auto count = [](const OfxTransactionData, void *counter) {
            ++*static_cast<int *>(counter);
            return 0;
        };
        ofx_set_transaction_cb(context, count, &lines);
        libofx_proc_file(context, QFile::encodeName(path).constData(), OFX);
        libofx_free_context(context);
    });
    if (lines != Lines) {
        std::fprintf(stderr, "libofx: %d lines read, %d expected\n", lines, Lines);
        std::exit(EXIT_FAILURE);
    }
    return ms;
}

} // namespace

// Reading a month's statement of 10,000 lines in each format; at most 200 ms each. libofx's figure on the
// OFX file beside ours.
int main() {
    const QByteArray ofx = ofxStatement();
    const QByteArray cnab = cnabStatement();
    bench::report("statement_read_ofx_10k", readMilliseconds("OFX", ofx), "ms");
    bench::report("statement_read_cnab240_10k", readMilliseconds("CNAB 240", cnab), "ms");
    bench::report("statement_libofx_ofx_10k", libofxMilliseconds(ofx), "ms");
    bench::report("statement_peak_resident", bench::peakResidentMegabytes(), "MiB");
    return EXIT_SUCCESS;
}
