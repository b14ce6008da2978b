#include "framework/report/report_design.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace bco {

namespace {

template <class Enum> struct NamedValue {
    Enum value;
    const char *name;
};

const NamedValue<ReportFormat> formatNames[] = {{ReportFormat::Text, "texto"},
                                                {ReportFormat::Date, "data"},
                                                {ReportFormat::Money, "valor"},
                                                {ReportFormat::Integer, "inteiro"}};
const NamedValue<ReportAlignment> alignmentNames[] = {{ReportAlignment::Left, "esquerda"},
                                                      {ReportAlignment::Center, "centro"},
                                                      {ReportAlignment::Right, "direita"}};
const NamedValue<ReportAggregate> aggregateNames[] = {
    {ReportAggregate::None, "nenhum"}, {ReportAggregate::Sum, "soma"}, {ReportAggregate::Last, "ultimo"}};

template <class Enum, std::size_t N> QString nameOf(const NamedValue<Enum> (&names)[N], Enum value) {
    for (const auto &entry : names)
        if (entry.value == value)
            return QString::fromLatin1(entry.name);
    return {};
}

template <class Enum, std::size_t N>
Enum valueOf(const NamedValue<Enum> (&names)[N], const QString &name, const char *what) {
    for (const auto &entry : names)
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return entry.value;
    throw ReportDesignError(QStringLiteral("O modelo de relatório tem %1 desconhecido: \"%2\".")
                                .arg(QString::fromUtf8(what), name));
}

QJsonArray linesToJson(const QStringList &lines) {
    return QJsonArray::fromStringList(lines);
}

QStringList linesFromJson(const QJsonValue &value) {
    QStringList lines;
    for (const QJsonValue &line : value.toArray())
        lines << line.toString();
    return lines;
}

} // namespace

QString formatName(ReportFormat format) {
    return nameOf(formatNames, format);
}
QString alignmentName(ReportAlignment alignment) {
    return nameOf(alignmentNames, alignment);
}
QString aggregateName(ReportAggregate aggregate) {
    return nameOf(aggregateNames, aggregate);
}
ReportFormat formatFromName(const QString &name) {
    return valueOf(formatNames, name, "formato");
}
ReportAlignment alignmentFromName(const QString &name) {
    return valueOf(alignmentNames, name, "alinhamento");
}
ReportAggregate aggregateFromName(const QString &name) {
    return valueOf(aggregateNames, name, "totalização");
}

QString ReportDesign::queryText(SqlDialect dialect) const {
    const QStringList *lines = &sql;
    switch (dialect) {
    case SqlDialect::Oracle:
        lines = &sqlOracle;
        break;
    case SqlDialect::MsSql:
        lines = &sqlMsSql;
        break;
    case SqlDialect::InterBase:
        lines = &sqlInterBase;
        break;
    case SqlDialect::Generic:
        break;
    }
    return (lines->isEmpty() ? sql : *lines).join(u'\n');
}

QStringList ReportDesign::parameterNames(SqlDialect dialect) const {
    QStringList names = toPositional(queryText(dialect)).parameterNames;
    QStringList texts = pageHeader;
    texts << pageCompany << pageFooter << totalCaption;
    for (const ReportGroup &group : groups)
        texts << group.header << group.footer;
    static const QRegularExpression placeholder(QStringLiteral("\\{\\s*(P_\\w+)\\s*[:}]"),
                                                QRegularExpression::CaseInsensitiveOption);
    for (const QString &text : texts)
        for (const QRegularExpressionMatch &match : placeholder.globalMatch(text))
            names << match.captured(1).toUpper();
    names.removeDuplicates();
    return names;
}

