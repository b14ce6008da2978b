#include "statements/ofx_reader.h"

#include <algorithm>
#include <type_traits>

#include <QHash>
#include <QList>
#include <QRegularExpression>

#include "framework/text/whole_characters.h"
#include "statements/statement_messages.h"
#include "statements/statement_values.h"

namespace bco::statements {

namespace {

// Real statements nest some ten levels deep; anything far deeper is not a statement.
constexpr int MaxDepth = 64;
constexpr qsizetype MaxFitIdLength = 255;

// The elements the reader acts on. Every other aggregate is Other; every other element with text is a
// value that is passed over.
enum class Tag {
    Other,
    // aggregates
    Stmtrs,
    BankAcctFrom,
    BankTranList,
    StmtTrn,
    Payee,
    LedgerBal,
    KnownAggregate, // one whose values must not be taken for those of the aggregate around it
    // values
    BankId,
    BranchId,
    AcctId,
    CurDef,
    DtStart,
    DtEnd,
    TrnType,
    DtPosted,
    TrnAmt,
    FitId,
    CheckNum,
    RefNum,
    Name,
    Memo,
    BalAmt,
    DtAsOf,
};

bool isValue(Tag tag) {
    return tag >= Tag::BankId;
}

Tag tagOf(const QString &name) {
    static const QHash<QString, Tag> tags = {
        {QStringLiteral("STMTRS"), Tag::Stmtrs},
        {QStringLiteral("BANKACCTFROM"), Tag::BankAcctFrom},
        {QStringLiteral("BANKTRANLIST"), Tag::BankTranList},
        {QStringLiteral("STMTTRN"), Tag::StmtTrn},
        {QStringLiteral("PAYEE"), Tag::Payee},
        {QStringLiteral("LEDGERBAL"), Tag::LedgerBal},
        // Aggregates whose values bear the names of those read (a transfer's BANKID, a balance's
        // BALAMT, a currency's code): a value in one of them belongs to it.
        {QStringLiteral("BANKACCTTO"), Tag::KnownAggregate},
        {QStringLiteral("CCACCTTO"), Tag::KnownAggregate},
        {QStringLiteral("AVAILBAL"), Tag::KnownAggregate},
        {QStringLiteral("BALLIST"), Tag::KnownAggregate},
        {QStringLiteral("BAL"), Tag::KnownAggregate},
        {QStringLiteral("CURRENCY"), Tag::KnownAggregate},
        {QStringLiteral("ORIGCURRENCY"), Tag::KnownAggregate},
        {QStringLiteral("STATUS"), Tag::KnownAggregate},
        {QStringLiteral("FI"), Tag::KnownAggregate},
        {QStringLiteral("BANKID"), Tag::BankId},
        {QStringLiteral("BRANCHID"), Tag::BranchId},
        {QStringLiteral("ACCTID"), Tag::AcctId},
        {QStringLiteral("CURDEF"), Tag::CurDef},
        {QStringLiteral("DTSTART"), Tag::DtStart},
        {QStringLiteral("DTEND"), Tag::DtEnd},
        {QStringLiteral("TRNTYPE"), Tag::TrnType},
        {QStringLiteral("DTPOSTED"), Tag::DtPosted},
        {QStringLiteral("TRNAMT"), Tag::TrnAmt},
        {QStringLiteral("FITID"), Tag::FitId},
        {QStringLiteral("CHECKNUM"), Tag::CheckNum},
        {QStringLiteral("REFNUM"), Tag::RefNum},
        {QStringLiteral("NAME"), Tag::Name},
        {QStringLiteral("MEMO"), Tag::Memo},
        {QStringLiteral("BALAMT"), Tag::BalAmt},
        {QStringLiteral("DTASOF"), Tag::DtAsOf},
    };
    return tags.value(name, Tag::Other);
}

QString decodeEntities(QStringView text) {
    if (!text.contains(u'&'))
        return text.toString();
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype semicolon = text[i] == u'&' ? text.indexOf(u';', i) : -1;
        if (semicolon < 0 || semicolon - i > 10) {
            out += text[i];
            continue;
        }
        const QStringView name = text.mid(i + 1, semicolon - i - 1);
        char32_t code = 0;
        if (name == u"amp")
            code = u'&';
        else if (name == u"lt")
            code = u'<';
        else if (name == u"gt")
            code = u'>';
        else if (name == u"quot")
            code = u'"';
        else if (name == u"apos")
            code = u'\'';
        else if (name.startsWith(u'#')) {
            bool ok = false;
            const uint value = name.startsWith(u"#x", Qt::CaseInsensitive) ? name.mid(2).toUInt(&ok, 16)
                                                                           : name.mid(1).toUInt(&ok, 10);
            if (ok && value > 0x1F && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF))
                code = value;
        }
        if (code == 0) {
            out += text[i];
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = semicolon;
    }
    return out;
}

// What the file says of one STMTTRN, as written.
struct PendingLine {
    int fileLine = 0;
    QDate date;
    std::optional<qint64> cents;
    QString type, fitId, checkNumber, refNumber, name, payeeName, memo;
};

// What the file says of one STMTRS.
struct PendingStatement {
    int line = 0; // where it opens
    StatementAccount account;
    QString currency;
    QDate start, end;
    std::optional<qint64> ledgerCents;
    QDate ledgerDate;
    QList<PendingLine> lines;
};

QString ofxAccountText(const StatementAccount &account) {
    return QStringLiteral("banco %1, agência %2, conta %3")
        .arg(account.bankCode.isEmpty() ? QStringLiteral("-") : account.bankCode,
             account.agency.isEmpty() ? QStringLiteral("-") : account.agency, account.account);
}

bool sameAccount(const StatementAccount &a, const StatementAccount &b) {
    return a.matches(b.bankCode, b.agencyDigits, b.accountDigits) &&
           b.matches(a.bankCode, a.agencyDigits, a.accountDigits);
}

// Splits "1234-5" into the number and its check digit; a number written without a dash has none.
void setNumber(QStringView written, QString &text, QString &digits, QString &check) {
    text = written.toString();
    digits = digitsOnly(written);
    const qsizetype dash = written.lastIndexOf(u'-');
    check = dash < 0 ? QString() : digitsOnly(written.mid(dash + 1));
    if (check.isEmpty())
        check = dash < 0 ? QString() : written.mid(dash + 1).trimmed().toString();
}

class OfxParser {
public:
    explicit OfxParser(const QString &text)
        : text_(text) {}

