#include "statements/cnab240_reader.h"

#include <QHash>
#include <QList>

#include "statements/cnab240_layout.h"
#include "statements/statement_messages.h"
#include "statements/statement_values.h"

namespace bco::statements {

namespace {

using cnab240::Field;
using cnab240::FieldKind;

// Up to the first line end, CR LF, LF or CR alone.
QByteArrayView firstLine(QByteArrayView bytes) {
    qsizetype end = 0;
    while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
        ++end;
    return bytes.first(end);
}

// One line of the file, its fields read through the layout's table.
class Record {
public:
    Record(QStringView text, int number)
        : text_(text)
        , number_(number) {}

    int number() const { return number_; }
    QChar type() const { return text_[cnab240::RecordType.start - 1]; }

    QStringView raw(const Field &field) const { return text_.mid(field.start - 1, field.length); }

    QString text(const Field &field) const { return raw(field).trimmed().toString(); }

    // Digits fields are numbers; a blank one, which some banks leave in fields of totals, gives nullopt.
    std::optional<qint64> number(const Field &field) const {
        const QStringView value = raw(field);
        if (value.trimmed().isEmpty() && field.kind == FieldKind::Digits)
            return std::nullopt;
        if (!allDigits(value))
            throw refused(field, field.kind == FieldKind::Amount
                                     ? "um valor (só algarismos, com os centavos nos "
                                       "dois últimos)"
                                     : "um número (só algarismos)");
        qint64 result = 0;
        for (const QChar c : value)
            result = result * 10 + (c.unicode() - u'0');
        return result;
    }

    qint64 cents(const Field &field) const { return *number(field); }

    QDate date(const Field &field) const {
        const QDate day = cnabDay(raw(field));
        if (!day.isValid())
            throw refused(field, "uma data DDMMAAAA");
        return day;
    }

    QChar sign(const Field &field) const {
        const QStringView value = raw(field);
        if (value != u"D" && value != u"C")
            throw refused(field, "D (débito) nem C (crédito)");
        return value.front();
    }

private:
    StatementError refused(const Field &field, const char *expected) const {
        return messages::cnabField(number_, field.name, field.start, field.length, raw(field).toString(),
                                   expected);
    }

    QStringView text_;
    int number_;
};

QString withCheck(const QString &number, const QString &check) {
    return check.isEmpty() ? number : number + u'-' + check;
}

QString cnabAccountText(const StatementAccount &account) {
    return QStringLiteral("agência %1, conta %2").arg(account.agency, account.account);
}

class Cnab240Parser {
public:
    BankStatement read(const QString &text) {
        const QList<QStringView> lines = linesOf(text);
        statement_.format = StatementFormat::Cnab240;
        qsizetype index = 0;
        if (lines.isEmpty())
            throw messages::cnabTruncated();
        const Record header(lines[0], 1);
        if (header.type() != u'0')
            throw messages::cnabUnexpected(
                1, QStringLiteral("o arquivo começa pelo registro tipo %1; o primeiro é "
                                  "o header de arquivo (tipo 0).")
                       .arg(header.type()));
        statement_.account.bankCode = header.text(cnab240::BankCode);
        (void)header.number(cnab240::BankCode);
        ++index;
        int batches = 0;
        while (index < lines.size()) {
            const Record record(lines[index], int(index) + 1);
            if (record.type() == u'9') {
                fileTrailer(record, batches, index + 1);
                if (index + 1 < lines.size())
                    throw messages::cnabUnexpected(
                        int(index) + 2,
                        QStringLiteral("há registros depois do trailer de arquivo (tipo 9)."));
                finish();
                return statement_;
            }
            if (record.type() != u'1')
                throw unexpected(
                    record, QStringLiteral("um header de lote (tipo 1) ou o trailer de arquivo (tipo 9)"));
            index = batch(lines, index);
            ++batches;
        }
        throw messages::cnabTruncated();
    }

private:
    static QList<QStringView> linesOf(const QString &text) {
        QStringView rest(text);
        // A final end-of-file mark and the empty lines before it are what DOS-era transfers leave.
        while (!rest.isEmpty() && (rest.back() == u'\n' || rest.back() == u'\r' || rest.back() == u'\x1a'))
            rest.chop(1);
        QList<QStringView> lines;
        qsizetype start = 0;
        while (start <= rest.size() && !rest.isEmpty()) {
            // Lines end as the system that last saved the file ends them: CR LF, LF, or CR alone.
            qsizetype end = start;
            while (end < rest.size() && rest[end] != u'\n' && rest[end] != u'\r')
                ++end;
            const QStringView line = rest.mid(start, end - start);
            if (line.size() != cnab240::LineWidth)
                throw messages::cnabWidth(int(lines.size()) + 1, line.size());
            lines.append(line);
            start = end + (end + 1 < rest.size() && rest[end] == u'\r' && rest[end + 1] == u'\n' ? 2 : 1);
        }
        return lines;
    }

