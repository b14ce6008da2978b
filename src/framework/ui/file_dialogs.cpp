#include "framework/ui/file_dialogs.h"

#include <utility>

#include <QApplication>
#include <QFileDialog>

namespace bco {

namespace {

class RefusingFileDialogs final : public FileDialogs {
public:
    std::optional<QString> openFile(const QString &title, const QString &, const QString &) override {
        throw DialogsNotInstalled(title);
    }
};

// Lives in bco_framework, which the host and the module share: one slot for the process.
FileDialogs *installedFiles = nullptr;

} // namespace

namespace Dialogs {

FileDialogs &files() {
    static RefusingFileDialogs refusing;
    return installedFiles ? *installedFiles : refusing;
}

FileDialogs *installFiles(FileDialogs *service) {
    return std::exchange(installedFiles, service);
}

} // namespace Dialogs

std::optional<QString> QtFileDialogs::openFile(const QString &title, const QString &folder,
                                               const QString &filter) {
    const QString chosen = QFileDialog::getOpenFileName(QApplication::activeWindow(), title, folder, filter);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

} // namespace bco
