// SPDX-License-Identifier: MIT
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

#include "dialog_controller.h"

namespace quillbox::app {

struct Win32IconDeleter {
    void operator()(HICON icon) const { ::DestroyIcon(icon); }
};
using Win32Icon = std::unique_ptr<std::remove_pointer_t<HICON>, Win32IconDeleter>;

// Template 102 as a native dialog: a view of CQuillboxDlg, as the Qt dialog is on Linux.
class Win32Dialog final : public IDialogControls, public IDialogShell {
public:
    explicit Win32Dialog(HINSTANCE instance);
    Win32Dialog(const Win32Dialog&) = delete;
    Win32Dialog& operator=(const Win32Dialog&) = delete;

    // Runs the dialog modally until it is closed.
    void DoModal();

    bool IsChecked(int id) const override;
    void SetChecked(int id, bool checked) override;
    std::u16string Text(int id) const override;
    void SetText(int id, std::u16string_view text) override;
    int Selection(int id) const override;
    void SetSelection(int id, int index) override;
    void Enable(int id, bool enabled) override;

    std::optional<std::u16string> ChooseFolder(std::u16string_view title) override;
    std::optional<std::u16string> ChooseFolderToWrite(std::u16string_view title) override;
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
    std::optional<std::u16string> BrowseForFolder(std::u16string_view title, unsigned flags);
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();
    void FillFromInitialisationData();
    void AddAboutItem();
    void RunPosted();
    void SetIcons();
    void OnPaint();

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HICON m_hIcon;
    // Drawn for the dialog's screen, again when it moves to another.
    Win32Icon bigIcon_;
    Win32Icon smallIcon_;
    // The folder choosers open now: they have no owner.
    std::vector<HWND> folderChoosers_;
    // What the run's thread has for the dialog's, in order.
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
    // Last: it stops and waits for its run before the members above go.
    CQuillboxDlg dialog_;
};

}  // namespace quillbox::app
