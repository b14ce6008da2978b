#pragma once

#include <QString>

#include "framework/data/variant.h"
#include "framework/remote/net_connection.h"
#include "support/entry_requests.h"
#include "support/form_test_server.h"

namespace bco::testing {

// Another operator at work on the same accounts, through the application server, between what a form shows
// its operator and what that operator does: a session of its own and the calls another entry form (or the
// host's cheque screen) makes. Each call that the server refuses throws std::runtime_error with its message.
class SecondOperator {
public:
    explicit SecondOperator(const InProcessServer &server,
                            const QString &operatorCode = QStringLiteral("SUPERV"));
    // On a server of another kind (a process of its own), with a session already open there, working on the
    // day `processingDate`.
    SecondOperator(const QString &host, int port, const QString &sessionToken, QDate processingDate);

    // The entry of `account` whose bank movement is `movement`, as the server lists it today; throws when the
    // account holds none.
    EntryRequest entry(const QString &account, const QString &movement);

    void changeDescription(const QString &account, const QString &movement, const QString &description);
    void deleteEntry(const QString &account, const QString &movement);
    // Records the cheque `cheque` on the debit of that movement, as the cheque screen does before it prints.
    void recordCheque(const QString &account, const QString &movement, const QString &cheque);

    // Calls a method and answers its payload.
    Variant call(const QString &method, const VariantList &args);

private:
    NetConnection connection_;
    QDate processingDate_ = QDate(2024, 3, 15); // the demo's day on the test server
};

} // namespace bco::testing
