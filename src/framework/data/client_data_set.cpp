#include "framework/data/client_data_set.h"

#include <algorithm>
#include <cstring>

namespace bco {

const char *dataSetStateName(DataSetState state) {
    switch (state) {
    case DataSetState::Inactive:
        return "inactive";
    case DataSetState::Browse:
        return "browse";
    case DataSetState::Insert:
        return "insert";
    case DataSetState::Edit:
        return "edit";
    case DataSetState::CalcFields:
        return "calculating fields";
    }
    return "unknown";
}

namespace {

QStringList splitFieldNames(const QString &fields) {
    QStringList names;
    for (const QString &part : fields.split(u';')) {
        const QString name = part.trimmed();
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

bool isAscii(QByteArrayView bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

bool equalIgnoringAsciiCase(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (upperAscii(a[i]) != upperAscii(b[i]))
            return false;
    return true;
}

// Width counts characters as the operator sees them, so a letter outside the basic plane (two UTF-16 units)
// counts once and is never split.
QString cutToWidth(const QString &text, int width) {
    qsizetype characters = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (characters == width)
            return text.left(i);
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        ++characters;
    }
    return text;
}

// Index order: no value first, text by character code (UTF-8 bytes compare in that order).
int compareValues(const Record &a, const Record &b, int slot, FieldKind kind) {
    const bool aNull = a.isNull(slot) || (kind == FieldKind::Text && a.utf8(slot).isEmpty());
    const bool bNull = b.isNull(slot) || (kind == FieldKind::Text && b.utf8(slot).isEmpty());
    if (aNull || bNull)
        return aNull == bNull ? 0 : (aNull ? -1 : 1);
    const auto order = [](auto x, auto y) {
        return x < y ? -1 : (y < x ? 1 : 0);
    };
    switch (kind) {
    case FieldKind::Text: {
        const QByteArrayView x = a.utf8(slot);
        const QByteArrayView y = b.utf8(slot);
        const int c = std::memcmp(x.data(), y.data(), static_cast<size_t>(std::min(x.size(), y.size())));
        return c != 0 ? (c < 0 ? -1 : 1) : order(x.size(), y.size());
    }
    case FieldKind::Integer:
        return order(a.integer(slot), b.integer(slot));
    case FieldKind::Float:
        return order(a.real(slot), b.real(slot));
    case FieldKind::Date:
        return order(a.date(slot).toJulianDay(), b.date(slot).toJulianDay());
    case FieldKind::Boolean:
        return order(a.boolean(slot), b.boolean(slot));
    }
    return 0;
}

} // namespace

struct ClientDataSet::LocateKey {
    int slot = -1;
    bool calculated = false;
    FieldKind kind = FieldKind::Text;
    bool null = false;
    bool impossible = false; // the value does not convert to the field's kind: no row can match
    QByteArray utf8;
    QString text;
    bool ascii = true;
    double number = 0.0;
    qint64 day = 0;
    bool boolean = false;
};

int ClientDataSet::PendingOutcome::adjusted(int row) const {
    if (removed >= 0 && row > removed)
        return row - 1;
    if (movedFrom >= 0 && movedFrom != movedTo) {
        if (row == movedFrom)
            return movedTo;
        if (movedFrom < row && row <= movedTo)
            return row - 1;
        if (movedTo <= row && row < movedFrom)
            return row + 1;
    }
    return row;
}

ClientDataSet::ClientDataSet(QObject *parent)
    : QObject(parent) {
}

ClientDataSet::~ClientDataSet() = default;

QString ClientDataSet::describeSelf() const {
    return objectName().isEmpty() ? QStringLiteral("data set") : objectName();
}

void ClientDataSet::fail(const QString &message) const {
    throw DataSetError((describeSelf() + QStringLiteral(": ") + message).toStdString());
}

void ClientDataSet::checkActive(const char *operation) const {
    if (!Active())
        fail(QStringLiteral("cannot %1: the data set is closed").arg(QLatin1String(operation)));
}

void ClientDataSet::checkNotCalculating(const char *operation) const {
    if (state_ == DataSetState::CalcFields)
        fail(QStringLiteral("cannot %1 while calculating fields").arg(QLatin1String(operation)));
}

void ClientDataSet::run(const DataSetEvent &event) {
    if (event)
        event(*this);
}

// ---- fields ----

void ClientDataSet::checkFieldSpec(const FieldSpec &declared) const {
    if (declared.name.trimmed().isEmpty())
        fail(QStringLiteral("a field needs a name"));
    if (fieldByName_.contains(declared.name.toUpper()))
        fail(QStringLiteral("field '%1' is declared twice").arg(declared.name));
    if (declared.size < 0)
        fail(QStringLiteral("field '%1' has a negative size").arg(declared.name));
}

Field *ClientDataSet::makeField(const FieldSpec &declared) {
    checkFieldSpec(declared);
    fields_.push_back(std::unique_ptr<Field>(new Field(this, declared, static_cast<int>(fields_.size()))));
    Field *field = fields_.back().get();
    fieldByName_.insert(declared.name.toUpper(), field);
    return field;
}

Field &ClientDataSet::AddField(const FieldSpec &declared) {
    if (Active())
        fail(QStringLiteral("cannot declare field '%1': the data set is open").arg(declared.name));
    persistent_ = true;
    Field *field = makeField(declared);
    ++fieldsGeneration_;
    return *field;
}

void ClientDataSet::AddFields(std::initializer_list<FieldSpec> specs) {
    for (const FieldSpec &declared : specs)
        AddField(declared);
}

void ClientDataSet::dropDynamicFields() {
    if (persistent_)
        return;
    fields_.clear();
    fieldByName_.clear();
    ++fieldsGeneration_;
}

Field *ClientDataSet::FindField(QStringView name) const {
    // Most names are asked for as declared, in ASCII capitals, which upper-case to themselves: they are
    // looked up in place, with no copy, since an import asks for over a million fields.
    const bool capitals = std::all_of(
        name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x80 && !(c >= u'a' && c <= u'z'); });
    if (capitals)
        return fieldByName_.value(QString::fromRawData(name.data(), name.size()), nullptr);
    return fieldByName_.value(name.toString().toUpper(), nullptr);
}

Field &ClientDataSet::FieldByName(QStringView name) const {
    Field *field = FindField(name);
    if (!field)
        fail(QStringLiteral("field '%1' not found").arg(name));
    return *field;
}

QList<Field *> ClientDataSet::Fields() const {
    QList<Field *> list;
    list.reserve(static_cast<qsizetype>(fields_.size()));
    for (const auto &field : fields_)
        list << field.get();
    return list;
}

// ---- reading and writing values ----

const ClientDataSet::Row *ClientDataSet::readRow() const {
    if (state_ == DataSetState::Inactive)
        return nullptr;
    const int row = readRow_ >= 0 ? readRow_ : current_;
    if (row < 0 || row >= RecordCount())
        return nullptr;
    return &rows_[static_cast<size_t>(row)];
}

Variant ClientDataSet::readValue(const Field &field) const {
    const Row *row = readRow();
    if (!row)
        return {};
    const Record &record = field.Calculated() ? row->calc : row->values;
    if (!record.isValid() || record.isNull(field.slot_))
        return {};
    if (field.Kind() == FieldKind::Text) {
        const QByteArrayView bytes = record.utf8(field.slot_);
        if (bytes.isEmpty())
            return {};
        return QString::fromUtf8(bytes.data(), bytes.size());
    }
    return record.value(field.slot_, field.Kind());
}

Variant ClientDataSet::readOldValue(const Field &field) const {
    const Row *row = readRow();
    if (!row || field.Calculated())
        return readValue(field);
    const bool editedRow = current_ >= 0 && row == &rows_[static_cast<size_t>(current_)];
    if (editedRow && state_ == DataSetState::Insert)
        return {};
    // Until it is posted, the row being edited was what it was before Edit.
    const Row &logged = editedRow && state_ == DataSetState::Edit ? backup_ : *row;
    if (logged.state == RowState::Inserted)
        return {};
    const Record *old = logged.state == RowState::Modified ? &logged.original : &logged.values;
    if (old->isNull(field.slot_))
        return {};
    if (field.Kind() == FieldKind::Text && old->utf8(field.slot_).isEmpty())
        return {};
    return old->value(field.slot_, field.Kind());
}

Variant ClientDataSet::fitted(const Field &field, const Variant &value) const {
    if (value.isNull())
        return {};
    try {
        switch (field.Kind()) {
        case FieldKind::Text: {
            const QString text = cutToWidth(value.toText(), field.Size());
            return text.isEmpty() ? Variant() : Variant(text);
        }
        case FieldKind::Integer:
            return value.toInt();
        case FieldKind::Float:
            return value.toFloat();
        case FieldKind::Date:
            return value.toDate();
        case FieldKind::Boolean:
            return value.toBool();
        }
    } catch (const std::exception &error) {
        fail(QStringLiteral("cannot assign %1 to field '%2': %3")
                 .arg(describe(value), field.FieldName(), QString::fromUtf8(error.what())));
    }
    return {};
}

void ClientDataSet::writeValue(Field &field, const Variant &value) {
    if (state_ == DataSetState::CalcFields) {
        if (!field.Calculated())
            fail(QStringLiteral("cannot assign field '%1' while calculating fields: only calculated fields "
                                "may be assigned there")
                     .arg(field.FieldName()));
        Row &row = rows_[static_cast<size_t>(readRow_)];
        row.calc = row.calc.with(field.slot_, field.Kind(), fitted(field, value));
        return;
    }
    if (state_ != DataSetState::Insert && state_ != DataSetState::Edit)
        fail(QStringLiteral("cannot assign field '%1': the data set is not in insert or edit state (it is in "
                            "%2 state)")
                 .arg(field.FieldName(), QLatin1String(dataSetStateName(state_))));
    const Variant fit = fitted(field, value);
    Row &row = rows_[static_cast<size_t>(current_)];
    if (field.Calculated()) {
        row.calc = row.calc.with(field.slot_, field.Kind(), fit);
    } else {
        row.values = row.values.with(field.slot_, field.Kind(), fit);
        modified_ = true;
        calculate(current_);
    }
    notifyFieldChanged(&field);
}

void ClientDataSet::SetValues(const std::vector<std::pair<Field *, Variant>> &values) {
    std::vector<Variant> fitValues;
    fitValues.reserve(values.size()); // never reallocated: `stored` points into it
    std::vector<Record::Replacement> stored;
    stored.reserve(values.size());
    for (const auto &[field, value] : values) {
        if (field->dataSet_ != this)
            fail(QStringLiteral("field '%1' is not a field of this data set").arg(field->FieldName()));
        // A calculated field, or a row not being edited, takes the single assignment's path and its checks.
        if (field->Calculated() || (state_ != DataSetState::Insert && state_ != DataSetState::Edit)) {
            writeValue(*field, value);
            continue;
        }
        fitValues.push_back(fitted(*field, value));
        stored.push_back({field->slot_, field->Kind(), &fitValues.back()});
    }
    if (stored.empty())
        return;
    Row &row = rows_[static_cast<size_t>(current_)];
    row.values = row.values.with(stored);
    modified_ = true;
    calculate(current_);
    for (const auto &[field, value] : values)
        if (!field->Calculated())
            notifyFieldChanged(field);
}

Record ClientDataSet::nullRecord(int fields) const {
    RecordBuilder builder(fields);
    for (int i = 0; i < fields; ++i)
        builder.addNull();
    return builder.build();
}

void ClientDataSet::calculate(int row) {
    if (calcCount_ == 0)
        return;
    rows_[static_cast<size_t>(row)].calc = nullCalc_;
    if (!OnCalcFields)
        return;
    struct Restore {
        ClientDataSet *dataSet;
        DataSetState state;
        int readRow;
        ~Restore() {
            dataSet->state_ = state;
            dataSet->readRow_ = readRow;
        }
    } restore{this, state_, readRow_};
    state_ = DataSetState::CalcFields;
    readRow_ = row;
    OnCalcFields(*this);
}

void ClientDataSet::calculateAll() {
    if (calcCount_ == 0 || !OnCalcFields)
        return;
    for (int row = 0; row < RecordCount(); ++row)
        calculate(row);
}

ClientDataSet::ActiveRowScope::ActiveRowScope(const ClientDataSet &dataSet, int row)
    : dataSet_(dataSet)
    , saved_(dataSet.readRow_) {
    dataSet_.readRow_ = row;
}

ClientDataSet::ActiveRowScope::~ActiveRowScope() {
    dataSet_.readRow_ = saved_;
}

// ---- opening and closing ----

void ClientDataSet::open(FieldDefs storedDefs, std::vector<Row> rows, std::vector<DeletedRow> deleted) {
    std::vector<int> indexSlots = resolveIndex(indexFields_, storedDefs);
    const bool wasActive = Active();
    storedDefs_ = std::move(storedDefs);
    rows_ = std::move(rows);
    deleted_ = std::move(deleted);
    indexSlots_ = std::move(indexSlots);

    calcCount_ = 0;
    for (const auto &field : fields_)
        if (field->Calculated())
            field->slot_ = calcCount_++;
    nullCalc_ = calcCount_ > 0 ? nullRecord(calcCount_) : Record();
    nextChange_ = 0;
    for (Row &row : rows_) {
        row.calc = nullCalc_;
        row.change = row.state == RowState::Unchanged ? 0 : ++nextChange_;
    }
    for (DeletedRow &row : deleted_)
        row.change = ++nextChange_;
    sortedByIndex_ = false;
    applyIndex();

    state_ = DataSetState::Browse;
    backup_ = Row();
    modified_ = false;
    current_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    calculateAll();
    notifyReset();
    if (!wasActive)
        notifyStateChanged();
    if (!rows_.empty())
        run(AfterScroll);
}

void ClientDataSet::CreateDataSet() {
    if (Active())
        fail(QStringLiteral("cannot create the data set: it is open"));
    if (fields_.empty())
        fail(QStringLiteral("cannot create the data set: no fields were declared"));
    FieldDefs defs;
    for (const auto &field : fields_) {
        if (field->Calculated())
            continue;
        field->slot_ = static_cast<int>(defs.size());
        defs.append(FieldDef{field->FieldName(), field->Kind(), field->spec_.size, field->Required()});
    }
    open(std::move(defs), {}, {});
}

void ClientDataSet::SetData(const DataPacket &packet) {
    checkNotCalculating("load rows");
    const FieldDefs &packetDefs = packet.fields();
    FieldDefs defs = packetDefs;
    std::vector<std::pair<Field *, int>> slots;
    bool convert = false;
    if (persistent_) {
        for (const auto &field : fields_) {
            if (field->Calculated())
                continue;
            const FieldDef declared{field->FieldName(), field->Kind(), field->spec_.size, field->Required()};
            int slot = packet.fieldIndex(field->FieldName());
            if (slot >= 0) {
                convert = convert || packetDefs[slot].kind != declared.kind;
                defs[slot] = declared;
            } else {
                slot = static_cast<int>(defs.size());
                defs.append(declared);
                convert = true;
            }
            slots.emplace_back(field.get(), slot);
        }
    }
    resolveIndex(indexFields_, defs); // refuses an unknown index field before anything changes

    // A packet that fits the fields is shared row by row; otherwise each row is rebuilt once, here.
    const int packetFields = static_cast<int>(packetDefs.size());
    const int fieldCount = static_cast<int>(defs.size());
    const auto fit = [&](const Record &record, int rowIndex) {
        if (!convert || !record.isValid())
            return record;
        RecordBuilder builder(fieldCount);
        for (int i = 0; i < fieldCount; ++i) {
            if (i >= packetFields || record.isNull(i)) {
                builder.addNull();
            } else if (packetDefs[i].kind == defs[i].kind) {
                builder.addUtf8(record.utf8(i));
            } else {
                try {
                    builder.add(defs[i].kind, record.value(i, packetDefs[i].kind));
                } catch (const std::exception &error) {
                    fail(QStringLiteral("row %1 of the packet: field '%2' does not convert to %3: %4")
                             .arg(rowIndex + 1)
                             .arg(defs[i].name, QLatin1String(fieldKindName(defs[i].kind)),
                                  QString::fromUtf8(error.what())));
                }
            }
        }
        return builder.build();
    };
    std::vector<Row> rows;
    std::vector<DeletedRow> deleted;
    rows.reserve(static_cast<size_t>(packet.rowCount()));
    for (int i = 0; i < packet.rowCount(); ++i) {
        const PacketRow &packetRow = packet.row(i);
        if (packetRow.state == RowState::Deleted) {
            deleted.push_back(DeletedRow{fit(packetRow.values, i), 0});
            continue;
        }
        Row row;
        row.values = fit(packetRow.values, i);
        if (packetRow.state == RowState::Modified)
            row.original = fit(packetRow.original.isValid() ? packetRow.original : packetRow.values, i);
        row.state = packetRow.state;
        rows.push_back(std::move(row));
    }

    if (persistent_) {
        for (const auto &[field, slot] : slots)
            field->slot_ = slot;
    } else {
        fields_.clear();
        fieldByName_.clear();
        for (int i = 0; i < packetFields; ++i) {
            Field *field = makeField(FieldSpec{.name = packetDefs[i].name,
                                               .kind = packetDefs[i].kind,
                                               .size = packetDefs[i].size,
                                               .required = packetDefs[i].required});
            field->slot_ = i;
        }
        ++fieldsGeneration_;
    }
    open(std::move(defs), std::move(rows), std::move(deleted));
}

void ClientDataSet::SetData(const Variant &data) {
    if (data.isNull()) {
        Close();
        return;
    }
    if (!data.isPacket())
        fail(QStringLiteral("cannot load %1: a data packet is expected")
                 .arg(QLatin1String(Variant::typeName(data.type()))));
    SetData(data.packet());
}

DataPacket ClientDataSet::Data() const {
    if (!Active())
        return DataPacket();
    DataPacket packet(storedDefs_);
    packet.reserve(RecordCount());
    for (int i = 0; i < RecordCount(); ++i) {
        if (i == current_ && state_ == DataSetState::Insert)
            continue;
        const bool edited = i == current_ && state_ == DataSetState::Edit;
        packet.appendRow(edited ? backup_.values : rows_[static_cast<size_t>(i)].values);
    }
    return packet;
}

DataPacket ClientDataSet::GetDelta() const {
    if (!Active())
        return DataPacket();
    struct Entry {
        quint32 change;
        RowState state;
        const Record *values;
        const Record *original;
    };
    std::vector<Entry> entries;
    for (int i = 0; i < RecordCount(); ++i) {
        if (i == current_ && state_ == DataSetState::Insert)
            continue;
        const Row &row =
            i == current_ && state_ == DataSetState::Edit ? backup_ : rows_[static_cast<size_t>(i)];
        if (row.state != RowState::Unchanged)
            entries.push_back(Entry{row.change, row.state, &row.values,
                                    row.state == RowState::Modified ? &row.original : nullptr});
    }
    for (const DeletedRow &row : deleted_)
        entries.push_back(Entry{row.change, RowState::Deleted, &row.values, nullptr});
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.change < b.change; });
    DataPacket delta(storedDefs_);
    delta.reserve(static_cast<int>(entries.size()));
    for (const Entry &entry : entries)
        delta.appendRow(*entry.values, entry.state, entry.original ? *entry.original : Record());
    return delta;
}

