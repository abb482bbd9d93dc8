// SPDX-License-Identifier: MIT
#include "dialog_controller.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <tuple>

#include "fake_dialog_shell.h"
#include "quillbox/text.h"
#include "res/resource.h"
#include "test_files.h"

namespace quillbox::app {
namespace {

namespace files = quillbox::test;

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

    // An archive folder is a folder: 浏览 chooses one.
    ArchiveOptions split;
    split.split = true;
    shell_.optionsAnswers = {split};
    dialog_.OnOptions();
    shell_.folderAnswers = {u"/tmp/archive"};
    dialog_.OnBrowseOutputFile();
    EXPECT_EQ(shell_.saveRequests.size(), 2u);
    EXPECT_EQ(shell_.folderTitles,
              std::vector<std::u16string>{std::u16string(kArchiveFolderChooserTitle)});
    EXPECT_EQ(controls_.Text(IDC_OUTPUT_FILE), u"/tmp/archive");
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
    for (const unsigned command : {0x0000u, 0x0030u, 0xF060u, 0xF010u}) {
        EXPECT_FALSE(dialog_.OnSysCommand(command)) << command;
    }
    EXPECT_EQ(shell_.aboutBoxes, 3);
}

TEST_F(DialogControllerTest, OpensTheOptionsForTheirSystemCommandAndKeepsWhatOkChose) {
    ArchiveOptions chosen;
    chosen.modern = true;
    chosen.timeZone = "Asia/Shanghai";
    shell_.optionsAnswers = {chosen, std::nullopt};
    EXPECT_TRUE(dialog_.OnSysCommand(0x0020u));
    EXPECT_TRUE(dialog_.OnSysCommand(0x002Fu));  // cancelled: the choices stay
    EXPECT_EQ(shell_.optionsOpenedWith, (std::vector<ArchiveOptions>{ArchiveOptions{}, chosen}));
    EXPECT_EQ(dialog_.Options(), chosen);
    EXPECT_EQ(shell_.aboutBoxes, 0);
}

// The request's fields beyond the main dialog's controls.
auto OptionFields(const ArchiveRequest& r) {
    return std::tuple(r.input, r.encoding, r.form, r.since, r.until, r.dedupe, r.timeZone, r.split,
                      r.jobs, r.report);
}

TEST_F(DialogControllerTest, EachOptionReachesTheRequestAndNoneChangedIsTheClassicRun) {
    controls_.SetText(IDC_MESSAGE_FOLDER, u"/m");
    controls_.SetText(IDC_OUTPUT_FILE, u"/o.txt");
    const ArchiveRequest classic = [] {
        ArchiveRequest request;
        request.form = ArchiveForm::ClassicHtml;
        return request;
    }();
    const CalendarDay day{2009, 3, 18};
    struct Case {
        const char* name;
        std::function<void(ArchiveOptions&)> choose;
        std::function<void(ArchiveRequest&)> expect;
    };
    const Case cases[] = {
        {"none", [](ArchiveOptions&) {}, [](ArchiveRequest&) {}},
        {"modern", [](ArchiveOptions& o) { o.modern = true; },
         [](ArchiveRequest& r) { r.input = InputFormat::Modern; }},
        {"gb18030", [](ArchiveOptions& o) { o.encoding = ArchiveEncoding::Gb18030; },
         [](ArchiveRequest& r) { r.encoding = ArchiveEncoding::Gb18030; }},
        {"utf-8", [](ArchiveOptions& o) { o.encoding = ArchiveEncoding::Utf8; },
         [](ArchiveRequest& r) { r.encoding = ArchiveEncoding::Utf8; }},
        {"modern page", [](ArchiveOptions& o) { o.modernPage = true; },
         [](ArchiveRequest& r) { r.form = ArchiveForm::ModernPage; }},
        {"since", [&](ArchiveOptions& o) { o.since = day; },
         [&](ArchiveRequest& r) { r.since = day; }},
        {"until", [&](ArchiveOptions& o) { o.until = day; },
         [&](ArchiveRequest& r) { r.until = day; }},
        {"dedupe", [](ArchiveOptions& o) { o.dedupe = true; },
         [](ArchiveRequest& r) { r.dedupe = true; }},
        {"zone", [](ArchiveOptions& o) { o.timeZone = "+08:00"; },
         [](ArchiveRequest& r) { r.timeZone = "+08:00"; }},
        {"split", [](ArchiveOptions& o) { o.split = true; },
         [](ArchiveRequest& r) {
             r.split = true;
             r.form = ArchiveForm::ModernPage;
         }},
    };
    controls_.SetChecked(IDC_HTML, true);
    for (const Case& c : cases) {
        ArchiveOptions options;
        c.choose(options);
        shell_.optionsAnswers = {options};
        dialog_.OnOptions();
        dialog_.OnGenerate();
        ArchiveRequest expected = classic;
        c.expect(expected);
        ASSERT_FALSE(runs_.empty());
        EXPECT_EQ(OptionFields(runs_.back().request), OptionFields(expected)) << c.name;
    }
    // The page is a kind of HTML: without the box the archive is text.
    controls_.SetChecked(IDC_HTML, false);
    dialog_.OnGenerate();
    EXPECT_EQ(runs_.back().request.form, ArchiveForm::Text);
}

TEST_F(DialogControllerTest, ProgressShowsInTheTitleInOrderAndGenerateWaitsForTheEnd) {
    using Phase = RunProgress::Phase;
    CQuillboxDlg dialog(
        controls_, shell_, [this](const ArchiveRequest& request, RunReport*, const RunControl& c) {
            runs_.push_back({request, controls_.disabled[IDC_GENERATE]});
            for (const RunProgress p :
                 {RunProgress{Phase::Reading, 0, 3}, RunProgress{Phase::Reading, 2, 3},
                  RunProgress{Phase::Reading, 3, 3}, RunProgress{Phase::Writing, 0, 3}}) {
                c.progress(p);
            }
            return true;
        });
    controls_.SetText(IDC_MESSAGE_FOLDER, u"/m");
    controls_.SetText(IDC_OUTPUT_FILE, u"/o.txt");
    shell_.holdRuns = true;
    dialog.OnGenerate();
    dialog.OnGenerate();  // "生成" is disabled: a press that reaches the dialog starts nothing
    EXPECT_TRUE(dialog.Running());
    EXPECT_TRUE(controls_.disabled[IDC_GENERATE]);
    shell_.FinishRun();
    EXPECT_EQ(runs_.size(), 1u);
    EXPECT_EQ(shell_.titles,
              (std::vector<std::u16string>{u"Quillbox - 正在读取", u"Quillbox - 正在读取 0/3",
                                           u"Quillbox - 正在读取 2/3", u"Quillbox - 正在读取 3/3",
                                           u"Quillbox - 正在写入", u"Quillbox"}));
    EXPECT_EQ(shell_.messages, std::vector<std::u16string>{u"文档生成完毕！"});
    EXPECT_FALSE(controls_.disabled[IDC_GENERATE]);
    EXPECT_TRUE(dialog.OnClose());
}

// The controller with the real run, on folders of the test's own.
class DialogRunTest : public DialogControllerTest {
protected:
    DialogRunTest() : dialog_(controls_, shell_, RunFunction(&GenerateArchive)) {
        std::filesystem::create_directories(dir_ / "m");
        controls_.SetText(IDC_MESSAGE_FOLDER, (dir_ / "m").u16string());
        controls_.SetText(IDC_OUTPUT_FILE, (dir_ / "archive.txt").u16string());
    }

    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.Path())) {
            files.push_back(entry.path().lexically_relative(dir_.Path()).generic_string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    files::TempDir dir_;
    CQuillboxDlg dialog_;
};

TEST_F(DialogRunTest, TheHintNamesTheOptionForEachKindOfTodaysExports) {
    const std::string vmsg = files::MessageText("10086", "2009/03/18 10:15:30", "x");
    const std::u16string done = u"文档生成完毕！";
    const std::u16string skipped = u"\n已跳过 1 个无法读取的文件";
    const std::u16string hint = u"\n" + std::u16string(kModernExportsHint);
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string classic;
    };
    const Case cases[] = {
        {"m/classic.vmg", files::Utf16Le(vmsg), done},
        {"m/utf8.vmg", vmsg, done + skipped + hint},
        {"m/two.vmg", files::Utf16Le(vmsg + vmsg), done + hint},
        {"c/cards.vcf", "BEGIN:VCARD\nFN:A\nTEL:1\nEND:VCARD\nBEGIN:VCARD\nFN:B\nEND:VCARD\n",
         done + u"\n已跳过 1 条无法读取的信息或名片" + hint},
        {"m/export.vmsg", vmsg, done + hint},
        {"m/sms-20231115.xml", "<smses/>", done + hint},
        {"m/sms.db", "", done + hint},
        {"m/chat.db", "", done + hint},
        {"m/backup/Manifest.db", "", done + hint},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir_ / "m");
        std::filesystem::remove_all(dir_ / "c");
        std::filesystem::create_directories((dir_ / c.name).parent_path());
        std::filesystem::create_directories(dir_ / "m");
        files::WriteBytes(dir_ / c.name, c.bytes);
        controls_.SetText(IDC_CONTACT_FOLDER, std::string_view(c.name).starts_with("c/")
                                                  ? (dir_ / "c").u16string()
                                                  : u"");
        shell_.messages.clear();
        shell_.optionsAnswers = {ArchiveOptions{}};
        dialog_.OnOptions();
        dialog_.OnGenerate();
        ArchiveOptions modern;
        modern.modern = true;
        shell_.optionsAnswers = {modern};
        dialog_.OnOptions();
        dialog_.OnGenerate();
        ASSERT_EQ(shell_.messages.size(), 2u) << c.name;
        EXPECT_EQ(shell_.messages[0], c.classic) << c.name;
        EXPECT_EQ(shell_.messages[1].find(kModernExportsHint), std::u16string::npos) << c.name;
    }
}

