#include "support/scripted_dialogs.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

namespace bco {

namespace {

bool isNotice(MsgButtons buttons) {
    return buttons == MsgButtons() || buttons == MsgButtons(MsgButton::Ok);
}

MsgButton refusingButton(MsgButtons buttons) {
    for (const MsgButton button : {MsgButton::No, MsgButton::Cancel, MsgButton::Abort}) {
        if (buttons.testFlag(button))
            return button;
    }
    for (int bit = 1; bit <= static_cast<int>(MsgButton::YesToAll); bit <<= 1) {
        if (buttons.testFlag(static_cast<MsgButton>(bit)))
            return static_cast<MsgButton>(bit);
    }
    return MsgButton::None;
}

} // namespace

const char *kindName(MsgKind kind) {
    switch (kind) {
    case MsgKind::Error:
        return "error";
    case MsgKind::Warning:
        return "warning";
    case MsgKind::Information:
        return "information";
    case MsgKind::Confirmation:
        return "confirmation";
    }
    return "?";
}

ScriptedDialogs::ScriptedDialogs()
    : installed_(*this) {
}

ScriptedDialogs::~ScriptedDialogs() {
    for (const Scripted &unused : script_)
        ADD_FAILURE() << "scripted answer never asked for: " << unused.keyOrText.toStdString();
}

ScriptedDialogs &ScriptedDialogs::answer(const QString &keyOrText, MsgButton button) {
    return answer(keyOrText, button, nullptr);
}

ScriptedDialogs &ScriptedDialogs::answer(const QString &keyOrText, MsgButton button,
                                         std::function<void()> meanwhile) {
    script_.push_back({keyOrText, button, std::move(meanwhile)});
    return *this;
}

MsgButton ScriptedDialogs::show(MsgKind kind, const QString &text, MsgButtons buttons, const QString &key,
                                const QString &details) {
    MsgButton chosen = MsgButton::Ok;
    const auto match = std::find_if(script_.begin(), script_.end(), [&](const Scripted &entry) {
        return (!key.isEmpty() && entry.keyOrText == key) || entry.keyOrText == text;
    });
    if (isNotice(buttons)) {
        // A notice needs no answer; one scripted for it is what happens while it is read.
        if (match != script_.end()) {
            const std::function<void()> meanwhile = std::move(match->meanwhile);
            script_.erase(match);
            if (meanwhile)
                meanwhile();
        }
    } else {
        if (match == script_.end()) {
            ADD_FAILURE() << "unexpected " << kindName(kind) << " question"
                          << (key.isEmpty() ? std::string() : " [" + key.toStdString() + "]") << ": "
                          << text.toStdString();
            chosen = refusingButton(buttons);
        } else if (!buttons.testFlag(match->answer)) {
            ADD_FAILURE() << "scripted answer is not offered by the question: " << text.toStdString();
            chosen = refusingButton(buttons);
            script_.erase(match);
        } else {
            chosen = match->answer;
            const std::function<void()> meanwhile = std::move(match->meanwhile);
            script_.erase(match);
            if (meanwhile)
                meanwhile();
        }
    }
    shown_.push_back({kind, text, key, buttons, chosen, details});
    return chosen;
}

QStringList ScriptedDialogs::texts() const {
    QStringList list;
    for (const Shown &entry : shown_)
        list << entry.text;
    return list;
}

QStringList ScriptedDialogs::keys() const {
    QStringList list;
    for (const Shown &entry : shown_)
        list << entry.key;
    return list;
}

QStringList ScriptedDialogs::errors() const {
    QStringList list;
    for (const Shown &entry : shown_) {
        if (entry.kind == MsgKind::Error)
            list << entry.text;
    }
    return list;
}

} // namespace bco
