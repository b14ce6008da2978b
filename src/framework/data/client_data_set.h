#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include <QFlags>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringView>

#include "framework/data/data_packet.h"
#include "framework/data/field.h"
#include "framework/data/variant.h"

namespace bco {

enum class DataSetState : std::uint8_t { Inactive, Browse, Insert, Edit, CalcFields };

const char *dataSetStateName(DataSetState state);

enum class LocateOption : std::uint8_t { CaseInsensitive = 1, PartialKey = 2 };
Q_DECLARE_FLAGS(LocateOptions, LocateOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(LocateOptions)

class ClientDataSet;
using DataSetEvent = std::function<void(ClientDataSet &dataSet)>;

// The forms' in-memory table: rows loaded whole from a data packet (or created empty), a current row, edits
// with a change log, one active index, calculated fields, events and the notifications that data-aware
// controls follow (through DataSource and DataSetModel).
//
// Fields. Fields declared with AddField before opening are persistent: a packet loaded later is matched to
// them by name, without regard to case; a declared field that the packet lacks reads null, and a packet
// field that was not declared is carried along unseen (it comes back in Data and GetDelta) but cannot be
// read. Without declared fields the fields are made from each packet and live until the next SetData or
// Close.
//
// Rows are the packet's records, shared, not copied: loading a packet costs one pointer per row. Editing a
// row makes a new record for it.
//
// Change log (GetDelta), in the order the changes were made:
//   - a row inserted since loading: "inserted" with its current values, whatever edits followed;
//   - a loaded row that was edited: "modified" with its current values and the values it had when loaded
//     (a second edit keeps that first original); a post that changes nothing logs nothing;
//   - a loaded row that was deleted: "deleted" with the values it had when loaded; a row inserted and then
//     deleted leaves no trace.
// MergeChangeLog accepts every change; EmptyDataSet drops the rows and the log. A packet loaded with row
// states (a change log) keeps them.
//
// Order. Without an index the rows keep the order they were loaded or added in (Insert puts the new row
// before the current one, Append at the end). With an index (IndexFieldNames, or IndexName naming an index
// made with AddIndex) the rows are kept in the order of its fields, nulls first, text by character code;
// rows with equal keys keep their order of arrival, and a posted row moves to its place. Dropping the index
// brings the arrival order back.
//
// Moving and editing follow the forms' expectations: any move (First, Next, Locate, ...) first posts a
// pending edit (or cancels it when nothing was assigned); Edit on an empty data set inserts; Delete during an
// insert cancels it. Events run in this order: Insert/Append: BeforeInsert, BeforeScroll, OnNewRecord,
// AfterInsert, AfterScroll; Edit: BeforeEdit, AfterEdit; Post: BeforePost, AfterPost; Cancel: BeforeCancel,
// AfterCancel; Delete: BeforeDelete, BeforeScroll, AfterDelete, AfterScroll; moves: BeforeScroll, AfterScroll
// (Locate: AfterScroll only when found); loading: AfterScroll when there is a row. A Before event aborts the
// operation by throwing (the silent abort or any other exception), and the data set stays as it was: a
// refused post leaves the row in edit with the refused values. An exception from OnNewRecord cancels the
// insert.
//
// Calculated fields are filled by OnCalcFields on every row when the rows are loaded, when a row is posted
// and whenever one of the edited row's values changes; they are never part of Data or GetDelta.
//
// Controls (data sources, models) are told of every change unless DisableControls is in force; calls nest,
// and the last EnableControls tells them once that everything may have changed. Events still run.
//
// Misuse (a closed data set, an unknown field, an assignment outside insert or edit) throws DataSetError.
class ClientDataSet : public QObject {
    Q_OBJECT

public:
    explicit ClientDataSet(QObject *parent = nullptr);
    ~ClientDataSet() override;

    // Declaring fields and indexes. Fields may be declared only while the data set is closed.
    Field &AddField(const FieldSpec &declared);
    void AddFields(std::initializer_list<FieldSpec> specs);
    // An index over fields named "A;B", activated by SetIndexName.
    void AddIndex(const QString &name, const QString &fields);
    void SetIndexName(const QString &name);
    const QString &IndexName() const { return indexName_; }
    // Activates an index over these fields ("A;B"); empty text drops the index.
    void SetIndexFieldNames(const QString &fields);
    QString IndexFieldNames() const;

    // Opening and closing.
    void CreateDataSet();
    void SetData(const DataPacket &packet);
    // A data packet, or null to close the data set.
    void SetData(const Variant &data);
    // The current rows with their current values, in the data set's order, as a plain packet (no change
    // log); a pending edit or insert is left out. A closed data set answers an empty packet.
    DataPacket Data() const;
    DataPacket GetDelta() const;
    void MergeChangeLog();
    void EmptyDataSet();
    // Does nothing on an open data set; a closed one gets its rows only from SetData or CreateDataSet, so
    // opening it throws.
    void Open();
    void Close();
    bool Active() const { return state_ != DataSetState::Inactive; }
    DataSetState State() const { return state_; }

    // Editing the current row.
    void Insert();
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Assigns several fields of the row being edited or inserted, as SetValue would one after another, but
    // rebuilds the row and computes its calculated fields once: for code that fills many rows. A field
    // named twice takes the last value.
    void SetValues(const std::vector<std::pair<Field *, Variant>> &values);
    // A value was assigned since Edit or Insert.
    bool Modified() const { return modified_; }

    // Moving.
    void First();
    void Prior();
    void Next();
    void Last();
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const { return rows_.empty(); }
    // Counts the row being inserted, which a grid shows in its place.
    int RecordCount() const { return static_cast<int>(rows_.size()); }
    // Position of the current row from 1; 0 when there is none.
    int RecNo() const { return current_ + 1; }
    // Moves to the row at that position (from 1); staying on the current row does nothing.
    void SetRecNo(int recNo);
    // Finds the first row, in the data set's order, whose fields ("A;B", blanks ignored) hold the values (one
    // value, or an array with one value per field) and makes it current; without a match the current row
    // stays. Case-insensitive compares text without regard to case; partial key matches text that starts
    // with the value. A null value matches null (and empty text).
    bool Locate(const QString &fields, const Variant &values, LocateOptions options = {});

    // Fields.
    Field &FieldByName(QStringView name) const;
    Field *FindField(QStringView name) const;
    QList<Field *> Fields() const;
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    // Changes whenever the fields are made anew (dynamic fields on SetData and Close), so that a holder of
    // Field pointers knows to look them up again.
    quint64 FieldsGeneration() const { return fieldsGeneration_; }
    // Changes whenever rows are loaded, added, removed, reordered or given values, so that whoever loaded a
    // packet knows whether the rows are still the ones it loaded. Moving through them does not change it.
    quint64 ContentGeneration() const { return contentGeneration_; }

    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    // Points the fields at another row for reading, for as long as it lives, without moving or running any
    // event: what a grid does to draw a row that is not the current one. Values read in a text handler or
    // in OnCalcFields then come from that row.
    class ActiveRowScope {
    public:
        ActiveRowScope(const ClientDataSet &dataSet, int row);
        ~ActiveRowScope();
        ActiveRowScope(const ActiveRowScope &) = delete;
        ActiveRowScope &operator=(const ActiveRowScope &) = delete;

    private:
        const ClientDataSet &dataSet_;
        int saved_;
    };

    // Keeps the controls disabled for a scope, so that an exception cannot leave them so.
    class DisabledControls {
    public:
        explicit DisabledControls(ClientDataSet &dataSet)
            : dataSet_(dataSet) {
            dataSet_.DisableControls();
        }
        ~DisabledControls() { dataSet_.EnableControls(); }
        DisabledControls(const DisabledControls &) = delete;
        DisabledControls &operator=(const DisabledControls &) = delete;

    private:
        ClientDataSet &dataSet_;
    };

    DataSetEvent BeforeInsert;
    DataSetEvent AfterInsert;
    DataSetEvent BeforeEdit;
    DataSetEvent AfterEdit;
    DataSetEvent BeforePost;
    DataSetEvent AfterPost;
    DataSetEvent BeforeCancel;
    DataSetEvent AfterCancel;
    DataSetEvent BeforeDelete;
    DataSetEvent AfterDelete;
    DataSetEvent BeforeScroll;
    DataSetEvent AfterScroll;
    DataSetEvent OnNewRecord;
    DataSetEvent OnCalcFields;

Q_SIGNALS:
    // For controls; none is sent while controls are disabled. Rows are counted from 0.
    // Everything may have changed: rows, order, fields, the current row.
    void Reset();
    // Each insertion and removal is announced before and after it, as item models need.
    void RowAboutToBeInserted(int row);
    void RowInserted(int row);
    void RowAboutToBeRemoved(int row);
    void RowRemoved(int row);
    // A posted row moved to its place in the index.
    void RowMoved(int from, int to);
    // A row's values changed as a whole (post, cancel).
    void RowChanged(int row);
    // One value of the current row was assigned (its calculated values may have changed with it).
    void FieldChanged(const bco::Field *field);
    // The current row, or Bof/Eof, changed.
    void Scrolled();
    void StateChanged();

private:
    friend class Field;

    struct Row {
        Record values;
        Record original; // values when loaded, on a modified row
        Record calc;     // calculated values
        RowState state = RowState::Unchanged;
        quint32 arrival = 0; // order of arrival, kept while an index is active
        quint32 change = 0;  // place in the change log; 0 when unchanged
    };
    struct DeletedRow {
        Record values;
        quint32 change;
    };
    struct LocateKey;

    QString describeSelf() const;
    [[noreturn]] void fail(const QString &message) const;
    void checkActive(const char *operation) const;
    void checkNotCalculating(const char *operation) const;
    void checkFieldSpec(const FieldSpec &declared) const;
    Field *makeField(const FieldSpec &declared);
    void dropDynamicFields();
    void open(FieldDefs storedDefs, std::vector<Row> rows, std::vector<DeletedRow> deleted);
    // What posting or cancelling a pending edit did to the rows, so that a move can aim at the same row.
    struct PendingOutcome {
        int removed = -1;
        int movedFrom = -1;
        int movedTo = -1;
        int adjusted(int row) const;
    };
    PendingOutcome postPending();
    void beginInsert(bool append);
    void scrollTo(int row, bool bof, bool eof);
    void run(const DataSetEvent &event);

    const Row *readRow() const;
    Variant readValue(const Field &field) const;
    Variant readOldValue(const Field &field) const;
    void writeValue(Field &field, const Variant &value);
    Variant fitted(const Field &field, const Variant &value) const;
    Record nullRecord(int fields) const;
    void calculate(int row);
    void calculateAll();

    std::vector<int> resolveIndex(const QString &fields, const FieldDefs &defs) const;
    void numberArrivals();
    void applyIndex();
    bool rowLess(const Row &a, const Row &b) const;
    int placeOf(int row);
    std::vector<LocateKey> locateKeys(const QString &fields, const Variant &values) const;
    bool matches(const Row &row, const std::vector<LocateKey> &keys, LocateOptions options) const;

    void notifyReset();
    void notifyRowAboutToBeInserted(int row);
    void notifyRowAboutToBeRemoved(int row);
    void notifyRowInserted(int row);
    void notifyRowRemoved(int row);
    void notifyRowMoved(int from, int to);
    void notifyRowChanged(int row);
    void notifyFieldChanged(const Field *field);
    void notifyScrolled();
    void notifyStateChanged();
    void setState(DataSetState state);

    std::vector<std::unique_ptr<Field>> fields_;
    QHash<QString, Field *> fieldByName_; // upper-case names
    bool persistent_ = false;
    quint64 fieldsGeneration_ = 0;
    quint64 contentGeneration_ = 0;
    FieldDefs storedDefs_; // layout of every row's stored values
    int calcCount_ = 0;
    Record nullCalc_;

    std::vector<Row> rows_;
    std::vector<DeletedRow> deleted_;
    quint32 nextArrival_ = 0;
    quint32 nextChange_ = 0;

    DataSetState state_ = DataSetState::Inactive;
    int current_ = -1;
    bool bof_ = true;
    bool eof_ = true;
    bool modified_ = false;
    Row backup_; // the edited row as it was before Edit
    int currentBeforeInsert_ = -1;
    mutable int readRow_ = -1; // set by ActiveRowScope and while calculating

    QHash<QString, QString> indexDefs_; // upper-case name -> fields
    QString indexName_;
    QString indexFields_;
    std::vector<int> indexSlots_;
    bool sortedByIndex_ = false; // rows are in index order and `arrival` holds their order of arrival

    int disableCount_ = 0;
    DataSetState stateWhenDisabled_ = DataSetState::Inactive;
};

} // namespace bco
