#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include "framework/report/report_design.h"

namespace bco {

// The report designs kept in the shared database (table MODELOREL), one per report code and title, read by
// every client. Failures of the database throw std::runtime_error with the driver's message; a design that
// is not there, or whose text is no design, throws ReportDesignError.
class ReportStore {
public:
    explicit ReportStore(QSqlDatabase database)
        : database_(std::move(database)) {}

    // The titles stored for the code, in alphabetical order.
    QStringList Titles(const QString &code) const;
    bool Exists(const QString &code, const QString &title) const;
    ReportDesign Load(const QString &code, const QString &title) const;
    // Stores the design under the code and title, replacing the one that was there, and records who saved
    // it and on which day.
    void Save(const QString &code, const QString &title, const ReportDesign &design,
              const QString &operatorCode, QDate date) const;

private:
    QSqlDatabase database_;
};

} // namespace bco