void ClientDataSet::MergeChangeLog() {
    checkActive("merge the change log");
    checkNotCalculating("merge the change log");
    postPending();
    for (Row &row : rows_) {
        row.state = RowState::Unchanged;
        row.original = Record();
        row.change = 0;
    }
    deleted_.clear();
}

void ClientDataSet::EmptyDataSet() {
    checkActive("empty the data set");
    checkNotCalculating("empty the data set");
    rows_.clear();
    deleted_.clear();
    backup_ = Row();
    modified_ = false;
    current_ = -1;
    bof_ = eof_ = true;
    const bool wasBrowsing = state_ == DataSetState::Browse;
    state_ = DataSetState::Browse;
    notifyReset();
    if (!wasBrowsing)
        notifyStateChanged();
}

void ClientDataSet::Open() {
    if (!Active())
        fail(QStringLiteral("cannot open: load it with SetData or create it with CreateDataSet"));
}

void ClientDataSet::Close() {
    if (!Active())
        return;
    checkNotCalculating("close");
    rows_.clear();
    deleted_.clear();
    backup_ = Row();
    modified_ = false;
    current_ = -1;
    bof_ = eof_ = true;
    dropDynamicFields();
    state_ = DataSetState::Inactive;
    notifyReset();
    notifyStateChanged();
}

