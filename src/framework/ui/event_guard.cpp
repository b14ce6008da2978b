#include "framework/ui/event_guard.h"

#include <exception>

#include <QString>

#include "framework/checks/consiste.h"
#include "framework/checks/dialogs.h"

namespace bco {

namespace {

void showUnexpected(const QString &text) noexcept {
    try {
        Dialogs::messages().show(MsgKind::Error, text, MsgButton::Ok, QString());
    } catch (...) {
        // Nothing can be shown: the error dies here rather than crossing the event loop.
        qWarning("unreported error: %s", qUtf8Printable(text));
    }
}

} // namespace

bool runGuarded(const std::function<void()> &work) noexcept {
    try {
        work();
        return true;
    } catch (const Consiste::EAbort &) {
        return false;
    } catch (const std::exception &error) {
        showUnexpected(QString::fromUtf8(error.what()));
    } catch (...) {
        showUnexpected(QStringLiteral("Erro inesperado."));
    }
    return false;
}

} // namespace bco
