#pragma once

#include <QDate>

#include "server/storage/database.h"
#include "server/transport/passwords.h"

namespace bco::server {

// What the demo data is built from. The same options give the same data, row for row: the generator draws
// from its own seeded sequence, never from the clock or the platform's distributions.
struct DemoOptions {
    // Every date of the demo is counted back (or forward) from this day: the entries cover the six months
    // before it, the accounting periods and the blocked date are set relative to it. bco-server passes
    // today (so that a person sees current data); the tests pass a fixed day.
    QDate processingDate;
    quint64 seed = 20240315;
    int entries = 3000;
    int passwordIterations = DefaultPasswordIterations;
};

// Fills a database at the newest schema version with demo data that exercises every rule of the forms:
// three companies with branches and cost centres, banks whose pictures differ, three accounts per company,
// credit and debit types (accounted or not; of commercial kind customer, supplier or neither), customers and
// suppliers of both person kinds, the operators DEMO (every company), RESTRITO (company 01) and SUPERV
// (every company, free of the blocked-date rule), all with the password "demo", `entries` entries over the
// last six months with their accounting, entries reconciled alone and together with others, reversals,
// discounted slips, a loan and a leasing, compensations, cheques, advances and returned invoices partly used,
// budgets, closed accounting periods and a blocked date. Runs in one transaction. Throws DatabaseError, and
// refuses (std::runtime_error) a database that already holds companies.
void loadDemoData(Sql &sql, const DemoOptions &options);

} // namespace bco::server