// ---- editing ----

void ClientDataSet::beginInsert(bool append) {
    checkActive("insert");
    checkNotCalculating("insert");
    postPending();
    run(BeforeInsert);
    run(BeforeScroll);
    const int row = append || rows_.empty() ? RecordCount() : current_;
    currentBeforeInsert_ = current_;
    Row fresh;
    fresh.values = nullRecord(static_cast<int>(storedDefs_.size()));
    fresh.calc = nullCalc_;
    fresh.arrival = nextArrival_++;
    notifyRowAboutToBeInserted(row);
    rows_.insert(rows_.begin() + row, std::move(fresh));
    current_ = row;
    bof_ = eof_ = false;
    backup_ = Row();
    notifyRowInserted(row);
    setState(DataSetState::Insert);
    try {
        run(OnNewRecord);
        calculate(row);
    } catch (...) {
        if (state_ == DataSetState::Insert) {
            const int removed = current_;
            notifyRowAboutToBeRemoved(removed);
            rows_.erase(rows_.begin() + removed);
            current_ = rows_.empty() ? -1 : std::clamp(currentBeforeInsert_, 0, RecordCount() - 1);
            bof_ = eof_ = rows_.empty();
            modified_ = false;
            notifyRowRemoved(removed);
            setState(DataSetState::Browse);
            notifyScrolled();
        }
        throw;
    }
    // Values set by OnNewRecord are defaults: a new row that the operator leaves untouched is dropped.
    modified_ = false;
    notifyScrolled();
    run(AfterInsert);
    run(AfterScroll);
}

