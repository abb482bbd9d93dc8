#include "res/dialog_templates.h"

#include "res/resource.h"

namespace quillbox::app {

namespace {

using enum ControlKind;

// Template 102.
constexpr ControlTemplate kMainControls[] = {
    {IDC_GENERATE, DefaultPushButton, u"生成", 214, 86, 115, 16},
    {IDC_STATIC, Label, u"联系人目录：", 0, 16, 61, 8, TextAlign::Center},
    {IDC_CONTACT_FOLDER, Edit, u"", 66, 13, 179, 14},
    {IDC_BROWSE_CONTACTS, PushButton, u"浏览", 258, 13, 50, 14},
    {IDC_STATIC, Label, u"信息目录：", 14, 41, 41, 8},
    {IDC_MESSAGE_FOLDER, Edit, u"", 65, 38, 180, 14},
    // 48 is the height with the list open.
    {IDC_SORT_ORDER, ComboBox, u"", 66, 88, 112, 48},
    {IDC_BROWSE_MESSAGES, PushButton, u"浏览", 258, 38, 50, 14},
    {IDC_STATIC, Label, u"排序方式：", 14, 90, 44, 8},
    {IDC_STATIC, Label, u"输出文件：", 14, 66, 41, 8},
    {IDC_OUTPUT_FILE, Edit, u"", 65, 63, 180, 14},
    {IDC_BROWSE_OUTPUT, PushButton, u"浏览", 258, 63, 50, 14},
    {IDC_RECURSE_CONTACTS, CheckBox, u"递归子目录", 318, 15, 56, 10},
    {IDC_RECURSE_MESSAGES, CheckBox, u"递归子目录", 318, 40, 56, 10},
    {IDC_HTML, CheckBox, u"HTML", 318, 65, 32, 10},
};

// Template 100.
constexpr ControlTemplate kAboutControls[] = {
    {IDC_STATIC, Icon, u"", 11, 17, 20, 20},
    {IDC_STATIC, Label, u"Quillbox 1.0 版", 40, 10, 119, 8},
    {IDC_STATIC, Label, u"意见与建议：quillbox@example.org", 53, 28, 119, 8},
    {IDOK, DefaultPushButton, u"确定", 178, 7, 50, 16},
};

constexpr DialogTemplate kMainDialog{IDD_QUILLBOX_DIALOG, u"Quillbox", 381, 129, u"宋体", 9,
                                     kMainControls};
constexpr DialogTemplate kAboutDialog{IDD_ABOUTBOX,  u"关于 Quillbox", 235, 55, u"宋体", 9,
                                      kAboutControls};

}  // namespace

const DialogTemplate& MainDialogTemplate() {
    return kMainDialog;
}
const DialogTemplate& AboutDialogTemplate() {
    return kAboutDialog;
}

}  // namespace quillbox::app
