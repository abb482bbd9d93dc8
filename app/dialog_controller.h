// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "quillbox/archive.h"

namespace quillbox::app {

// The controls of the main dialog, by their template ids, as every view offers them.
class IDialogControls {
public:
    virtual ~IDialogControls() = default;
    virtual bool IsChecked(int id) const = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    virtual std::u16string Text(int id) const = 0;
    virtual void SetText(int id, std::u16string_view text) = 0;
    virtual int Selection(int id) const = 0;
    virtual void SetSelection(int id, int index) = 0;
    virtual void Enable(int id, bool enabled) = 0;
};

// What the Save As dialog is opened with: the program's texts, chosen by the HTML flag.
struct SaveAsRequest {
    std::u16string_view defaultExtension;
    std::u16string_view fileName;
    // Display text and patterns separated by "|" and ended by "||".
    std::u16string_view filter;
};

// The modal windows the dialog opens. Tests answer them in advance.
class IDialogShell {
public:
    virtual ~IDialogShell() = default;
    // None when the user cancels.
    virtual std::optional<std::u16string> ChooseFolder(std::u16string_view title) = 0;
    virtual std::optional<std::u16string> ChooseSaveFile(const SaveAsRequest& request) = 0;
    // A message box with one OK button; returns when it is closed.
    virtual void ShowMessage(std::u16string_view text) = 0;
    virtual void ShowAbout() = 0;
};

// GenerateArchive, or what a test puts in its place.
using GenerateFunction = std::function<bool(const ArchiveRequest&, RunReport*)>;

// The main dialog's data and handlers, free of any toolkit: views call the handlers on their
// events and the dialog reaches its controls and windows only through the two interfaces.
class CQuillboxDlg {
public:
    CQuillboxDlg(IDialogControls& controls, IDialogShell& shell, GenerateFunction generate);

    // Controls to members (a take-over) when true, members to controls (a refresh) when false.
    void UpdateData(bool saveAndValidate);

    bool OnInitDialog();
    // True when the command was the About item; the view handles every other command itself.
    bool OnSysCommand(unsigned command);
    void OnGenerate();
    void OnBrowseContactFolder();
    void OnBrowseMessageFolder();
    void OnBrowseOutputFile();

    int m_bRecurseContacts = 0;
    int m_bRecurseMessages = 0;
    std::u16string m_strContactFolder;
    int m_bHtml = 0;
    std::u16string m_strMessageFolder;
    std::u16string m_strOutputFile;
    int m_nSortOrder = 0;

private:
    std::optional<std::u16string> BrowseFolder();

    IDialogControls& controls_;
    IDialogShell& shell_;
    GenerateFunction generate_;
};

inline constexpr std::u16string_view kMessageFolderEmpty = u"信息路径不能为空！";
inline constexpr std::u16string_view kOutputFileEmpty = u"输出路径不能为空！";
inline constexpr std::u16string_view kGenerationDone = u"文档生成完毕！";
inline constexpr std::u16string_view kGenerationFailed = u"文档生成失败！";
inline constexpr std::u16string_view kFolderChooserTitle = u"选择路径";

SaveAsRequest SaveAsFor(bool html);

// Whether a name typed into the Save As chooser has no extension of its own: not "a.txt", not
// "a." (a name the user ended on purpose), not a pattern or a folder path ending in a separator.
bool LacksExtension(std::u16string_view name);
// The name with ".extension" when it lacks one. Choosers append fewer letters ("htm") or none.
std::u16string WithExtension(std::u16string_view name, std::u16string_view extension);

}  // namespace quillbox::app
