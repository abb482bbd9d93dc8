// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

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

// The options dialog's controls: the main dialog's kinds, and date pickers that may be empty.
class IOptionsControls : public IDialogControls {
public:
    virtual std::optional<CalendarDay> Date(int id) const = 0;
    virtual void SetDate(int id, std::optional<CalendarDay> day) = 0;
};

// What the options dialog chooses: the request beyond the main dialog's controls. The defaults
// are the classic run's.
struct ArchiveOptions {
    bool modern = false;
    ArchiveEncoding encoding = ArchiveEncoding::Gbk;
    bool modernPage = false;  // the page an archive is when "HTML" is ticked
    std::optional<CalendarDay> since;
    std::optional<CalendarDay> until;
    bool dedupe = false;
    std::string timeZone;  // empty: the computer's
    bool split = false;    // an archive folder: the output is a folder, its pages HTML with "HTML"
    bool operator==(const ArchiveOptions&) const = default;
};

// What the Save As dialog is opened with: the program's texts, chosen by the HTML flag.
struct SaveAsRequest {
    std::u16string_view defaultExtension;
    std::u16string_view fileName;
    // Display text and patterns separated by "|" and ended by "||".
    std::u16string_view filter;
};

// The windows the dialog opens, and what it asks of the system around it: its title, a thread
// for the run and the way back to the dialog's thread. Tests answer them in advance.
class IDialogShell {
public:
    virtual ~IDialogShell() = default;
    // None when the user cancels.
    virtual std::optional<std::u16string> ChooseFolder(std::u16string_view title) = 0;
    // The same for a folder to write into, where the chooser can make a new one.
    virtual std::optional<std::u16string> ChooseFolderToWrite(std::u16string_view title) {
        return ChooseFolder(title);
    }
    virtual std::optional<std::u16string> ChooseSaveFile(const SaveAsRequest& request) = 0;
    // A message box with one OK button; returns when it is closed.
    virtual void ShowMessage(std::u16string_view text) = 0;
    virtual void ShowAbout() = 0;
    // The options dialog, opened with current; none when it is cancelled.
    virtual std::optional<ArchiveOptions> ChooseOptions(const ArchiveOptions& current) = 0;
    // A message box that asks whether to stop the run going on; true for yes.
    virtual bool AskToStop() = 0;
    virtual void SetTitle(std::u16string_view title) = 0;
    // Runs work on a thread, and then done on the dialog's thread while its loop goes on; the
    // thread returned ends once work has.
    virtual std::jthread RunInBackground(std::function<void()> work,
                                         std::function<void()> done) = 0;
    // Has task run on the dialog's thread soon, in the order posted; called from any thread.
    virtual void Post(std::function<void()> task) = 0;
    // Closes the dialog as its close button does.
    virtual void Close() = 0;
};

// GenerateArchive, or what a test puts in its place; the first form knows no progress and
// cannot be stopped.
using GenerateFunction = std::function<bool(const ArchiveRequest&, RunReport*)>;
using RunFunction = std::function<bool(const ArchiveRequest&, RunReport*, const RunControl&)>;
RunFunction WithoutControl(GenerateFunction generate);

// The main dialog's data and handlers, free of any toolkit: views call the handlers on their
// events and the dialog reaches its controls and windows only through the two interfaces.
// The run goes on a thread of its own, so that the dialog stays alive; the disabled "生成" is
// the guard against a second one.
class CQuillboxDlg {
public:
    CQuillboxDlg(IDialogControls& controls, IDialogShell& shell, GenerateFunction generate);
    CQuillboxDlg(IDialogControls& controls, IDialogShell& shell, RunFunction run);
    CQuillboxDlg(const CQuillboxDlg&) = delete;
    CQuillboxDlg& operator=(const CQuillboxDlg&) = delete;
    // A run still going on is stopped, and waited for.
    ~CQuillboxDlg();

    // Controls to members (a take-over) when true, members to controls (a refresh) when false.
    void UpdateData(bool saveAndValidate);

