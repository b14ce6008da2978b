#include "server/transport/method_registry.h"

#include <algorithm>

namespace bco::server {

void CallContext::reportWrite(const QString &account, const QStringList &numbers) {
    const auto same = std::find_if(written.begin(), written.end(),
                                   [&](const WrittenRecords &records) { return records.account == account; });
    if (same == written.end())
        written.push_back({account, numbers});
    else
        same->numbers += numbers;
}

void MethodRegistry::add(Method method) {
    const QString key = method.name.toLower();
    if (byName_.contains(key))
        throw std::logic_error("method registered twice: " + method.name.toStdString());
    byName_.insert(key, methods_.size());
    methods_.push_back(std::move(method));
}

const Method *MethodRegistry::find(const QString &name) const {
    const auto found = byName_.constFind(name.toLower());
    return found == byName_.constEnd() ? nullptr : &methods_[*found];
}

QStringList MethodRegistry::names() const {
    QStringList names;
    for (const Method &method : methods_)
        names.append(method.name);
    return names;
}

} // namespace bco::server
