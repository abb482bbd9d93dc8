// SPDX-License-Identifier: MIT
// The tables made from the resource script, and the rules the views share around them.

#include "res/dialog_templates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dialog_controller.h"
#include "res/resource.h"
#include "test_files.h"

namespace quillbox::app {
namespace {

// SimSun at 9 points on a 96 dpi screen, the font the templates were made for: every ASCII
// glyph 6 pixels wide, every CJK glyph 12, 12 pixels high; so 4 dialog units are 6 pixels.
constexpr int kSimSunAscii = 6;
constexpr int kSimSunCjk = 12;
constexpr int kSimSunBaseX = 6;
// The check box's square and the gap before its text.
constexpr int kCheckBoxMark = 16;

int SimSunWidth(std::u16string_view text) {
    int width = 0;
    for (const char16_t c : text) {
        width += c < 0x80 ? kSimSunAscii : kSimSunCjk;
    }
    return width;
}

TEST(DialogTemplates, EveryTextFitsItsControlInSimSun) {
    for (const DialogTemplate* dialog : {&MainDialogTemplate(), &AboutDialogTemplate()}) {
        for (const ControlTemplate& c : dialog->controls) {
            if (c.text.empty()) {
                continue;
            }
            const int room = c.width * kSimSunBaseX / 4;
            int needed = SimSunWidth(c.text);
            if (c.kind == ControlKind::CheckBox) {
                needed += kCheckBoxMark;
            }
            EXPECT_LE(needed, room) << "template " << dialog->id << ", control at " << c.x << ","
                                    << c.y << " is " << c.width << " units wide";
        }
    }
}

TEST(DialogTemplates, KeepTheirControlsTextsAndOrder) {
    std::vector<std::pair<int, std::u16string_view>> main;
    for (const ControlTemplate& c : MainDialogTemplate().controls) {
        main.emplace_back(c.id, c.text);
    }
    const std::vector<std::pair<int, std::u16string_view>> expected = {
        {IDC_GENERATE, u"生成"},
        {IDC_STATIC, u"联系人目录："},
        {IDC_CONTACT_FOLDER, u""},
        {IDC_BROWSE_CONTACTS, u"浏览"},
        {IDC_STATIC, u"信息目录："},
        {IDC_MESSAGE_FOLDER, u""},
        {IDC_SORT_ORDER, u""},
        {IDC_BROWSE_MESSAGES, u"浏览"},
        {IDC_STATIC, u"排序方式："},
        {IDC_STATIC, u"输出文件："},
        {IDC_OUTPUT_FILE, u""},
        {IDC_BROWSE_OUTPUT, u"浏览"},
        {IDC_RECURSE_CONTACTS, u"递归子目录"},
        {IDC_RECURSE_MESSAGES, u"递归子目录"},
        {IDC_HTML, u"HTML"},
    };
    EXPECT_EQ(main, expected);

    std::vector<std::u16string_view> about;
    for (const ControlTemplate& c : AboutDialogTemplate().controls) {
        about.push_back(c.text);
    }
    EXPECT_EQ(about, (std::vector<std::u16string_view>{
                         u"", u"Quillbox 1.0 版", u"意见与建议：quillbox@example.org", u"确定"}));
    EXPECT_EQ(AboutMenuText(), u"关于 Quillbox(&A)...");
    EXPECT_EQ(MainDialogTemplate().caption, u"Quillbox");
    EXPECT_EQ(AboutDialogTemplate().caption, u"关于 Quillbox");
}

TEST(DialogTemplates, SortOrderListIsTheScriptsInitialisationData) {
    const auto narrow = SortOrderItems936();
    ASSERT_EQ(narrow.size(), std::size(kSortOrderItems));
    for (std::size_t i = 0; i < narrow.size(); ++i) {
        std::string utf16;
        for (const char16_t unit : kSortOrderItems[i]) {
            utf16.push_back(static_cast<char>(unit & 0xFF));
            utf16.push_back(static_cast<char>(unit >> 8));
        }
        EXPECT_EQ(test::Convert(utf16, "UTF-16LE", "CP936"), std::string(narrow[i])) << i;
    }
}

TEST(DialogTemplates, ReadOnlyEditsAndCentredDialogsComeFromTheScript) {
    for (const ControlTemplate& c : MainDialogTemplate().controls) {
        EXPECT_EQ(c.readOnly, c.kind == ControlKind::Edit) << c.id;
    }
    EXPECT_TRUE(MainDialogTemplate().centred);
    EXPECT_TRUE(AboutDialogTemplate().centred);
}

TEST(DialogTemplates, TheOptionsReachEveryControlByKeyAndKeepARowFree) {
    const DialogTemplate& options = OptionsDialogTemplate();
    EXPECT_EQ(options.caption, u"选项");
    EXPECT_EQ(options.fontFace, u"宋体");
    EXPECT_EQ(options.fontPoints, 9);
    EXPECT_TRUE(options.centred);
    EXPECT_EQ(OptionsMenuText(), u"选项(&O)...");
    std::vector<std::pair<int, std::u16string_view>> controls;
    std::u16string letters;
    for (std::size_t i = 0; i < options.controls.size(); ++i) {
        const ControlTemplate& c = options.controls[i];
        controls.emplace_back(c.id, c.text);
        EXPECT_LE(SimSunWidth(c.text) + (c.kind == ControlKind::CheckBox ? kCheckBoxMark : 0),
                  c.width * kSimSunBaseX / 4)
            << c.id;
        if (const auto amp = c.text.find(u'&'); amp != std::u16string_view::npos) {
            letters.push_back(c.text[amp + 1]);
        }
        // Every control a user sets has a letter of its own, or its label before it has one.
        if (c.id != IDC_STATIC && c.id != IDOK && c.id != IDCANCEL) {
            const bool ownLetter = c.text.find(u'&') != std::u16string_view::npos;
            const bool labelled =
                i > 0 && options.controls[i - 1].kind == ControlKind::Label &&
                options.controls[i - 1].text.find(u'&') != std::u16string_view::npos;
            EXPECT_TRUE(ownLetter || labelled) << c.id;
        }
    }
    EXPECT_EQ(controls, (std::vector<std::pair<int, std::u16string_view>>{
                            {IDC_MODERN, u"读取新式导出(&M)"},
                            {IDC_STATIC, u"编码(&E)："},
                            {IDC_ENCODING, u""},
                            {IDC_STATIC, u"HTML 页面(&P)："},
                            {IDC_PAGE, u""},
                            {IDC_STATIC, u"开始日期(&S)："},
                            {IDC_SINCE, u""},
                            {IDC_STATIC, u"结束日期(&U)："},
                            {IDC_UNTIL, u""},
                            {IDC_DEDUPE, u"去掉重复的信息(&D)"},
                            {IDC_SPLIT, u"按会话分别存档(&F)"},
                            {IDC_STATIC, u"时区(&Z)："},
                            {IDC_TIME_ZONE, u""},
                            {IDOK, u"确定"},
                            {IDCANCEL, u"取消"},
                        }));
    std::u16string unique = letters;
    std::sort(unique.begin(), unique.end());
    EXPECT_EQ(std::adjacent_find(unique.begin(), unique.end()), unique.end()) << letters.size();
    // No two controls cover each other; a combo box closed is as high as an edit.
    const auto bottom = [](const ControlTemplate& c) {
        return c.kind == ControlKind::ComboBox || c.kind == ControlKind::EditableComboBox
                   ? c.y + 14
                   : c.y + c.height;
    };
    for (const ControlTemplate& a : options.controls) {
        for (const ControlTemplate& b : options.controls) {
            const bool apart = &a == &b || a.x + a.width <= b.x || b.x + b.width <= a.x ||
                               bottom(a) <= b.y || bottom(b) <= a.y;
            EXPECT_TRUE(apart) << a.id << " " << b.id;
        }
    }
    EXPECT_EQ(OptionItems(IDC_ENCODING).size(), 3u);
    EXPECT_EQ(OptionItems(IDC_PAGE).size(), 2u);
    EXPECT_EQ(OptionItems(IDC_TIME_ZONE).front(), kComputersZone);
}

TEST(SaveAsName, GetsTheWholeDefaultExtensionOnlyWhenItHasNone) {
    const struct {
        std::u16string_view typed;
        std::u16string_view result;
    } cases[] = {
        {u"存档", u"存档.html"},
        {u"C:\\备份\\存档", u"C:\\备份\\存档.html"},
        {u"/home/u/a.b/存档", u"/home/u/a.b/存档.html"},
        {u"存档.htm", u"存档.htm"},
        {u"存档.txt", u"存档.txt"},
        {u"存档.", u"存档."},
        {u".hidden", u".hidden"},
        {u"*", u"*"},
        {u"a?", u"a?"},
        {u"\"存档\"", u"\"存档\""},
        {u"C:\\备份\\", u"C:\\备份\\"},
        {u"", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WithExtension(c.typed, u"html"), c.result);
        EXPECT_EQ(LacksExtension(c.typed), c.typed != c.result);
    }
}

}  // namespace
}  // namespace quillbox::app
