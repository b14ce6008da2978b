#pragma once

#include <optional>

#include <QString>

#include "framework/checks/dialogs.h"

namespace bco {

// The file dialogs (open and save), as a service: the desktop installs the platform's dialog, a test installs
// answers from a script.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;

    // Asks for an existing file, starting in `folder`, offering the files `filter` names (Qt's form:
    // "Planilhas (*.xls *.xlsx *.ods)", entries separated by ";;"). Answers its full path, or nothing when
    // the operator cancelled.
    virtual std::optional<QString> openFile(const QString &title, const QString &folder,
                                            const QString &filter) = 0;
    // Asks for a file to write, proposing `proposed` (a path, or a name in the current folder), offering
    // the kinds `filter` names (as openFile's). Answers its full path, a name typed without an extension
    // getting the first one of the kind chosen, or nothing when the operator cancelled. The platform's
    // dialog asks before replacing a file.
    virtual std::optional<QString> saveFile(const QString &title, const QString &proposed,
                                            const QString &filter) = 0;
};

namespace Dialogs {

// The installed file dialogs, or a refusing default (DialogsNotInstalled).
FileDialogs &files();
// Makes `service` the process's file dialogs (nullptr: back to the default) and answers the one it replaces.
// Not owned.
FileDialogs *installFiles(FileDialogs *service);

} // namespace Dialogs

using ScopedFileDialogs = ScopedService<FileDialogs, &Dialogs::installFiles>;

// The platform's file dialogs, modal over the active window.
class QtFileDialogs final : public FileDialogs {
public:
    std::optional<QString> openFile(const QString &title, const QString &folder,
                                    const QString &filter) override;
    std::optional<QString> saveFile(const QString &title, const QString &proposed,
                                    const QString &filter) override;
};

} // namespace bco
