#include "framework/ui/one_line_text.h"

#include <algorithm>

#include <QLineEdit>

#include "framework/text/whole_characters.h"

namespace bco {

void keepOnOneLine(QLineEdit &edit) {
    QObject::connect(&edit, &QLineEdit::textEdited, &edit, [&edit](const QString &text) {
        if (isOneLine(text))
            return;
        const int cursor = edit.cursorPosition();
        const QString mended = asOneLineField(text);
        edit.setText(mended);
        edit.setCursorPosition(std::min(cursor, static_cast<int>(mended.size())));
    });
}

} // namespace bco