    BankStatement read(qsizetype start) {
        parse(start);
        if (!stack_.isEmpty())
            throw truncated();
        if (!sawStatement_)
            throw messages::ofxNoStatement();
        return finish();
    }

private:
    struct Open {
        QString name;
        Tag tag;
        int line;
    };

    // The file ends with elements open: named by the innermost one the reader knows, since an element of
    // unknown meaning tells the operator nothing.
    StatementError truncated() const {
        const auto open =
            std::find_if(stack_.rbegin(), stack_.rend(), [](const Open &o) { return o.tag != Tag::Other; });
        const Open &shown = open == stack_.rend() ? stack_.front() : *open;
        return messages::ofxTruncated(shown.name, shown.line);
    }

    int lineAt(qsizetype position) {
        // Positions asked for only grow, so the lines are counted once over the whole file.
        if (position < countedTo_) {
            countedTo_ = 0;
            countedLines_ = 1;
        }
        // Lines end in LF, CR LF, or, from an old Mac's program, CR alone.
        for (; countedTo_ < position && countedTo_ < text_.size(); ++countedTo_)
            if (text_[countedTo_] == u'\n' ||
                (text_[countedTo_] == u'\r' &&
                 (countedTo_ + 1 == text_.size() || text_[countedTo_ + 1] != u'\n')))
                ++countedLines_;
        return countedLines_;
    }

    // Element names are the standard's capitals, which some exporters write in small letters, and some in
    // a namespace of the standard's XML schema ("ns2:STMTRS"): a statement's lines must not pass unseen
    // for either.
    static QString localName(QStringView name) {
        return name.mid(name.lastIndexOf(u':') + 1).toString().toUpper();
    }

    static bool isNameChar(QChar c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
               c == u'.' || c == u'_' || c == u'-' || c == u':';
    }

    qsizetype skipPast(qsizetype from, QStringView end, qsizetype markupStart) {
        const qsizetype at = text_.indexOf(end, from);
        if (at < 0)
            throw messages::ofxBadMarkup(lineAt(markupStart), text_.mid(markupStart, 20));
        return at + end.size();
    }

