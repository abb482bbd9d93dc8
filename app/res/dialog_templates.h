// SPDX-License-Identifier: MIT
#pragma once

#include <span>
#include <string_view>

namespace quillbox::app {

// The dialogs as the resource script describes them, in dialog units; every view lays itself out
// from these tables, which are made from quillbox.rc at build time. Template order is also tab
// order.
enum class ControlKind {
    PushButton,
    DefaultPushButton,
    Label,
    Edit,
    ComboBox,          // a list to choose from
    EditableComboBox,  // a list, or a text typed
    CheckBox,
    DatePicker,  // a day, or none
    Icon,
};
enum class TextAlign { Left, Center };

struct ControlTemplate {
    int id;
    ControlKind kind;
    std::u16string_view text;
    int x;
    int y;
    int width;
    int height;
    TextAlign align;
    // ES_READONLY.
    bool readOnly;
};

struct DialogTemplate {
    int id;
    std::u16string_view caption;
    int width;
    int height;
    std::u16string_view fontFace;
    int fontPoints;
    // DS_CENTER: opens in the middle of the screen.
    bool centred;
    std::span<const ControlTemplate> controls;
};

const DialogTemplate& MainDialogTemplate();
const DialogTemplate& AboutDialogTemplate();
const DialogTemplate& OptionsDialogTemplate();

// The combo box's list, in its index order: 0 by sender, 1 by date.
inline constexpr std::u16string_view kSortOrderItems[] = {u"发件人", u"日期"};
// The same list as the script's initialisation data holds it, in code page 936.
std::span<const std::string_view> SortOrderItems936();

// Strings 101 and 104: the About and the Options items of the dialog's system menu.
std::u16string_view AboutMenuText();
std::u16string_view OptionsMenuText();

}  // namespace quillbox::app
