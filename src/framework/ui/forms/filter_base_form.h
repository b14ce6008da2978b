#pragma once

#include <utility>

#include <QGroupBox>
#include <QList>
#include <QString>
#include <QStringList>
#include <QToolButton>

#include "framework/ui/forms/form.h"

namespace bco {

// A list of options as name=value rows, in the order they were set. Names are matched without regard to
// letter case; a name set again keeps its place.
class TOptionList {
public:
    // The value of `name`; empty when the list has none.
    QString Values(const QString &name) const;
    void SetValues(const QString &name, const QString &value);
    bool Contains(const QString &name) const;
    QStringList Names() const;
    int Count() const { return static_cast<int>(rows_.size()); }
    void Clear() { rows_.clear(); }

    // One "name=value" row per option, in order; a value's backslashes and line breaks are written as
    // \\ and \n so each option stays on its row.
    QString Text() const;
    // Replaces the list by the rows of `text` (as Text writes them); rows without "=" are skipped.
    void SetText(const QString &text);

private:
    QList<std::pair<QString, QString>> rows_;
};

// The base of the filter dialogs (TfrmFiltroPadrao): the criteria in the group box grbFiltro and, at the
// right edge, the button panel with confirm (sbtConfirma) and the option commands, which save the
// criteria to a file of the screen in the user's configuration folder and load them back.
//
// Saving runs btfSaveOpcClick, which fills the option list Opcoes with the value of every named control in
// grbFiltro (a descendant adds its own entries after running it), and then writes the list. Loading reads
// the list and runs btfLoadOpcClick, which gives each named control of grbFiltro its saved value (a
// descendant reads its own entries after running it).
class TfrmFiltroPadrao : public TForm {
    Q_OBJECT
public:
    explicit TfrmFiltroPadrao(QWidget *parent = nullptr);

    QGroupBox *grbFiltro = nullptr;
    QToolButton *sbtConfirma = nullptr;
    QToolButton *btfSaveOpc = nullptr;
    QToolButton *btfLoadOpc = nullptr;

    TOptionList Opcoes;

    // The base form's confirm: answers mrOk and closes. The descendant's confirm runs its query instead.
    virtual void sbtConfirmaClick();
    virtual void btfSaveOpcClick();
    virtual void btfLoadOpcClick();

    // The save and load commands (the option buttons run them).
    void SaveOptions();
    void LoadOptions();

    // Where this screen's options are kept: <configuration folder>/opcoes/<screen code>.opcoes.
    QString OptionsFile() const;

protected:
    struct DescendantLayout {};
    TfrmFiltroPadrao(DescendantLayout, QWidget *parent);
    void BindFrame();

    void FormClose(TCloseAction &action) override;

private:
    QList<QWidget *> optionControls() const;
};

} // namespace bco