void ClientDataSet::Insert() {
    beginInsert(false);
}

void ClientDataSet::Append() {
    beginInsert(true);
}

void ClientDataSet::Edit() {
    checkActive("edit");
    checkNotCalculating("edit");
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit)
        return;
    if (rows_.empty()) {
        Insert();
        return;
    }
    run(BeforeEdit);
    backup_ = rows_[static_cast<size_t>(current_)];
    modified_ = false;
    setState(DataSetState::Edit);
    run(AfterEdit);
}

void ClientDataSet::Post() {
    checkActive("post");
    checkNotCalculating("post");
    if (state_ != DataSetState::Insert && state_ != DataSetState::Edit)
        return;
    run(BeforePost);
    for (const auto &field : fields_)
        if (field->Required() && !field->Calculated() && field->IsNull())
            fail(QStringLiteral("field '%1' must have a value").arg(field->FieldName()));
    Row &row = rows_[static_cast<size_t>(current_)];
    if (state_ == DataSetState::Insert) {
        row.state = RowState::Inserted;
        row.change = ++nextChange_;
    } else if (row.state == RowState::Unchanged && !(row.values == backup_.values)) {
        row.state = RowState::Modified;
        row.original = backup_.values;
        row.change = ++nextChange_;
    }
    calculate(current_);
    backup_ = Row();
    modified_ = false;
    const int from = current_;
    const int to = placeOf(current_);
    setState(DataSetState::Browse);
    if (from != to)
        notifyRowMoved(from, to);
    notifyRowChanged(to);
    run(AfterPost);
}