    void parse(qsizetype i) {
        const qsizetype n = text_.size();
        while (i < n) {
            const qsizetype lt = text_.indexOf(u'<', i);
            if (lt < 0)
                return;
            const QStringView rest = QStringView(text_).mid(lt);
            if (rest.startsWith(u"<!--")) {
                i = skipPast(lt + 4, u"-->", lt);
            } else if (rest.startsWith(u"<?")) {
                i = skipPast(lt + 2, u"?>", lt);
            } else if (rest.startsWith(u"<!")) {
                i = skipPast(lt + 2, u">", lt);
            } else if (rest.startsWith(u"</")) {
                const qsizetype gt = text_.indexOf(u'>', lt);
                if (gt < 0 && !stack_.isEmpty() && text_.indexOf(u'<', lt + 1) < 0)
                    throw truncated();
                const QStringView name =
                    gt < 0 ? QStringView() : QStringView(text_).mid(lt + 2, gt - lt - 2).trimmed();
                if (name.isEmpty() || !std::all_of(name.begin(), name.end(), isNameChar))
                    throw messages::ofxBadMarkup(lineAt(lt), text_.mid(lt, 20));
                close(localName(name));
                i = gt + 1;
            } else {
                i = startTag(lt);
            }
        }
    }

    // Reads the start tag at `lt` and what follows it up to the next markup; answers where to go on.
    qsizetype startTag(qsizetype lt) {
        qsizetype end = lt + 1;
        while (end < text_.size() && isNameChar(text_[end]))
            ++end;
        const qsizetype gt = text_.indexOf(u'>', end);
        const qsizetype nextLt = text_.indexOf(u'<', end);
        if (gt < 0 && nextLt < 0 && !stack_.isEmpty())
            throw truncated();
        if (end == lt + 1 || gt < 0 || (nextLt >= 0 && nextLt < gt) ||
            (gt > end && !text_[end].isSpace() && text_[end] != u'/'))
            throw messages::ofxBadMarkup(lineAt(lt), text_.mid(lt, 20));
        const QString name = localName(QStringView(text_).mid(lt + 1, end - lt - 1));
        const Tag tag = tagOf(name);
        if (text_[gt - 1] == u'/') {
            value(name, tag, QString(), lt);
            return gt + 1;
        }
        qsizetype after = gt + 1;
        QString content;
        const qsizetype valueEnd = [&] {
            qsizetype at = text_.indexOf(u'<', after);
            // A CDATA section is text, markup characters and all.
            while (at >= 0 && QStringView(text_).mid(at).startsWith(u"<![CDATA[")) {
                content += QStringView(text_).mid(after, at - after);
                const qsizetype close = text_.indexOf(u"]]>", at + 9);
                if (close < 0)
                    throw messages::ofxBadMarkup(lineAt(at), text_.mid(at, 20));
                content += QStringView(text_).mid(at + 9, close - at - 9);
                after = close + 3;
                at = text_.indexOf(u'<', after);
            }
            return at < 0 ? text_.size() : at;
        }();
        // A value that runs to the end of the file was cut short with it.
        if (valueEnd == text_.size() && !stack_.isEmpty())
            throw truncated();
        content += QStringView(text_).mid(after, valueEnd - after);
        const QStringView trimmed = QStringView(content).trimmed();
        const QString closing = QStringLiteral("</") + name + u'>';
        const bool closedRightAway =
            QStringView(text_).mid(valueEnd).startsWith(closing, Qt::CaseInsensitive);
        // Text in an aggregate the reader acts on is no statement it can trust: what follows would be
        // taken for the values of the aggregate around it, and lines would go missing unseen.
        if (!trimmed.isEmpty() && tag != Tag::Other && !isValue(tag))
            throw messages::ofxBadMarkup(lineAt(lt), text_.mid(lt, 20));
        if (!trimmed.isEmpty() || closedRightAway || isValue(tag)) {
            value(name, tag, decodeEntities(trimmed), lt);
            return closedRightAway ? valueEnd + closing.size() : valueEnd;
        }
        open(name, tag, lt);
        return valueEnd;
    }

    // The innermost aggregate the reader knows: values of an element it does not know belong to it.
    Tag context() const {
        for (auto it = stack_.rbegin(); it != stack_.rend(); ++it)
            if (it->tag != Tag::Other)
                return it->tag;
        return Tag::Other;
    }

    bool inStatement() const {
        return std::any_of(stack_.begin(), stack_.end(), [](const Open &o) { return o.tag == Tag::Stmtrs; });
    }

