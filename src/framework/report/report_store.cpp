#include "framework/report/report_store.h"

#include <stdexcept>

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace bco {

namespace {

QSqlQuery run(const QSqlDatabase &database, const QString &sql, const QVariantList &values) {
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw std::runtime_error("report designs: " + query.lastError().text().toStdString());
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values[i]);
    if (!query.exec())
        throw std::runtime_error("report designs: " + query.lastError().text().toStdString());
    return query;
}

} // namespace

QStringList ReportStore::Titles(const QString &code) const {
    QSqlQuery query =
        run(database_,
            QStringLiteral("SELECT NMTITULO FROM MODELOREL WHERE CDRELATORIO = ? ORDER BY NMTITULO"), {code});
    QStringList titles;
    while (query.next())
        titles << query.value(0).toString();
    return titles;
}

bool ReportStore::Exists(const QString &code, const QString &title) const {
    QSqlQuery query =
        run(database_, QStringLiteral("SELECT 1 FROM MODELOREL WHERE CDRELATORIO = ? AND NMTITULO = ?"),
            {code, title});
    return query.next();
}

StoredDesign ReportStore::Read(const QString &code, const QString &title) const {
    QSqlQuery query = run(
        database_, QStringLiteral("SELECT DSMODELO FROM MODELOREL WHERE CDRELATORIO = ? AND NMTITULO = ?"),
        {code, title});
    if (!query.next())
        throw ReportDesignError(
            QStringLiteral("Não há relatório \"%1\" cadastrado com o código %2.").arg(title, code));
    const QString text = query.value(0).toString();
    return {ReportDesign::fromJson(text.toUtf8()), text};
}

std::optional<DesignSaved> ReportStore::LastSaved(const QString &code, const QString &title) const {
    QSqlQuery query = run(database_,
                          QStringLiteral("SELECT CDOPERADOR, DTALTERACAO, DSMODELO FROM MODELOREL "
                                         "WHERE CDRELATORIO = ? AND NMTITULO = ?"),
                          {code, title});
    if (!query.next())
        return std::nullopt;
    return DesignSaved{query.value(0).toString(),
                       QDate::fromString(query.value(1).toString().left(10), Qt::ISODate),
                       query.value(2).toString()};
}

void ReportStore::Save(const QString &code, const QString &title, const ReportDesign &design,
                       const QString &operatorCode, QDate date) const {
    Write(code, title, design, std::nullopt, operatorCode, date);
}

bool ReportStore::SaveOver(const QString &code, const QString &title, const ReportDesign &design,
                           const QString &read, const QString &operatorCode, QDate date) const {
    return Write(code, title, design, read, operatorCode, date);
}

bool ReportStore::Write(const QString &code, const QString &title, const ReportDesign &design,
                        const std::optional<QString> &over, const QString &operatorCode, QDate date) const {
    design.validate();
    const QString json = QString::fromUtf8(design.toJson());
    const QString day = date.toString(Qt::ISODate);
    QString sql = QStringLiteral("UPDATE MODELOREL SET DSMODELO = ?, CDOPERADOR = ?, DTALTERACAO = ? "
                                 "WHERE CDRELATORIO = ? AND NMTITULO = ?");
    QVariantList values{json, operatorCode, day, code, title};
    if (over) {
        sql += QStringLiteral(" AND DSMODELO = ?");
        values << *over;
    }
    if (run(database_, sql, values).numRowsAffected() > 0)
        return true;
    if (over && Exists(code, title))
        return false;
    run(database_,
        QStringLiteral("INSERT INTO MODELOREL (CDRELATORIO, NMTITULO, DSMODELO, CDOPERADOR, DTALTERACAO) "
                       "VALUES (?, ?, ?, ?, ?)"),
        {code, title, json, operatorCode, day});
    return true;
}

} // namespace bco
