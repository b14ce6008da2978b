#pragma once

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include <QDate>
#include <QString>

#include "framework/data/variant.h"

// Entries built as the entry form sends them to getInsert and getIncDebito, for the server's tests and
// benchmarks. Nothing here depends on a test framework.
namespace bco::testing {

// A packet that is the change log of one inserted row, its fields in the order given; a field's kind is
// its value's (null values make text fields).
DataPacket insertedRow(const std::vector<std::pair<QString, Variant>> &fields);

// The rows of an advance or returned-invoice look-up as the discount form hands them back: the rows named
// (by position) marked "S" with their discount, those named in `unmarked` left unmarked with a discount,
// the others as listed.
DataPacket chosenRows(const DataPacket &listed, const std::map<int, double> &discounts,
                      const std::map<int, double> &unmarked = {});

// An entry as the entry form includes it, for getInsert and getIncDebito.
struct EntryRequest {
    char kind = 'C';
    QString account = QStringLiteral("001");
    QString company = QStringLiteral("01");
    QDate date = QDate(2024, 3, 15);
    double value = 100.0;
    QString type = QStringLiteral("0001");
    QString branch = QStringLiteral("0101");
    QString typedBranch{};
    QString costCentre = QStringLiteral("0001");
    QString description = QStringLiteral("Lançamento de teste");
    QString typeName = QStringLiteral("Tipo");
    QString document{};
    QString customer{};
    QString supplier{};
    // Drawn through the server when empty.
    QString movement{};
    QString number{};
    // The advances and returned invoices chosen on the discount form (its page's rows), null when none.
    Variant customerAdvances{};
    Variant customerReturns{};
    Variant supplierAdvances{};
    Variant supplierReturns{};
};

// The method and the arguments that include `entry`, in the order and kinds the entry form sends them; the
// numbers it lacks are drawn (`draw` calls a numbering method for the entry's account and answers the
// number) and kept in it.
struct Insertion {
    QString method;
    VariantList args;
};
using NumberDrawer = std::function<QString(const QString &method, const QString &account)>;
Insertion insertion(EntryRequest &entry, const NumberDrawer &draw);

// The method and arguments that change `entry` (as stored, numbers included) to `description`, everything
// else as it is, the way the entry form sends them.
Insertion change(const EntryRequest &entry, const QString &description);

// The arguments of GetDeletaLanc that delete `entry`, with its accounting number and reconciliation, by an
// operator working on the day `processingDate`.
VariantList deletion(const EntryRequest &entry, const QString &accountingNumber = QString(),
                     const QString &statement = QString(), const QString &line = QString(),
                     QDate processingDate = QDate(2024, 3, 15));

} // namespace bco::testing