QByteArray ReportDesign::toJson() const {
    QJsonObject query{{QStringLiteral("sql"), linesToJson(sql)}};
    if (!sqlOracle.isEmpty())
        query.insert(QStringLiteral("oracle"), linesToJson(sqlOracle));
    if (!sqlMsSql.isEmpty())
        query.insert(QStringLiteral("mssql"), linesToJson(sqlMsSql));
    if (!sqlInterBase.isEmpty())
        query.insert(QStringLiteral("interbase"), linesToJson(sqlInterBase));

    QJsonArray columnArray;
    for (const ReportColumn &column : columns)
        columnArray.append(QJsonObject{{QStringLiteral("field"), column.field},
                                       {QStringLiteral("caption"), column.caption},
                                       {QStringLiteral("width"), column.width},
                                       {QStringLiteral("format"), formatName(column.format)},
                                       {QStringLiteral("align"), alignmentName(column.alignment)},
                                       {QStringLiteral("aggregate"), aggregateName(column.aggregate)}});
    QJsonArray groupArray;
    for (const ReportGroup &group : groups)
        groupArray.append(QJsonObject{{QStringLiteral("field"), group.field},
                                      {QStringLiteral("header"), linesToJson(group.header)},
                                      {QStringLiteral("footer"), group.footer},
                                      {QStringLiteral("newPage"), group.newPage}});

    QJsonObject design{
        {QStringLiteral("query"), query},           {QStringLiteral("landscape"), landscape},
        {QStringLiteral("fontSize"), fontSize},     {QStringLiteral("pageHeader"), linesToJson(pageHeader)},
        {QStringLiteral("pageFooter"), pageFooter}, {QStringLiteral("totalCaption"), totalCaption},
        {QStringLiteral("columns"), columnArray},   {QStringLiteral("groups"), groupArray}};
    // Written only when set, so that a design without it reads the same to a client that does not know it.
    if (!pageCompany.isEmpty())
        design.insert(QStringLiteral("pageCompany"), pageCompany);
    return QJsonDocument(design).toJson(QJsonDocument::Indented);
}

ReportDesign ReportDesign::fromJson(const QByteArray &json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw ReportDesignError(
            QStringLiteral("O modelo de relatório não pôde ser lido: %1.").arg(error.errorString()));
    const QJsonObject object = document.object();
    ReportDesign design;
    const QJsonObject query = object.value(QStringLiteral("query")).toObject();
    design.sql = linesFromJson(query.value(QStringLiteral("sql")));
    design.sqlOracle = linesFromJson(query.value(QStringLiteral("oracle")));
    design.sqlMsSql = linesFromJson(query.value(QStringLiteral("mssql")));
    design.sqlInterBase = linesFromJson(query.value(QStringLiteral("interbase")));
    design.landscape = object.value(QStringLiteral("landscape")).toBool();
    design.fontSize = object.value(QStringLiteral("fontSize")).toInt(8);
    design.pageCompany = object.value(QStringLiteral("pageCompany")).toString();
    design.pageHeader = linesFromJson(object.value(QStringLiteral("pageHeader")));
    design.pageFooter = object.value(QStringLiteral("pageFooter")).toString();
    design.totalCaption = object.value(QStringLiteral("totalCaption")).toString();
    for (const QJsonValue &value : object.value(QStringLiteral("columns")).toArray()) {
        const QJsonObject column = value.toObject();
        design.columns.push_back(
            {column.value(QStringLiteral("field")).toString().trimmed().toUpper(),
             column.value(QStringLiteral("caption")).toString(),
             column.value(QStringLiteral("width")).toDouble(1.0),
             formatFromName(column.value(QStringLiteral("format")).toString(QStringLiteral("texto"))),
             alignmentFromName(column.value(QStringLiteral("align")).toString(QStringLiteral("esquerda"))),
             aggregateFromName(
                 column.value(QStringLiteral("aggregate")).toString(QStringLiteral("nenhum")))});
    }
    for (const QJsonValue &value : object.value(QStringLiteral("groups")).toArray()) {
        const QJsonObject group = value.toObject();
        design.groups.push_back({group.value(QStringLiteral("field")).toString().trimmed().toUpper(),
                                 linesFromJson(group.value(QStringLiteral("header"))),
                                 group.value(QStringLiteral("footer")).toString(),
                                 group.value(QStringLiteral("newPage")).toBool()});
    }
    design.validate();
    return design;
}

void ReportDesign::validate() const {
    if (sql.join(QString()).trimmed().isEmpty())
        throw ReportDesignError(QStringLiteral("O modelo de relatório não tem consulta."));
    if (columns.empty())
        throw ReportDesignError(QStringLiteral("O modelo de relatório não tem colunas."));
    for (const ReportColumn &column : columns) {
        if (column.field.isEmpty())
            throw ReportDesignError(QStringLiteral("Uma coluna do modelo de relatório não tem campo."));
        if (!(column.width > 0.0))
            throw ReportDesignError(
                QStringLiteral("A coluna %1 do modelo de relatório precisa de largura maior que zero.")
                    .arg(column.field));
    }
    for (const ReportGroup &group : groups)
        if (group.field.isEmpty())
            throw ReportDesignError(QStringLiteral("Um grupo do modelo de relatório não tem campo."));
    if (fontSize < 5 || fontSize > 24)
        throw ReportDesignError(
            QStringLiteral("O tamanho da letra do relatório deve ficar entre 5 e 24 pontos."));
}

} // namespace bco
