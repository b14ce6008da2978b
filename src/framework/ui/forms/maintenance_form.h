#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QToolButton>

#include "framework/ui/db_navigator.h"
#include "framework/ui/forms/form.h"

namespace bco {

class ClientDataSet;

// The base of the maintenance screens (TfrmPadrao), child windows of the host: the tool bar panMenu with
// include, change, delete, find, verify, cancel, confirm, print, help and close; the same actions in the
// maintenance menu mnuManutencao (the descendant adds its own items after them); the navigation menu
// (first, previous, next, last); the page menu with one checkable item per page; the pages tshFolhaDados
// (the list) and tshFormulario (the record) in pgcPadrao; and at the foot the record navigator dbnPadrao
// with its caption dbtNome.
//
// Pages change two ways. SetActivePage is the program's: no handler runs. An operator's change (the page
// tabs, the page menu items, ChangePage) runs pgcPadraoChanging first, which may refuse it (and say why),
// then, once the page has changed, pgcPadraoChange. The handler runs for a disabled page too, but a disabled
// page is never chosen that way; a disabled page may still be the active one (the form shows it with its
// controls off).
//
// Each command (include, change, ... close) is one action: its tool button shows it and the maintenance menu
// holds it, so enabling the action enables both (BindCommand).
//
// The base form's own handlers run first in the descendant's: cancel drops an unposted insert or edit of
// the navigator's data set; delete, find, verify and the others have no step of their own. The questions
// that cancel and delete ask go through ConfirmaCancelamento and ConfirmaExclusao, with the keys "Canc"
// and "Excl" of the base form's rows in msgPadrao. Its close releases the form.
class TfrmPadrao : public TForm {
    Q_OBJECT
public:
    explicit TfrmPadrao(QWidget *parent = nullptr);

    QToolButton *sbtIncluir = nullptr;
    QToolButton *sbtAlterar = nullptr;
    QToolButton *sbtExcluir = nullptr;
    QToolButton *sbtProcurar = nullptr;
    QToolButton *sbtVerificar = nullptr;
    QToolButton *sbtCancelar = nullptr;
    QToolButton *sbtConfirmar = nullptr;
    QToolButton *sbtImprimir = nullptr;
    QToolButton *sbtAjuda = nullptr;
    QToolButton *sbtFechar = nullptr;

    QMenuBar *mnuPrincipal = nullptr;
    QMenu *mnuManutencao = nullptr;
    QMenu *mnuNavegacao = nullptr;
    QMenu *mnuPaginas = nullptr;
    QAction *mnuIncluir = nullptr;
    QAction *mnuAlterar = nullptr;
    QAction *mnuExcluir = nullptr;
    QAction *mnuProcurar = nullptr;
    QAction *mnuVerificar = nullptr;
    QAction *mnuConfirmar = nullptr;
    QAction *mnuCancelar = nullptr;
    QAction *mnuListagem = nullptr;
    QAction *mnuFechar = nullptr;
    QAction *mnuPrimeiro = nullptr;
    QAction *mnuAnterior = nullptr;
    QAction *mnuProximo = nullptr;
    QAction *mnuUltimo = nullptr;
    QAction *mnuFolhaDados = nullptr;
    QAction *mnuFormulario = nullptr;

    QTabWidget *pgcPadrao = nullptr;
    QWidget *tshFolhaDados = nullptr;
    QWidget *tshFormulario = nullptr;
    TDBNavigator *dbnPadrao = nullptr;
    TDBText *dbtNome = nullptr;

    // Tool buttons and their menu items. The base form's steps; a descendant runs them first.
    virtual void sbtIncluirClick() {}
    virtual void sbtAlterarClick() {}
    virtual void sbtExcluirClick() {}
    virtual void sbtProcurarClick() {}
    virtual void sbtVerificarClick() {}
    virtual void sbtCancelarClick();
    virtual void sbtConfirmarClick() {}
    virtual void sbtImprimirClick() {}
    virtual void sbtFecharClick() { Close(); }

    // Navigation: moves the navigator's data set, only while the navigator is enabled.
    virtual void mnuPrimeiroClick();
    virtual void mnuAnteriorClick();
    virtual void mnuProximoClick();
    virtual void mnuUltimoClick();

    // The cancel and delete questions of the base form's catalogue; true when the operator answered Yes. The
    // delete question shows `details` below its text: what is about to be deleted.
    bool ConfirmaCancelamento() const;
    bool ConfirmaExclusao(const QString &details = QString()) const;

    QWidget *ActivePage() const { return pgcPadrao->currentWidget(); }
    void SetActivePage(QWidget *page);
    // The operator's change of page, as the page tabs and menu items make it.
    void ChangePage(QWidget *page);
    bool PageEnabled(QWidget *page) const { return page->isEnabled(); }
    void SetPageEnabled(QWidget *page, bool on);

protected:
    struct DescendantLayout {};
    TfrmPadrao(DescendantLayout, QWidget *parent);
    void BindFrame();

    // Before an operator's change of page; clearing `AllowChange` keeps the page.
    virtual void pgcPadraoChanging(bool &AllowChange) { Q_UNUSED(AllowChange); }
    // After an operator's change of page: the base form checks the page menu item of the active page.
    virtual void pgcPadraoChange();

    void FormClose(TCloseAction &action) override;

private:
    void addBaseMessages();
    void buildMenus();
    void pageChosen(int index);
    void setPageQuietly(int index);
    QAction *pageItem(QWidget *page) const;
    ClientDataSet *navigatedDataSet() const;
    // Runs a command of the tool bar or the menu, unless another of this form's commands is running: a form
    // lets the screen repaint while its calls run, and a command given meanwhile (a second click on Confirm,
    // a Cancel after the entry was written) must not start inside the one that is writing.
    void runCommand(void (TfrmPadrao::*command)());

    int shownPage_ = 0;
    bool settingPage_ = false;
    bool commandRunning_ = false;
};

} // namespace bco
