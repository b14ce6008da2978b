#pragma once

#include "framework/ui/lookup_dialogs.h"

namespace bco {

// The look-up windows of the desktop, modal over the active window:
// - the look-up window: the data set's visible fields in a grid over the data set itself (moving in it
//   moves the data set), a find box that goes to the first row whose current column starts with what is
//   typed, OK (also Enter or a double click) and "Cancelar" (which puts the data set back on its row);
// - the pick list: the rows with a tick column (double click or space toggles; "Marcar todos",
//   "Desmarcar todos"), OK and "Cancelar"; it works on a copy of the rows as they are shown, so the data
//   set listed is neither moved nor changed;
// - the find window: the field to search ("Campo") among the visible ones but the mark column, the value
//   ("Valor"), "Procurar" and "Cancelar".
// Their controls carry object names (lookupGrid, lookupFind, pickGrid, markAll, unmarkAll, findField,
// findValue) so that tests can drive them.
class QtLookupDialogs final : public LookupDialogs {
public:
    bool pick(ClientDataSet &dataSet, const QString &title, bool showFind) override;
    std::optional<QStringList> pickList(ClientDataSet &dataSet, const QString &keyField, const QString &title,
                                        const QStringList &marked) override;
    std::optional<FindRequest> find(ClientDataSet &dataSet) override;
};

} // namespace bco
