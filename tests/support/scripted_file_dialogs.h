#pragma once

#include <optional>
#include <vector>

#include <QString>

#include "framework/ui/file_dialogs.h"

namespace bco {

// The file dialog of a test: installs itself for its life, records every dialog asked for and answers each
// with the next scripted path (or a cancel). A dialog nobody scripted fails the running test and is answered
// as cancelled; answers still unused when the object goes fail it too.
class ScriptedFileDialogs final : public FileDialogs {
public:
    struct Asked {
        QString title, folder, filter;
    };

    ScriptedFileDialogs();
    ~ScriptedFileDialogs() override;
    ScriptedFileDialogs(const ScriptedFileDialogs &) = delete;
    ScriptedFileDialogs &operator=(const ScriptedFileDialogs &) = delete;

    ScriptedFileDialogs &choose(const QString &path);
    ScriptedFileDialogs &cancel();

    std::optional<QString> openFile(const QString &title, const QString &folder,
                                    const QString &filter) override;
    // Answers as openFile does, recording the proposed path as the folder asked.
    std::optional<QString> saveFile(const QString &title, const QString &proposed,
                                    const QString &filter) override;

    const std::vector<Asked> &asked() const { return asked_; }

private:
    // Not an optional path: g++ 12 at -O3 takes a copied empty optional<QString> for uninitialized.
    struct Answer {
        bool chosen;
        QString path;
    };
    std::vector<Answer> script_;
    std::vector<Asked> asked_;
    ScopedFileDialogs installed_;
};

} // namespace bco
