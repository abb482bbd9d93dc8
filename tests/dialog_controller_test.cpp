// SPDX-License-Identifier: MIT
#include "dialog_controller.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "fake_dialog_shell.h"
#include "quillbox/text.h"
#include "res/resource.h"

namespace quillbox::app {
namespace {

// The dialog's controls as plain values.
class FakeControls final : public IDialogControls {
public:
    bool IsChecked(int id) const override { return checks.count(id) != 0 && checks.at(id); }
    void SetChecked(int id, bool checked) override { checks[id] = checked; }
    std::u16string Text(int id) const override {
        return texts.count(id) != 0 ? texts.at(id) : std::u16string();
    }
    void SetText(int id, std::u16string_view text) override { texts[id] = text; }
    int Selection(int id) const override {
        return selections.count(id) != 0 ? selections.at(id) : -1;
    }
    void SetSelection(int id, int index) override { selections[id] = index; }
    void Enable(int id, bool enabled) override { disabled[id] = !enabled; }

    std::map<int, bool> checks;
    std::map<int, std::u16string> texts;
    std::map<int, int> selections;
    std::map<int, bool> disabled;
};

class DialogControllerTest : public ::testing::Test {
protected:
    DialogControllerTest()
        : dialog_(controls_, shell_, [this](const ArchiveRequest& request, RunReport* report) {
              runs_.push_back({request, controls_.disabled.count(IDC_GENERATE) != 0 &&
                                            controls_.disabled.at(IDC_GENERATE)});
              if (report != nullptr) {
                  *report = runReport_;
              }
              return runResult_;
          }) {
        shell_.generateDisabled = [this] {
            return controls_.disabled.count(IDC_GENERATE) != 0 &&
                   controls_.disabled.at(IDC_GENERATE);
        };
        dialog_.OnInitDialog();
    }

