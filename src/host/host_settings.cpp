#include "host/host_settings.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include "framework/text/ini_file.h"

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
    // The file, when there is one, was read whole already, so reading it again here finds nothing malformed.
    if (parser.isSet(module))
        settings.modulePath = parser.value(module);
    else if (QFileInfo::exists(settings.configFile))
        settings.modulePath =
            IniFile::read(settings.configFile).value(QStringLiteral("modulo/caminho")).value_or(QString());
    if (settings.modulePath.isEmpty())
        settings.modulePath = defaultModule;
    return settings;
}

} // namespace bco::host