    void open(const QString &name, Tag tag, qsizetype at) {
        if (stack_.size() >= MaxDepth)
            throw messages::ofxTooDeep(lineAt(at), MaxDepth);
        if (tag == Tag::Stmtrs) {
            if (inStatement())
                throw messages::ofxBadMarkup(lineAt(at), name);
            pending_ = PendingStatement();
            pending_.line = lineAt(at);
        } else if (tag == Tag::StmtTrn && inStatement()) {
            // A line whose end tag is missing or misspelt would be dropped for the next one.
            if (line_)
                throw messages::ofxBadMarkup(lineAt(at), name);
            line_ = PendingLine();
            line_->fileLine = lineAt(at);
        }
        stack_.append({name, tag, lineAt(at)});
    }

    void close(const QString &name) {
        qsizetype index = stack_.size() - 1;
        while (index >= 0 && stack_[index].name != name)
            --index;
        // A closing tag of a value (whose start tag was taken for a value) or of nothing open: passed over.
        if (index < 0)
            return;
        while (stack_.size() > index) {
            const Tag tag = stack_.last().tag;
            stack_.removeLast();
            if (tag == Tag::StmtTrn && line_) {
                pending_.lines.append(std::move(*line_));
                line_.reset();
            } else if (tag == Tag::Stmtrs) {
                blocks_.append(std::move(pending_));
                sawStatement_ = true;
            }
        }
    }

    QDate dateOf(const QString &element, const QString &text, qsizetype at) {
        const QDate day = ofxDay(text);
        if (!day.isValid())
            throw messages::ofxBadDate(lineAt(at), element, text);
        return day;
    }

    // A bank that keeps no date for the balance writes zeros for it; the balance is then the statement's
    // last day's, as when the date is left out.
    static bool unstatedDay(const QString &text) {
        const qsizetype zone = text.indexOf(u'[');
        const QStringView day = QStringView(text).left(zone < 0 ? text.size() : zone);
        return day.size() >= 8 &&
               std::all_of(day.begin(), day.end(), [](QChar c) { return c == u'0' || c == u'.'; });
    }

    qint64 centsOf(const QString &element, const QString &text, qsizetype at) {
        const std::optional<qint64> cents = ofxCents(text);
        if (!cents)
            throw messages::ofxBadAmount(lineAt(at), element, text);
        return *cents;
    }

    void value(const QString &name, Tag tag, const QString &text, qsizetype at) {
        if (!isValue(tag) || !inStatement())
            return;
        const Tag where = context();
        if (where == Tag::BankAcctFrom) {
            StatementAccount &account = pending_.account;
            if (tag == Tag::BankId)
                account.bankCode = text;
            else if (tag == Tag::BranchId)
                setNumber(text, account.agency, account.agencyDigits, account.agencyCheck);
            else if (tag == Tag::AcctId)
                setNumber(text, account.account, account.accountDigits, account.accountCheck);
        } else if (where == Tag::Stmtrs && tag == Tag::CurDef) {
            pending_.currency = text;
        } else if (where == Tag::BankTranList && (tag == Tag::DtStart || tag == Tag::DtEnd) &&
                   !text.isEmpty()) {
            (tag == Tag::DtStart ? pending_.start : pending_.end) = dateOf(name, text, at);
        } else if (where == Tag::LedgerBal && tag == Tag::BalAmt && !text.isEmpty()) {
            pending_.ledgerCents = centsOf(name, text, at);
        } else if (where == Tag::LedgerBal && tag == Tag::DtAsOf && !text.isEmpty() && !unstatedDay(text)) {
            pending_.ledgerDate = dateOf(name, text, at);
        } else if (where == Tag::Payee && tag == Tag::Name && line_) {
            line_->payeeName = text;
        } else if (where == Tag::StmtTrn && line_) {
            transactionValue(name, tag, text, at);
        }
    }

    void transactionValue(const QString &name, Tag tag, const QString &text, qsizetype at) {
        PendingLine &line = *line_;
        switch (tag) {
        case Tag::TrnType:
            line.type = text.toUpper();
            break;
        case Tag::DtPosted:
            line.date = dateOf(name, text, at);
            break;
        case Tag::TrnAmt:
            line.cents = centsOf(name, text, at);
            break;
        case Tag::FitId:
            if (text.size() > MaxFitIdLength)
                throw messages::ofxIdTooLong(lineAt(at), text.size());
            // Stored as the line's id, which the server takes of one line only, as the line's texts; a
            // character folded at either end would tell the id from the same one sent clean.
            line.fitId = asOneLine(text).trimmed();
            break;
        case Tag::CheckNum:
            line.checkNumber = text;
            break;
        case Tag::RefNum:
            line.refNumber = text;
            break;
        case Tag::Name:
            line.name = text;
            break;
        case Tag::Memo:
            line.memo = text;
            break;
        default:
            break;
        }
    }

