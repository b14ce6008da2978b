#include "statements/bank_statement.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include "statements/cnab240_reader.h"
#include "statements/ofx_reader.h"
#include "statements/statement_messages.h"
#include "statements/statement_values.h"

namespace bco {

namespace {

QStringView withoutLeadingZeros(QStringView digits) {
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.mid(1);
    return digits;
}

bool sameNumber(QStringView a, QStringView b) {
    return withoutLeadingZeros(a) == withoutLeadingZeros(b);
}

// A registered number matches the file's with its check digit, or without it when the file tells the
// check digit apart.
bool numberMatches(const QString &fileDigits, const QString &fileCheck, QStringView registered) {
    const QString digits = digitsOnly(registered);
    if (sameNumber(digits, fileDigits))
        return true;
    const QString check = digitsOnly(fileCheck);
    return !check.isEmpty() && fileDigits.endsWith(check) &&
           sameNumber(digits, QStringView(fileDigits).chopped(check.size()));
}

// The line where a byte stands, for messages about bytes that are not text.
int lineOfByte(QByteArrayView bytes, qsizetype at) {
    return int(bytes.first(at).count('\n')) + 1;
}

void refuseBinary(QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        // Tab, line ends, form feed and the DOS end-of-file mark are what text files hold below a blank.
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1A)
            throw statements::messages::binary(lineOfByte(bytes, i));
    }
}

QByteArray contentKeyOf(QByteArrayView bytes) {
    QByteArray normalised;
    normalised.reserve(bytes.size());
    // CR LF and the CRs a bad transfer doubles before an LF are the one LF of a file saved elsewhere; a CR
    // alone is an old Mac's line end.
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r') {
            normalised.append(bytes[i]);
            continue;
        }
        qsizetype run = 1;
        for (; i + 1 < bytes.size() && bytes[i + 1] == '\r'; ++i)
            ++run;
        if (i + 1 == bytes.size() || bytes[i + 1] != '\n')
            normalised.append(QByteArray(run, '\n'));
    }
    while (!normalised.isEmpty() && (normalised.back() == '\x1a' || normalised.back() == '\n' ||
                                     normalised.back() == ' ' || normalised.back() == '\t'))
        normalised.chop(1);
    return QCryptographicHash::hash(normalised, QCryptographicHash::Sha256).toHex();
}

} // namespace

StatementError::StatementError(const QString &message)
    : std::runtime_error(message.toStdString())
    , message_(message) {
}

namespace {

// A bank's code may come with its check digit ("341-7"), as agencies and accounts do.
QString bankDigitsOf(QStringView code) {
    const qsizetype dash = code.indexOf(u'-');
    return digitsOnly(dash < 0 ? code : code.left(dash));
}

} // namespace

bool StatementAccount::namesBank(QStringView bank) const {
    const QStringView given = QStringView(bankCode).trimmed();
    if (given.isEmpty() || given.compare(bank.trimmed(), Qt::CaseInsensitive) == 0)
        return true;
    // One written without digits ("ITAU", "-999") names a bank nobody can tell: none of the installation's.
    const QString bankDigits = bankDigitsOf(given);
    return !bankDigits.isEmpty() && sameNumber(bankDigits, bankDigitsOf(bank.trimmed()));
}

bool StatementAccount::matches(QStringView bank, QStringView agencyNumber, QStringView accountNumber) const {
    if (!namesBank(bank))
        return false;
    // OFX makes the agency optional (BRANCHID): a file without one names the account by bank and number.
    return (agencyDigits.isEmpty() || numberMatches(agencyDigits, agencyCheck, agencyNumber)) &&
           numberMatches(accountDigits, accountCheck, accountNumber);
}

QString digitsOnly(QStringView text) {
    QString digits;
    digits.reserve(text.size());
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits.append(c);
    return digits;
}

QString bareBankId(const QString &bankId, QDate date) {
    const QString suffix = QStringLiteral(" %1 #").arg(date.toString(u"yyyyMMdd"));
    const qsizetype at = bankId.lastIndexOf(suffix);
    if (at <= 0)
        return bankId.left(BareIdLength);
    const QStringView occurrence = QStringView(bankId).mid(at + suffix.size());
    const bool numbered =
        !occurrence.isEmpty() &&
        std::all_of(occurrence.begin(), occurrence.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    return (numbered ? bankId.left(at) : bankId).left(BareIdLength);
}

BankStatement readStatement(QByteArrayView content) {
    if (content.size() > MaxStatementBytes)
        throw statements::messages::tooLarge(content.size());
    if (QByteArrayView(content).trimmed().isEmpty() || content == "\x1a")
        throw statements::messages::empty();
    refuseBinary(content);
    // The mark that Windows editors put before a text they save as UTF-8 belongs to no format. The file's
    // identity stays that of its bytes as they came.
    const QByteArrayView text = content.startsWith("\xEF\xBB\xBF") ? content.sliced(3) : content;
    BankStatement statement;
    if (statements::looksLikeOfx(text)) {
        statement = statements::readOfx(text);
    } else if (statements::looksLikeCnab240(text)) {
        // CNAB declares no charset: UTF-8 when valid, else what Windows programs write.
        statement = statements::readCnab240(statements::decodeStatementText(text));
    } else if (statements::looksLikeCnab400(text)) {
        throw statements::messages::cnab400();
    } else {
        throw statements::messages::notRecognised();
    }
    // Amounts in another currency would be stored, and reconciled, as reais.
    const QString currency = statement.currency.trimmed().toUpper();
    if (!currency.isEmpty() && currency != u"BRL" && currency != u"986" && currency != u"R$")
        throw statements::messages::otherCurrency(statement.currency.trimmed());
    statement.contentKey = contentKeyOf(content);
    return statement;
}

BankStatement readStatementFile(const QString &path) {
    // Checked before the file is opened: opening a pipe waits for a writer.
    const QFileInfo file(path);
    if (!file.exists())
        throw statements::messages::cannotOpen(path, QStringLiteral("o arquivo não existe"));
    if (!file.isFile())
        throw statements::messages::notAFile(path);
    QFile opened(path);
    if (!opened.open(QIODevice::ReadOnly))
        throw statements::messages::cannotOpen(path, opened.errorString());
    const QByteArray content = opened.read(MaxStatementBytes + 1);
    if (content.size() > MaxStatementBytes)
        throw statements::messages::tooLarge(std::max<qint64>(opened.size(), content.size()));
    return readStatement(content);
}

} // namespace bco
