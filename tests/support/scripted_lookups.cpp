#include "support/scripted_lookups.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "framework/data/client_data_set.h"

namespace bco {

const char *lookupKindName(ScriptedLookups::Kind kind) {
    switch (kind) {
    case ScriptedLookups::Kind::Pick:
        return "look-up";
    case ScriptedLookups::Kind::PickList:
        return "pick list";
    case ScriptedLookups::Kind::Find:
        return "find";
    }
    return "?";
}

ScriptedLookups::ScriptedLookups()
    : installed_(*this) {
}

ScriptedLookups::~ScriptedLookups() {
    for (const Scripted &unused : script_)
        ADD_FAILURE() << "scripted " << lookupKindName(unused.kind) << " answer never asked for";
}

ScriptedLookups &ScriptedLookups::pickWhere(const QString &fieldName, const QString &value) {
    script_.push_back({Kind::Pick, false, fieldName, value, {}});
    return *this;
}

ScriptedLookups &ScriptedLookups::cancelPick() {
    script_.push_back({Kind::Pick, true, {}, {}, {}});
    return *this;
}

ScriptedLookups &ScriptedLookups::markKeys(const QStringList &keys) {
    script_.push_back({Kind::PickList, false, {}, {}, keys});
    return *this;
}

ScriptedLookups &ScriptedLookups::cancelList() {
    script_.push_back({Kind::PickList, true, {}, {}, {}});
    return *this;
}

ScriptedLookups &ScriptedLookups::typeFind(const QString &value, const QString &fieldName) {
    script_.push_back({Kind::Find, false, fieldName, value, {}});
    return *this;
}

ScriptedLookups &ScriptedLookups::cancelFind() {
    script_.push_back({Kind::Find, true, {}, {}, {}});
    return *this;
}

std::optional<ScriptedLookups::Scripted> ScriptedLookups::take(Kind kind) {
    const auto found = std::find_if(script_.begin(), script_.end(),
                                    [kind](const Scripted &entry) { return entry.kind == kind; });
    if (found == script_.end())
        return std::nullopt;
    Scripted entry = *found;
    script_.erase(found);
    return entry;
}

bool ScriptedLookups::pick(ClientDataSet &dataSet, const QString &title, bool) {
    asked_.push_back({Kind::Pick, title, {}});
    const std::optional<Scripted> answer = take(Kind::Pick);
    if (!answer) {
        ADD_FAILURE() << "unexpected look-up window: " << title.toStdString();
        return false;
    }
    if (answer->cancel)
        return false;
    const Field &field = dataSet.FieldByName(answer->fieldName);
    for (int row = 0; row < dataSet.RecordCount(); ++row) {
        bool found = false;
        {
            const ClientDataSet::ActiveRowScope reading(dataSet, row);
            found = field.AsString() == answer->value;
        }
        if (found) {
            dataSet.SetRecNo(row + 1);
            return true;
        }
    }
    ADD_FAILURE() << "look-up window " << title.toStdString() << " lists no row with "
                  << answer->fieldName.toStdString() << " = " << answer->value.toStdString();
    return false;
}

std::optional<QStringList> ScriptedLookups::pickList(ClientDataSet &dataSet, const QString &keyField,
                                                     const QString &title, const QStringList &marked) {
    asked_.push_back({Kind::PickList, title, marked});
    const std::optional<Scripted> answer = take(Kind::PickList);
    if (!answer) {
        ADD_FAILURE() << "unexpected pick list: " << title.toStdString();
        return std::nullopt;
    }
    if (answer->cancel)
        return std::nullopt;
    QStringList listed;
    const Field &key = dataSet.FieldByName(keyField);
    for (int row = 0; row < dataSet.RecordCount(); ++row) {
        const ClientDataSet::ActiveRowScope reading(dataSet, row);
        listed << key.AsString();
    }
    QStringList chosen;
    for (const QString &code : listed) {
        if (answer->keys.contains(code))
            chosen << code;
    }
    for (const QString &code : answer->keys) {
        if (!listed.contains(code)) {
            ADD_FAILURE() << "pick list " << title.toStdString() << " does not list the key "
                          << code.toStdString();
            return std::nullopt;
        }
    }
    return chosen;
}

std::optional<FindRequest> ScriptedLookups::find(ClientDataSet &dataSet) {
    asked_.push_back({Kind::Find, QString(), {}});
    const std::optional<Scripted> answer = take(Kind::Find);
    if (!answer) {
        ADD_FAILURE() << "unexpected find window";
        return std::nullopt;
    }
    if (answer->cancel)
        return std::nullopt;
    QString fieldName = answer->fieldName;
    if (fieldName.isEmpty()) {
        for (const Field *field : dataSet.Fields()) {
            if (field->Visible() &&
                field->FieldName().compare(QLatin1String("IDMARCADO"), Qt::CaseInsensitive) != 0) {
                fieldName = field->FieldName();
                break;
            }
        }
    }
    return FindRequest{fieldName, answer->value};
}

QStringList ScriptedLookups::titles() const {
    QStringList list;
    for (const Asked &entry : asked_)
        list << entry.title;
    return list;
}

} // namespace bco