TEST_F(DialogRunTest, ClosingDuringARunAsksAndAStopLeavesTheOldArchiveWhole) {
    for (int i = 0; i < 10; ++i) {
        files::WriteMessage(dir_ / "m" / (std::to_string(i) + ".vmg"), "1", "1.1.2009 0:0:0", "x");
    }
    files::WriteBytes(dir_ / "archive.txt", "the old archive");
    const std::vector<std::string> before = Files();
    shell_.holdRuns = true;

    // No: the run goes on to its end, and the dialog stays.
    dialog_.OnGenerate();
    EXPECT_FALSE(dialog_.OnClose());
    shell_.FinishRun();
    EXPECT_EQ(shell_.messages.back(), u"文档生成完毕！");
    EXPECT_NE(files::ReadBytes(dir_ / "archive.txt"), "the old archive");

    // Yes: the run stops, says so, and the dialog closes after its message.
    files::WriteBytes(dir_ / "archive.txt", "the old archive");
    shell_.stopAnswer = true;
    dialog_.OnGenerate();
    EXPECT_FALSE(dialog_.OnClose());
    EXPECT_FALSE(dialog_.OnClose());  // asked once: it is stopping
    EXPECT_EQ(shell_.closes, 0);
    shell_.FinishRun();
    EXPECT_EQ(shell_.messages.back(), u"文档生成失败！\n生成已停止，输出文件保持原样");
    EXPECT_EQ(shell_.closes, 1);
    EXPECT_EQ(shell_.stopQuestions, 2);
    EXPECT_EQ(files::ReadBytes(dir_ / "archive.txt"), "the old archive");
    EXPECT_EQ(Files(), before);
    EXPECT_EQ(shell_.titles.back(), u"Quillbox");

    // A run that ends while the question is open shows its result after the answer.
    dialog_.OnGenerate();
    shell_.whileAsking = [this] { shell_.FinishRun(); };
    const std::size_t shown = shell_.messages.size();
    EXPECT_TRUE(dialog_.OnClose());
    EXPECT_EQ(shell_.messages.size(), shown + 1);
    EXPECT_EQ(shell_.messages.back(), u"文档生成完毕！");
    EXPECT_FALSE(dialog_.Running());
}

