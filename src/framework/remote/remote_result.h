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

    bool ok() const { return ok_; }
    const Variant &payload() const { return payload_; }
    const QString &errorMessage() const { return error_; }

private:
    RemoteResult(bool ok, Variant payload, QString error)
        : ok_(ok)
        , payload_(std::move(payload))
        , error_(std::move(error)) {}

    bool ok_;
    Variant payload_;
    QString error_;
};

} // namespace bco
