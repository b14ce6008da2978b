#include "framework/report/report_rows.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <string>
#include <string_view>

#include <QDate>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

#include "framework/data/local_query.h"
#include "framework/data/sql_text.h"

namespace bco {

ReportRows::ReportRows(QStringList fields)
    : fields_(std::move(fields))
    , columns_(static_cast<std::size_t>(fields_.size())) {
}

QVariant ReportRows::Value(int row, int field) const {
    const Column &column = columns_[static_cast<std::size_t>(field)];
    const auto at = static_cast<std::size_t>(row);
    const qint64 value = column.values[at];
    switch (column.kinds[at]) {
    case Kind::Null:
        return {};
    case Kind::Integer:
        return static_cast<qlonglong>(value);
    case Kind::Real:
        return std::bit_cast<double>(value);
    case Kind::Text:
        return column.texts[static_cast<std::size_t>(value)];
    case Kind::Date:
        return QDate::fromJulianDay(value);
    case Kind::Other:
        return column.others[static_cast<std::size_t>(value)];
    }
    return {};
}

bool ReportRows::IsNull(int row, int field) const {
    return columns_[static_cast<std::size_t>(field)].kinds[static_cast<std::size_t>(row)] == Kind::Null;
}

double ReportRows::Number(int row, int field) const {
    const Column &column = columns_[static_cast<std::size_t>(field)];
    const auto at = static_cast<std::size_t>(row);
    switch (column.kinds[at]) {
    case Kind::Null:
        return 0.0;
    case Kind::Integer:
        return static_cast<double>(column.values[at]);
    case Kind::Real:
        return std::bit_cast<double>(column.values[at]);
    case Kind::Text:
    case Kind::Date:
    case Kind::Other:
        break;
    }
    return Value(row, field).toDouble();
}

bool ReportRows::SameValue(int row, int other, int field) const {
    const Column &column = columns_[static_cast<std::size_t>(field)];
    const auto a = static_cast<std::size_t>(row);
    const auto b = static_cast<std::size_t>(other);
    const Kind kind = column.kinds[a];
    if (kind == column.kinds[b]) {
        switch (kind) {
        case Kind::Null:
            return true;
        case Kind::Integer:
        case Kind::Date:
            return column.values[a] == column.values[b];
        case Kind::Real:
            return std::bit_cast<double>(column.values[a]) == std::bit_cast<double>(column.values[b]);
        case Kind::Text:
            return column.values[a] == column.values[b] ||
                   column.texts[static_cast<std::size_t>(column.values[a])] ==
                       column.texts[static_cast<std::size_t>(column.values[b])];
        case Kind::Other:
            break;
        }
    }
    return Value(row, field) == Value(other, field);
}

void ReportRows::appendText(Column &column, QString text) {
    // A text equal to the one above it shares its string.
    if (!column.kinds.empty() && column.kinds.back() == Kind::Text &&
        column.texts[static_cast<std::size_t>(column.values.back())] == text) {
        column.kinds.push_back(Kind::Text);
        column.values.push_back(column.values.back());
        return;
    }
    column.kinds.push_back(Kind::Text);
    column.values.push_back(static_cast<qint64>(column.texts.size()));
    column.texts.push_back(std::move(text));
}

void ReportRows::appendValue(Column &column, const QVariant &value) {
    if (value.isNull() || !value.isValid()) {
        column.kinds.push_back(Kind::Null);
        column.values.push_back(0);
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::LongLong:
        column.kinds.push_back(Kind::Integer);
        column.values.push_back(value.toLongLong());
        return;
    case QMetaType::Double:
        column.kinds.push_back(Kind::Real);
        column.values.push_back(std::bit_cast<qint64>(value.toDouble()));
        return;
    case QMetaType::QString:
        appendText(column, value.toString());
        return;
    case QMetaType::QDate:
        column.kinds.push_back(Kind::Date);
        column.values.push_back(value.toDate().toJulianDay());
        return;
    default:
        column.kinds.push_back(Kind::Other);
        column.values.push_back(static_cast<qint64>(column.others.size()));
        column.others.push_back(value);
        return;
    }
}

void ReportRows::Append(const std::vector<QVariant> &row) {
    for (std::size_t field = 0; field < columns_.size(); ++field)
        appendValue(columns_[field], row.at(field));
    ++rowCount_;
}

namespace {

// What the report's query needs beyond its text: the fields it must give.
void requireFields(const ReportRows &rows, const ReportDesign &design) {
    const auto requireField = [&rows](const QString &field) {
        if (rows.FieldIndex(field) < 0)
            throw ReportDesignError(QStringLiteral("A consulta do relatório não tem o campo %1.").arg(field));
    };
    for (const ReportColumn &column : design.columns)
        requireField(column.field);
    for (const ReportGroup &group : design.groups)
        requireField(group.field);
}

ReportDesignError queryFailed(const QString &message) {
    return ReportDesignError(QStringLiteral("A consulta do relatório falhou: %1").arg(message));
}

ReportDesignError writeRefused() {
    return ReportDesignError(
        QStringLiteral("A consulta do relatório deve apenas ler os dados (SELECT): nada foi gravado."));
}

// PostgreSQL's state of a write tried in a read-only transaction.
const QLatin1StringView ReadOnlyViolation("25006");

ReportDesignError failureOf(const QSqlError &error) {
    return error.nativeErrorCode() == ReadOnlyViolation ? writeRefused() : queryFailed(error.text());
}

sqlite3 *sqliteHandleOf(const QSqlDatabase &database) {
    const QVariant handle = database.driver() != nullptr ? database.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// Reads a query's text as PostgreSQL splits it into statements: literals, quoted names, comments (nested, as
// PostgreSQL nests them) and dollar-quoted texts are passed over whole. Whether a backslash escapes a quote
// in a plain literal is the server's setting (standard_conforming_strings): the text is read both ways, and
// in an escape string (E'...') always.
class StatementText {
public:
    StatementText(QStringView text, bool backslashEscapes)
        : text_(text)
        , backslashEscapes_(backslashEscapes) {}

    // Where the statement that starts at `from` ends: at its ';', or at the end of the text.
    qsizetype end(qsizetype from) const {
        qsizetype i = from;
        while (i < text_.size() && text_[i] != u';')
            i = pastToken(i);
        return i;
    }

    // Whether from `from` on the text holds blanks and comments alone.
    bool blank(qsizetype from) const {
        for (qsizetype i = from; i < text_.size(); i = pastToken(i)) {
            if (!text_[i].isSpace() && !startsComment(i))
                return false;
        }
        return true;
    }

private:
    static bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

    bool startsComment(qsizetype i) const {
        const QStringView two = text_.mid(i, 2);
        return two == u"--" || two == u"/*";
    }

    // Just past the literal, name, comment or character that starts at `i`.
    qsizetype pastToken(qsizetype i) const {
        const QChar c = text_[i];
        const QStringView two = text_.mid(i, 2);
        if (c == u'\'' || c == u'"') {
            const bool escapes = c == u'\'' && (backslashEscapes_ || escapeString(i));
            for (++i; i < text_.size(); ++i) {
                if (escapes && text_[i] == u'\\') {
                    ++i;
                    continue;
                }
                if (text_[i] != c)
                    continue;
                if (i + 1 < text_.size() && text_[i + 1] == c)
                    ++i; // a doubled quote stays inside
                else
                    return i + 1;
            }
            return text_.size();
        }
        if (two == u"--") {
            // PostgreSQL ends the comment at either line end, a carriage return alone included.
            while (i < text_.size() && text_[i] != u'\n' && text_[i] != u'\r')
                ++i;
            return std::min(i + 1, text_.size());
        }
        if (two == u"/*") {
            int depth = 0;
            while (i < text_.size()) {
                const QStringView at = text_.mid(i, 2);
                if (at == u"/*") {
                    ++depth;
                    i += 2;
                } else if (at == u"*/") {
                    i += 2;
                    if (--depth == 0)
                        return i;
                } else {
                    ++i;
                }
            }
            return text_.size();
        }
        if (c == u'$' && (i == 0 || !isNameChar(text_[i - 1]))) {
            qsizetype close = i + 1;
            while (close < text_.size() && text_[close] != u'$' && isNameChar(text_[close]))
                ++close;
            const bool tagged =
                close < text_.size() && text_[close] == u'$' && (close == i + 1 || !text_[i + 1].isDigit());
            if (tagged) {
                const QStringView delimiter = text_.mid(i, close + 1 - i);
                const qsizetype after = text_.indexOf(delimiter, close + 1);
                return after < 0 ? text_.size() : after + delimiter.size();
            }
        }
        return i + 1;
    }

    // Whether the quote at `i` opens an escape string: an E before it that ends no name.
    bool escapeString(qsizetype i) const {
        return i > 0 && (text_[i - 1] == u'E' || text_[i - 1] == u'e') &&
               (i < 2 || !isNameChar(text_[i - 2]));
    }

    QStringView text_;
    bool backslashEscapes_;
};

// Qt's PostgreSQL driver prepares a query by sending "PREPARE ... AS" and the text as one simple query, in
// which the server runs every statement the text holds: a second statement after a ';' would run at once,
// whatever transaction the first is in. A ';' is taken only where nothing but blanks and comments follows.
void refuseMoreThanOneStatement(const QString &query) {
    for (const bool backslashEscapes : {false, true}) {
        const StatementText text(query, backslashEscapes);
        const qsizetype end = text.end(0);
        if (end < query.size() && !text.blank(end + 1))
            throw ReportDesignError(
                QStringLiteral("A consulta do relatório deve ser um único comando SELECT: "
                               "tire o ';' que separa um segundo comando."));
    }
}

// A transaction in which PostgreSQL refuses any write, rolled back once the rows are read.
class ReadOnlyTransaction {
public:
    explicit ReadOnlyTransaction(const QSqlDatabase &database)
        : database_(database) {
        QSqlQuery begin(database_);
        if (!begin.exec(QStringLiteral("START TRANSACTION READ ONLY")))
            throw queryFailed(begin.lastError().text());
    }
    ~ReadOnlyTransaction() { QSqlQuery(database_).exec(QStringLiteral("ROLLBACK")); }
    ReadOnlyTransaction(const ReadOnlyTransaction &) = delete;
    ReadOnlyTransaction &operator=(const ReadOnlyTransaction &) = delete;

private:
    const QSqlDatabase &database_;
};

ReportRows readThroughQt(const QSqlDatabase &database, const PositionalSql &positional,
                         const ReportDesign &design, const ReportParams &params) {
    // The query outlives the transaction: its prepared statement is freed once the transaction is over,
    // which an aborted one would refuse.
    QSqlQuery query(database);
    const ReadOnlyTransaction readOnly(database);
    query.setForwardOnly(true);
    if (!query.prepare(positional.text))
        throw failureOf(query.lastError());
    for (int i = 0; i < positional.parameterNames.size(); ++i)
        query.bindValue(i, toSqlValue(params.Value(positional.parameterNames[i])));
    if (!query.exec())
        throw failureOf(query.lastError());

    const QSqlRecord record = query.record();
    QStringList fields;
    for (int i = 0; i < record.count(); ++i)
        fields << record.fieldName(i).toUpper();
    ReportRows rows(fields);
    requireFields(rows, design);
    std::vector<QVariant> row(static_cast<std::size_t>(fields.size()));
    while (query.next()) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = query.value(static_cast<int>(i));
        rows.Append(row);
    }
    if (query.lastError().isValid())
        throw failureOf(query.lastError());
    return rows;
}

} // namespace

// Reads a query's rows from SQLite's own handle: Qt's driver turns every value into a QVariant and every
// text into UTF-16 before the report sees it, which costs more than running the query.
class SqliteRowReader {
public:
    static ReportRows read(sqlite3 *db, const PositionalSql &positional, const ReportDesign &design,
                           const ReportParams &params) {
        sqlite3_stmt *raw = nullptr;
        const QByteArray text = positional.text.toUtf8();
        // Held until the statement is finalized, since SQLite prepares it again when the schema changes.
        const ReadingOnly readingOnly(db);
        const int prepared =
            sqlite3_prepare_v2(db, text.constData(), static_cast<int>(text.size()), &raw, nullptr);
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> statement(raw, sqlite3_finalize);
        if (prepared == SQLITE_AUTH ||
            (prepared == SQLITE_OK && raw != nullptr && !sqlite3_stmt_readonly(raw)))
            throw writeRefused();
        if (prepared != SQLITE_OK)
            throw queryFailed(QString::fromUtf8(sqlite3_errmsg(db)));
        for (int i = 0; i < positional.parameterNames.size(); ++i)
            bind(db, raw, i + 1, toSqlValue(params.Value(positional.parameterNames[i])));

        const int width = sqlite3_column_count(raw);
        QStringList fields;
        for (int i = 0; i < width; ++i)
            fields << QString::fromUtf8(sqlite3_column_name(raw, i)).toUpper();
        ReportRows rows(fields);
        requireFields(rows, design);
        std::vector<TextsSeen> seen(static_cast<std::size_t>(width));
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(raw)) == SQLITE_ROW) {
            for (int i = 0; i < width; ++i)
                readValue(raw, i, rows.columns_[static_cast<std::size_t>(i)],
                          seen[static_cast<std::size_t>(i)]);
            ++rows.rowCount_;
        }
        if (step != SQLITE_DONE)
            throw queryFailed(QString::fromUtf8(sqlite3_errmsg(db)));
        return rows;
    }

