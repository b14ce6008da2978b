#include "support/scripted_file_dialogs.h"

#include <gtest/gtest.h>

namespace bco {

ScriptedFileDialogs::ScriptedFileDialogs()
    : installed_(*this) {
}

ScriptedFileDialogs::~ScriptedFileDialogs() {
    EXPECT_TRUE(script_.empty()) << script_.size() << " scripted file dialog answers were never used";
}

ScriptedFileDialogs &ScriptedFileDialogs::choose(const QString &path) {
    script_.push_back({true, path});
    return *this;
}

ScriptedFileDialogs &ScriptedFileDialogs::cancel() {
    script_.push_back({false, QString()});
    return *this;
}

std::optional<QString> ScriptedFileDialogs::openFile(const QString &title, const QString &folder,
                                                     const QString &filter) {
    asked_.push_back({title, folder, filter});
    if (script_.empty()) {
        ADD_FAILURE() << "a file dialog nobody scripted: " << title.toStdString();
        return std::nullopt;
    }
    const Answer answer = script_.front();
    script_.erase(script_.begin());
    if (!answer.chosen)
        return std::nullopt;
    return answer.path;
}

std::optional<QString> ScriptedFileDialogs::saveFile(const QString &title, const QString &proposed,
                                                     const QString &filter) {
    return openFile(title, proposed, filter);
}

} // namespace bco
