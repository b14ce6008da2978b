#include "framework/ui/qt_message_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QMessageBox>
#include <QPushButton>

#include "framework/ui/wait_animation.h"

namespace bco {

namespace {

struct ButtonText {
    MsgButton button;
    QMessageBox::StandardButton standard;
    const char *text;
};

// In the order the buttons appear.
const ButtonText buttonTexts[] = {
    {MsgButton::Yes, QMessageBox::Yes, "Sim"},
    {MsgButton::YesToAll, QMessageBox::YesToAll, "Sim para todos"},
    {MsgButton::No, QMessageBox::No, "Não"},
    {MsgButton::NoToAll, QMessageBox::NoToAll, "Não para todos"},
    {MsgButton::Ok, QMessageBox::Ok, "OK"},
    {MsgButton::All, QMessageBox::SaveAll, "Todos"},
    {MsgButton::Retry, QMessageBox::Retry, "Repetir"},
    {MsgButton::Ignore, QMessageBox::Ignore, "Ignorar"},
    {MsgButton::Abort, QMessageBox::Abort, "Abortar"},
    {MsgButton::Cancel, QMessageBox::Cancel, "Cancelar"},
};

QMessageBox::Icon iconOf(MsgKind kind) {
    switch (kind) {
    case MsgKind::Error:
        return QMessageBox::Critical;
    case MsgKind::Warning:
        return QMessageBox::Warning;
    case MsgKind::Information:
        return QMessageBox::Information;
    case MsgKind::Confirmation:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// The most lines of a question's details shown in its box.
constexpr qsizetype MostQuestionLines = 12;

} // namespace

MsgButton QtMessageDialogs::show(MsgKind kind, const QString &text, MsgButtons buttons, const QString &,
                                 const QString &details) {
    if (buttons == MsgButtons())
        buttons = MsgButton::Ok;
    const QString title = QGuiApplication::applicationDisplayName();
    QMessageBox box(iconOf(kind), title, text, QMessageBox::NoButton, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    // What a question acts on is part of the question: folded away, the operator answers without seeing it.
    // A long list would push the buttons off the screen: its first lines are shown, and the whole of it
    // under "Mostrar detalhes".
    if (kind == MsgKind::Confirmation && !details.isEmpty()) {
        const QStringList lines = details.split(u'\n');
        const bool whole = lines.size() <= MostQuestionLines;
        const QString shown = whole ? details
                                    : lines.first(MostQuestionLines - 1).join(u'\n') +
                                          QStringLiteral("\n(e mais %1 linhas, nos detalhes)")
                                              .arg(lines.size() - MostQuestionLines + 1);
        box.setInformativeText(QStringLiteral("<p>") +
                               shown.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>")) +
                               QStringLiteral("</p>"));
        if (!whole)
            box.setDetailedText(details);
    } else {
        box.setDetailedText(details);
    }
    QHash<QAbstractButton *, MsgButton> answers;
    QAbstractButton *defaultButton = nullptr;
    for (const ButtonText &entry : buttonTexts) {
        if (!buttons.testFlag(entry.button))
            continue;
        QPushButton *pushed = box.addButton(entry.standard);
        pushed->setText(QString::fromUtf8(entry.text));
        answers.insert(pushed, entry.button);
        if (defaultButton == nullptr &&
            (entry.button == MsgButton::Yes || entry.button == MsgButton::Ok ||
             entry.button == MsgButton::Retry || entry.button == MsgButton::All)) {
            defaultButton = pushed;
            box.setDefaultButton(pushed);
        }
    }
    QAbstractButton *escape = nullptr;
    for (const MsgButton refusing : {MsgButton::No, MsgButton::Cancel, MsgButton::Abort}) {
        if (buttons.testFlag(refusing)) {
            escape = answers.key(refusing);
            break;
        }
    }
    if (escape == nullptr && answers.size() == 1)
        escape = answers.constBegin().key();
    box.setEscapeButton(escape);
    // The message is what the operator waits for now; the animation, always on top, would cover it.
    DeactiveShowAvi();
    box.exec();
    const auto chosen = answers.constFind(box.clickedButton());
    if (chosen != answers.constEnd())
        return chosen.value();
    return escape != nullptr ? answers.value(escape) : MsgButton::None;
}

} // namespace bco