void ClientDataSet::Cancel() {
    if (state_ != DataSetState::Insert && state_ != DataSetState::Edit)
        return;
    run(BeforeCancel);
    const int row = current_;
    modified_ = false;
    if (state_ == DataSetState::Insert) {
        notifyRowAboutToBeRemoved(row);
        rows_.erase(rows_.begin() + row);
        current_ = rows_.empty() ? -1 : std::clamp(currentBeforeInsert_, 0, RecordCount() - 1);
        bof_ = eof_ = rows_.empty();
        notifyRowRemoved(row);
        setState(DataSetState::Browse);
        notifyScrolled();
    } else {
        rows_[static_cast<size_t>(row)] = backup_;
        backup_ = Row();
        setState(DataSetState::Browse);
        notifyRowChanged(row);
    }
    run(AfterCancel);
}

void ClientDataSet::Delete() {
    checkActive("delete");
    checkNotCalculating("delete");
    if (state_ == DataSetState::Insert) {
        Cancel();
        return;
    }
    if (rows_.empty())
        fail(QStringLiteral("cannot delete: the data set is empty"));
    run(BeforeDelete);
    run(BeforeScroll);
    const int row = current_;
    const Row &logged = state_ == DataSetState::Edit ? backup_ : rows_[static_cast<size_t>(row)];
    if (logged.state == RowState::Unchanged)
        deleted_.push_back(DeletedRow{logged.values, ++nextChange_});
    else if (logged.state == RowState::Modified)
        deleted_.push_back(DeletedRow{logged.original, ++nextChange_});
    notifyRowAboutToBeRemoved(row);
    rows_.erase(rows_.begin() + row);
    backup_ = Row();
    modified_ = false;
    current_ = rows_.empty() ? -1 : std::min(row, RecordCount() - 1);
    bof_ = eof_ = rows_.empty();
    notifyRowRemoved(row);
    setState(DataSetState::Browse);
    notifyScrolled();
    run(AfterDelete);
    run(AfterScroll);
}

