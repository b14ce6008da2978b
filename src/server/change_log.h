#pragma once

#include <optional>
#include <span>

#include <QDate>
#include <QString>

#include "framework/data/variant.h"

namespace bco::server {

// One field of a record's layout as the forms build it: its name, its kind and, for text, its width.
struct RecordField {
    const char *name;
    FieldKind kind;
    int width = 0;
};

// The one row a client's change log inserts, read by field name. A change log travels as a packet whose
// rows carry their state (the data set's GetDelta); the writing methods accept exactly one inserted row
// holding exactly the fields of the record's layout (in any order, names without regard to letter case),
// each value null or of its field's kind, texts within their width. Anything else is refused (Refusal naming
// `what`), so that a forged log never writes a row the forms could not have built.
class InsertedRecord {
public:
    InsertedRecord(const Variant &log, std::span<const RecordField> layout, const QString &what);

    // A text field with its outer blanks removed; null reads as empty.
    QString code(const char *field) const;
    // A text field as sent; null reads as empty.
    QString text(const char *field) const;
    QDate date(const char *field) const;
    // An amount field in cents; nullopt when it is null or cannot be an amount.
    std::optional<qint64> cents(const char *field) const;

private:
    const Variant &value(const char *field) const;

    std::vector<std::pair<QString, Variant>> values_;
};

} // namespace bco::server
