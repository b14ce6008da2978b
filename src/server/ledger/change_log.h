#pragma once

#include <memory>
#include <optional>
#include <span>
#include <vector>

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

// The rows a client's change log inserts, read by field name. A change log travels as a packet whose rows
// carry their state (the data set's GetDelta); the writing methods accept only inserted rows holding exactly
// the fields of the record's layout (in any order, names without regard to letter case), each value null or
// of its field's kind, texts within their width. Anything else is refused (Refusal naming `what`), so that a
// forged log never writes a row the forms could not have built.
class InsertedRows {
public:
    InsertedRows(const Variant &log, std::span<const RecordField> layout, const QString &what);

    int count() const { return packet_.rowCount(); }

    // A text field with its outer blanks removed; null reads as empty.
    QString code(int row, const char *field) const;
    // A text field as sent; null reads as empty.
    QString text(int row, const char *field) const;
    QDate date(int row, const char *field) const;
    // An amount field in cents; nullopt when it is null or cannot be an amount.
    std::optional<qint64> cents(int row, const char *field) const;
    // Whether an amount field holds a positive number too large for cents.
    bool pastLargestAmount(int row, const char *field) const;

private:
    Variant value(int row, const char *field) const;

    DataPacket packet_;
    std::span<const RecordField> layout_;
    std::vector<int> columns_; // the packet's column of each field of the layout
};

// One row of a change log, as the rows above read it.
class InsertedRow {
public:
    InsertedRow(const InsertedRows &rows, int row)
        : rows_(rows)
        , row_(row) {}

    QString code(const char *field) const { return rows_.code(row_, field); }
    QString text(const char *field) const { return rows_.text(row_, field); }
    QDate date(const char *field) const { return rows_.date(row_, field); }
    std::optional<qint64> cents(const char *field) const { return rows_.cents(row_, field); }
    bool pastLargestAmount(const char *field) const { return rows_.pastLargestAmount(row_, field); }

private:
    const InsertedRows &rows_;
    int row_;
};

// A change log that inserts exactly one row, read as that row.
class InsertedRecord : public InsertedRow {
public:
    InsertedRecord(const Variant &log, std::span<const RecordField> layout, const QString &what);

private:
    explicit InsertedRecord(std::unique_ptr<InsertedRows> rows);
    std::unique_ptr<InsertedRows> rows_;
};

} // namespace bco::server
