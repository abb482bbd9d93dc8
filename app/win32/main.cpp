// SPDX-License-Identifier: MIT
// windows.h (through the dialog's header) must come before the other system headers.
// clang-format off
#include "win32/win32_dialog.h"
#include <commctrl.h>
#include <objbase.h>
// clang-format on

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The options' date pickers are no Windows 95 class.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The folder chooser is a shell object.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        quillbox::app::Win32Dialog dialog(instance);
        dialog.DoModal();
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return 0;
}