    static StatementError unexpected(const Record &record, const QString &expected) {
        return messages::cnabUnexpected(
            record.number(),
            QStringLiteral("registro tipo %1 onde se espera %2.").arg(record.type()).arg(expected));
    }

    // Reads the batch whose header is at `index`; answers the index past its trailer.
    qsizetype batch(const QList<QStringView> &lines, qsizetype index) {
        const Record header(lines[index], int(index) + 1);
        const QString service = header.raw(cnab240::Service).toString();
        if (service != u"04")
            throw messages::cnabService(header.number(), service);
        const StatementAccount account = accountOf(header, statement_.account.bankCode);
        if (!statement_.account.accountDigits.isEmpty()) {
            const StatementAccount &first = statement_.account;
            if (!first.matches(account.bankCode, account.agencyDigits, account.accountDigits))
                throw messages::twoAccounts(cnabAccountText(first), cnabAccountText(account));
        } else {
            statement_.account = account;
        }
        const StatementBalance opening{signedCents(header, cnab240::OpeningAmount, cnab240::OpeningSign),
                                       header.date(cnab240::OpeningDate), true};
        // Batches of a file need not come in the order of their days: the statement opens with the earliest.
        if (!statement_.opening || opening.date < statement_.opening->date)
            statement_.opening = opening;
        if (statement_.currency.isEmpty())
            statement_.currency = header.text(cnab240::Currency);

        qint64 debits = 0, credits = 0;
        for (++index; index < lines.size(); ++index) {
            const Record record(lines[index], int(index) + 1);
            if (record.type() == u'5') {
                batchTrailer(record, header.number(), debits, credits);
                return index + 1;
            }
            if (record.type() != u'3')
                throw unexpected(record, QStringLiteral("um detalhe (tipo 3) ou o trailer de lote (tipo 5)"));
            const StatementLine &line = detail(record, account);
            // An amount field holds up to 18 digits: a few such lines would overflow the sum.
            qint64 &sum = line.kind == u'D' ? debits : credits;
            if (__builtin_add_overflow(sum, line.cents, &sum))
                throw messages::cnabUnexpected(
                    record.number(),
                    QStringLiteral("os lançamentos do lote somam mais do que um extrato pode "
                                   "informar."));
        }
        throw messages::cnabTruncated();
    }

    // The account a record names, at the positions every record of a batch names it.
    static StatementAccount accountOf(const Record &record, const QString &bankCode) {
        StatementAccount account;
        account.bankCode = bankCode;
        (void)record.number(cnab240::Agency);
        (void)record.number(cnab240::Account);
        account.agencyCheck = record.text(cnab240::AgencyCheck);
        account.accountCheck = record.text(cnab240::AccountCheck);
        account.agency = withCheck(record.text(cnab240::Agency), account.agencyCheck);
        account.account = withCheck(record.text(cnab240::Account), account.accountCheck);
        account.agencyDigits = digitsOnly(account.agency);
        account.accountDigits = digitsOnly(account.account);
        return account;
    }

