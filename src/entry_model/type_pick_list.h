#pragma once

#include "framework/data/client_data_set.h"
#include "framework/data/local_query.h"
#include "framework/text/message_catalogue.h"

// The pick lists of entry types that the filter and the entries report share.
namespace Cli_bco11100 {

// The list of the types of both kinds, as getLancto answers it (cdsLancto): the mark, the type's key (its
// kind letter and its four-character code, five characters), its code, its name and its kind, shown as the
// catalogue's "CREDITO" or "DEBITO" text. The catalogue must outlive the list.
void DeclareTypePickList(bco::ClientDataSet &list, const bco::MessageCatalogue &catalogue);

// The local queries of the credit types (qryLancCred) and of the debit types (qryLancDeb) for a pick list:
// the type's key (TIPCOD, as above), its code and its name, in code order, over `connection`.
void DeclareTypeListQueries(bco::LocalQuery &credits, bco::LocalQuery &debits,
                            const bco::LocalQuery::ConnectionProvider &connection);

} // namespace Cli_bco11100
