// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QIcon>
#include <map>

#include "dialog_controller.h"

class QPushButton;
class QWidget;

namespace quillbox::app {

// Template 102 on Qt Widgets: a view of CQuillboxDlg. Every control carries its template id as
// its object name ("1010" is the Generate button).
class QuillboxDialog final : public QDialog, public IDialogControls {
    Q_OBJECT

public:
    QuillboxDialog(IDialogShell& shell, GenerateFunction generate, QWidget* parent = nullptr);
    QuillboxDialog(IDialogShell& shell, RunFunction run, QWidget* parent = nullptr);

    CQuillboxDlg& Controller() { return dialog_; }
    QWidget* Control(int id) const;

    bool IsChecked(int id) const override;
    void SetChecked(int id, bool checked) override;
    std::u16string Text(int id) const override;
    void SetText(int id, std::u16string_view text) override;
    int Selection(int id) const override;
    void SetSelection(int id, int index) override;
    void Enable(int id, bool enabled) override;

    // Esc and the close button: during a run, only once it has been stopped.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void AddAboutItem();

    CQuillboxDlg dialog_;
    QIcon m_hIcon;
    QPushButton* m_btnGenerate = nullptr;
    std::map<int, QWidget*> controls_;
    bool initialised_ = false;
};

}  // namespace quillbox::app