    bool OnInitDialog();
    // True when the command was the About or the Options item; the view handles every other
    // command itself.
    bool OnSysCommand(unsigned command);
    void OnGenerate();
    void OnBrowseContactFolder();
    void OnBrowseMessageFolder();
    void OnBrowseOutputFile();
    void OnOptions();
    // Whether the dialog may close now. During a run the user is asked; a yes stops the run,
    // and the dialog closes once it has ended and its result has been seen.
    bool OnClose();

    const ArchiveOptions& Options() const { return options_; }
    bool Running() const { return running_; }

    int m_bRecurseContacts = 0;
    int m_bRecurseMessages = 0;
    std::u16string m_strContactFolder;
    int m_bHtml = 0;
    std::u16string m_strMessageFolder;
    std::u16string m_strOutputFile;
    int m_nSortOrder = 0;

private:
    std::optional<std::u16string> BrowseFolder();
    // On the run's thread: keeps the newest progress and asks the dialog's thread to show it.
    void Progress(const RunProgress& progress);
    void ShowProgress();
    // On the dialog's thread, once the run has ended.
    void RunDone();
    void ShowResult();

    IDialogControls& controls_;
    IDialogShell& shell_;
    RunFunction run_;
    ArchiveOptions options_;

    // The run going on: what it was asked, and what it gave once done.
    bool running_ = false;
    ArchiveRequest request_;
    RunReport report_;
    bool written_ = false;
    std::atomic<bool> cancel_{false};
    bool closeAfterRun_ = false;
    bool asking_ = false;      // the question whether to stop is open
    bool doneUnseen_ = false;  // the run ended while it was
    std::mutex progressMutex_;
    RunProgress progress_;
    bool progressPosted_ = false;
    // Last: joined before the members the run uses go.
    std::jthread worker_;
};

// The options dialog's logic: its controls filled from the options, and read back on OK.
class COptionsDlg {
public:
    COptionsDlg(IOptionsControls& controls, ArchiveOptions options)
        : controls_(controls), options_(std::move(options)) {}

    void OnInitDialog();
    // The reason the controls' choices cannot be run (an unknown zone, a range the wrong way
    // round), for a message box; none when they are taken (Options()).
    std::optional<std::u16string> OnOK();
    const ArchiveOptions& Options() const { return options_; }

private:
    IOptionsControls& controls_;
    ArchiveOptions options_;
};

// The lists of the options dialog's combo boxes, by control id, in index order.
std::span<const std::u16string_view> OptionItems(int id);

inline constexpr std::u16string_view kMessageFolderEmpty = u"信息路径不能为空！";
inline constexpr std::u16string_view kOutputFileEmpty = u"输出路径不能为空！";
inline constexpr std::u16string_view kGenerationDone = u"文档生成完毕！";
inline constexpr std::u16string_view kGenerationFailed = u"文档生成失败！";
inline constexpr std::u16string_view kFolderChooserTitle = u"选择路径";
inline constexpr std::u16string_view kArchiveFolderChooserTitle =
    u"选择存档文件夹（空文件夹，或 Quillbox 写过的存档文件夹）";
inline constexpr std::u16string_view kModernExportsHint =
    u"这些文件是新式导出，请在“选项”中勾选“读取新式导出”后再生成";
inline constexpr std::u16string_view kAskToStop = u"正在生成文档。要停止生成吗？";
inline constexpr std::u16string_view kComputersZone = u"本机时区";

// The dialog's title during a run: "Quillbox - 正在读取 12345/100000", "Quillbox - 正在写入".
std::u16string ProgressTitle(const RunProgress& progress);

SaveAsRequest SaveAsFor(bool html);

// Whether a name typed into the Save As chooser has no extension of its own: not "a.txt", not
// "a." (a name the user ended on purpose), not a pattern or a folder path ending in a separator.
bool LacksExtension(std::u16string_view name);
// The name with ".extension" when it lacks one. Choosers append fewer letters ("htm") or none.
std::u16string WithExtension(std::u16string_view name, std::u16string_view extension);

}  // namespace quillbox::app