// The options dialog's controls as plain values.
class FakeOptionsControls final : public IOptionsControls {
public:
    bool IsChecked(int id) const override { return main.IsChecked(id); }
    void SetChecked(int id, bool checked) override { main.SetChecked(id, checked); }
    std::u16string Text(int id) const override { return main.Text(id); }
    void SetText(int id, std::u16string_view text) override { main.SetText(id, text); }
    int Selection(int id) const override { return main.Selection(id); }
    void SetSelection(int id, int index) override { main.SetSelection(id, index); }
    void Enable(int id, bool enabled) override { main.Enable(id, enabled); }
    std::optional<CalendarDay> Date(int id) const override {
        return dates.count(id) != 0 ? dates.at(id) : std::nullopt;
    }
    void SetDate(int id, std::optional<CalendarDay> day) override { dates[id] = day; }

    FakeControls main;
    std::map<int, std::optional<CalendarDay>> dates;
};

TEST(OptionsDialog, ShowsTheOptionsAndTakesBackOnlyWhatCanBeRun) {
    ArchiveOptions options;
    options.modern = true;
    options.encoding = ArchiveEncoding::Utf8;
    options.modernPage = true;
    options.since = CalendarDay{2009, 3, 18};
    options.dedupe = true;
    options.timeZone = "Asia/Shanghai";
    options.split = true;
    FakeOptionsControls controls;
    COptionsDlg shown(controls, options);
    shown.OnInitDialog();
    EXPECT_TRUE(controls.IsChecked(IDC_MODERN));
    EXPECT_EQ(OptionItems(IDC_ENCODING)[static_cast<std::size_t>(controls.Selection(IDC_ENCODING))],
              u"UTF-8");
    EXPECT_EQ(controls.Selection(IDC_PAGE), 1);
    EXPECT_EQ(controls.Date(IDC_SINCE), options.since);
    EXPECT_EQ(controls.Date(IDC_UNTIL), std::nullopt);
    EXPECT_EQ(controls.Text(IDC_TIME_ZONE), u"Asia/Shanghai");
    EXPECT_EQ(shown.OnOK(), std::nullopt);
    EXPECT_EQ(shown.Options(), options);

    COptionsDlg classic(controls, ArchiveOptions{});
    classic.OnInitDialog();
    EXPECT_EQ(controls.Text(IDC_TIME_ZONE), kComputersZone);
    EXPECT_EQ(classic.OnOK(), std::nullopt);
    EXPECT_EQ(classic.Options(), ArchiveOptions{});

    struct Case {
        std::u16string_view zone;
        std::optional<CalendarDay> since;
        std::optional<CalendarDay> until;
        std::optional<std::string> taken;  // the zone taken; none when refused
    };
    const CalendarDay first{2009, 1, 1};
    const CalendarDay second{2009, 1, 2};
    const Case cases[] = {
        {u" +08:00 ", {}, {}, "+08:00"},
        {u"asia/tokyo", {}, {}, "asia/tokyo"},
        {u"", {}, {}, ""},
        {u"Mars/Olympus", {}, {}, std::nullopt},
        {u"亚洲/上海", {}, {}, std::nullopt},
        {kComputersZone, first, first, ""},
        {kComputersZone, second, first, std::nullopt},
    };
    for (const Case& c : cases) {
        COptionsDlg dialog(controls, options);
        dialog.OnInitDialog();
        controls.SetText(IDC_TIME_ZONE, c.zone);
        controls.SetDate(IDC_SINCE, c.since);
        controls.SetDate(IDC_UNTIL, c.until);
        const auto refused = dialog.OnOK();
        const std::size_t row = static_cast<std::size_t>(&c - cases);
        EXPECT_EQ(refused.has_value(), !c.taken) << row;
        if (c.taken) {
            EXPECT_EQ(dialog.Options().timeZone, *c.taken) << row;
            EXPECT_EQ(dialog.Options().since, c.since) << row;
        } else {
            EXPECT_EQ(dialog.Options(), options) << row;
        }
    }
}

