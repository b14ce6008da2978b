#pragma once

#include <optional>

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include "framework/report/report_design.h"

namespace bco {

// A design as it was read, with the text it was stored as: what a later save compares with, to tell whether
// anyone saved over it since.
struct StoredDesign {
    ReportDesign design;
    QString text;
};

// Who saved a stored design last, and on which day (an empty operator for a design shipped with the system),
// with the text saved.
struct DesignSaved {
    QString operatorCode;
    QDate date;
    QString text;
};

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
    ReportDesign Load(const QString &code, const QString &title) const { return Read(code, title).design; }
    StoredDesign Read(const QString &code, const QString &title) const;
    // Who saved the design last; nullopt when there is none under the title.
    std::optional<DesignSaved> LastSaved(const QString &code, const QString &title) const;
    // Stores the design under the code and title, replacing the one that was there, and records who saved
    // it and on which day.
    void Save(const QString &code, const QString &title, const ReportDesign &design,
              const QString &operatorCode, QDate date) const;
    // Stores the design over the one read as `read`, in one statement: answers false, writing nothing, when
    // the title holds another text by then (someone saved over it since). A title left empty since is
    // stored anew.
    bool SaveOver(const QString &code, const QString &title, const ReportDesign &design, const QString &read,
                  const QString &operatorCode, QDate date) const;

private:
    // Stores the design under the title, over `over` only when given (SaveOver), else over whatever is there.
    bool Write(const QString &code, const QString &title, const ReportDesign &design,
               const std::optional<QString> &over, const QString &operatorCode, QDate date) const;

    QSqlDatabase database_;
};

} // namespace bco