ClientDataSet::PendingOutcome ClientDataSet::postPending() {
    PendingOutcome outcome;
    if (state_ != DataSetState::Insert && state_ != DataSetState::Edit)
        return outcome;
    if (modified_) {
        outcome.movedFrom = current_;
        Post();
        outcome.movedTo = current_;
    } else {
        if (state_ == DataSetState::Insert)
            outcome.removed = current_;
        Cancel();
    }
    return outcome;
}

// ---- moving ----

void ClientDataSet::scrollTo(int row, bool bof, bool eof) {
    const bool changed = row != current_ || bof != bof_ || eof != eof_;
    current_ = row;
    bof_ = bof;
    eof_ = eof;
    if (changed)
        notifyScrolled();
}

void ClientDataSet::First() {
    checkActive("move");
    checkNotCalculating("move");
    postPending();
    run(BeforeScroll);
    scrollTo(rows_.empty() ? -1 : 0, true, rows_.empty());
    run(AfterScroll);
}

void ClientDataSet::Last() {
    checkActive("move");
    checkNotCalculating("move");
    postPending();
    run(BeforeScroll);
    scrollTo(RecordCount() - 1, rows_.empty(), true);
    run(AfterScroll);
}

void ClientDataSet::Next() {
    checkActive("move");
    checkNotCalculating("move");
    postPending();
    run(BeforeScroll);
    if (!eof_) {
        if (current_ + 1 < RecordCount())
            scrollTo(current_ + 1, false, false);
        else
            scrollTo(current_, false, true);
    }
    run(AfterScroll);
}

void ClientDataSet::Prior() {
    checkActive("move");
    checkNotCalculating("move");
    postPending();
    run(BeforeScroll);
    if (!bof_) {
        if (current_ > 0)
            scrollTo(current_ - 1, false, false);
        else
            scrollTo(current_, true, false);
    }
    run(AfterScroll);
}

void ClientDataSet::SetRecNo(int recNo) {
    checkActive("move");
    checkNotCalculating("move");
    if (recNo < 1 || recNo > RecordCount())
        fail(QStringLiteral("there is no row %1 (the data set has %2)").arg(recNo).arg(RecordCount()));
    if (recNo == RecNo())
        return;
    const int target = postPending().adjusted(recNo - 1);
    if (target == current_ || target < 0 || target >= RecordCount())
        return;
    run(BeforeScroll);
    scrollTo(target, false, false);
    run(AfterScroll);
}

