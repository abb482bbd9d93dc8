// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include "dialog_controller.h"

class QWidget;

namespace quillbox::app {

// The real modal windows: Qt's folder chooser and Save As dialog, message boxes, the About box.
class QtDialogShell final : public IDialogShell {
public:
    void SetParent(QWidget* parent) { parent_ = parent; }

    std::optional<std::u16string> ChooseFolder(std::u16string_view title) override;
    std::optional<std::u16string> ChooseSaveFile(const SaveAsRequest& request) override;
    void ShowMessage(std::u16string_view text) override;
    void ShowAbout() override;

private:
    QWidget* parent_ = nullptr;
};

// "HTML文件(*.htm;*.html)|*.htm;*.html||" as Qt's name filters, the display text kept.
QStringList QtNameFilters(std::u16string_view filter);

}  // namespace quillbox::app
