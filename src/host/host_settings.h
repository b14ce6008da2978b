#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include "framework/session/session_settings.h"

namespace bco::host {

using bco::SettingsError;

// What the host starts with: the session's settings (session_settings.h) and the module's path,
//
//   [modulo]   caminho
//
// overridden by --module.
struct HostSettings : SessionSettings {
    QString modulePath;
    // Set when --help was asked for: the text to print instead of starting.
    QString helpText;

    // Reads the INI file named by --config (or the default one) and applies the command line over it. A
    // value that cannot be read (a date, a port) or a processing branch set nowhere throws SettingsError
    // naming the setting. `defaultModule` and `today` stand in for what is not set anywhere.
    static HostSettings load(const QStringList &arguments, const QString &defaultModule, QDate today);
};

} // namespace bco::host
