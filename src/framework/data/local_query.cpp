#include "framework/data/local_query.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace bco {

namespace {

FieldKind kindOfColumn(const QSqlField &column) {
    switch (column.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return FieldKind::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
        return FieldKind::Float;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return FieldKind::Date;
    case QMetaType::Bool:
        return FieldKind::Boolean;
    default:
        return FieldKind::Text;
    }
}

// A database value in a field of that kind. SQLite keeps dates as text and numbers in whatever class they
// were written with, so the declared kind decides, not the driver's guess.
Variant toVariant(const QVariant &value, FieldKind kind) {
    if (value.isNull())
        return {};
    switch (kind) {
    case FieldKind::Text:
        return value.toString();
    case FieldKind::Integer:
        return static_cast<qint64>(value.toLongLong());
    case FieldKind::Float:
        return value.toDouble();
    case FieldKind::Boolean:
        return value.toBool();
    case FieldKind::Date:
        if (value.metaType().id() == QMetaType::QDateTime)
            return value.toDateTime().date();
        if (value.metaType().id() == QMetaType::QDate)
            return value.toDate();
        return Variant(value.toString().left(10)).toDate();
    }
    return {};
}

} // namespace

QVariant toSqlValue(const Variant &value) {
    switch (value.type()) {
    case VariantType::Null:
        return QVariant(QMetaType::fromType<QString>());
    case VariantType::Date:
        return value.toDate().toString(Qt::ISODate);
    case VariantType::Int:
        return static_cast<qlonglong>(value.toInt());
    case VariantType::Float:
        return value.toFloat();
    default:
        return value.toText();
    }
}

LocalQuery::LocalQuery(QObject *parent)
    : ClientDataSet(parent) {
}

QString LocalQuery::TextFor(SqlDialect dialect) const {
    const QStringList *lines = &SQL;
    switch (dialect) {
    case SqlDialect::Oracle:
        lines = &SQL_ORACLE;
        break;
    case SqlDialect::MsSql:
        lines = &SQL_MSSQL;
        break;
    case SqlDialect::InterBase:
        lines = &SQL_IB;
        break;
    case SqlDialect::Generic:
        break;
    }
    return (lines->isEmpty() ? SQL : *lines).join(u'\n');
}

QSqlDatabase LocalQuery::database() const {
    if (!connection_)
        throw DataSetError("local query " + objectName().toStdString() + " has no connection");
    return connection_();
}

QueryParam *LocalQuery::findParam(const QString &upperName) {
    for (auto &param : params_)
        if (param.Name() == upperName)
            return &param;
    return nullptr;
}

QueryParam &LocalQuery::ParamByName(const QString &name) {
    const QString upperName = name.toUpper();
    if (QueryParam *param = findParam(upperName))
        return *param;
    const QSqlDatabase db = database();
    const PositionalSql positional = toPositional(TextFor(dialectForDriver(db.driverName())));
    if (!positional.parameterNames.contains(upperName))
        throw DataSetError("local query " + objectName().toStdString() + " has no parameter " +
                           name.toStdString());
    params_.emplace_back(upperName);
    return params_.back();
}

void LocalQuery::Open() {
    QSqlDatabase db = database();
    const PositionalSql positional = toPositional(TextFor(dialectForDriver(db.driverName())));
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(positional.text))
        throw DataSetError("local query " + objectName().toStdString() + ": " +
                           query.lastError().text().toStdString());
    for (int i = 0; i < positional.parameterNames.size(); ++i) {
        const QueryParam *param = findParam(positional.parameterNames[i]);
        query.bindValue(i, toSqlValue(param != nullptr ? param->Value() : Variant()));
    }
    if (!query.exec()) {
        Close();
        throw DataSetError("local query " + objectName().toStdString() + ": " +
                           query.lastError().text().toStdString());
    }

    const QSqlRecord columns = query.record();
    FieldDefs defs;
    for (int i = 0; i < columns.count(); ++i) {
        const QSqlField column = columns.field(i);
        const Field *declared = FindField(column.name());
        const FieldKind kind = declared != nullptr ? declared->Kind() : kindOfColumn(column);
        const int size = declared != nullptr ? declared->Size() : static_cast<int>(qMax(0, column.length()));
        defs.append(FieldDef{column.name().toUpper(), kind, kind == FieldKind::Text ? size : 0, false});
    }
    DataPacket packet(defs);
    RecordBuilder row(static_cast<int>(defs.size()), RecordBuilder::Storage::Batch);
    while (query.next()) {
        for (int i = 0; i < defs.size(); ++i)
            row.add(defs[i].kind, toVariant(query.value(i), defs[i].kind));
        packet.appendRow(row.build());
    }
    SetData(packet);
}

} // namespace bco
