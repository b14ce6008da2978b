#include "server/ledger/entry_kinds.h"

namespace bco::server {

const EntryKind creditKind{u'C',         "crédito",      "MOVCREDBANC",  "NRMOVICRED",   "CDTPCREDBANC",
                           "TPCREDBANC", "DSTPCREDBANC", "IDCTBLCRBANC", "RATEIOTPCRED", "DTMOVICRED",
                           "DSMOVICRED", "VRMOVICRED",   "CDECTBMCRED",  "CDFILILANCRE", Series::Credit};
const EntryKind debitKind{u'D',         "débito",       "MOVDEBIBANC",  "NRMOVIDEBI",   "CDTPDEBIBANC",
                          "TPDEBIBANC", "DSTPDEBIBANC", "IDCTBLDBBANC", "RATEIOTPDEBI", "DTMOVIDEBI",
                          "DSMOVIDEBI", "VRMOVIDEBI",   "CDECTBMDEB",   "CDFILILANDEB", Series::Debit};

} // namespace bco::server
