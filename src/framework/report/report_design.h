#pragma once

#include <stdexcept>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "framework/data/sql_text.h"

namespace bco {

// A design that cannot be read or used, with a message for the operator.
class ReportDesignError : public std::runtime_error {
public:
    explicit ReportDesignError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
};

// How a value is shown: text as it is, a date as dd/mm/yyyy, money with two decimals and the thousands
// separator of the locale, a whole number with the thousands separator.
enum class ReportFormat { Text, Date, Money, Integer };

// What a column shows in the group footers and the report's total line: nothing, the sum of its values
// (exact to the decimals it shows), or the value of the group's last row (a running balance).
enum class ReportAggregate { None, Sum, Last };

enum class ReportAlignment { Left, Center, Right };

struct ReportColumn {
    QString field;      // upper-case column name of the query
    QString caption;    // heading over the column
    double width = 1.0; // share of the printable width, relative to the other columns
    ReportFormat format = ReportFormat::Text;
    ReportAlignment alignment = ReportAlignment::Left;
    ReportAggregate aggregate = ReportAggregate::None;
};

// A grouping level: the rows with the same value of `field` (the query orders by it) are one group. Its
// header lines are printed before the group's first row and its footer line, with the aggregates of the
// columns, after its last.
struct ReportGroup {
    QString field;
    QStringList header; // templates, one a line
    QString footer;     // template of the footer's caption; empty: no footer line
    bool newPage = false;
};

// A stored report: the query that reads its rows, the columns that show them, the grouping, and the
// captions of the page. Texts shown on the page are templates: {NAME} is replaced by, in this order, a
// value of the page (EMPRESA, TITULO, PAGINA, PAGINAS, EMISSAO, OPERADOR, and QTDE, the row count of a
// group, in footers), a query parameter, or a column of the row at hand; {NAME:FORMAT} shows it through a
// format (texto, data, valor, inteiro), and {NAME:mascara(COLUMN)} a code of the row through the picture
// that the row's COLUMN holds, as the registers keep it (FormatThroughPicture: a bank's agency through
// CDPICTAGEN). A name that none of them holds is left as written, so that a typing slip shows on the page.
//
// The query has one text per database kind, as the local queries do; SQLite and PostgreSQL run the generic
// one, and a kind without a text of its own runs the generic one too. Its named parameters (:P_DATAINI), and
// those its captions show, are filled by whoever runs the report.
struct ReportDesign {
    QStringList sql; // the generic text, one line an element
    QStringList sqlOracle;
    QStringList sqlMsSql;
    QStringList sqlInterBase;

    bool landscape = false;
    int fontSize = 8; // points
    // Template of the company named atop each page, filled from the first row the page shows
    // ("{CDEMPRESA} - {NMEMPRESA}"), so that a report over several companies names on each page the one
    // whose rows it holds (a group on the company that starts a new page keeps one company a page); empty:
    // the company of the session's processing branch.
    QString pageCompany;
    QStringList pageHeader; // templates under the title (the period, for instance)
    QString pageFooter;     // template at the foot of each page, left of the page number
    QString totalCaption;   // caption of the report's total line; empty: no total line

    std::vector<ReportColumn> columns;
    std::vector<ReportGroup> groups;

    // The query text that serves a dialect.
    QString queryText(SqlDialect dialect) const;
    // The parameters the report is given: those of the query text that serves the dialect, then those its
    // captions show ({P_...}: a placeholder whose name starts with P_ names a parameter).
    QStringList parameterNames(SqlDialect dialect) const;

    // The design as stored: JSON text. `fromJson` refuses (ReportDesignError) text that is no design, a
    // design without columns or query, and names it does not know (a format, an alignment, an aggregate).
    QByteArray toJson() const;
    static ReportDesign fromJson(const QByteArray &json);
    // Refuses (ReportDesignError) a design that cannot be run: no query, no columns, a column without a
    // field or a width, a group without a field, a font size outside 5 to 24 points.
    void validate() const;
};

// The names under which formats, alignments and aggregates are stored and edited.
QString formatName(ReportFormat format);
QString alignmentName(ReportAlignment alignment);
QString aggregateName(ReportAggregate aggregate);
// Throw ReportDesignError for a name they do not know.
ReportFormat formatFromName(const QString &name);
ReportAlignment alignmentFromName(const QString &name);
ReportAggregate aggregateFromName(const QString &name);

} // namespace bco
