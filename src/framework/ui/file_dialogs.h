#pragma once

#include <optional>

#include <QString>

#include "framework/checks/dialogs.h"

namespace bco {

// The file-open dialog, as a service: the desktop installs the platform's dialog, a test installs answers
// from a script.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;

    // Asks for an existing file, starting in `folder`, offering the files `filter` names (Qt's form:
    // "Planilhas (*.xls *.xlsx *.ods)", entries separated by ";;"). Answers its full path, or nothing when
    // the operator cancelled.
    virtual std::optional<QString> openFile(const QString &title, const QString &folder,
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

// The platform's file-open dialog, modal over the active window.
class QtFileDialogs final : public FileDialogs {
public:
    std::optional<QString> openFile(const QString &title, const QString &folder,
                                    const QString &filter) override;
};

} // namespace bco
