#pragma once

#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

#include "framework/checks/dialogs.h"

namespace bco {

// The dialogs of a test: installs itself as the process's message service for its life, records every
// text shown (kind, text, catalogue key, buttons, answer) and answers questions from a script.
//
// A dialog offering only Ok (or nothing) is a notice and is answered Ok; an answer scripted for it is used
// up, running what it says happens meanwhile. Any other dialog is a question: it takes the first scripted
// answer whose key or text equals the dialog's, which is then used up. A question nobody scripted, or an
// answer the dialog does not offer, fails the running test and is answered with the refusing button (No, else
// Cancel, else the first offered) so that the code under test takes its cautious path. Answers still unused
// when the object goes fail the test too: a question that was expected never came.
class ScriptedDialogs final : public MessageDialogs {
public:
    struct Shown {
        MsgKind kind;
        QString text;
        QString key;
        MsgButtons buttons;
        MsgButton answer;
        QString details;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs &) = delete;
    ScriptedDialogs &operator=(const ScriptedDialogs &) = delete;

    ScriptedDialogs &answer(const QString &keyOrText, MsgButton button);
    // The same, running `meanwhile` while the question is on the screen, before it is answered: what someone
    // else does between the question and the operator's answer.
    ScriptedDialogs &answer(const QString &keyOrText, MsgButton button, std::function<void()> meanwhile);

    using MessageDialogs::show;
    MsgButton show(MsgKind kind, const QString &text, MsgButtons buttons, const QString &key,
                   const QString &details) override;

    const std::vector<Shown> &shown() const { return shown_; }
    QStringList texts() const;
    QStringList keys() const;
    // The texts shown as errors, in order: what the checks refused with.
    QStringList errors() const;
    // Forgets what was shown; the script stays.
    void clearShown() { shown_.clear(); }

private:
    struct Scripted {
        QString keyOrText;
        MsgButton answer;
        std::function<void()> meanwhile;
    };

    std::vector<Scripted> script_;
    std::vector<Shown> shown_;
    ScopedMessageDialogs installed_;
};

const char *kindName(MsgKind kind);

} // namespace bco
