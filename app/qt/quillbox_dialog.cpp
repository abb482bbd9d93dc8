// SPDX-License-Identifier: MIT
#include "qt/quillbox_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "qt/about_dialog.h"
#include "qt/dialog_units.h"
#include "qt/text.h"
#include "res/resource.h"

namespace quillbox::app {

QuillboxDialog::QuillboxDialog(IDialogShell& shell, GenerateFunction generate, QWidget* parent)
    : QuillboxDialog(shell, WithoutControl(std::move(generate)), parent) {}

QuillboxDialog::QuillboxDialog(IDialogShell& shell, RunFunction run, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      dialog_(*this, shell, std::move(run)),
      m_hIcon(ApplicationIcon()) {
    const DialogTemplate& layout = MainDialogTemplate();
    setObjectName(QString::number(layout.id));
    setWindowTitle(ToQString(layout.caption));
    setWindowIcon(m_hIcon);
    setFont(TemplateFont(layout));
    const DialogUnits units(font());
    setFixedSize(units.X(layout.width), units.Y(layout.height));
    BuildControls();
    AddAboutItem();
}

void QuillboxDialog::BuildControls() {
    const DialogUnits units(font());
    QWidget* previous = nullptr;
    for (const ControlTemplate& c : MainDialogTemplate().controls) {
        QWidget* widget = nullptr;
        QRect rect = units.Rect(c.x, c.y, c.width, c.height);
        switch (c.kind) {
            case ControlKind::PushButton:
            case ControlKind::DefaultPushButton: {
                // As in a Windows dialog: Enter presses the focused button, else "生成".
                auto* button = new QPushButton(ToQString(c.text), this);
                button->setAutoDefault(true);
                button->setDefault(c.kind == ControlKind::DefaultPushButton);
                widget = button;
                break;
            }
            case ControlKind::Label: {
                auto* label = new QLabel(ToQString(c.text), this);
                label->setAlignment(
                    (c.align == TextAlign::Center ? Qt::AlignHCenter : Qt::AlignLeft) |
                    Qt::AlignVCenter);
                widget = label;
                break;
            }
            case ControlKind::Edit: {
                auto* edit = new QLineEdit(this);
                edit->setReadOnly(c.readOnly);
                widget = edit;
                break;
            }
            case ControlKind::ComboBox: {
                auto* combo = new QComboBox(this);
                for (const auto item : kSortOrderItems) {
                    combo->addItem(ToQString(item));
                }
                // The template's height is the open list's; closed, the box is as high as an edit.
                rect.setHeight(units.Y(14));
                widget = combo;
                break;
            }
            case ControlKind::CheckBox:
                widget = new QCheckBox(ToQString(c.text), this);
                break;
            case ControlKind::Icon:
            case ControlKind::EditableComboBox:
            case ControlKind::DatePicker:
                // An icon, or what this template does not hold.
                widget = new QLabel(this);
                break;
        }
        widget->setGeometry(rect);
        if (c.id != IDC_STATIC) {
            widget->setObjectName(QString::number(c.id));
            controls_[c.id] = widget;
        }
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previous != nullptr) {
                setTabOrder(previous, widget);
            }
            previous = widget;
        }
    }
    m_btnGenerate = static_cast<QPushButton*>(Control(IDC_GENERATE));

    const auto onClick = [this](int id, void (CQuillboxDlg::*handler)()) {
        connect(static_cast<QPushButton*>(Control(id)), &QPushButton::clicked, this,
                [this, handler] { (dialog_.*handler)(); });
    };
    onClick(IDC_GENERATE, &CQuillboxDlg::OnGenerate);
    onClick(IDC_BROWSE_CONTACTS, &CQuillboxDlg::OnBrowseContactFolder);
    onClick(IDC_BROWSE_MESSAGES, &CQuillboxDlg::OnBrowseMessageFolder);
    onClick(IDC_BROWSE_OUTPUT, &CQuillboxDlg::OnBrowseOutputFile);
}

void QuillboxDialog::AddAboutItem() {
    // Window managers here offer no system menu: the items are in the context menu, About on
    // F1 and Options on Ctrl+,.
    auto* about = new QAction(ToQString(AboutMenuText()), this);
    about->setObjectName(QStringLiteral("about"));
    about->setShortcut(QKeySequence::HelpContents);
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, [this] { dialog_.OnSysCommand(IDM_ABOUTBOX); });
    addAction(about);
    auto* options = new QAction(ToQString(OptionsMenuText()), this);
    options->setObjectName(QStringLiteral("options"));
    options->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    options->setShortcutContext(Qt::WindowShortcut);
    connect(options, &QAction::triggered, this, [this] { dialog_.OnSysCommand(IDM_OPTIONS); });
    addAction(options);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void QuillboxDialog::reject() {
    if (dialog_.OnClose()) {
        QDialog::reject();
    }
}

void QuillboxDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!initialised_) {
        initialised_ = true;
        if (dialog_.OnInitDialog()) {
            m_btnGenerate->setFocus(Qt::OtherFocusReason);
        }
    }
}

QWidget* QuillboxDialog::Control(int id) const {
    const auto found = controls_.find(id);
    return found != controls_.end() ? found->second : nullptr;
}

bool QuillboxDialog::IsChecked(int id) const {
    return static_cast<QCheckBox*>(Control(id))->isChecked();
}

void QuillboxDialog::SetChecked(int id, bool checked) {
    static_cast<QCheckBox*>(Control(id))->setChecked(checked);
}

std::u16string QuillboxDialog::Text(int id) const {
    return ToU16(static_cast<QLineEdit*>(Control(id))->text());
}

void QuillboxDialog::SetText(int id, std::u16string_view text) {
    auto* edit = static_cast<QLineEdit*>(Control(id));
    edit->setText(ToQString(text));
    edit->setCursorPosition(0);
}

int QuillboxDialog::Selection(int id) const {
    return static_cast<QComboBox*>(Control(id))->currentIndex();
}

void QuillboxDialog::SetSelection(int id, int index) {
    static_cast<QComboBox*>(Control(id))->setCurrentIndex(index);
}

void QuillboxDialog::Enable(int id, bool enabled) {
    Control(id)->setEnabled(enabled);
}

}  // namespace quillbox::app
