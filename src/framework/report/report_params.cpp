#include "framework/report/report_params.h"

#include <stdexcept>

namespace bco {

ReportParams::ReportParams(const QStringList &names) {
    for (const QString &name : names)
        if (!Contains(name))
            params_.push_back({name.toUpper(), Variant(), false});
}

QStringList ReportParams::Names() const {
    QStringList names;
    for (const Param &param : params_)
        names << param.name;
    return names;
}

qsizetype ReportParams::indexOf(const QString &name) const {
    const QString upper = name.toUpper();
    for (std::size_t i = 0; i < params_.size(); ++i)
        if (params_[i].name == upper)
            return static_cast<qsizetype>(i);
    return -1;
}

const ReportParams::Param *ReportParams::find(const QString &name) const {
    const qsizetype index = indexOf(name);
    return index >= 0 ? &params_[static_cast<std::size_t>(index)] : nullptr;
}

bool ReportParams::Contains(const QString &name) const {
    return find(name) != nullptr;
}

void ReportParams::SetValue(const QString &name, const Variant &value) {
    const qsizetype index = indexOf(name);
    if (index < 0)
        throw std::invalid_argument("the report's query has no parameter " + name.toStdString());
    Param &param = params_[static_cast<std::size_t>(index)];
    param.value = value;
    param.given = true;
}

Variant ReportParams::Value(const QString &name) const {
    const Param *param = find(name);
    return param != nullptr ? param->value : Variant();
}

bool ReportParams::HasValue(const QString &name) const {
    const Param *param = find(name);
    return param != nullptr && param->given;
}

bool ExistParam(const ReportParams &params, const QString &name) {
    return params.Contains(name);
}

} // namespace bco
