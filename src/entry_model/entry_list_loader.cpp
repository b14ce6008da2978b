#include "entry_model/entry_list_loader.h"

#include <utility>

namespace Cli_bco11102 {

EntryListLoader::EntryListLoader(ServerCall call)
    : call_(std::move(call)) {
}

EntryListLoader::ReuseCurrent::ReuseCurrent(EntryListLoader &loader)
    : loader_(loader)
    , reusing_(std::exchange(loader.reusing_, true)) {
}

EntryListLoader::ReuseCurrent::~ReuseCurrent() {
    loader_.reusing_ = reusing_;
}

qint64 EntryListLoader::versionOf(const bco::Variant &account) {
    bco::VariantList args{account};
    bool number = false;
    const qint64 version = call_(QStringLiteral("GetVersaoLancamentos"), args).toText().toLongLong(&number);
    return number && version >= 0 ? version : -1;
}

bool EntryListLoader::isCurrent(const bco::ClientDataSet &list, const bco::VariantList &criteria,
                                qint64 version) const {
    return version >= 0 && loaded_ && loaded_->list == &list && list.Active() &&
           loaded_->version == version && loaded_->sent == criteria &&
           loaded_->generation == list.ContentGeneration();
}

bool EntryListLoader::isStillCurrent(const bco::ClientDataSet &list) {
    if (!loaded_ || loaded_->list != &list || loaded_->sent.empty())
        return false;
    return isCurrent(list, loaded_->sent, versionOf(loaded_->sent.front()));
}

std::optional<qint64> EntryListLoader::versionShown(const bco::ClientDataSet &list) const {
    if (!loaded_ || loaded_->list != &list || !list.Active() ||
        loaded_->generation != list.ContentGeneration())
        return std::nullopt;
    return loaded_->version;
}

bool EntryListLoader::load(bco::ClientDataSet &list, bco::VariantList &criteria) {
    const qint64 version = criteria.empty() ? -1 : versionOf(criteria.front());
    if (reusing_ && isCurrent(list, criteria, version)) {
        criteria = loaded_->answered;
        return false;
    }
    loaded_.reset();
    const bco::VariantList sent = criteria;
    list.SetData(call_(QStringLiteral("GetLancamentos"), criteria));
    if (version >= 0)
        loaded_ = Loaded{&list, sent, criteria, version, list.ContentGeneration()};
    return true;
}

void EntryListLoader::applyOwnWrite(bco::ClientDataSet &list, qint64 before, qint64 after,
                                    const std::function<void()> &edit) {
    const bool adopted = before >= 0 && after > before &&
                         isCurrent(list, loaded_ ? loaded_->sent : bco::VariantList(), before);
    edit();
    if (!adopted) {
        loaded_.reset();
        return;
    }
    loaded_->version = after;
    loaded_->generation = list.ContentGeneration();
}

} // namespace Cli_bco11102