    FakeControls controls_;
    test::FakeDialogShell shell_;
    std::vector<test::RecordedRun> runs_;
    bool runResult_ = true;
    RunReport runReport_;
    CQuillboxDlg dialog_;
};

TEST_F(DialogControllerTest, StartsWithEmptyPathsUncheckedBoxesAndBySender) {
    for (const int id : {IDC_RECURSE_CONTACTS, IDC_RECURSE_MESSAGES, IDC_HTML}) {
        EXPECT_FALSE(controls_.IsChecked(id)) << id;
        ASSERT_EQ(controls_.checks.count(id), 1u) << id;
    }
    for (const int id : {IDC_CONTACT_FOLDER, IDC_MESSAGE_FOLDER, IDC_OUTPUT_FILE}) {
        ASSERT_EQ(controls_.texts.count(id), 1u) << id;
        EXPECT_EQ(controls_.texts.at(id), u"") << id;
    }
    EXPECT_EQ(controls_.Selection(IDC_SORT_ORDER), 0);
}

TEST_F(DialogControllerTest, RefusesAMissingMessageFolderFirstThenAMissingOutputFile) {
    dialog_.OnGenerate();
    controls_.SetText(IDC_OUTPUT_FILE, u"/tmp/out.txt");
    dialog_.OnGenerate();
    controls_.SetText(IDC_OUTPUT_FILE, u"");
    controls_.SetText(IDC_MESSAGE_FOLDER, u"/m");
    dialog_.OnGenerate();
    EXPECT_EQ(shell_.messages,
              (std::vector<std::u16string>{u"信息路径不能为空！", u"信息路径不能为空！",
                                           u"输出路径不能为空！"}));
    EXPECT_TRUE(runs_.empty());
    EXPECT_FALSE(controls_.disabled[IDC_GENERATE]);
}

TEST_F(DialogControllerTest, HandsTheRequestToTheRunAsTheControlsStandAtThePress) {
    controls_.SetText(IDC_MESSAGE_FOLDER, u"/home/李四/信息");
    controls_.SetText(IDC_OUTPUT_FILE, u"/tmp/存档.txt");
    dialog_.OnGenerate();  // no contact folder: the run starts all the same
    controls_.SetText(IDC_CONTACT_FOLDER, u"/c");
    controls_.SetChecked(IDC_RECURSE_MESSAGES, true);
    controls_.SetChecked(IDC_HTML, true);
    controls_.SetSelection(IDC_SORT_ORDER, 1);
    dialog_.OnGenerate();
    controls_.SetChecked(IDC_RECURSE_CONTACTS, true);
    controls_.SetChecked(IDC_RECURSE_MESSAGES, false);
    controls_.SetChecked(IDC_HTML, false);
    controls_.SetSelection(IDC_SORT_ORDER, 0);
    dialog_.OnGenerate();

    ASSERT_EQ(runs_.size(), 3u);
    using std::filesystem::path;
    const ArchiveRequest& first = runs_[0].request;
    EXPECT_EQ(first.messageFolder, path(u"/home/李四/信息"));
    EXPECT_FALSE(first.recurseMessages);
    EXPECT_EQ(first.contactsFolder, path());
    EXPECT_FALSE(first.recurseContacts);
    EXPECT_EQ(first.output, path(u"/tmp/存档.txt"));
    EXPECT_EQ(first.form, ArchiveForm::Text);
    EXPECT_EQ(first.order, SortOrder::BySender);
    EXPECT_EQ(first.report, path());

    const ArchiveRequest& second = runs_[1].request;
    EXPECT_EQ(second.contactsFolder, path("/c"));
    EXPECT_TRUE(second.recurseMessages);
    EXPECT_FALSE(second.recurseContacts);
    EXPECT_EQ(second.form, ArchiveForm::ClassicHtml);
    EXPECT_EQ(second.order, SortOrder::ByDate);

    const ArchiveRequest& third = runs_[2].request;
    EXPECT_TRUE(third.recurseContacts);
    EXPECT_FALSE(third.recurseMessages);
    EXPECT_EQ(third.form, ArchiveForm::Text);
    EXPECT_EQ(third.order, SortOrder::BySender);
}

TEST_F(DialogControllerTest, DisablesGenerateUntilTheResultHasBeenSeen) {
    controls_.SetText(IDC_MESSAGE_FOLDER, u"/m");
    controls_.SetText(IDC_OUTPUT_FILE, u"/o.txt");
    dialog_.OnGenerate();
    runResult_ = false;
    dialog_.OnGenerate();
    ASSERT_EQ(runs_.size(), 2u);
    EXPECT_TRUE(runs_[0].generateDisabled);
    EXPECT_TRUE(runs_[1].generateDisabled);
    EXPECT_EQ(shell_.messages, (std::vector<std::u16string>{u"文档生成完毕！", u"文档生成失败！"}));
    EXPECT_EQ(shell_.generateDisabledDuringMessage, (std::vector<bool>{true, true}));
    EXPECT_FALSE(controls_.disabled[IDC_GENERATE]);
}

TEST_F(DialogControllerTest, TheMessageSaysWhyARunFailedAndHowManyFilesItSkipped) {
    controls_.SetText(IDC_MESSAGE_FOLDER, u"/m");
    controls_.SetText(IDC_OUTPUT_FILE, u"/o.txt");
    runReport_.ok = true;
    runReport_.messages.skipped = {{"/m/a.vmg", SkipReason::NoDate, 0, {}, {}},
                                   {"/m/b.vmg", SkipReason::Empty, 0, {}, {}}};
    runReport_.cards.skipped = {{"/c/x.vcf", SkipReason::NoName, 0, {}, {}}};
    dialog_.OnGenerate();
    runReport_.cards.skipped.clear();
    runReport_.messages.skipped.resize(1);
    dialog_.OnGenerate();

    runResult_ = false;
    runReport_ = {};
    runReport_.failure = {RunFailure::Stage::MessageFolderMissing, 0, "/m"};
    dialog_.OnGenerate();
    const auto reason = WidenUtf8(DescribeFailure(runReport_.failure));
    ASSERT_TRUE(reason);
    ASSERT_FALSE(reason->empty());
    EXPECT_EQ(shell_.messages, (std::vector<std::u16string>{
                                   u"文档生成完毕！\n已跳过 3 个无法读取的文件",
                                   u"文档生成完毕！\n已跳过 1 个无法读取的文件",
                                   u"文档生成失败！\n" + *reason,
                               }));
    EXPECT_FALSE(controls_.disabled[IDC_GENERATE]);
}

TEST_F(DialogControllerTest, APathOutsideCodePage936IsRunAsTyped) {
    const std::u16string smile = u"/tmp/\U0001F600";
    for (const int field : {IDC_OUTPUT_FILE, IDC_CONTACT_FOLDER, IDC_MESSAGE_FOLDER}) {
        controls_.SetText(IDC_MESSAGE_FOLDER, u"/m");
        controls_.SetText(IDC_CONTACT_FOLDER, u"/c");
        controls_.SetText(IDC_OUTPUT_FILE, u"/o.txt");
        controls_.SetText(field, smile);
        dialog_.OnGenerate();
    }
    using std::filesystem::path;
    ASSERT_EQ(runs_.size(), 3u);
    EXPECT_EQ(runs_[0].request.output, path(smile));
    EXPECT_EQ(runs_[1].request.contactsFolder, path(smile));
    EXPECT_EQ(runs_[2].request.messageFolder, path(smile));
    EXPECT_EQ(runs_[2].request.contactsFolder, path("/c"));
    EXPECT_EQ(runs_[2].request.output, path("/o.txt"));
    EXPECT_EQ(shell_.messages, std::vector<std::u16string>(3, u"文档生成完毕！"));
    EXPECT_FALSE(controls_.disabled[IDC_GENERATE]);
}

TEST_F(DialogControllerTest, SaveAsTextsFollowTheHtmlBoxAsItStandsWhenBrowsing) {
    shell_.saveAnswers = {u"/tmp/a.txt", std::nullopt};
    dialog_.OnBrowseOutputFile();
    EXPECT_EQ(controls_.Text(IDC_OUTPUT_FILE), u"/tmp/a.txt");
    controls_.SetChecked(IDC_HTML, true);  // ticked after a .txt file was chosen
    dialog_.OnBrowseOutputFile();          // cancelled
    ASSERT_EQ(shell_.saveRequests.size(), 2u);
    EXPECT_EQ(shell_.saveRequests[0],
              (std::array<std::u16string, 3>{u"txt", u"Message.txt", u"文本文件(*.txt)|*.txt||"}));
    EXPECT_EQ(shell_.saveRequests[1],
              (std::array<std::u16string, 3>{u"html", u"Message.html",
                                             u"HTML文件(*.htm;*.html)|*.htm;*.html||"}));
    EXPECT_EQ(controls_.Text(IDC_OUTPUT_FILE), u"/tmp/a.txt");
    EXPECT_TRUE(controls_.IsChecked(IDC_HTML));

    // The form follows the box at the press, not the file's extension.
    controls_.SetText(IDC_MESSAGE_FOLDER, u"/m");
    dialog_.OnGenerate();
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].request.form, ArchiveForm::ClassicHtml);
    EXPECT_EQ(runs_[0].request.output, std::filesystem::path("/tmp/a.txt"));
}

