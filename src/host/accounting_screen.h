#pragma once

#include <QLabel>

#include "framework/data/client_data_set.h"
#include "framework/data/variant.h"
#include "framework/ui/forms/form.h"

class QTableView;

namespace bco::host {

// The accounting screen of another module (CTB10200) as the host provides it: what the bank module hands it
// after an entry is accounted, or fails to be: the company, the accounting entry number (empty when none
// was made) and three packets, the accounting rows, their apportionment and the accounting errors, each
// shown in a grid, with what each error means. Opened for an accounted entry with empty packets (the entry
// form's accounting button), it shows that entry's accounting as the shared database holds it. A child
// window of the host; closing it releases it.
class AccountingScreen : public TForm {
    Q_OBJECT
public:
    // `parameters`: an array of five values, company (text), entry number (text) and the three packets (a
    // null element shows an empty grid). Throws std::invalid_argument for anything else.
    explicit AccountingScreen(const Variant &parameters, QWidget *parent = nullptr);

    QLabel *lblEmpresa = nullptr;
    QLabel *lblLancamento = nullptr;
    // What each accounting error means.
    QLabel *lblErros = nullptr;
    ClientDataSet cdsLancContTemp;
    ClientDataSet cdsRateio;
    ClientDataSet cdsErrosTemp;

protected:
    void FormClose(TCloseAction &action) override { action = TCloseAction::caFree; }

private:
    QWidget *grid(const QString &title, ClientDataSet &dataSet, const char *name);
};

} // namespace bco::host
