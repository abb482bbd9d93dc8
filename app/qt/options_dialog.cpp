// SPDX-License-Identifier: MIT
#include "qt/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "qt/dialog_units.h"
#include "qt/text.h"
#include "res/dialog_templates.h"
#include "res/resource.h"

namespace quillbox::app {

OptionalDateEdit::OptionalDateEdit(QWidget* parent)
    : QWidget(parent), box_(new QCheckBox(this)), edit_(new QDateEdit(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(box_);
    layout->addWidget(edit_, 1);
    edit_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit_->setCalendarPopup(true);
    edit_->setDate(QDate::currentDate());
    edit_->setEnabled(false);
    // A label's letter reaches the box through the picker, which takes no focus of its own.
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(box_);
    connect(box_, &QCheckBox::toggled, edit_, &QWidget::setEnabled);
}

std::optional<CalendarDay> OptionalDateEdit::Day() const {
    if (!box_->isChecked()) {
        return std::nullopt;
    }
    const QDate date = edit_->date();
    return CalendarDay{date.year(), date.month(), date.day()};
}

void OptionalDateEdit::SetDay(std::optional<CalendarDay> day) {
    box_->setChecked(day.has_value());
    edit_->setDate(day ? QDate(day->year, day->month, day->day) : QDate::currentDate());
}

OptionsDialog::OptionsDialog(const ArchiveOptions& options, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      logic_(*this, options) {
    const DialogTemplate& layout = OptionsDialogTemplate();
    setObjectName(QString::number(layout.id));
    setWindowTitle(ToQString(layout.caption));
    setFont(TemplateFont(layout));
    const DialogUnits units(font());
    setFixedSize(units.X(layout.width), units.Y(layout.height));
    BuildControls();
    logic_.OnInitDialog();
}

void OptionsDialog::BuildControls() {
    const DialogUnits units(font());
    QWidget* previous = nullptr;
    const auto chain = [&previous, this](QWidget* widget) {
        if (previous != nullptr) {
            setTabOrder(previous, widget);
        }
        previous = widget;
    };
    // A label's "&" letter moves the focus to the control after it, as in a Windows dialog.
    QLabel* waitingForBuddy = nullptr;
    for (const ControlTemplate& c : OptionsDialogTemplate().controls) {
        QWidget* widget = nullptr;
        QRect rect = units.Rect(c.x, c.y, c.width, c.height);
        switch (c.kind) {
            case ControlKind::Label:
                waitingForBuddy = new QLabel(ToQString(c.text), this);
                widget = waitingForBuddy;
                break;
            case ControlKind::CheckBox:
                widget = new QCheckBox(ToQString(c.text), this);
                break;
            case ControlKind::ComboBox:
            case ControlKind::EditableComboBox: {
                auto* combo = new QComboBox(this);
                combo->setEditable(c.kind == ControlKind::EditableComboBox);
                for (const auto item : OptionItems(c.id)) {
                    combo->addItem(ToQString(item));
                }
                // The template's height is the open list's; closed, the box is as high as an edit.
                rect.setHeight(units.Y(14));
                widget = combo;
                break;
            }
            case ControlKind::DatePicker:
                widget = new OptionalDateEdit(this);
                break;
            case ControlKind::PushButton:
            case ControlKind::DefaultPushButton: {
                auto* button = new QPushButton(ToQString(c.text), this);
                button->setAutoDefault(true);
                button->setDefault(c.kind == ControlKind::DefaultPushButton);
                connect(button, &QPushButton::clicked, this,
                        c.id == IDOK ? &QDialog::accept : &QDialog::reject);
                widget = button;
                break;
            }
            case ControlKind::Edit:
            case ControlKind::Icon:
                // Not in this template.
                widget = new QWidget(this);
                break;
        }
        widget->setGeometry(rect);
        if (c.id == IDC_STATIC) {
            continue;
        }
        widget->setObjectName(QString::number(c.id));
        controls_[c.id] = widget;
        if (waitingForBuddy != nullptr) {
            waitingForBuddy->setBuddy(widget);
            waitingForBuddy = nullptr;
        }
        if (auto* date = qobject_cast<OptionalDateEdit*>(widget)) {
            chain(date->Box());
            chain(date->Edit());
        } else {
            chain(widget);
        }
    }
}

void OptionsDialog::accept() {
    if (const auto refused = logic_.OnOK()) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quillbox"), ToQString(*refused),
                        QMessageBox::Ok, this);
        box.exec();
        return;
    }
    QDialog::accept();
}

QWidget* OptionsDialog::Control(int id) const {
    const auto found = controls_.find(id);
    return found != controls_.end() ? found->second : nullptr;
}

bool OptionsDialog::IsChecked(int id) const {
    return static_cast<QCheckBox*>(Control(id))->isChecked();
}

void OptionsDialog::SetChecked(int id, bool checked) {
    static_cast<QCheckBox*>(Control(id))->setChecked(checked);
}

std::u16string OptionsDialog::Text(int id) const {
    return ToU16(static_cast<QComboBox*>(Control(id))->currentText());
}

void OptionsDialog::SetText(int id, std::u16string_view text) {
    static_cast<QComboBox*>(Control(id))->setCurrentText(ToQString(text));
}

int OptionsDialog::Selection(int id) const {
    return static_cast<QComboBox*>(Control(id))->currentIndex();
}

void OptionsDialog::SetSelection(int id, int index) {
    static_cast<QComboBox*>(Control(id))->setCurrentIndex(index);
}

void OptionsDialog::Enable(int id, bool enabled) {
    Control(id)->setEnabled(enabled);
}

std::optional<CalendarDay> OptionsDialog::Date(int id) const {
    return static_cast<OptionalDateEdit*>(Control(id))->Day();
}

void OptionsDialog::SetDate(int id, std::optional<CalendarDay> day) {
    static_cast<OptionalDateEdit*>(Control(id))->SetDay(day);
}

}  // namespace quillbox::app