    const StatementLine &detail(const Record &record, const StatementAccount &batchAccount) {
        const QString segment = record.raw(cnab240::Segment).toString();
        if (segment != u"E")
            throw messages::cnabSegment(record.number(), segment);
        // A line of another account would be stored in the batch's without a word. A bank may leave the
        // detail's agency or account blank: what it leaves blank is the batch's, what it names must be.
        const bool namesAgency = !record.raw(cnab240::Agency).trimmed().isEmpty();
        const bool namesAccount = !record.raw(cnab240::Account).trimmed().isEmpty();
        if (namesAgency || namesAccount) {
            StatementAccount named = accountOf(record, batchAccount.bankCode);
            if (!namesAgency) {
                named.agency = batchAccount.agency;
                named.agencyDigits = batchAccount.agencyDigits;
            }
            if (!namesAccount) {
                named.account = batchAccount.account;
                named.accountDigits = batchAccount.accountDigits;
            }
            if (!batchAccount.matches(named.bankCode, named.agencyDigits, named.accountDigits))
                throw messages::cnabUnexpected(
                    record.number(),
                    QStringLiteral("o lançamento é da %1, e o lote da %2; importe um arquivo por conta.")
                        .arg(cnabAccountText(named), cnabAccountText(batchAccount)));
        }
        StatementLine line;
        line.date = record.date(cnab240::PostingDate);
        line.cents = record.cents(cnab240::LineAmount);
        line.kind = record.sign(cnab240::LineKind);
        line.document = record.text(cnab240::Document);
        const QString code = record.text(cnab240::HistoryCode);
        const QString history = record.text(cnab240::HistoryText);
        line.description = code.isEmpty() ? history : history + QStringLiteral(" (") + code + u')';
        line.fileLine = record.number();
        const QString key = contentLineKey(line.date, line.kind, line.cents, line.document, line.description);
        line.bankId = withOccurrence(key, ++occurrences_[key]);
        statement_.lines.append(std::move(line));
        return statement_.lines.last();
    }

    void batchTrailer(const Record &trailer, int headerLine, qint64 debits, qint64 credits) {
        const StatementBalance closing{signedCents(trailer, cnab240::ClosingAmount, cnab240::ClosingSign),
                                       trailer.date(cnab240::ClosingDate), true};
        // The statement closes with the latest day's balance, whichever batch comes last.
        if (!statement_.closing || closing.date >= statement_.closing->date)
            statement_.closing = closing;
        const int records = trailer.number() - headerLine + 1;
        if (const auto stated = trailer.number(cnab240::BatchRecords); stated && *stated != records)
            throw messages::cnabTotal(trailer.number(), "um lote de",
                                      QStringLiteral("%1 registros").arg(*stated), QString::number(records));
        checkTotal(trailer, cnab240::DebitTotal, "débitos de", debits);
        checkTotal(trailer, cnab240::CreditTotal, "créditos de", credits);
    }

    static void checkTotal(const Record &trailer, const Field &field, const char *what, qint64 counted) {
        if (trailer.raw(field).trimmed().isEmpty())
            return;
        const qint64 stated = trailer.cents(field);
        if (stated != counted)
            throw messages::cnabTotal(trailer.number(), what, money(stated), money(counted));
    }

    void fileTrailer(const Record &trailer, int batches, qsizetype records) {
        if (const auto stated = trailer.number(cnab240::FileBatches); stated && *stated != batches)
            throw messages::cnabTotal(trailer.number(), "um arquivo de",
                                      QStringLiteral("%1 lotes").arg(*stated), QString::number(batches));
        if (const auto stated = trailer.number(cnab240::FileRecords); stated && *stated != records)
            throw messages::cnabTotal(trailer.number(), "um arquivo de",
                                      QStringLiteral("%1 registros").arg(*stated), QString::number(records));
    }

    static qint64 signedCents(const Record &record, const Field &amount, const Field &sign) {
        const qint64 cents = record.cents(amount);
        return record.sign(sign) == u'D' ? -cents : cents;
    }

    static QString money(qint64 cents) {
        return QStringLiteral("R$ %1,%2").arg(cents / 100).arg(cents % 100, 2, 10, QLatin1Char('0'));
    }

    void finish() {
        for (const StatementLine &line : std::as_const(statement_.lines))
            widen(line.date);
        if (statement_.opening)
            widen(statement_.opening->date);
        if (statement_.closing)
            widen(statement_.closing->date);
    }

    void widen(const QDate &day) {
        if (!statement_.firstDay.isValid() || day < statement_.firstDay)
            statement_.firstDay = day;
        if (!statement_.lastDay.isValid() || day > statement_.lastDay)
            statement_.lastDay = day;
    }

    BankStatement statement_;
    QHash<QString, int> occurrences_;
};

} // namespace

bool looksLikeCnab240(QByteArrayView bytes) {
    const QByteArrayView line = firstLine(bytes);
    if (line.size() < 8)
        return false;
    for (int i = 0; i < 3; ++i)
        if (line[i] < '0' || line[i] > '9')
            return false;
    return line.sliced(3, 5) == "00000";
}

bool looksLikeCnab400(QByteArrayView bytes) {
    const QByteArrayView line = firstLine(bytes);
    return line.size() == 400 && line.startsWith('0');
}

BankStatement readCnab240(const QString &text) {
    return Cnab240Parser().read(text);
}

} // namespace bco::statements
