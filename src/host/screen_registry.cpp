#include "host/screen_registry.h"

#include <stdexcept>

#include "framework/ui/forms/form.h"
#include "framework/ui/host_frame.h"
#include "host/accounting_screen.h"

namespace bco::host {

void ScreenRegistry::add(const QString &screenCode, Opener opener) {
    openers_.insert(screenCode.toUpper(), std::move(opener));
}

bool ScreenRegistry::contains(const QString &screenCode) const {
    return openers_.contains(screenCode.toUpper());
}

void ScreenRegistry::open(const QString &screenCode, const Variant &parameters) const {
    const auto opener = openers_.constFind(screenCode.toUpper());
    if (opener == openers_.constEnd())
        throw std::runtime_error(
            QStringLiteral("A tela %1 não está disponível neste sistema.").arg(screenCode).toStdString());
    opener.value()(parameters);
}

void addHostScreens(ScreenRegistry &registry) {
    registry.add(QStringLiteral("CTB10200"), [](const Variant &parameters) {
        AccountingScreen *screen = CreateForm<AccountingScreen>(parameters);
        Host::frame().showChild(*screen);
    });
}

} // namespace bco::host
