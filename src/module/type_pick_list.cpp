#include "module/type_pick_list.h"

namespace Cli_bco11100 {

void DeclareTypePickList(bco::ClientDataSet &list, const bco::TMessages &catalogue) {
    list.setObjectName(QStringLiteral("cdsLancto"));
    list.AddFields({
        {.name = "IDMARCADO", .size = 1, .fixedWidth = true},
        {.name = "TIPCOD", .size = 5, .hidden = true},
        {.name = "CODIGO", .size = 4, .label = "Código"},
        {.name = "DESCRICAO", .size = 30, .label = "Descrição"},
        {.name = "TIPO", .size = 1, .label = "Crédito/Débito", .fixedWidth = true},
    });
    list.FieldByName(u"TIPO").SetOnGetText([&catalogue](const bco::Field &field, bool) {
        const QString kind = field.AsString();
        if (kind == u"C")
            return catalogue.Msg(QStringLiteral("CREDITO"));
        if (kind == u"D")
            return catalogue.Msg(QStringLiteral("DEBITO"));
        return QString();
    });
}

} // namespace Cli_bco11100
