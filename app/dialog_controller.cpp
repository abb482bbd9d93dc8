// SPDX-License-Identifier: MIT
#include "dialog_controller.h"

#include <algorithm>
#include <utility>

#include "quillbox/text.h"
#include "res/dialog_templates.h"
#include "res/resource.h"

namespace quillbox::app {

namespace {

std::u16string Number(std::size_t n) {
    return WidenUtf8(std::to_string(n)).value_or(u"");
}

}  // namespace

RunFunction WithoutControl(GenerateFunction generate) {
    return
        [generate = std::move(generate)](const ArchiveRequest& request, RunReport* report,
                                         const RunControl&) { return generate(request, report); };
}

CQuillboxDlg::CQuillboxDlg(IDialogControls& controls, IDialogShell& shell,
                           GenerateFunction generate)
    : CQuillboxDlg(controls, shell, WithoutControl(std::move(generate))) {}

CQuillboxDlg::CQuillboxDlg(IDialogControls& controls, IDialogShell& shell, RunFunction run)
    : controls_(controls), shell_(shell), run_(std::move(run)) {}

CQuillboxDlg::~CQuillboxDlg() {
    cancel_ = true;
}

void CQuillboxDlg::UpdateData(bool saveAndValidate) {
    // The exchange order of the dialog's controls.
    if (saveAndValidate) {
        m_bRecurseContacts = controls_.IsChecked(IDC_RECURSE_CONTACTS) ? 1 : 0;
        m_bRecurseMessages = controls_.IsChecked(IDC_RECURSE_MESSAGES) ? 1 : 0;
        m_strContactFolder = controls_.Text(IDC_CONTACT_FOLDER);
        m_bHtml = controls_.IsChecked(IDC_HTML) ? 1 : 0;
        m_strMessageFolder = controls_.Text(IDC_MESSAGE_FOLDER);
        m_strOutputFile = controls_.Text(IDC_OUTPUT_FILE);
        m_nSortOrder = controls_.Selection(IDC_SORT_ORDER);
    } else {
        controls_.SetChecked(IDC_RECURSE_CONTACTS, m_bRecurseContacts != 0);
        controls_.SetChecked(IDC_RECURSE_MESSAGES, m_bRecurseMessages != 0);
        controls_.SetText(IDC_CONTACT_FOLDER, m_strContactFolder);
        controls_.SetChecked(IDC_HTML, m_bHtml != 0);
        controls_.SetText(IDC_MESSAGE_FOLDER, m_strMessageFolder);
        controls_.SetText(IDC_OUTPUT_FILE, m_strOutputFile);
        controls_.SetSelection(IDC_SORT_ORDER, m_nSortOrder);
    }
}

bool CQuillboxDlg::OnInitDialog() {
    UpdateData(false);
    return true;
}

bool CQuillboxDlg::OnSysCommand(unsigned command) {
    if ((command & 0xFFF0) == IDM_OPTIONS) {
        OnOptions();
        return true;
    }
    if ((command & 0xFFF0) != IDM_ABOUTBOX) {
        return false;
    }
    shell_.ShowAbout();
    return true;
}

void CQuillboxDlg::OnGenerate() {
    if (running_) {
        return;
    }
    UpdateData(true);
    if (m_strMessageFolder.empty()) {
        shell_.ShowMessage(kMessageFolderEmpty);
        return;
    }
    if (m_strOutputFile.empty()) {
        shell_.ShowMessage(kOutputFileEmpty);
        return;
    }
    ArchiveRequest request;
    request.messageFolder = PathFromText(m_strMessageFolder);
    request.recurseMessages = m_bRecurseMessages != 0;
    if (!m_strContactFolder.empty()) {
        request.contactsFolder = PathFromText(m_strContactFolder);
    }
    request.recurseContacts = m_bRecurseContacts != 0;
    request.output = PathFromText(m_strOutputFile);
    // An archive folder's HTML pages are today's pages: there is no classic form of them.
    request.form = m_bHtml == 0                            ? ArchiveForm::Text
                   : options_.modernPage || options_.split ? ArchiveForm::ModernPage
                                                           : ArchiveForm::ClassicHtml;
    request.split = options_.split;
    request.order = SortOrder{m_nSortOrder != 0};
    request.input = options_.modern ? InputFormat::Modern : InputFormat::Classic;
    request.encoding = options_.encoding;
    request.since = options_.since;
    request.until = options_.until;
    request.dedupe = options_.dedupe;
    request.timeZone = options_.timeZone;

    controls_.Enable(IDC_GENERATE, false);
    running_ = true;
    closeAfterRun_ = false;
    cancel_ = false;
    request_ = std::move(request);
    report_ = {};
    written_ = false;
    {
        const std::lock_guard lock(progressMutex_);
        progress_ = {};
        progressPosted_ = false;
    }
    shell_.SetTitle(ProgressTitle({}));
    worker_ = shell_.RunInBackground(
        [this] {
            RunControl control;
            control.progress = [this](const RunProgress& progress) { Progress(progress); };
            control.cancel = &cancel_;
            written_ = run_(request_, &report_, control);
        },
        [this] { RunDone(); });
}

void CQuillboxDlg::Progress(const RunProgress& progress) {
    bool post = false;
    {
        const std::lock_guard lock(progressMutex_);
        progress_ = progress;
        post = !std::exchange(progressPosted_, true);
    }
    // One task on its way at a time: a run of many small files tells faster than a title needs.
    if (post) {
        shell_.Post([this] { ShowProgress(); });
    }
}

void CQuillboxDlg::ShowProgress() {
    RunProgress progress;
    {
        const std::lock_guard lock(progressMutex_);
        progress = progress_;
        progressPosted_ = false;
    }
    if (running_) {
        shell_.SetTitle(ProgressTitle(progress));
    }
}

void CQuillboxDlg::RunDone() {
    if (worker_.joinable()) {
        worker_.join();
    }
    // A message box on top of the question would answer neither: the result waits for it.
    if (asking_) {
        doneUnseen_ = true;
        return;
    }
    ShowResult();
    if (closeAfterRun_) {
        shell_.Close();
    }
}

void CQuillboxDlg::ShowResult() {
    running_ = false;
    shell_.SetTitle(MainDialogTemplate().caption);
    if (written_) {
        const SkipCounts messages = CountSkips(report_.messages);
        const SkipCounts cards = CountSkips(report_.cards);
        std::u16string text(kGenerationDone);
        if (const std::size_t files = messages.files + cards.files; files != 0) {
            text += u"\n已跳过 " + Number(files) + u" 个无法读取的文件";
        }
        if (const std::size_t items = messages.items + cards.items; items != 0) {
            text += u"\n已跳过 " + Number(items) + u" 条无法读取的信息或名片";
        }
        if (request_.input == InputFormat::Classic && report_.modernExports != 0) {
            text.append(u"\n").append(kModernExportsHint);
        }
        shell_.ShowMessage(text);
    } else {
        // The reason goes on a second line; a run that could not even start has none.
        std::u16string text(kGenerationFailed);
        if (const auto reason = WidenUtf8(DescribeFailure(report_.failure));
            reason && !reason->empty()) {
            text += u"\n" + *reason;
        }
        shell_.ShowMessage(text);
    }
    controls_.Enable(IDC_GENERATE, true);
}

bool CQuillboxDlg::OnClose() {
    if (!running_) {
        return true;
    }
    if (closeAfterRun_) {
        return false;
    }
    asking_ = true;
    const bool stop = shell_.AskToStop();
    asking_ = false;
    if (doneUnseen_) {
        doneUnseen_ = false;
        ShowResult();
        return stop;
    }
    if (stop) {
        closeAfterRun_ = true;
        cancel_ = true;
    }
    return false;
}

void CQuillboxDlg::OnOptions() {
    if (auto chosen = shell_.ChooseOptions(options_)) {
        options_ = std::move(*chosen);
    }
}

std::optional<std::u16string> CQuillboxDlg::BrowseFolder() {
    auto folder = shell_.ChooseFolder(kFolderChooserTitle);
    if (folder) {
        // Take over first, so that boxes ticked since the last exchange survive the refresh.
        UpdateData(true);
    }
    return folder;
}

void CQuillboxDlg::OnBrowseContactFolder() {
    if (auto folder = BrowseFolder()) {
        m_strContactFolder = std::move(*folder);
        UpdateData(false);
    }
}

void CQuillboxDlg::OnBrowseMessageFolder() {
    if (auto folder = BrowseFolder()) {
        m_strMessageFolder = std::move(*folder);
        UpdateData(false);
    }
}

void CQuillboxDlg::OnBrowseOutputFile() {
    UpdateData(true);
    auto file = options_.split ? shell_.ChooseFolderToWrite(kArchiveFolderChooserTitle)
                               : shell_.ChooseSaveFile(SaveAsFor(m_bHtml != 0));
    if (file) {
        m_strOutputFile = std::move(*file);
        UpdateData(false);
    }
}

void COptionsDlg::OnInitDialog() {
    controls_.SetChecked(IDC_MODERN, options_.modern);
    controls_.SetSelection(IDC_ENCODING, static_cast<int>(options_.encoding));
    controls_.SetSelection(IDC_PAGE, options_.modernPage ? 1 : 0);
    controls_.SetDate(IDC_SINCE, options_.since);
    controls_.SetDate(IDC_UNTIL, options_.until);
    controls_.SetChecked(IDC_DEDUPE, options_.dedupe);
    controls_.SetChecked(IDC_SPLIT, options_.split);
    controls_.SetText(IDC_TIME_ZONE,
                      options_.timeZone.empty()
                          ? std::u16string(kComputersZone)
                          : std::u16string(options_.timeZone.begin(), options_.timeZone.end()));
}

std::optional<std::u16string> COptionsDlg::OnOK() {
    ArchiveOptions chosen;
    chosen.modern = controls_.IsChecked(IDC_MODERN);
    switch (controls_.Selection(IDC_ENCODING)) {
        case 1:
            chosen.encoding = ArchiveEncoding::Gb18030;
            break;
        case 2:
            chosen.encoding = ArchiveEncoding::Utf8;
            break;
        default:
            chosen.encoding = ArchiveEncoding::Gbk;
            break;
    }
    chosen.modernPage = controls_.Selection(IDC_PAGE) == 1;
    chosen.since = controls_.Date(IDC_SINCE);
    chosen.until = controls_.Date(IDC_UNTIL);
    chosen.dedupe = controls_.IsChecked(IDC_DEDUPE);
    chosen.split = controls_.IsChecked(IDC_SPLIT);
    std::u16string zone = controls_.Text(IDC_TIME_ZONE);
    zone.erase(0, zone.find_first_not_of(u' '));
    zone.erase(zone.find_last_not_of(u' ') + 1);
    if (!zone.empty() && zone != kComputersZone) {
        // Zone names and offsets are ASCII: anything else names none.
        const bool ascii =
            std::all_of(zone.begin(), zone.end(), [](char16_t c) { return c < 0x80; });
        chosen.timeZone.assign(zone.begin(), zone.end());
        if (!ascii || !KnowsTimeZone(chosen.timeZone)) {
            return u"时区应为 IANA 时区名（如 Asia/Shanghai）或偏移（如 +08:00）：" + zone;
        }
    }
    if (chosen.since && chosen.until && *chosen.until < *chosen.since) {
        return u"开始日期晚于结束日期";
    }
    options_ = std::move(chosen);
    return std::nullopt;
}

std::span<const std::u16string_view> OptionItems(int id) {
    static constexpr std::u16string_view kEncodings[] = {u"GBK（经典）", u"GB18030", u"UTF-8"};
    static constexpr std::u16string_view kPages[] = {u"经典 HTML", u"新式网页"};
    static constexpr std::u16string_view kZones[] = {
        kComputersZone,      u"Asia/Shanghai",
        u"Asia/Hong_Kong",   u"Asia/Macau",
        u"Asia/Taipei",      u"Asia/Singapore",
        u"Asia/Tokyo",       u"Asia/Seoul",
        u"Europe/London",    u"Europe/Berlin",
        u"America/New_York", u"America/Los_Angeles",
        u"Australia/Sydney", u"UTC",
    };
    switch (id) {
        case IDC_ENCODING:
            return kEncodings;
        case IDC_PAGE:
            return kPages;
        case IDC_TIME_ZONE:
            return kZones;
        default:
            return {};
    }
}

std::u16string ProgressTitle(const RunProgress& progress) {
    std::u16string title(MainDialogTemplate().caption);
    if (progress.phase == RunProgress::Phase::Writing) {
        return title + u" - 正在写入";
    }
    title += u" - 正在读取";
    if (progress.total != 0) {
        title += u" " + Number(progress.done) + u"/" + Number(progress.total);
    }
    return title;
}

SaveAsRequest SaveAsFor(bool html) {
    if (html) {
        return {u"html", u"Message.html", u"HTML文件(*.htm;*.html)|*.htm;*.html||"};
    }
    return {u"txt", u"Message.txt", u"文本文件(*.txt)|*.txt||"};
}

bool LacksExtension(std::u16string_view name) {
    const auto separator = name.find_last_of(u"\\/");
    const std::u16string_view last =
        separator == std::u16string_view::npos ? name : name.substr(separator + 1);
    return !last.empty() && last.find_first_of(u".*?\"") == std::u16string_view::npos;
}

std::u16string WithExtension(std::u16string_view name, std::u16string_view extension) {
    std::u16string result(name);
    if (LacksExtension(name)) {
        result.append(u".").append(extension);
    }
    return result;
}

}  // namespace quillbox::app