    static QChar kindOf(const PendingLine &line) {
        if (*line.cents != 0)
            return *line.cents < 0 ? u'D' : u'C';
        // A line of no amount has no sign to tell its direction: its type tells it.
        static const QStringList debitTypes = {QStringLiteral("DEBIT"),     QStringLiteral("CHECK"),
                                               QStringLiteral("FEE"),       QStringLiteral("SRVCHG"),
                                               QStringLiteral("PAYMENT"),   QStringLiteral("DIRECTDEBIT"),
                                               QStringLiteral("REPEATPMT"), QStringLiteral("CASH")};
        return debitTypes.contains(line.type) ? u'D' : u'C';
    }

    static QString descriptionOf(const PendingLine &line) {
        const QString name = (line.name.isEmpty() ? line.payeeName : line.name).simplified();
        const QString memo = line.memo.simplified();
        if (name.isEmpty() || memo.isEmpty() || name == memo)
            return name.isEmpty() ? memo : name;
        return name + QStringLiteral(" - ") + memo;
    }

    BankStatement finish() {
        BankStatement statement;
        statement.format = StatementFormat::Ofx;
        QDate end, lastLine;
        QHash<QString, int> fitIdCount;
        // A statement that names no account beside one that does is of no account the file says: its lines
        // would go to the other's.
        const auto named = [](const PendingStatement &block) {
            return !block.account.isEmpty();
        };
        if (std::any_of(blocks_.begin(), blocks_.end(), named)) {
            const auto unnamed = std::find_if_not(blocks_.begin(), blocks_.end(), named);
            if (unnamed != blocks_.end())
                throw messages::ofxStatementWithoutAccount(unnamed->line);
        }
        for (const PendingStatement &block : blocks_) {
            if (!block.account.isEmpty()) {
                if (!statement.account.isEmpty() && !sameAccount(statement.account, block.account))
                    throw messages::twoAccounts(ofxAccountText(statement.account),
                                                ofxAccountText(block.account));
                statement.account = block.account;
            } else if (statement.account.bankCode.isEmpty()) {
                // A file that names its bank only is still that bank's: the account chosen must be of it.
                statement.account.bankCode = block.account.bankCode;
            }
            if (statement.currency.isEmpty())
                statement.currency = block.currency;
            widen(statement, block.start);
            widen(statement, block.end);
            if (block.end.isValid() && (!end.isValid() || block.end > end))
                end = block.end;
            for (const PendingLine &line : block.lines) {
                if (!line.date.isValid())
                    throw messages::ofxMissing(line.fileLine, QStringLiteral("DTPOSTED"));
                if (!line.cents)
                    throw messages::ofxMissing(line.fileLine, QStringLiteral("TRNAMT"));
                if (!line.fitId.isEmpty())
                    ++fitIdCount[line.fitId];
                if (!lastLine.isValid() || line.date > lastLine)
                    lastLine = line.date;
            }
            if (block.ledgerCents) {
                const QDate date = block.ledgerDate.isValid() ? block.ledgerDate : block.end;
                if (!statement.closing || (date.isValid() && date >= statement.closing->date))
                    statement.closing = StatementBalance{*block.ledgerCents, date, true};
            }
        }
        // Ids of lines the bank does not tell apart: by day, so that another file with the same days
        // gives them the same ids (see StatementLine::bankId).
        QHash<QString, int> occurrences;
        qint64 net = 0;
        for (const PendingStatement &block : blocks_) {
            for (const PendingLine &pending : block.lines) {
                StatementLine line;
                line.date = pending.date;
                line.kind = kindOf(pending);
                line.cents = std::abs(*pending.cents);
                line.document =
                    (pending.checkNumber.isEmpty() ? pending.refNumber : pending.checkNumber).trimmed();
                line.description = descriptionOf(pending);
                line.fileLine = pending.fileLine;
                if (!pending.fitId.isEmpty() && fitIdCount.value(pending.fitId) == 1) {
                    line.bankId = pending.fitId;
                } else {
                    const QString key =
                        pending.fitId.isEmpty()
                            ? contentLineKey(line.date, line.kind, line.cents, line.document,
                                             line.description)
                            : pending.fitId.left(BareIdLength) + u' ' + line.date.toString(u"yyyyMMdd");
                    line.bankId = withOccurrence(key, ++occurrences[key]);
                }
                net += line.kind == u'C' ? line.cents : -line.cents;
                widen(statement, line.date);
                statement.lines.append(std::move(line));
            }
        }
        if (statement.closing && !statement.closing->date.isValid())
            statement.closing->date = statement.lastDay;
        // The opening balance follows from the closing one only when that closes the statement's last day:
        // a balance of a later day would take in movements the file does not hold.
        const QDate periodEnd = std::max(end, lastLine);
        if (statement.closing && statement.closing->date.isValid() && periodEnd.isValid() &&
            statement.closing->date <= periodEnd &&
            (!lastLine.isValid() || statement.closing->date >= lastLine))
            statement.opening = StatementBalance{statement.closing->cents - net, statement.firstDay, false};
        if (statement.closing)
            widen(statement, statement.closing->date);
        return statement;
    }

