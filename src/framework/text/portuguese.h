#pragma once

namespace bco {

// Makes the running program speak Brazilian Portuguese throughout: numbers and dates as in Brazil (the
// default locale) and Qt's own texts (the file dialogs, the print preview, the message box's buttons) from
// Qt's Brazilian Portuguese translations. Every program calls it once at start, after its application object
// exists; the translations then live as long as that object. Answers whether Qt's translations were found:
// without them Qt's own texts stay in English and everything else works as before.
bool speakBrazilianPortuguese();

} // namespace bco
