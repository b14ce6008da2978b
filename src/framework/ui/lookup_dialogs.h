#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "framework/checks/dialogs.h"

namespace bco {

class ClientDataSet;
class DataSource;
class Field;

// Whether `shown`, what a row shows in `field`, answers the operator's search for `wanted`. A code or number
// column (a numeric field, or one named CD... or NR...) is searched by its first letters, as a code is
// typed; any other column holds the text anywhere. Letter case and accents are ignored, and so are the
// blanks around both: "pad" and "pao" find "Padaria Pão Dourado", "01" finds the code "0101" but not "1001".
bool SearchMatches(const Field &field, const QString &shown, const QString &wanted);

// What the operator asked the find window for: a visible field and the text to look for in it.
struct FindRequest {
    QString fieldName;
    QString value;
};

// The look-up, pick-list and find windows, as a service: the desktop installs windows, a test installs
// answers from a script. The services only ask; the routines below (Pesquisar, PesquisaLista, Procura) do
// what is common to every service: titles, the empty-list notice, the list format, the search.
class LookupDialogs {
public:
    virtual ~LookupDialogs() = default;

    // Shows the visible fields of `dataSet` (never empty) with their labels and lets the operator pick a
    // row. True: the data set is on the picked row. False (cancelled): it is back on the row it was on.
    // `showFind` offers a box that moves to the first row the typed text matches (SearchMatches).
    virtual bool pick(ClientDataSet &dataSet, const QString &title, bool showFind) = 0;

    // Shows the rows of `dataSet` (never empty) each with a mark, marked when its `keyField` value is in
    // `marked`, and lets the operator mark and unmark them. Answers the keys marked, in the data set's
    // order, or nothing when the operator cancelled. The data set is not moved.
    virtual std::optional<QStringList> pickList(ClientDataSet &dataSet, const QString &keyField,
                                                const QString &title, const QStringList &marked) = 0;

    // Asks for a visible field of `dataSet` and the text to look for; nothing when cancelled.
    virtual std::optional<FindRequest> find(ClientDataSet &dataSet) = 0;
};

namespace Dialogs {

// The installed look-up service, or a refusing default (DialogsNotInstalled).
LookupDialogs &lookups();
// Makes `service` the process's look-up service (nullptr: back to the default) and answers the one it
// replaces. Not owned.
LookupDialogs *installLookups(LookupDialogs *service);

} // namespace Dialogs

using ScopedLookupDialogs = ScopedService<LookupDialogs, &Dialogs::installLookups>;

// The look-up window over a data source's data set. `titleAndEmpty` is the window title, a bar and the
// text shown when there is nothing to list ("Filial|Não há filial cadastrada para empresa informada.").
// An empty or closed data set shows that text as information and answers false. With `pickSoleRow` a data
// set of one row is picked without showing the window. Answers true when a row was picked; the data set
// is then on it.
bool Pesquisar(DataSource *source, const QString &titleAndEmpty, bool pickSoleRow = false,
               bool showFind = true);

// The pick list over a data source's data set, keyed by `keyField`; `titleAndEmpty` as for Pesquisar.
// `result` holds the chosen keys as a code list ('K1','K2'); the keys it already holds start marked (all
// rows with `markAll`). When the operator confirms, `result` gets the keys marked (empty text when none)
// and the answer is true; cancelling, or an empty data set (whose text is shown), leaves it untouched and
// answers false.
bool PesquisaLista(DataSource *source, const QString &keyField, const QString &titleAndEmpty, bool markAll,
                   QString &result);

// The find window over a data set: the operator chooses a visible field and types a text; the data set
// moves to the first row, in its order, whose field the text matches (SearchMatches). Answers whether a row
// was found; when none is, the operator is told so and the data set stays. An empty or closed data set
// finds nothing and asks nothing.
bool Procura(ClientDataSet *dataSet);

// The list of chosen codes that the pick lists answer and the queries and the server read: each code
// between single quotes, separated by commas ('C0001','D0002'). A code holding a quote cannot be written
// in it and is refused (std::invalid_argument).
QString CodeListText(const QStringList &codes);
// The codes of a list in that format; anything else (empty text, "T" for all) holds none.
QStringList CodeListCodes(const QString &text);

} // namespace bco