    static void widen(BankStatement &statement, const QDate &day) {
        if (!day.isValid())
            return;
        if (!statement.firstDay.isValid() || day < statement.firstDay)
            statement.firstDay = day;
        if (!statement.lastDay.isValid() || day > statement.lastDay)
            statement.lastDay = day;
    }

    const QString &text_;
    QList<Open> stack_;
    PendingStatement pending_;
    std::optional<PendingLine> line_;
    QList<PendingStatement> blocks_;
    bool sawStatement_ = false;
    qsizetype countedTo_ = 0;
    int countedLines_ = 1;
};

// Where the body's first tag stands, in whatever letter case the exporter wrote it: <OFX>, or, as writers
// bound to the standard's XML schema put it, with attributes (<OFX xmlns="...">) or a namespace prefix
// (<ns2:OFX>); -1 when nowhere.
template <typename View> qsizetype ofxTagAt(View text) {
    const auto ascii = [&](qsizetype at) {
        unsigned c = 0;
        if constexpr (std::is_same_v<View, QStringView>)
            c = text[at].unicode();
        else
            c = static_cast<unsigned char>(text[at]);
        return c < 128 ? static_cast<char>(c) : '\0';
    };
    const auto isPrefixChar = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-' || c == '.';
    };
    const qsizetype size = text.size();
    for (qsizetype at = 0; at < size; ++at) {
        if (ascii(at) != '<')
            continue;
        qsizetype name = at + 1;
        qsizetype colon = name;
        while (colon < size && isPrefixChar(ascii(colon)))
            ++colon;
        if (colon < size && colon > name && ascii(colon) == ':')
            name = colon + 1;
        if (name + 4 > size)
            continue;
        const char after = ascii(name + 3);
        if ((ascii(name) | 0x20) == 'o' && (ascii(name + 1) | 0x20) == 'f' &&
            (ascii(name + 2) | 0x20) == 'x' &&
            (after == '>' || after == ' ' || after == '\t' || after == '\r' || after == '\n'))
            return at;
    }
    return -1;
}

} // namespace

bool looksLikeOfx(QByteArrayView bytes) {
    QByteArrayView start = bytes.first(std::min<qsizetype>(bytes.size(), 4096));
    while (!start.isEmpty() &&
           (start.front() == ' ' || start.front() == '\t' || start.front() == '\r' || start.front() == '\n'))
        start = start.sliced(1);
    // Header keys in small letters, as some exporters write them, name an OFX file all the same.
    const QByteArray folded = start.toByteArray().toUpper();
    if (folded.startsWith("OFXHEADER") || ofxTagAt(start) == 0)
        return true;
    return (folded.startsWith("<?XML") || folded.startsWith("<?OFX") || folded.startsWith("<!--")) &&
           (folded.contains("OFXHEADER") || ofxTagAt(start) >= 0);
}

BankStatement readOfx(QByteArrayView bytes) {
    const qsizetype bodyStart = ofxTagAt(bytes);
    if (bodyStart < 0)
        throw messages::ofxNoStatement();
    const QString text = decodeStatementText(bytes);
    const qsizetype start = ofxTagAt(QStringView(text));
    return OfxParser(text).read(start < 0 ? text.size() : start);
}

} // namespace bco::statements