std::vector<ClientDataSet::LocateKey> ClientDataSet::locateKeys(const QString &fields,
                                                                const Variant &values) const {
    const QStringList names = splitFieldNames(fields);
    if (names.isEmpty())
        fail(QStringLiteral("cannot locate: no field named"));
    std::vector<Variant> keyValues;
    if (values.isArray())
        keyValues = values.array();
    else
        keyValues.push_back(values);
    if (static_cast<qsizetype>(keyValues.size()) != names.size())
        fail(QStringLiteral("cannot locate on %1: %2 values for %3 fields")
                 .arg(fields)
                 .arg(keyValues.size())
                 .arg(names.size()));
    std::vector<LocateKey> keys;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const Field &field = FieldByName(names[i]);
        const Variant &value = keyValues[static_cast<size_t>(i)];
        LocateKey key;
        key.slot = field.slot_;
        key.calculated = field.Calculated();
        key.kind = field.Kind();
        key.null = value.isNull();
        try {
            switch (key.kind) {
            case FieldKind::Text:
                key.text = value.toText();
                key.utf8 = key.text.toUtf8();
                key.ascii = isAscii(key.utf8);
                key.null = key.text.isEmpty();
                break;
            case FieldKind::Integer:
            case FieldKind::Float:
                key.number = value.toFloat();
                break;
            case FieldKind::Date:
                key.day = value.toDate().toJulianDay();
                key.null = !value.toDate().isValid();
                break;
            case FieldKind::Boolean:
                key.boolean = value.toBool();
                break;
            }
        } catch (const std::exception &) {
            key.impossible = true;
        }
        keys.push_back(std::move(key));
    }
    return keys;
}

bool ClientDataSet::matches(const Row &row, const std::vector<LocateKey> &keys, LocateOptions options) const {
    for (const LocateKey &key : keys) {
        const Record &record = key.calculated ? row.calc : row.values;
        bool null = !record.isValid() || record.isNull(key.slot);
        QByteArrayView bytes;
        if (!null && key.kind == FieldKind::Text) {
            bytes = record.utf8(key.slot);
            null = bytes.isEmpty();
        }
        if (key.null) {
            if (!null)
                return false;
            continue;
        }
        if (null || key.impossible)
            return false;
        switch (key.kind) {
        case FieldKind::Text: {
            const bool partial = options.testFlag(LocateOption::PartialKey);
            if (!options.testFlag(LocateOption::CaseInsensitive)) {
                if (partial ? !bytes.startsWith(key.utf8) : bytes != key.utf8)
                    return false;
            } else if (key.ascii && isAscii(bytes)) {
                if (bytes.size() < key.utf8.size() || (!partial && bytes.size() != key.utf8.size()))
                    return false;
                if (!equalIgnoringAsciiCase(bytes.first(key.utf8.size()), key.utf8))
                    return false;
            } else {
                const QString text = QString::fromUtf8(bytes.data(), bytes.size());
                if (partial ? !text.startsWith(key.text, Qt::CaseInsensitive)
                            : text.compare(key.text, Qt::CaseInsensitive) != 0)
                    return false;
            }
            break;
        }
        case FieldKind::Integer:
            if (static_cast<double>(record.integer(key.slot)) != key.number)
                return false;
            break;
        case FieldKind::Float:
            if (record.real(key.slot) != key.number)
                return false;
            break;
        case FieldKind::Date:
            if (record.date(key.slot).toJulianDay() != key.day)
                return false;
            break;
        case FieldKind::Boolean:
            if (record.boolean(key.slot) != key.boolean)
                return false;
            break;
        }
    }
    return true;
}

bool ClientDataSet::Locate(const QString &fields, const Variant &values, LocateOptions options) {
    checkActive("locate");
    checkNotCalculating("locate");
    const std::vector<LocateKey> keys = locateKeys(fields, values);
    postPending();
    run(BeforeScroll);
    for (int i = 0; i < RecordCount(); ++i) {
        if (matches(rows_[static_cast<size_t>(i)], keys, options)) {
            scrollTo(i, false, false);
            run(AfterScroll);
            return true;
        }
    }
    return false;
}

// ---- index ----

void ClientDataSet::AddIndex(const QString &name, const QString &fields) {
    if (name.trimmed().isEmpty() || splitFieldNames(fields).isEmpty())
        fail(QStringLiteral("an index needs a name and fields"));
    indexDefs_.insert(name.toUpper(), fields);
}

std::vector<int> ClientDataSet::resolveIndex(const QString &fields, const FieldDefs &defs) const {
    std::vector<int> slots;
    for (const QString &name : splitFieldNames(fields)) {
        int slot = -1;
        for (int i = 0; i < defs.size() && slot < 0; ++i)
            if (defs[i].name.compare(name, Qt::CaseInsensitive) == 0)
                slot = i;
        if (slot < 0)
            fail(QStringLiteral("index field '%1' not found among the stored fields").arg(name));
        slots.push_back(slot);
    }
    return slots;
}

bool ClientDataSet::rowLess(const Row &a, const Row &b) const {
    for (const int slot : indexSlots_) {
        const int c = compareValues(a.values, b.values, slot, storedDefs_[slot].kind);
        if (c != 0)
            return c < 0;
    }
    return a.arrival < b.arrival;
}