// A shell whose run goes on a thread while the test's thread plays the dialog's loop.
class ThreadedShell final : public IDialogShell {
public:
    std::optional<std::u16string> ChooseFolder(std::u16string_view) override { return {}; }
    std::optional<std::u16string> ChooseSaveFile(const SaveAsRequest&) override { return {}; }
    void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
    void ShowAbout() override {}
    std::optional<ArchiveOptions> ChooseOptions(const ArchiveOptions&) override { return {}; }
    bool AskToStop() override { return true; }
    void SetTitle(std::u16string_view title) override { titles.emplace_back(title); }
    std::jthread RunInBackground(std::function<void()> work, std::function<void()> done) override {
        return std::jthread([this, work = std::move(work), done = std::move(done)] {
            work();
            Post(done);
        });
    }
    void Post(std::function<void()> task) override {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        posted_.notify_one();
    }
    void Close() override { closed = true; }

    // The dialog's loop: runs what was posted until the dialog has closed.
    void Loop() {
        while (!closed) {
            std::unique_lock lock(mutex_);
            posted_.wait(lock, [this] { return !tasks_.empty(); });
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
        }
    }

    std::vector<std::u16string> messages;
    std::vector<std::u16string> titles;
    bool closed = false;

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

TEST(DialogThread, TheRunGoesOnAThreadAndIsStoppedFromTheDialogs) {
    files::TempDir dir;
    for (int i = 0; i < 600; ++i) {
        files::WriteMessage(dir / ("m/" + std::to_string(i) + ".vmg"), "1", "1.1.2009 0:0:0", "x");
    }
    FakeControls controls;
    ThreadedShell shell;
    bool stopped = false;
    CQuillboxDlg dialog(controls, shell,
                        [&](const ArchiveRequest& request, RunReport* report, const RunControl& c) {
                            RunControl control = c;
                            // Asked to stop at the first progress, on the run's thread.
                            control.progress = [&, c](const RunProgress& progress) {
                                c.progress(progress);
                                if (!stopped) {
                                    stopped = true;
                                    shell.Post([&] { dialog.OnClose(); });
                                    while (!c.cancel->load()) {
                                        std::this_thread::yield();
                                    }
                                }
                            };
                            return GenerateArchive(request, report, control);
                        });
    dialog.OnInitDialog();
    controls.SetText(IDC_MESSAGE_FOLDER, (dir / "m").u16string());
    controls.SetText(IDC_OUTPUT_FILE, (dir / "archive.txt").u16string());
    dialog.OnGenerate();
    shell.Loop();
    EXPECT_EQ(shell.messages,
              std::vector<std::u16string>{u"文档生成失败！\n生成已停止，输出文件保持原样"});
    EXPECT_EQ(shell.titles.back(), u"Quillbox");
    EXPECT_FALSE(std::filesystem::exists(dir / "archive.txt"));
}

}  // namespace
}  // namespace quillbox::app
