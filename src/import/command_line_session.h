#pragma once

#include <memory>

#include <QCommandLineParser>
#include <QString>

#include "framework/session/login_context.h"

namespace Cli_bco11104 {

// The session of a program that works without a window (bco-import): the host's session settings (its INI
// file and the options --config, --operator, --branch, --date, --server-host, --server-port, --database;
// the password only from the environment variable BCO_PASSWORD, never from the command line), the
// operator's login to the application server and the shared database open, as a login context installed
// for the object's life.
class CommandLineSession {
public:
    // Adds the session's options to a program's parser.
    static void AddOptions(QCommandLineParser &parser);

    // Opens the session the parsed options describe. Throws std::runtime_error with the operator's message
    // when a setting cannot be used, the login is refused or the database cannot be opened.
    explicit CommandLineSession(const QCommandLineParser &parser);
    ~CommandLineSession();
    CommandLineSession(const CommandLineSession &) = delete;
    CommandLineSession &operator=(const CommandLineSession &) = delete;

    const bco::LoginContext &Context() const { return context_; }

private:
    bco::LoginContext context_;
    std::unique_ptr<bco::ScopedLoginContext> installed_;
};

} // namespace Cli_bco11104
