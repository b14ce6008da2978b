#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

namespace bco::testing {

// Points the process's configuration folder at a new temporary one for the life of the object. CTest runs
// the cases of a suite as separate processes side by side, so saved options in a shared folder (even Qt's
// test-mode one) would leak from one case into another.
class PrivateConfigFolder {
public:
    PrivateConfigFolder()
        : hadPrevious_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
        , previous_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder_.path()));
    }
    ~PrivateConfigFolder() {
        if (hadPrevious_)
            qputenv("XDG_CONFIG_HOME", previous_);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    PrivateConfigFolder(const PrivateConfigFolder &) = delete;
    PrivateConfigFolder &operator=(const PrivateConfigFolder &) = delete;

private:
    QTemporaryDir folder_;
    bool hadPrevious_;
    QByteArray previous_;
};

} // namespace bco::testing
