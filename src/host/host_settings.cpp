#include "host/host_settings.h"

#include <QCommandLineParser>
#include <QSettings>

namespace bco::host {

HostSettings HostSettings::load(const QStringList &arguments, const QString &defaultModule, QDate today) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Hospedeiro dos módulos do sistema."));
    parser.addHelpOption();
    SessionSettings::addOptions(parser);
    const QCommandLineOption module(QStringLiteral("module"), QStringLiteral("Biblioteca do módulo."),
                                    QStringLiteral("caminho"));
    parser.addOption(module);
    if (!parser.parse(arguments))
        throw SettingsError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        HostSettings help;
        help.helpText = parser.helpText();
        return help;
    }
    if (!parser.positionalArguments().isEmpty())
        throw SettingsError(
            QStringLiteral("Argumento desconhecido: %1").arg(parser.positionalArguments().first()));

    HostSettings settings;
    static_cast<SessionSettings &>(settings) = SessionSettings::read(parser, today);
    settings.modulePath = parser.isSet(module) ? parser.value(module)
                                               : QSettings(settings.configFile, QSettings::IniFormat)
                                                     .value(QStringLiteral("modulo/caminho"))
                                                     .toString();
    if (settings.modulePath.isEmpty())
        settings.modulePath = defaultModule;
    return settings;
}

} // namespace bco::host
