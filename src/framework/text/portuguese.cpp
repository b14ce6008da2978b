#include "framework/text/portuguese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace bco {

bool speakBrazilianPortuguese() {
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QLocale::setDefault(brazil);
    QCoreApplication *application = QCoreApplication::instance();
    if (application == nullptr)
        return false;
    // The translator belongs to the application object, so that it lives exactly as long as what it serves.
    auto *translator = new QTranslator(application);
    if (!translator->load(brazil, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace bco
