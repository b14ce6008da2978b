#pragma once

#include <QString>

#include "framework/data/variant.h"

namespace bco {

// What a remote call answers: the method's payload, or a failure with the message to show the operator
// (a business refusal, a database error, a transport failure). CheckResultServ unwraps it.
class RemoteResult {
public:
    static RemoteResult success(Variant payload) { return RemoteResult(true, std::move(payload), {}); }
    static RemoteResult failure(QString message) { return RemoteResult(false, {}, std::move(message)); }
    // A failure after the request may have reached the server and run there, its answer never read (the
    // connection lost while waiting, a failure of the server, an answer that cannot be read): what the call
    // writes may be in the database.
    static RemoteResult unsure(QString message) {
        RemoteResult result(false, {}, std::move(message));
        result.mayHaveRun_ = true;
        return result;
    }

    bool ok() const { return ok_; }
    // A failure whose call may have run all the same (see unsure); false for a refusal the server answered,
    // which ran nothing, and for a call never sent.
    bool mayHaveRun() const { return mayHaveRun_; }
    const Variant &payload() const { return payload_; }
    const QString &errorMessage() const { return error_; }

private:
    RemoteResult(bool ok, Variant payload, QString error)
        : ok_(ok)
        , payload_(std::move(payload))
        , error_(std::move(error)) {}

    bool ok_;
    bool mayHaveRun_ = false;
    Variant payload_;
    QString error_;
};

} // namespace bco
