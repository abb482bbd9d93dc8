// SPDX-License-Identifier: MIT
#include "qt/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "qt/dialog_units.h"
#include "qt/text.h"
#include "res/resource.h"

// The icons are compiled into a static library, whose resources are only registered when asked.
static void RegisterIconResources() {
    Q_INIT_RESOURCE(quillbox);
}

namespace quillbox::app {

QIcon ApplicationIcon() {
    RegisterIconResources();
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/quillbox/icon-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    const DialogTemplate& layout = AboutDialogTemplate();
    setObjectName(QString::number(layout.id));
    setWindowTitle(ToQString(layout.caption));
    setFont(TemplateFont(layout));
    const DialogUnits units(font());
    setFixedSize(units.X(layout.width), units.Y(layout.height));
    for (const ControlTemplate& c : layout.controls) {
        const QRect rect = units.Rect(c.x, c.y, c.width, c.height);
        switch (c.kind) {
            case ControlKind::Icon: {
                auto* icon = new QLabel(this);
                icon->setPixmap(ApplicationIcon().pixmap(rect.size()));
                icon->setGeometry(rect);
                break;
            }
            case ControlKind::Label: {
                // Shown as written: no "&" is taken for a mnemonic.
                auto* label = new QLabel(ToQString(c.text), this);
                label->setTextFormat(Qt::PlainText);
                label->setGeometry(rect);
                break;
            }
            default: {
                auto* ok = new QPushButton(ToQString(c.text), this);
                ok->setObjectName(QString::number(c.id));
                ok->setDefault(true);
                ok->setGeometry(rect);
                connect(ok, &QPushButton::clicked, this, &QDialog::accept);
                ok->setFocus();
                break;
            }
        }
    }
}

}  // namespace quillbox::app
