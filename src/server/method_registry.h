#pragma once

#include <functional>
#include <stdexcept>
#include <vector>

#include <QHash>
#include <QString>
#include <QStringList>

#include "framework/data/variant.h"
#include "server/database.h"

namespace bco::server {

class SessionStore;

// A business refusal: the method ran, found the request against a rule, and answers this message to the
// operator. Nothing the call wrote is kept.
class Refusal : public std::runtime_error {
public:
    explicit Refusal(const QString &message)
        : std::runtime_error(message.toStdString())
        , message_(message) {}
    const QString &message() const { return message_; }

private:
    QString message_;
};

// What a method may receive at one position. Text also takes null (an empty text) and Date takes null (no
// date); Number takes an integer or a floating-point number; Any takes every variant (data packets, arrays).
enum class ArgKind { Text, Date, Number, Boolean, Any };

// What a handler works with: the call's connection, inside the call's transaction, and who is calling.
struct CallContext {
    Sql &sql;
    SessionStore &sessions;
    QString operatorCode; // empty for Login, the one method called without a session
};

// A handler takes the positional arguments (by-reference ones are changed in place) and answers the result.
using Handler = std::function<Variant(CallContext &, VariantList &)>;

struct Method {
    QString name;
    std::vector<ArgKind> args;
    // A writing method takes the write lock when its transaction starts.
    bool writes = false;
    bool needsSession = true;
    Handler handler;
};

// The methods of BCO11100.rdmLancContCorr, found by name without regard to letter case.
class MethodRegistry {
public:
    void add(Method method);
    const Method *find(const QString &name) const;
    QStringList names() const;

private:
    std::vector<Method> methods_;
    QHash<QString, size_t> byName_;
};

// Every method the server answers.
MethodRegistry allMethods();

// The areas, one file each.
void addSessionMethods(MethodRegistry &registry);
void addParameterMethods(MethodRegistry &registry);
void addRegisterMethods(MethodRegistry &registry);
void addAccountMethods(MethodRegistry &registry);
void addEntryListMethods(MethodRegistry &registry);
void addInsertionMethods(MethodRegistry &registry);
void addAdvanceMethods(MethodRegistry &registry);

} // namespace bco::server
