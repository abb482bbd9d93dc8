// SPDX-License-Identifier: MIT
#include "win32/win32_dialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "quillbox/archive.h"
#include "res/resource.h"

namespace quillbox::app {

namespace {

const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string FromWide(const wchar_t* text, std::size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// "display|patterns||" as the common dialog wants it: "display\0patterns\0\0".
std::u16string NativeFilter(std::u16string_view filter) {
    std::u16string native(filter);
    for (char16_t& c : native) {
        if (c == u'|') {
            c = u'\0';
        }
    }
    return native;
}

// The functions of Windows 10 1607 and later, looked up so that older systems still start the
// program; there, the one DPI is the system's.
template <typename Function>
Function User32Function(const char* name) {
    const FARPROC found = ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

UINT DpiOf(HWND window) {
    if (const auto dpiForWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow")) {
        return dpiForWindow(window);
    }
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

int MetricFor(int metric, UINT dpi) {
    if (const auto forDpi = User32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi")) {
        return forDpi(metric, dpi);
    }
    return ::GetSystemMetrics(metric);
}

// The program's icon drawn for the window's screen, big (SM_CXICON) or small (SM_CXSMICON).
Win32Icon LoadIconFor(HINSTANCE instance, HWND window, bool big) {
    const UINT dpi = DpiOf(window);
    const int width = MetricFor(big ? SM_CXICON : SM_CXSMICON, dpi);
    const int height = MetricFor(big ? SM_CYICON : SM_CYSMICON, dpi);
    return Win32Icon(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                     IMAGE_ICON, width, height, LR_DEFAULTCOLOR)));
}

// The About box's icon control, drawn for the box's screen.
struct AboutState {
    HINSTANCE instance;
    Win32Icon icon;
};

void ShowAboutIcon(HWND about, AboutState& state) {
    state.icon = LoadIconFor(state.instance, about, true);
    for (HWND child = ::GetWindow(about, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            ::SendMessageW(child, STM_SETICON, reinterpret_cast<WPARAM>(state.icon.get()), 0);
        }
    }
}

INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
            ShowAboutIcon(window, *reinterpret_cast<AboutState*>(lParam));
            return TRUE;
        case WM_DPICHANGED:
            ShowAboutIcon(
                window, *reinterpret_cast<AboutState*>(::GetWindowLongPtrW(window, GWLP_USERDATA)));
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(window, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

// The Save As chooser appends at most three letters of the default extension ("htm" for
// "html"), or those of the chosen type: a typed name without extension gets the whole one before
// the chooser reads it, so that it also asks before replacing that file.
LRESULT CALLBACK CompleteTypedName(HWND chooser, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR extension) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        std::vector<wchar_t> typedName(32768, L'\0');
        ::SendMessageW(chooser, CDM_GETSPEC, typedName.size(),
                       reinterpret_cast<LPARAM>(typedName.data()));
        const std::u16string typed = FromWide(typedName.data(), ::wcslen(typedName.data()));
        std::vector<wchar_t> folder(32768, L'\0');
        ::SendMessageW(chooser, CDM_GETFOLDERPATH, folder.size(),
                       reinterpret_cast<LPARAM>(folder.data()));
        const std::u16string full =
            typed.find(u':') != std::u16string::npos || typed.starts_with(u"\\")
                ? typed
                : FromWide(folder.data(), ::wcslen(folder.data())) + u"\\" + typed;
        const DWORD attributes = ::GetFileAttributesW(Wide(full));
        const bool isFolder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (LacksExtension(typed) && !isFolder) {
            const std::u16string completed =
                WithExtension(typed, reinterpret_cast<const char16_t*>(extension));
            const int box = ::GetDlgItem(chooser, cmb13) != nullptr ? cmb13 : edt1;
            ::SendMessageW(chooser, CDM_SETCONTROLTEXT, static_cast<WPARAM>(box),
                           reinterpret_cast<LPARAM>(Wide(completed)));
        }
    } else if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(chooser, CompleteTypedName, id);
    }
    return ::DefSubclassProc(chooser, message, wParam, lParam);
}

UINT_PTR CALLBACK SaveAsHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const auto* request = reinterpret_cast<const OPENFILENAMEW*>(lParam);
        ::SetWindowSubclass(::GetParent(hook), CompleteTypedName, 0,
                            static_cast<DWORD_PTR>(request->lCustData));
    }
    return 0;
}

int CALLBACK FolderChooserOpened(HWND chooser, UINT message, LPARAM, LPARAM choosers) {
    if (message == BFFM_INITIALIZED) {
        reinterpret_cast<std::vector<HWND>*>(choosers)->push_back(chooser);
    }
    return 0;
}

