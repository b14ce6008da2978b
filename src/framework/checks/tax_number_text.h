#pragma once

#include <QString>

namespace bco {

class ClientDataSet;

// Shows a tax number field of `dataSet` (NRINSJURCLIE, NRINSJURFORN) as the operator knows it: the stored
// digits through the edit mask that Consiste::PictPess gives for the person kind held in `personKindField` of
// the same row. An empty or null number shows nothing.
void ShowTaxNumberByPersonKind(ClientDataSet &dataSet, const QString &taxNumberField,
                               const QString &personKindField);

} // namespace bco
