// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <map>

#include "dialog_controller.h"

class QCheckBox;
class QDateEdit;

namespace quillbox::app {

// A day, or none: a box to tick and the day beside it, as a Windows date picker with
// DTS_SHOWNONE shows them.
class OptionalDateEdit final : public QWidget {
    Q_OBJECT

public:
    explicit OptionalDateEdit(QWidget* parent = nullptr);
    std::optional<CalendarDay> Day() const;
    void SetDay(std::optional<CalendarDay> day);
    QCheckBox* Box() const { return box_; }
    QDateEdit* Edit() const { return edit_; }

private:
    QCheckBox* box_;
    QDateEdit* edit_;
};

// Template 103 on Qt Widgets: a view of COptionsDlg. Every control carries its template id as
// its object name.
class OptionsDialog final : public QDialog, public IOptionsControls {
    Q_OBJECT

public:
    OptionsDialog(const ArchiveOptions& options, QWidget* parent = nullptr);

    const ArchiveOptions& Options() const { return logic_.Options(); }
    QWidget* Control(int id) const;

    bool IsChecked(int id) const override;
    void SetChecked(int id, bool checked) override;
    std::u16string Text(int id) const override;
    void SetText(int id, std::u16string_view text) override;
    int Selection(int id) const override;
    void SetSelection(int id, int index) override;
    void Enable(int id, bool enabled) override;
    std::optional<CalendarDay> Date(int id) const override;
    void SetDate(int id, std::optional<CalendarDay> day) override;

    // OK: the choices are taken, or a message box says why they cannot be and the dialog stays.
    void accept() override;

private:
    void BuildControls();

    COptionsDlg logic_;
    std::map<int, QWidget*> controls_;
};

}  // namespace quillbox::app
