#include "host/module_loader.h"

#include <QFileInfo>
#include <QLibrary>

namespace bco::host {

namespace {

template <class Function> Function resolve(QLibrary &library, const char *name, LoadedModule &module) {
    auto function = reinterpret_cast<Function>(library.resolve(name));
    if (function == nullptr)
        module.missing << QString::fromLatin1(name);
    return function;
}

} // namespace

LoadedModule loadModule(const QString &path) {
    if (path.isEmpty())
        throw ModuleError(QStringLiteral("Nenhum módulo foi configurado (modulo/caminho ou --module)."));
    const QFileInfo file(path);
    if (!file.exists())
        throw ModuleError(QStringLiteral("O módulo %1 não foi encontrado.").arg(file.absoluteFilePath()));
    QLibrary library(file.absoluteFilePath());
    if (!library.load())
        throw ModuleError(QStringLiteral("O módulo %1 não pôde ser carregado: %2")
                              .arg(file.absoluteFilePath(), library.errorString()));
    LoadedModule module;
    module.path = file.absoluteFilePath();
    module.IniProc = resolve<BcoCreator>(library, "IniProc", module);
    module.CriaLancamento = resolve<BcoCreator>(library, "CriaLancamento", module);
    module.CriaRelLancCont = resolve<BcoCreator>(library, "CriaRelLancCont", module);
    module.CriaImportacao = resolve<BcoCreator>(library, "CriaImportacao", module);
    module.CriaConciliacao = resolve<BcoCreator>(library, "CriaConciliacao", module);
    module.CriaFiltroLancCont = resolve<BcoFilterCreator>(library, "CriaFiltroLancCont", module);
    module.CriaDescAdi = resolve<BcoDiscountCreator>(library, "CriaDescAdi", module);
    if (module.missing.size() == 7) {
        library.unload();
        throw ModuleError(
            QStringLiteral("A biblioteca %1 não é um módulo: não exporta nenhum ponto de entrada (IniProc, "
                           "CriaLancamento, ...).")
                .arg(module.path));
    }
    return module;
}

QString missingEntryPointsMessage(const LoadedModule &module) {
    if (module.missing.isEmpty())
        return {};
    return QStringLiteral(
               "O módulo %1 não exporta %2: %3. As opções correspondentes do menu ficam indisponíveis.")
        .arg(module.path,
             module.missing.size() == 1 ? QStringLiteral("o ponto de entrada")
                                        : QStringLiteral("os pontos de entrada"),
             module.missing.join(QStringLiteral(", ")));
}

} // namespace bco::host
