#pragma once

#include <functional>

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "framework/data/client_data_set.h"
#include "framework/data/sql_text.h"

namespace bco {

// A named parameter of a local query, as the forms set it: `qry.ParamByName("P_X").SetAsString(code)`.
// Empty text is bound as it is (the generic texts test it with NVLSTR); Clear binds null.
class QueryParam {
public:
    explicit QueryParam(QString name)
        : name_(std::move(name)) {}
    const QString &Name() const { return name_; }
    const Variant &Value() const { return value_; }
    void SetValue(const Variant &value) { value_ = value; }
    void SetAsString(const QString &value) { value_ = value; }
    void Clear() { value_ = Variant(); }

private:
    QString name_;
    Variant value_;
};

// A read-only query over a database connection whose rows become a client data set: fields declared with
// AddField keep their kinds, labels, masks and handlers; columns not declared come as the database types
// them. It carries one SQL text per database kind and runs the one that serves the connection's driver
// (SQLite and PostgreSQL run the generic text). Parameters are bound by name, never pasted into the text,
// and a name may occur several times. Values follow the rows of the query once, at Open: a local query is
// opened for a look-up and closed again.
class LocalQuery : public ClientDataSet {
    Q_OBJECT

public:
    using ConnectionProvider = std::function<QSqlDatabase()>;

    explicit LocalQuery(QObject *parent = nullptr);

    // The texts, one line an element as the forms write them.
    QStringList SQL;
    QStringList SQL_ORACLE;
    QStringList SQL_MSSQL;
    QStringList SQL_IB;

    // Where the query runs; asked at every Open, so a connection opened later serves.
    void SetConnection(ConnectionProvider provider) { connection_ = std::move(provider); }

    // The parameter of that name (without the colon, any case) in the text that will run. Throws
    // DataSetError when the text has no such parameter.
    QueryParam &ParamByName(const QString &name);

    // Runs the text that serves the connection and loads its rows. A query that is already open is run
    // again with the current parameters. Throws DataSetError with the database's message on failure (the
    // query is then closed).
    void Open();

    // The text that serves a dialect; the generic text when that dialect has none of its own.
    QString TextFor(SqlDialect dialect) const;

private:
    QSqlDatabase database() const;
    QueryParam *findParam(const QString &upperName);

    ConnectionProvider connection_;
    std::vector<QueryParam> params_;
};

// A parameter's value as the Qt SQL drivers take it: dates as ISO text (SQLite keeps them so and PostgreSQL
// reads them so), null as a null text.
QVariant toSqlValue(const Variant &value);

} // namespace bco
