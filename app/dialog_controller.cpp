// SPDX-License-Identifier: MIT
#include "dialog_controller.h"

#include "quillbox/text.h"
#include "res/resource.h"

namespace quillbox::app {

CQuillboxDlg::CQuillboxDlg(IDialogControls& controls, IDialogShell& shell,
                           GenerateFunction generate)
    : controls_(controls), shell_(shell), generate_(std::move(generate)) {}

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
    if ((command & 0xFFF0) != IDM_ABOUTBOX) {
        return false;
    }
    shell_.ShowAbout();
    return true;
}

void CQuillboxDlg::OnGenerate() {
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
    request.form = m_bHtml != 0 ? ArchiveForm::ClassicHtml : ArchiveForm::Text;
    request.order = SortOrder{m_nSortOrder != 0};

    controls_.Enable(IDC_GENERATE, false);
    RunReport report;
    if (generate_(request, &report)) {
        const SkipCounts messages = CountSkips(report.messages);
        const SkipCounts cards = CountSkips(report.cards);
        std::u16string text(kGenerationDone);
        if (const std::size_t files = messages.files + cards.files; files != 0) {
            text += u"\n已跳过 " + WidenUtf8(std::to_string(files)).value_or(u"") +
                    u" 个无法读取的文件";
        }
        if (const std::size_t items = messages.items + cards.items; items != 0) {
            text += u"\n已跳过 " + WidenUtf8(std::to_string(items)).value_or(u"") +
                    u" 条无法读取的信息或名片";
        }
        shell_.ShowMessage(text);
    } else {
        // The reason goes on a second line; a run that could not even start has none.
        std::u16string text(kGenerationFailed);
        if (const auto reason = WidenUtf8(DescribeFailure(report.failure));
            reason && !reason->empty()) {
            text += u"\n" + *reason;
        }
        shell_.ShowMessage(text);
    }
    controls_.Enable(IDC_GENERATE, true);
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
    if (auto file = shell_.ChooseSaveFile(SaveAsFor(m_bHtml != 0))) {
        m_strOutputFile = std::move(*file);
        UpdateData(false);
    }
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