void ClientDataSet::numberArrivals() {
    if (sortedByIndex_)
        return;
    for (size_t i = 0; i < rows_.size(); ++i)
        rows_[i].arrival = static_cast<quint32>(i);
    nextArrival_ = static_cast<quint32>(rows_.size());
}

void ClientDataSet::applyIndex() {
    numberArrivals();
    if (indexSlots_.empty()) {
        if (sortedByIndex_)
            std::sort(rows_.begin(), rows_.end(),
                      [](const Row &a, const Row &b) { return a.arrival < b.arrival; });
        sortedByIndex_ = false;
        return;
    }
    std::sort(rows_.begin(), rows_.end(), [this](const Row &a, const Row &b) { return rowLess(a, b); });
    sortedByIndex_ = true;
}

int ClientDataSet::placeOf(int row) {
    if (indexSlots_.empty())
        return row;
    const auto at = [this](int i) -> const Row & {
        return rows_[static_cast<size_t>(i)];
    };
    if ((row == 0 || rowLess(at(row - 1), at(row))) &&
        (row + 1 == RecordCount() || rowLess(at(row), at(row + 1))))
        return row;
    Row moving = std::move(rows_[static_cast<size_t>(row)]);
    rows_.erase(rows_.begin() + row);
    const auto place = std::lower_bound(rows_.begin(), rows_.end(), moving,
                                        [this](const Row &a, const Row &b) { return rowLess(a, b); });
    const int to = static_cast<int>(place - rows_.begin());
    rows_.insert(place, std::move(moving));
    current_ = to;
    return to;
}

void ClientDataSet::SetIndexFieldNames(const QString &fields) {
    checkNotCalculating("change the index");
    std::vector<int> slots;
    if (Active()) {
        postPending();
        slots = resolveIndex(fields, storedDefs_);
    }
    indexFields_ = fields;
    indexName_.clear();
    if (!Active())
        return;
    indexSlots_ = std::move(slots);
    numberArrivals();
    const quint32 currentArrival = current_ >= 0 ? rows_[static_cast<size_t>(current_)].arrival : 0;
    applyIndex();
    if (current_ >= 0)
        for (int i = 0; i < RecordCount(); ++i)
            if (rows_[static_cast<size_t>(i)].arrival == currentArrival)
                current_ = i;
    notifyReset();
}

QString ClientDataSet::IndexFieldNames() const {
    return indexFields_;
}

void ClientDataSet::SetIndexName(const QString &name) {
    if (name.isEmpty()) {
        SetIndexFieldNames(QString());
        return;
    }
    const auto found = indexDefs_.constFind(name.toUpper());
    if (found == indexDefs_.constEnd())
        fail(QStringLiteral("index '%1' not found").arg(name));
    SetIndexFieldNames(found.value());
    indexName_ = name;
}

// ---- controls ----

void ClientDataSet::DisableControls() {
    if (disableCount_++ == 0)
        stateWhenDisabled_ = state_;
}

void ClientDataSet::EnableControls() {
    if (disableCount_ == 0 || --disableCount_ > 0)
        return;
    Q_EMIT Reset();
    if (state_ != stateWhenDisabled_)
        Q_EMIT StateChanged();
}

void ClientDataSet::setState(DataSetState state) {
    if (state_ == state)
        return;
    state_ = state;
    notifyStateChanged();
}

void ClientDataSet::notifyReset() {
    ++contentGeneration_;
    if (disableCount_ == 0)
        Q_EMIT Reset();
}

void ClientDataSet::notifyRowAboutToBeInserted(int row) {
    if (disableCount_ == 0)
        Q_EMIT RowAboutToBeInserted(row);
}

void ClientDataSet::notifyRowAboutToBeRemoved(int row) {
    if (disableCount_ == 0)
        Q_EMIT RowAboutToBeRemoved(row);
}

void ClientDataSet::notifyRowInserted(int row) {
    ++contentGeneration_;
    if (disableCount_ == 0)
        Q_EMIT RowInserted(row);
}

void ClientDataSet::notifyRowRemoved(int row) {
    ++contentGeneration_;
    if (disableCount_ == 0)
        Q_EMIT RowRemoved(row);
}

void ClientDataSet::notifyRowMoved(int from, int to) {
    ++contentGeneration_;
    if (disableCount_ == 0)
        Q_EMIT RowMoved(from, to);
}

void ClientDataSet::notifyRowChanged(int row) {
    ++contentGeneration_;
    if (disableCount_ == 0)
        Q_EMIT RowChanged(row);
}

void ClientDataSet::notifyFieldChanged(const Field *field) {
    ++contentGeneration_;
    if (disableCount_ == 0)
        Q_EMIT FieldChanged(field);
}

void ClientDataSet::notifyScrolled() {
    if (disableCount_ == 0)
        Q_EMIT Scrolled();
}

void ClientDataSet::notifyStateChanged() {
    if (disableCount_ == 0)
        Q_EMIT StateChanged();
}

} // namespace bco