// What the run's thread posts the dialog's thread.
constexpr UINT kPostedTasks = WM_APP + 1;

// The controls of a dialog window, as both dialogs' views reach them.
std::u16string ItemText(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    const int length = ::GetWindowTextLengthW(control);
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(control, text.data(), length + 1);
    return FromWide(text.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

void SetItemText(HWND dialog, int id, std::u16string_view text) {
    const std::u16string terminated(text);
    ::SetDlgItemTextW(dialog, id, Wide(terminated));
}

// Template 103 as a native dialog: a view of COptionsDlg.
class Win32OptionsDialog final : public IOptionsControls {
public:
    explicit Win32OptionsDialog(const ArchiveOptions& options) : logic_(*this, options) {}

    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
            reinterpret_cast<Win32OptionsDialog*>(lParam)->OnInitDialog(window);
            return TRUE;
        }
        auto* self =
            reinterpret_cast<Win32OptionsDialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr || message != WM_COMMAND) {
            return FALSE;
        }
        switch (LOWORD(wParam)) {
            case IDOK:
                if (const auto refused = self->logic_.OnOK()) {
                    ::MessageBoxW(window, Wide(*refused), L"Quillbox", MB_OK);
                    return TRUE;
                }
                ::EndDialog(window, IDOK);
                return TRUE;
            case IDCANCEL:
                ::EndDialog(window, IDCANCEL);
                return TRUE;
            default:
                return FALSE;
        }
    }

    const ArchiveOptions& Options() const { return logic_.Options(); }

    bool IsChecked(int id) const override {
        return ::IsDlgButtonChecked(window_, id) == BST_CHECKED;
    }
    void SetChecked(int id, bool checked) override {
        ::CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    std::u16string Text(int id) const override { return ItemText(window_, id); }
    void SetText(int id, std::u16string_view text) override { SetItemText(window_, id, text); }
    int Selection(int id) const override {
        return static_cast<int>(::SendDlgItemMessageW(window_, id, CB_GETCURSEL, 0, 0));
    }
    void SetSelection(int id, int index) override {
        ::SendDlgItemMessageW(window_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    void Enable(int id, bool enabled) override {
        ::EnableWindow(::GetDlgItem(window_, id), enabled ? TRUE : FALSE);
    }
    std::optional<CalendarDay> Date(int id) const override {
        SYSTEMTIME time{};
        if (DateTime_GetSystemtime(::GetDlgItem(window_, id), &time) != GDT_VALID) {
            return std::nullopt;
        }
        return CalendarDay{time.wYear, time.wMonth, time.wDay};
    }
    void SetDate(int id, std::optional<CalendarDay> day) override {
        HWND picker = ::GetDlgItem(window_, id);
        if (!day) {
            DateTime_SetSystemtime(picker, GDT_NONE, nullptr);
            return;
        }
        SYSTEMTIME time{};
        time.wYear = static_cast<WORD>(day->year);
        time.wMonth = static_cast<WORD>(day->month);
        time.wDay = static_cast<WORD>(day->day);
        DateTime_SetSystemtime(picker, GDT_VALID, &time);
    }

private:
    void OnInitDialog(HWND window) {
        window_ = window;
        for (const int id : {IDC_ENCODING, IDC_PAGE, IDC_TIME_ZONE}) {
            for (const std::u16string_view item : OptionItems(id)) {
                const std::u16string terminated(item);
                ::SendDlgItemMessageW(window_, id, CB_ADDSTRING, 0,
                                      reinterpret_cast<LPARAM>(Wide(terminated)));
            }
        }
        // The days as the command line writes them, whatever the system's own format.
        for (const int id : {IDC_SINCE, IDC_UNTIL}) {
            DateTime_SetFormat(::GetDlgItem(window_, id), L"yyyy-MM-dd");
        }
        logic_.OnInitDialog();
    }

    HWND window_ = nullptr;
    COptionsDlg logic_;
};

}  // namespace

Win32Dialog::Win32Dialog(HINSTANCE instance)
    : instance_(instance),
      m_hIcon(::LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      dialog_(*this, *this, RunFunction(&GenerateArchive)) {}

void Win32Dialog::DoModal() {
    ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_QUILLBOX_DIALOG), nullptr, DialogProc,
                      reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
        auto* self = reinterpret_cast<Win32Dialog*>(lParam);
        self->window_ = window;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<Win32Dialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR Win32Dialog::Handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case kPostedTasks:
            RunPosted();
            return TRUE;
        case WM_DPICHANGED:
            // The dialog itself is scaled by Windows (per-monitor v2); its icons are not.
            SetIcons();
            return FALSE;
        case WM_SYSCOMMAND:
            // FALSE hands every other command to the default handling (move, close, ...).
            return dialog_.OnSysCommand(static_cast<unsigned>(wParam)) ? TRUE : FALSE;
        case WM_PAINT:
            if (::IsIconic(window_)) {
                OnPaint();
                return TRUE;
            }
            return FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(m_hIcon);
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) {
                return FALSE;
            }
            switch (LOWORD(wParam)) {
                case IDC_GENERATE:
                    dialog_.OnGenerate();
                    return TRUE;
                case IDC_BROWSE_CONTACTS:
                    dialog_.OnBrowseContactFolder();
                    return TRUE;
                case IDC_BROWSE_MESSAGES:
                    dialog_.OnBrowseMessageFolder();
                    return TRUE;
                case IDC_BROWSE_OUTPUT:
                    dialog_.OnBrowseOutputFile();
                    return TRUE;
                case IDCANCEL:
                    // During a run, once it is stopped (the controller then calls Close).
                    if (dialog_.OnClose()) {
                        Close();
                    }
                    return TRUE;
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

BOOL Win32Dialog::OnInitDialog() {
    FillFromInitialisationData();
    AddAboutItem();
    SetIcons();
    // TRUE leaves the focus on the first tab stop, "生成".
    return dialog_.OnInitDialog() ? TRUE : FALSE;
}

// The dialog framework the templates were made for fills controls from the template's
// initialisation data; a plain dialog has to do it itself. Each item: control, message, length,
// then that many bytes of code page 936 text; a zero control ends the list.
void Win32Dialog::FillFromInitialisationData() {
    HRSRC found = ::FindResourceW(instance_, MAKEINTRESOURCEW(IDD_QUILLBOX_DIALOG),
                                  MAKEINTRESOURCEW(RT_DLGINIT));
    HGLOBAL loaded = found != nullptr ? ::LoadResource(instance_, found) : nullptr;
    const auto* data =
        static_cast<const BYTE*>(loaded != nullptr ? ::LockResource(loaded) : nullptr);
    if (data == nullptr) {
        return;
    }
    const DWORD size = ::SizeofResource(instance_, found);
    DWORD at = 0;
    const auto word = [&](DWORD offset) {
        return static_cast<WORD>(data[offset] | data[offset + 1] << 8);
    };
    while (at + 2 <= size && word(at) != 0) {
        if (at + 8 > size) {
            break;
        }
        const WORD control = word(at);
        const DWORD length = word(at + 4) | static_cast<DWORD>(word(at + 6)) << 16;
        at += 8;
        if (at + length > size) {
            break;
        }
        const auto* text = reinterpret_cast<const char*>(data + at);
        const int units = ::MultiByteToWideChar(936, 0, text, -1, nullptr, 0);
        std::vector<wchar_t> wide(static_cast<std::size_t>(units > 0 ? units : 1), L'\0');
        ::MultiByteToWideChar(936, 0, text, -1, wide.data(), units);
        ::SendDlgItemMessageW(window_, control, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(wide.data()));
        at += length;
    }
}

void Win32Dialog::SetIcons() {
    bigIcon_ = LoadIconFor(instance_, window_, true);
    smallIcon_ = LoadIconFor(instance_, window_, false);
    ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
}

void Win32Dialog::AddAboutItem() {
    HMENU menu = ::GetSystemMenu(window_, FALSE);
    if (menu == nullptr) {
        return;
    }
    wchar_t text[256] = {};
    if (::LoadStringW(instance_, IDS_ABOUTBOX, text, 256) > 0) {
        ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, text);
    }
    if (::LoadStringW(instance_, IDS_OPTIONS, text, 256) > 0) {
        ::AppendMenuW(menu, MF_STRING, IDM_OPTIONS, text);
    }
}

void Win32Dialog::RunPosted() {
    for (;;) {
        std::function<void()> task;
        {
            const std::lock_guard lock(postedMutex_);
            if (posted_.empty()) {
                return;
            }
            task = std::move(posted_.front());
            posted_.pop_front();
        }
        task();
    }
}

void Win32Dialog::OnPaint() {
    PAINTSTRUCT paint;
    HDC context = ::BeginPaint(window_, &paint);
    ::SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    const UINT dpi = DpiOf(window_);
    const int iconWidth = MetricFor(SM_CXICON, dpi);
    const int iconHeight = MetricFor(SM_CYICON, dpi);
    RECT client;
    ::GetClientRect(window_, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIconEx(context, x, y, bigIcon_.get(), iconWidth, iconHeight, 0, nullptr, DI_NORMAL);
    ::EndPaint(window_, &paint);
}

bool Win32Dialog::IsChecked(int id) const {
    return ::IsDlgButtonChecked(window_, id) == BST_CHECKED;
}

void Win32Dialog::SetChecked(int id, bool checked) {
    ::CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

std::u16string Win32Dialog::Text(int id) const {
    return ItemText(window_, id);
}

void Win32Dialog::SetText(int id, std::u16string_view text) {
    SetItemText(window_, id, text);
}

int Win32Dialog::Selection(int id) const {
    return static_cast<int>(::SendDlgItemMessageW(window_, id, CB_GETCURSEL, 0, 0));
}

void Win32Dialog::SetSelection(int id, int index) {
    ::SendDlgItemMessageW(window_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void Win32Dialog::Enable(int id, bool enabled) {
    ::EnableWindow(::GetDlgItem(window_, id), enabled ? TRUE : FALSE);
}

std::optional<std::u16string> Win32Dialog::ChooseFolder(std::u16string_view title) {
    return BrowseForFolder(title, BIF_RETURNONLYFSDIRS);
}

// The resizable chooser with its "新建文件夹" button: an archive folder is best a new one.
std::optional<std::u16string> Win32Dialog::ChooseFolderToWrite(std::u16string_view title) {
    return BrowseForFolder(title, BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE);
}

std::optional<std::u16string> Win32Dialog::BrowseForFolder(std::u16string_view title,
                                                           unsigned flags) {
    wchar_t path[MAX_PATH] = {};
    const std::u16string terminatedTitle(title);
    // No owner: the main dialog stays usable while the chooser is open.
    BROWSEINFOW browse = {};
    browse.pszDisplayName = path;
    browse.lpszTitle = Wide(terminatedTitle);
    browse.ulFlags = flags;
    browse.lpfn = FolderChooserOpened;
    browse.lParam = reinterpret_cast<LPARAM>(&folderChoosers_);
    const std::size_t open = folderChoosers_.size();
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&browse);
    folderChoosers_.resize(open);
    if (chosen == nullptr) {
        return std::nullopt;
    }
    const BOOL named = ::SHGetPathFromIDListW(chosen, path);
    ::CoTaskMemFree(chosen);
    if (!named) {
        return std::nullopt;
    }
    return FromWide(path, ::wcslen(path));
}

std::optional<std::u16string> Win32Dialog::ChooseSaveFile(const SaveAsRequest& request) {
    const std::u16string filter = NativeFilter(request.filter);
    const std::u16string extension(request.defaultExtension);
    std::vector<wchar_t> file(32768, L'\0');
    std::copy(request.fileName.begin(), request.fileName.end(), file.begin());
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = Wide(filter);
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrDefExt = Wide(extension);
    dialog.lCustData = reinterpret_cast<LPARAM>(extension.c_str());
    dialog.lpfnHook = SaveAsHook;
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLEHOOK;
    if (!::GetSaveFileNameW(&dialog)) {
        return std::nullopt;
    }
    return FromWide(file.data(), ::wcslen(file.data()));
}

void Win32Dialog::ShowMessage(std::u16string_view text) {
    const std::u16string terminated(text);
    ::MessageBoxW(window_, Wide(terminated), L"Quillbox", MB_OK);
}

std::optional<ArchiveOptions> Win32Dialog::ChooseOptions(const ArchiveOptions& current) {
    Win32OptionsDialog options(current);
    if (::DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_OPTIONS), window_,
                          Win32OptionsDialog::Proc, reinterpret_cast<LPARAM>(&options)) != IDOK) {
        return std::nullopt;
    }
    return options.Options();
}

bool Win32Dialog::AskToStop() {
    const std::u16string text(kAskToStop);
    return ::MessageBoxW(window_, Wide(text), L"Quillbox",
                         MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void Win32Dialog::SetTitle(std::u16string_view title) {
    const std::u16string terminated(title);
    ::SetWindowTextW(window_, Wide(terminated));
}

std::jthread Win32Dialog::RunInBackground(std::function<void()> work, std::function<void()> done) {
    return std::jthread([this, work = std::move(work), done = std::move(done)]() mutable {
        work();
        Post(std::move(done));
    });
}

void Win32Dialog::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(postedMutex_);
        posted_.push_back(std::move(task));
    }
    ::PostMessageW(window_, kPostedTasks, 0, 0);
}

void Win32Dialog::Close() {
    // An open folder chooser has no owner to close with the dialog: close it, so that its own
    // loop ends and the program with it.
    for (HWND chooser : folderChoosers_) {
        ::PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
    }
    ::EndDialog(window_, IDCANCEL);
}

void Win32Dialog::ShowAbout() {
    AboutState state{instance_, Win32Icon()};
    ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_ABOUTBOX), window_, AboutProc,
                      reinterpret_cast<LPARAM>(&state));
}

}  // namespace quillbox::app
