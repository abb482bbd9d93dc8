// SPDX-License-Identifier: MIT
#include "qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>

#include "qt/text.h"

namespace quillbox::app {

QFont TemplateFont(const DialogTemplate& dialog) {
    QFont font;
    QStringList families;
    families << ToQString(dialog.fontFace) << QStringLiteral("SimSun")
             << QStringLiteral("Noto Sans CJK SC") << QStringLiteral("WenQuanYi Micro Hei");
    font.setFamilies(families);
    font.setPointSize(dialog.fontPoints);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // Windows' own average: the width of the 52 Latin letters, per pair, rounded.
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (alphabet / 26 + 1) / 2;
    baseY_ = metrics.height();
}

int DialogUnits::X(int units) const {
    return (units * baseX_ + 2) / 4;
}

int DialogUnits::Y(int units) const {
    return (units * baseY_ + 4) / 8;
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return {X(x), Y(y), X(width), Y(height)};
}

}  // namespace quillbox::app
