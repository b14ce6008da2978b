#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "framework/ui/lookup_dialogs.h"

namespace bco {

// The look-up windows of a test: installs itself as the process's look-up service for its life, records
// every window asked for and answers each from a script, in the order the script was written:
// - a look-up is answered by the first scripted pick or cancel: a pick moves the data set to the first
//   row whose field reads the given text (AsString) and answers true;
// - a pick list is answered by the first scripted list of keys (in the data set's order) or cancel;
// - a find is answered by the first scripted typed value, in the given field (when none is given, the
//   first visible one that is not a mark), or cancel.
// A window nobody scripted, a pick of a row that is not there, or keys the list does not hold fail the
// running test and are answered as cancelled; answers still unused when the object goes fail it too.
class ScriptedLookups final : public LookupDialogs {
public:
    enum class Kind { Pick, PickList, Find };

    struct Asked {
        Kind kind;
        QString title;
        // Pick lists: the keys that came marked.
        QStringList marked;
    };

    ScriptedLookups();
    ~ScriptedLookups() override;
    ScriptedLookups(const ScriptedLookups &) = delete;
    ScriptedLookups &operator=(const ScriptedLookups &) = delete;

    ScriptedLookups &pickWhere(const QString &fieldName, const QString &value);
    ScriptedLookups &cancelPick();
    ScriptedLookups &markKeys(const QStringList &keys);
    ScriptedLookups &cancelList();
    ScriptedLookups &typeFind(const QString &value, const QString &fieldName = QString());
    ScriptedLookups &cancelFind();

    bool pick(ClientDataSet &dataSet, const QString &title, bool showFind) override;
    std::optional<QStringList> pickList(ClientDataSet &dataSet, const QString &keyField, const QString &title,
                                        const QStringList &marked) override;
    std::optional<FindRequest> find(ClientDataSet &dataSet) override;

    const std::vector<Asked> &asked() const { return asked_; }
    QStringList titles() const;

private:
    struct Scripted {
        Kind kind;
        bool cancel;
        QString fieldName;
        QString value;
        QStringList keys;
    };

    // The first scripted answer for a window of `kind`, taken off the script; nothing when none is left.
    std::optional<Scripted> take(Kind kind);

    std::vector<Scripted> script_;
    std::vector<Asked> asked_;
    ScopedLookupDialogs installed_;
};

const char *lookupKindName(ScriptedLookups::Kind kind);

} // namespace bco