private:
    // Lets SQLite prepare on the connection only what reads tables and calls functions: no write, no
    // attached database, no pragma, no transaction.
    class ReadingOnly {
    public:
        explicit ReadingOnly(sqlite3 *db)
            : db_(db) {
            sqlite3_set_authorizer(db_, authorize, nullptr);
        }
        ~ReadingOnly() { sqlite3_set_authorizer(db_, nullptr, nullptr); }
        ReadingOnly(const ReadingOnly &) = delete;
        ReadingOnly &operator=(const ReadingOnly &) = delete;

    private:
        static int authorize(void *, int action, const char *, const char *, const char *, const char *) {
            switch (action) {
            case SQLITE_SELECT:
            case SQLITE_READ:
            case SQLITE_FUNCTION:
            case SQLITE_RECURSIVE:
                return SQLITE_OK;
            default:
                return SQLITE_DENY;
            }
        }
        sqlite3 *db_;
    };

    // The texts of a column met so far, as SQLite holds them, so that each is converted once: the one above
    // (a report repeats its account's texts down the rows) and, while the column shows few different ones
    // (a type, a branch, a day), every one.
    struct TextsSeen {
        static constexpr qsizetype FewTexts = 512;
        std::string last;
        QHash<QByteArray, qint64> places;
        bool few = true;
    };

    // Binds as Qt's driver binds: texts as UTF-16, numbers as they are, a null of any type as null.
    static void bind(sqlite3 *db, sqlite3_stmt *statement, int position, const QVariant &value) {
        int result = SQLITE_OK;
        if (value.isNull()) {
            result = sqlite3_bind_null(statement, position);
        } else {
            switch (value.metaType().id()) {
            case QMetaType::LongLong:
            case QMetaType::Int:
                result = sqlite3_bind_int64(statement, position, value.toLongLong());
                break;
            case QMetaType::Double:
                result = sqlite3_bind_double(statement, position, value.toDouble());
                break;
            default: {
                const QString text = value.toString();
                result = sqlite3_bind_text16(statement, position, text.utf16(),
                                             static_cast<int>(text.size() * sizeof(QChar)), SQLITE_TRANSIENT);
                break;
            }
            }
        }
        if (result != SQLITE_OK)
            throw queryFailed(QString::fromUtf8(sqlite3_errmsg(db)));
    }

    static void readValue(sqlite3_stmt *statement, int i, ReportRows::Column &column, TextsSeen &seen) {
        using Kind = ReportRows::Kind;
        switch (sqlite3_column_type(statement, i)) {
        case SQLITE_NULL:
            column.kinds.push_back(Kind::Null);
            column.values.push_back(0);
            return;
        case SQLITE_INTEGER:
            column.kinds.push_back(Kind::Integer);
            column.values.push_back(sqlite3_column_int64(statement, i));
            return;
        case SQLITE_FLOAT:
            column.kinds.push_back(Kind::Real);
            column.values.push_back(std::bit_cast<qint64>(sqlite3_column_double(statement, i)));
            return;
        case SQLITE_BLOB: {
            const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement, i));
            column.kinds.push_back(Kind::Other);
            column.values.push_back(static_cast<qint64>(column.others.size()));
            column.others.emplace_back(QByteArray(bytes, sqlite3_column_bytes(statement, i)));
            return;
        }
        default: {
            const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, i));
            const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, i));
            const std::string_view text(bytes, size);
            const bool repeated =
                !column.kinds.empty() && column.kinds.back() == Kind::Text && text == seen.last;
            column.kinds.push_back(Kind::Text);
            if (repeated) {
                column.values.push_back(column.values.back());
                return;
            }
            seen.last.assign(text);
            const QByteArray key = QByteArray::fromRawData(bytes, static_cast<qsizetype>(size));
            if (seen.few) {
                if (const auto found = seen.places.constFind(key); found != seen.places.cend()) {
                    column.values.push_back(*found);
                    return;
                }
            }
            const auto place = static_cast<qint64>(column.texts.size());
            column.values.push_back(place);
            column.texts.push_back(QString::fromUtf8(bytes, static_cast<qsizetype>(size)));
            if (seen.few && seen.places.size() < TextsSeen::FewTexts) {
                seen.places.insert(QByteArray(bytes, static_cast<qsizetype>(size)), place);
            } else if (seen.few) {
                seen.few = false;
                seen.places.clear();
            }
            return;
        }
        }
    }
};

ReportRows RunReportQuery(const QSqlDatabase &database, const ReportDesign &design,
                          const ReportParams &params) {
    const QString text = design.queryText(dialectForDriver(database.driverName()));
    refuseMoreThanOneStatement(text);
    const PositionalSql positional = toPositional(text);
    if (sqlite3 *db = sqliteHandleOf(database); db != nullptr)
        return SqliteRowReader::read(db, positional, design, params);
    return readThroughQt(database, positional, design, params);
}

} // namespace bco
