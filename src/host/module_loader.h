#pragma once

#include <stdexcept>

#include <QString>
#include <QStringList>

#include "module/pkg_bco11100.h"

namespace bco::host {

// A module that cannot be used, with the operator's message.
class ModuleError : public std::runtime_error {
public:
    explicit ModuleError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
};

// The module library, loaded by path, with its entry points resolved by name. The library stays loaded
// for the life of the process: its forms' code must outlive every form it made.
struct LoadedModule {
    QString path;
    BcoCreator IniProc = nullptr;
    BcoCreator CriaLancamento = nullptr;
    BcoCreator CriaRelLancCont = nullptr;
    BcoCreator CriaImportacao = nullptr;
    BcoCreator CriaConciliacao = nullptr;
    BcoFilterCreator CriaFiltroLancCont = nullptr;
    BcoDiscountCreator CriaDescAdi = nullptr;
    // Entry points the library does not export; the host offers the others.
    QStringList missing;
};

// Loads the library at `path`. Throws ModuleError when there is no such file or it cannot be loaded (the
// loader's reason is given), and when it exports none of the entry points (it is not this module).
LoadedModule loadModule(const QString &path);

// The operator's message about entry points a module lacks; empty when it has them all.
QString missingEntryPointsMessage(const LoadedModule &module);

} // namespace bco::host
