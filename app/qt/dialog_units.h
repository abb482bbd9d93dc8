// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QRect>

#include "res/dialog_templates.h"

namespace quillbox::app {

// The dialog font of a template, with CJK fallbacks where SimSun is absent.
QFont TemplateFont(const DialogTemplate& dialog);

// Dialog units to pixels, as Windows maps them: horizontally a quarter of the font's average
// character width, vertically an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;

private:
    int baseX_;
    int baseY_;
};

}  // namespace quillbox::app
