#include "framework/checks/tax_number_text.h"

#include "framework/text/tax_number.h"
#include "framework/text/edit_mask.h"
#include "framework/data/client_data_set.h"

namespace bco {

void ShowTaxNumberByPersonKind(ClientDataSet &dataSet, const QString &taxNumberField,
                               const QString &personKindField) {
    dataSet.FieldByName(taxNumberField).SetOnGetText([personKindField](const Field &field, bool) {
        const QString kind = field.DataSet().FieldByName(personKindField).AsString();
        return FormatMaskText(Consiste::PictPess(kind), field.AsString());
    });
}

} // namespace bco
