#pragma once

#include <QString>

// Where the caret and the selection of a tax number shown through its mask fall once the mask is taken off
// for typing: on the same digits.
namespace Cli_bco11100 {

// The caret's position in the plain digits of a tax number shown through its mask: `position` counted in the
// masked text, less the characters before it that are not digits (the mask's literals).
int CalculaRecuoSelecao(const QString &text, int position);
// The length a selection of the masked text keeps in the plain digits: `length` less the characters of
// `selected` that are not digits. `length` is written back.
void CalculaNovoTamanhoSel(const QString &selected, int &length);

} // namespace Cli_bco11100
