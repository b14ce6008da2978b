#pragma once

// The entry points of the module library (libPkg_BCO11100.so), found by the host by these names. They
// have C linkage and C types, so that any host can resolve and call them:
//   - texts are UTF-8 and NUL-terminated; a null pointer reads as an empty text;
//   - the filter dialog's form variable is passed by reference as a pointer to the host's variable, which
//     holds the dialog (an opaque pointer) or null; a null reference stands for the module's own variable;
//   - the filter's data source argument is opaque to the host: a bco::DataSource whose data set the filter
//     loads instead of the entry form's list, or null for that list.
// Every entry point runs on the host's user-interface thread and returns normally whatever happens: a
// failure is shown to the operator by the framework's event guard and ends the call.
#ifdef __cplusplus
extern "C" {
#endif

// Opens the entry form, as CriaLancamento: the entry for a host that opens the module without knowing its
// creators.
void IniProc(void);
// Opens the entry form (a child window of the host); returns at once.
void CriaLancamento(void);
// Opens the entries report modally; returns when the operator has closed it.
void CriaRelLancCont(void);
// Opens the spreadsheet import (a child window of the host); returns at once.
void CriaImportacao(void);
// Opens the bank reconciliation (a child window of the host); returns at once.
void CriaConciliacao(void);
// Shows the entry filter ("BOTAO_FILTRO") or reruns its criteria unseen ("ESCONDE_FILTRO") for an account,
// for the open entry form (none open: a failure the event guard shows).
void CriaFiltroLancCont(void **formVariable, void *dataSource, const char *operation,
                        const char *accountCode);
// Shows the advance and return discount form modally for an entry of the open entry form (none open: a
// failure the event guard shows); returns when it has been closed.
void CriaDescAdi(double entryAmount, const char *partyCode, const char *companyCode, const char *pageIndex,
                 const char *partyKind, const char *supplierTaxNumber);

typedef void (*BcoCreator)(void);
typedef void (*BcoFilterCreator)(void **, void *, const char *, const char *);
typedef void (*BcoDiscountCreator)(double, const char *, const char *, const char *, const char *,
                                   const char *);

#ifdef __cplusplus
}
#endif
