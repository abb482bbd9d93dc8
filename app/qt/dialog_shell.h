// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include "dialog_controller.h"

class QWidget;

namespace quillbox::app {

// The real modal windows: Qt's folder chooser and Save As dialog, message boxes, the About box
// and the options; the run on a thread of its own, its results back through parent's events.
class QtDialogShell final : public IDialogShell {
public:
    void SetParent(QWidget* parent) { parent_ = parent; }

    std::optional<std::u16string> ChooseFolder(std::u16string_view title) override;
    std::optional<std::u16string> ChooseSaveFile(const SaveAsRequest& request) override;
    void ShowMessage(std::u16string_view text) override;
    void ShowAbout() override;
    std::optional<ArchiveOptions> ChooseOptions(const ArchiveOptions& current) override;
    bool AskToStop() override;
    void SetTitle(std::u16string_view title) override;
    std::jthread RunInBackground(std::function<void()> work, std::function<void()> done) override;
    void Post(std::function<void()> task) override;
    void Close() override;

private:
    QWidget* parent_ = nullptr;
};

// "HTML文件(*.htm;*.html)|*.htm;*.html||" as Qt's name filters, the display text kept.
QStringList QtNameFilters(std::u16string_view filter);

}  // namespace quillbox::app