TEST_F(DialogControllerTest, ChoosingAFolderKeepsTheBoxesTickedSinceTheLastExchange) {
    shell_.folderAnswers = {u"/cards", u"/messages", std::nullopt};
    controls_.SetChecked(IDC_HTML, true);
    controls_.SetChecked(IDC_RECURSE_MESSAGES, true);
    controls_.SetSelection(IDC_SORT_ORDER, 1);
    dialog_.OnBrowseContactFolder();
    EXPECT_EQ(controls_.Text(IDC_CONTACT_FOLDER), u"/cards");
    EXPECT_TRUE(controls_.IsChecked(IDC_HTML));
    EXPECT_TRUE(controls_.IsChecked(IDC_RECURSE_MESSAGES));
    EXPECT_EQ(controls_.Selection(IDC_SORT_ORDER), 1);
    EXPECT_EQ(dialog_.m_bHtml, 1);

    controls_.SetChecked(IDC_RECURSE_CONTACTS, true);
    dialog_.OnBrowseMessageFolder();
    EXPECT_EQ(controls_.Text(IDC_MESSAGE_FOLDER), u"/messages");
    EXPECT_EQ(controls_.Text(IDC_CONTACT_FOLDER), u"/cards");
    EXPECT_TRUE(controls_.IsChecked(IDC_RECURSE_CONTACTS));

    // A cancelled chooser changes nothing, members included.
    controls_.SetChecked(IDC_HTML, false);
    dialog_.OnBrowseMessageFolder();
    EXPECT_EQ(dialog_.m_bHtml, 1);
    EXPECT_FALSE(controls_.IsChecked(IDC_HTML));
    EXPECT_EQ(dialog_.m_strMessageFolder, u"/messages");
    EXPECT_EQ(shell_.folderTitles, std::vector<std::u16string>(3, u"选择路径"));
}

TEST_F(DialogControllerTest, OpensTheAboutBoxForItsSystemCommandWhateverTheLowBits) {
    for (const unsigned command : {0x0010u, 0x0011u, 0x001Fu}) {
        EXPECT_TRUE(dialog_.OnSysCommand(command)) << command;
    }
    for (const unsigned command : {0x0000u, 0x0020u, 0xF060u, 0xF010u}) {
        EXPECT_FALSE(dialog_.OnSysCommand(command)) << command;
    }
    EXPECT_EQ(shell_.aboutBoxes, 3);
}

}  // namespace
}  // namespace quillbox::app
