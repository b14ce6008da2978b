#pragma once

#include <memory>
#include <stdexcept>

#include <QCommandLineParser>
#include <QDate>
#include <QString>

#include "framework/session/login_context.h"
#include "framework/session/session_settings.h"

namespace bco {

// A session that could not be opened although its settings could be read: the login was refused or the
// shared database cannot be opened. The message is the operator's.
class SessionError : public std::runtime_error {
public:
    explicit SessionError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
};

// The session of a program that works without a window (bco-report, bco-import): the session settings
// (SessionSettings: the INI file and the command line), the operator's login to the application server and
// the shared database open, as a login context installed for the object's life. The password comes from the
// environment variable BCO_PASSWORD only, never from the command line.
class CommandLineSession {
public:
    // Adds the session's options to a program's parser; --password is parsed, to be refused, and not offered.
    static void addOptions(QCommandLineParser &parser) { SessionSettings::addOptions(parser, false); }

    // Opens the session the parsed options describe. Throws SettingsError when a setting cannot be used (a
    // password on the command line, a shared database configured nowhere among them) and SessionError when
    // the login is refused or the database cannot be opened.
    CommandLineSession(const QCommandLineParser &parser, QDate today);
    ~CommandLineSession();
    CommandLineSession(const CommandLineSession &) = delete;
    CommandLineSession &operator=(const CommandLineSession &) = delete;

    const LoginContext &context() const { return context_; }

private:
    LoginContext context_;
    std::unique_ptr<ScopedLoginContext> installed_;
};

} // namespace bco
