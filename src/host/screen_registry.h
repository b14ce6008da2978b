#pragma once

#include <functional>

#include <QHash>
#include <QString>

#include "framework/data/variant.h"

namespace bco::host {

// The screens of other modules that the host can open by code (what LoadBPL reaches): each code opens
// its screen with the variant the caller hands it.
class ScreenRegistry {
public:
    using Opener = std::function<void(const Variant &parameters)>;

    void add(const QString &screenCode, Opener opener);
    bool contains(const QString &screenCode) const;

    // Opens the screen. Throws std::runtime_error with the operator's message for a code nobody added.
    void open(const QString &screenCode, const Variant &parameters) const;

private:
    QHash<QString, Opener> openers_;
};

// Adds the screens the host itself provides: the accounting screen "CTB10200".
void addHostScreens(ScreenRegistry &registry);

} // namespace bco::host
