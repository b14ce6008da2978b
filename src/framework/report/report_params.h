#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "framework/data/variant.h"

namespace bco {

// The named parameters of a report's query (without the colon, upper case, in the order they first occur)
// and the values given to them. A parameter left without a value runs as null.
class ReportParams {
public:
    ReportParams() = default;
    explicit ReportParams(const QStringList &names);

    QStringList Names() const;
    bool Contains(const QString &name) const;

    // Gives the parameter a value. A name the query does not have is a fault of the caller, who asks
    // ExistParam first: it throws std::invalid_argument.
    void SetValue(const QString &name, const Variant &value);
    // The value given, null when none was.
    Variant Value(const QString &name) const;
    bool HasValue(const QString &name) const;

private:
    struct Param {
        QString name;
        Variant value;
        bool given = false;
    };
    qsizetype indexOf(const QString &name) const;
    const Param *find(const QString &name) const;

    std::vector<Param> params_;
};

// Whether the query whose parameters are `params` has the parameter `name` (any case).
bool ExistParam(const ReportParams &params, const QString &name);

} // namespace bco
