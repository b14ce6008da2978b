#include "framework/ui/file_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace bco {

namespace {

class RefusingFileDialogs final : public FileDialogs {
public:
    std::optional<QString> openFile(const QString &title, const QString &, const QString &) override {
        throw DialogsNotInstalled(title);
    }
    std::optional<QString> saveFile(const QString &title, const QString &, const QString &) override {
        throw DialogsNotInstalled(title);
    }
};

ServiceSlot<FileDialogs, RefusingFileDialogs> filesSlot;

} // namespace

namespace Dialogs {

FileDialogs &files() {
    return filesSlot.current();
}

FileDialogs *installFiles(FileDialogs *service) {
    return filesSlot.install(service);
}

} // namespace Dialogs

std::optional<QString> QtFileDialogs::openFile(const QString &title, const QString &folder,
                                               const QString &filter) {
    const QString chosen = QFileDialog::getOpenFileName(QApplication::activeWindow(), title, folder, filter);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

std::optional<QString> QtFileDialogs::saveFile(const QString &title, const QString &proposed,
                                               const QString &filter) {
    QString kind;
    QString chosen =
        QFileDialog::getSaveFileName(QApplication::activeWindow(), title, proposed, filter, &kind);
    if (chosen.isEmpty())
        return std::nullopt;
    // Qt's own dialog adds no extension: the kind chosen ("Planilha (*.xlsx)") gives its first.
    static const QRegularExpression firstExtension(QStringLiteral("\\*(\\.[^ )]+)"));
    if (QFileInfo(chosen).suffix().isEmpty())
        if (const QRegularExpressionMatch match = firstExtension.match(kind); match.hasMatch())
            chosen += match.captured(1);
    return chosen;
}

} // namespace bco
