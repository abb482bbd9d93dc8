// SPDX-License-Identifier: MIT
// Quillbox.exe as a user drives it, from another process: its controls found by their ids, paths
// set, boxes ticked, buttons pressed, the message boxes, the About box and the options read, the
// archives compared with the command line's, a long run stopped. Run under Wine in the Chinese
// locale on a display (Xvfb):
//   win32_dialog_driven QUILLBOX_EXE CLI_EXE EXAMPLES WORK SCREENSHOTS
// The folders may be given as Unix paths; Wine's drive Z: is the root. WORK holds the folders
// the script made: 新式 (the samples' messages and an Android backup) and 大备份 (one large
// backup).

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
// clang-format on

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"

namespace {

int failures = 0;

std::string Utf8(std::wstring_view text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

void Check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok    " : "FAILED", what.c_str());
    std::fflush(stdout);
    if (!ok) {
        ++failures;
    }
}

void CheckText(std::wstring_view got, std::wstring_view expected, const std::string& what) {
    Check(got == expected, what + " is \"" + Utf8(expected) + "\" (got \"" + Utf8(got) + "\")");
}

std::wstring WindowsPath(std::wstring path) {
    if (path.starts_with(L"/")) {
        path = L"Z:" + path;
    }
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return path;
}

bool WaitFor(const std::function<bool()>& done, int milliseconds = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::wstring Text(HWND window) {
    std::array<wchar_t, 1024> text{};
    const auto length =
        ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return std::wstring(text.data(), static_cast<std::size_t>(length));
}

std::wstring ClassOf(HWND window) {
    std::array<wchar_t, 64> name{};
    const int length = ::GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    return std::wstring(name.data(), static_cast<std::size_t>(length));
}

// The visible dialog windows of a process, top-level.
std::vector<HWND> DialogsOf(DWORD process) {
    struct Search {
        DWORD process;
        std::vector<HWND> found;
    } search{process, {}};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == s.process && ::IsWindowVisible(window) && ClassOf(window) == L"#32770") {
                s.found.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The one dialog window of the process besides those given, once it has shown.
HWND NextDialog(DWORD process, const std::vector<HWND>& known) {
    HWND found = nullptr;
    WaitFor([&] {
        for (HWND window : DialogsOf(process)) {
            if (std::find(known.begin(), known.end(), window) == known.end()) {
                found = window;
                return true;
            }
        }
        return false;
    });
    return found;
}

bool IsGone(HWND window) {
    return WaitFor([&] { return !::IsWindow(window) || !::IsWindowVisible(window); });
}

// A click as the mouse gives it, without waiting for what the click opens.
void Press(HWND button) {
    ::PostMessageW(button, BM_CLICK, 0, 0);
}

// The static text of a message box.
std::wstring MessageText(HWND box) {
    return Text(::GetDlgItem(box, 0xFFFF));
}

void CloseDialog(HWND dialog) {
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    IsGone(dialog);
}

// The pixel width of a text in the dialogs' font as this system shows it: 9 points of "宋体" or
// what stands in for it.
int TextWidth(std::wstring_view text, UINT dpi) {
    HDC screen = ::GetDC(nullptr);
    HFONT font = ::CreateFontW(-MulDiv(9, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE,
                               FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"宋体");
    HGDIOBJ old = ::SelectObject(screen, font);
    SIZE size{};
    ::GetTextExtentPoint32W(screen, text.data(), static_cast<int>(text.size()), &size);
    ::SelectObject(screen, old);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, screen);
    return size.cx;
}

// Every static text and check box of a dialog shows its whole text.
void CheckTextsWhole(HWND dialog, const std::string& name) {
    HDC screen = ::GetDC(nullptr);
    const UINT dpi = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSY));
    ::ReleaseDC(nullptr, screen);
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring text = Text(child);
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        int room = 0;
        RECT client{};
        ::GetClientRect(child, &client);
        if (ClassOf(child) == L"Static" && (style & SS_TYPEMASK) != SS_ICON) {
            room = client.right;
        } else if (ClassOf(child) == L"Button" && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
            room = client.right - MulDiv(16, static_cast<int>(dpi), 96);
        } else {
            continue;
        }
        const int needed = TextWidth(text, dpi);
        Check(needed <= room, name + ": \"" + Utf8(text) + "\" needs " + std::to_string(needed) +
                                  " of " + std::to_string(room) + " pixels");
    }
}

void CheckCentred(HWND window, const std::string& name) {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const long dx = (rect.left + rect.right) / 2 - (work.left + work.right) / 2;
    const long dy = (rect.top + rect.bottom) / 2 - (work.top + work.bottom) / 2;
    Check(dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1,
          name + " opens in the middle of the screen (off by " + std::to_string(dx) + ", " +
              std::to_string(dy) + ")");
}

// PNG with stored (uncompressed) deflate blocks: enough for a picture to look at.
std::uint32_t Crc(const unsigned char* data, std::size_t size, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void PutBig(std::vector<unsigned char>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<unsigned char>(value >> shift));
    }
}

void PutChunk(std::vector<unsigned char>& png, const char* type,
              const std::vector<unsigned char>& data) {
    PutBig(png, static_cast<std::uint32_t>(data.size()));
    std::vector<unsigned char> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    PutBig(png, Crc(typed.data(), typed.size()));
}

bool SavePng(const std::string& file, int width, int height,
             const std::vector<std::uint32_t>& bgra) {
    std::vector<unsigned char> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = bgra[static_cast<std::size_t>(y * width + x)];
            raw.push_back(static_cast<unsigned char>(pixel >> 16));
            raw.push_back(static_cast<unsigned char>(pixel >> 8));
            raw.push_back(static_cast<unsigned char>(pixel));
        }
    }
    std::vector<unsigned char> z = {0x78, 0x01};
    for (std::size_t at = 0; at < raw.size() || at == 0;) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<unsigned char>(n));
        z.push_back(static_cast<unsigned char>(n >> 8));
        z.push_back(static_cast<unsigned char>(~n));
        z.push_back(static_cast<unsigned char>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                 raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        if (n == 0) {
            break;
        }
    }
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig(z, b << 16 | a);
    std::vector<unsigned char> header;
    PutBig(header, static_cast<std::uint32_t>(width));
    PutBig(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out);
}

// The window as the screen shows it, frame and all.
void Screenshot(HWND window, const std::string& file) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    const std::vector<std::uint32_t> copy(
        pixels, pixels + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    Check(SavePng(file, width, height, copy), "screenshot " + file);
}

// Quillbox.exe, ended when the test is done with it.
class Program {
public:
    explicit Program(const std::wstring& exe) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command = L"\"" + exe + L"\"";
        if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &process_)) {
            return;
        }
        // Wine may take long to start a program on a busy machine.
        constexpr int kStartMs = 60000;
        ::WaitForInputIdle(process_.hProcess, kStartMs);
        WaitFor(
            [&] {
                for (HWND window : DialogsOf(process_.dwProcessId)) {
                    if (Text(window) == L"Quillbox") {
                        main_ = window;
                        return true;
                    }
                }
                return false;
            },
            kStartMs);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() {
        if (process_.hProcess != nullptr) {
            if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(process_.hProcess, 1);
            }
            ::CloseHandle(process_.hThread);
            ::CloseHandle(process_.hProcess);
        }
    }

    HWND Main() const { return main_; }
    HWND Item(int id) const { return ::GetDlgItem(main_, id); }
    DWORD Id() const { return process_.dwProcessId; }
    bool Ends(int milliseconds) const {
        return ::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(milliseconds)) ==
               WAIT_OBJECT_0;
    }
    // The message box that a press of button opens, its text read, and closed.
    std::wstring PressForMessage(int button) const {
        Press(Item(button));
        HWND box = NextDialog(Id(), {main_});
        if (box == nullptr) {
            return L"(no message box)";
        }
        Check(::GetWindow(box, GW_OWNER) == main_, "the message box belongs to the dialog");
        const std::wstring text = MessageText(box);
        CloseDialog(box);
        return text;
    }

private:
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
};

std::vector<char> ReadAll(const std::wstring& file) {
    std::vector<char> bytes;
    HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    std::array<char, 65536> block{};
    DWORD got = 0;
    while (::ReadFile(handle, block.data(), block.size(), &got, nullptr) && got > 0) {
        bytes.insert(bytes.end(), block.begin(), block.begin() + got);
    }
    ::CloseHandle(handle);
    return bytes;
}

// Every file of a folder and of its sub-folders, by name below it, with its bytes.
std::vector<std::pair<std::wstring, std::vector<char>>> ReadFolder(const std::wstring& folder,
                                                                   const std::wstring& below = {}) {
    std::vector<std::pair<std::wstring, std::vector<char>>> files;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return files;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            auto inner = ReadFolder(folder + L"\\" + name, below + name + L"/");
            files.insert(files.end(), inner.begin(), inner.end());
        } else {
            files.emplace_back(below + name, ReadAll(folder + L"\\" + name));
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(files.begin(), files.end());
    return files;
}

int RunAndWait(const std::wstring& exe, std::wstring arguments) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return -1;
    }
    ::WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// The manifest the program starts with.
std::string ManifestOf(const std::wstring& exe) {
    HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    std::string text;
    if (module == nullptr) {
        return text;
    }
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
    if (const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr) {
        text.assign(static_cast<const char*>(data), ::SizeofResource(module, found));
    }
    ::FreeLibrary(module);
    return text;
}

template <typename Function>
Function User32Function(const char* name) {
    const FARPROC found = ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

void CheckLayoutAndControls(const Program& program, const std::string& shots) {
    HWND main = program.Main();
    CheckCentred(main, "the main dialog");
    const struct {
        int id;
        const wchar_t* text;
    } controls[] = {
        {IDC_GENERATE, L"生成"},
        {IDC_BROWSE_CONTACTS, L"浏览"},
        {IDC_BROWSE_MESSAGES, L"浏览"},
        {IDC_BROWSE_OUTPUT, L"浏览"},
        {IDC_RECURSE_CONTACTS, L"递归子目录"},
        {IDC_RECURSE_MESSAGES, L"递归子目录"},
        {IDC_HTML, L"HTML"},
        {IDC_CONTACT_FOLDER, L""},
        {IDC_MESSAGE_FOLDER, L""},
        {IDC_OUTPUT_FILE, L""},
    };
    for (const auto& c : controls) {
        HWND item = program.Item(c.id);
        Check(item != nullptr, "control " + std::to_string(c.id) + " is there");
        CheckText(Text(item), c.text, "control " + std::to_string(c.id));
    }
    HWND sort = program.Item(IDC_SORT_ORDER);
    const auto count = ::SendMessageW(sort, CB_GETCOUNT, 0, 0);
    Check(count == 2, "the sort order list has two items");
    for (int i = 0; i < count && i < 2; ++i) {
        std::array<wchar_t, 64> item{};
        ::SendMessageW(sort, CB_GETLBTEXT, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(item.data()));
        CheckText(item.data(), i == 0 ? L"发件人" : L"日期", "sort item " + std::to_string(i));
    }
    Check(::SendMessageW(sort, CB_GETCURSEL, 0, 0) == 0, "by sender is chosen at the start");
    CheckTextsWhole(main, "main dialog");
    Screenshot(main, shots + "/win32-main.png");
}

void CheckEmptyPathMessages(const Program& program) {
    CheckText(program.PressForMessage(IDC_GENERATE), L"信息路径不能为空！", "empty paths");
    ::SendMessageW(program.Item(IDC_MESSAGE_FOLDER), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(L"C:\\messages"));
    CheckText(program.PressForMessage(IDC_GENERATE), L"输出路径不能为空！", "no output");
}

void CheckAboutBox(const Program& program, const std::string& shots) {
    HWND main = program.Main();
    // The item is appended to the system menu; Wine's menus cannot be read from another
    // process, so the command is sent as the menu sends it.
    ::PostMessageW(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = NextDialog(program.Id(), {main});
    Check(about != nullptr, "the system-menu item opens the About box");
    if (about == nullptr) {
        return;
    }
    CheckText(Text(about), L"关于 Quillbox", "the About box's caption");
    Check(::GetWindow(about, GW_OWNER) == main, "the About box belongs to the dialog");
    std::vector<std::wstring> texts;
    for (HWND child = ::GetWindow(about, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        texts.push_back(Text(child));
    }
    Check(texts.size() == 4, "the About box has four controls");
    if (texts.size() == 4) {
        CheckText(texts[1], L"Quillbox 1.0 版", "the version line");
        CheckText(texts[2], L"意见与建议：quillbox@example.org", "the contact line");
        CheckText(texts[3], L"确定", "the About box's button");
    }
    CheckCentred(about, "the About box");
    CheckTextsWhole(about, "About box");
    Screenshot(about, shots + "/win32-about.png");
    CloseDialog(about);
}

void CheckEnterOnBrowseAndClosingWithAChooserOpen(const std::wstring& exe) {
    Program program(exe);
    HWND main = program.Main();
    Check(main != nullptr, "Quillbox.exe shows its dialog");
    if (main == nullptr) {
        return;
    }
    // Paths set: a run would start at once if Enter pressed "生成".
    ::SendMessageW(program.Item(IDC_MESSAGE_FOLDER), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(L"C:\\"));
    ::SendMessageW(program.Item(IDC_OUTPUT_FILE), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(L"C:\\users\\driven-never-written.txt"));
    HWND browse = program.Item(IDC_BROWSE_MESSAGES);
    ::SendMessageW(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(browse), TRUE);
    ::PostMessageW(browse, WM_KEYDOWN, VK_RETURN, 1);
    ::PostMessageW(browse, WM_KEYUP, VK_RETURN, 0xC0000001);
    HWND chooser = NextDialog(program.Id(), {main});
    Check(chooser != nullptr && MessageText(chooser).empty(),
          "Enter on a focused 浏览 opens a window that is no message box");
    if (chooser == nullptr) {
        return;
    }
    Check(::GetWindow(chooser, GW_OWNER) == nullptr, "the folder chooser has no owner");
    Check(::IsWindowEnabled(main) != FALSE, "the dialog stays usable with the chooser open");
    Check(::GetFileAttributesW(L"C:\\users\\driven-never-written.txt") == INVALID_FILE_ATTRIBUTES,
          "no run started");

    ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    Check(program.Ends(10000), "closing the dialog with the folder chooser open ends the program");
}

void CheckARun(const std::wstring& exe, const std::wstring& cli, const std::wstring& examples,
               const std::wstring& work, const std::string& shots) {
    Program program(exe);
    HWND main = program.Main();
    Check(main != nullptr, "Quillbox.exe shows its dialog again");
    if (main == nullptr) {
        return;
    }
    const std::wstring contacts = examples + L"\\contacts";
    const std::wstring messages = examples + L"\\messages";
    ::SendMessageW(program.Item(IDC_CONTACT_FOLDER), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(contacts.c_str()));
    ::SendMessageW(program.Item(IDC_MESSAGE_FOLDER), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(messages.c_str()));
    for (const int box : {IDC_HTML, IDC_RECURSE_CONTACTS, IDC_RECURSE_MESSAGES}) {
        ::SendMessageW(program.Item(box), BM_CLICK, 0, 0);
        Check(::SendMessageW(program.Item(box), BM_GETCHECK, 0, 0) == BST_CHECKED,
              "box " + std::to_string(box) + " is ticked");
    }
    ::SendMessageW(program.Item(IDC_SORT_ORDER), CB_SETCURSEL, 1, 0);

    // The Save As chooser, a name typed without extension.
    Press(program.Item(IDC_BROWSE_OUTPUT));
    HWND chooser = NextDialog(program.Id(), {main});
    Check(chooser != nullptr && ::GetWindow(chooser, GW_OWNER) == main,
          "浏览 opens the Save As chooser, owned by the dialog");
    if (chooser == nullptr) {
        return;
    }
    HWND name = ::GetDlgItem(chooser, cmb13) != nullptr ? ::GetDlgItem(chooser, cmb13)
                                                        : ::GetDlgItem(chooser, edt1);
    const std::wstring typed = work + L"\\存档";
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    Screenshot(chooser, shots + "/win32-save-as.png");
    Press(::GetDlgItem(chooser, IDOK));
    Check(IsGone(chooser), "the Save As chooser closes");
    CheckText(Text(program.Item(IDC_OUTPUT_FILE)), typed + L".html",
              "a typed name without extension");

    // The samples hold one damaged message file, and the box says so on its second line.
    CheckText(program.PressForMessage(IDC_GENERATE), L"文档生成完毕！\n已跳过 1 个无法读取的文件",
              "a run");
    const std::wstring expected = work + L"\\命令行.html";
    Check(RunAndWait(cli, L"-m \"" + messages + L"\" -c \"" + contacts + L"\" -r -R --html " +
                              L"-s date -o \"" + expected + L"\"") == 0,
          "quillbox-cli.exe writes the same folders");
    const std::vector<char> dialogArchive = ReadAll(typed + L".html");
    Check(!dialogArchive.empty() && dialogArchive == ReadAll(expected),
          "the dialog's archive is the command line's, byte for byte");

    ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    Check(program.Ends(10000), "closing the dialog ends the program");
}

void CheckDpiAwareness(const Program& program, const std::wstring& exe) {
    const std::string manifest = ManifestOf(exe);
    Check(manifest.find(">PerMonitorV2") != std::string::npos &&
              manifest.find(">true/pm<") != std::string::npos,
          "the manifest declares per-monitor (v2) DPI awareness");
    HWND main = program.Main();
    using ContextOf = HANDLE(WINAPI*)(HWND);
    using AwarenessOf = int(WINAPI*)(HANDLE);
    const auto contextOf = User32Function<ContextOf>("GetWindowDpiAwarenessContext");
    const auto awarenessOf = User32Function<AwarenessOf>("GetAwarenessFromDpiAwarenessContext");
    // Wine gives every window this awareness; Windows only those that ask for it.
    if (contextOf != nullptr && awarenessOf != nullptr) {
        Check(awarenessOf(contextOf(main)) == 2, "the dialog is per-monitor DPI aware");
    }
    // The dialog is as large as its dialog units make it in its font at its DPI, as Windows
    // lays out a dialog: a quarter of the font's average width, an eighth of its height.
    const auto dpiOf = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    const UINT dpi = dpiOf != nullptr ? dpiOf(main) : 96;
    HDC screen = ::GetDC(nullptr);
    HFONT font = ::CreateFontW(-MulDiv(9, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE,
                               FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"宋体");
    HGDIOBJ old = ::SelectObject(screen, font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(screen, &metrics);
    SIZE alphabet{};
    ::GetTextExtentPoint32W(screen, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52,
                            &alphabet);
    ::SelectObject(screen, old);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, screen);
    const int baseX = (alphabet.cx / 26 + 1) / 2;
    const int baseY = metrics.tmHeight;
    RECT client{};
    ::GetClientRect(main, &client);
    Check(client.right == MulDiv(381, baseX, 4) && client.bottom == MulDiv(129, baseY, 8),
          "at " + std::to_string(dpi) + " dpi the dialog is " + std::to_string(client.right) + "x" +
              std::to_string(client.bottom) + " pixels, 381x129 dialog units");
}

void SetText(HWND window, const std::wstring& text) {
    ::SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsTicked(HWND box) {
    return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// A date picker's day, set from this process: the picker reads the SYSTEMTIME in its own, so it
// is written there first.
bool SetPickerDay(HWND picker, DWORD process, WORD year, WORD month, WORD day) {
    HANDLE target =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ, FALSE, process);
    if (target == nullptr) {
        return false;
    }
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    void* remote =
        ::VirtualAllocEx(target, nullptr, sizeof time, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const bool set =
        remote != nullptr && ::WriteProcessMemory(target, remote, &time, sizeof time, nullptr) &&
        ::SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(remote)) != 0;
    if (remote != nullptr) {
        ::VirtualFreeEx(target, remote, 0, MEM_RELEASE);
    }
    ::CloseHandle(target);
    return set;
}

// The options dialog, opened from the system menu by its command as the menu sends it.
HWND OpenOptions(const Program& program) {
    ::PostMessageW(program.Main(), WM_SYSCOMMAND, IDM_OPTIONS, 0);
    HWND options = NextDialog(program.Id(), {program.Main()});
    Check(options != nullptr && Text(options) == L"选项", "the system-menu command opens 选项");
    return options;
}

void CheckOptions(const std::wstring& exe, const std::wstring& cli, const std::wstring& work,
                  const std::string& shots) {
    Program program(exe);
    HWND main = program.Main();
    Check(main != nullptr, "Quillbox.exe shows its dialog for the options");
    if (main == nullptr) {
        return;
    }
    const std::wstring messages = work + L"\\新式\\messages";
    SetText(program.Item(IDC_MESSAGE_FOLDER), messages);
    SetText(program.Item(IDC_OUTPUT_FILE), work + L"\\经典.txt");
    // A classic run meets a backup and today's files: the message says which option reads them.
    CheckText(program.PressForMessage(IDC_GENERATE),
              L"文档生成完毕！\n已跳过 1 个无法读取的文件\n"
              L"这些文件是新式导出，请在“选项”中勾选“读取新式导出”后再生成",
              "a classic run over today's exports");

    HWND options = OpenOptions(program);
    if (options == nullptr) {
        return;
    }
    Check(::GetWindow(options, GW_OWNER) == main, "the options belong to the dialog");
    CheckCentred(options, "the options");
    CheckTextsWhole(options, "options");
    const auto item = [&](int id) { return ::GetDlgItem(options, id); };
    const struct {
        int id;
        const wchar_t* text;
    } texts[] = {{IDC_MODERN, L"读取新式导出(&M)"},
                 {IDC_DEDUPE, L"去掉重复的信息(&D)"},
                 {IDC_SPLIT, L"按会话分别存档(&F)"},
                 {IDC_TIME_ZONE, L"本机时区"},
                 {IDOK, L"确定"},
                 {IDCANCEL, L"取消"}};
    for (const auto& t : texts) {
        CheckText(Text(item(t.id)), t.text, "option control " + std::to_string(t.id));
    }
    Check(ClassOf(item(IDC_SINCE)) == L"SysDateTimePick32" &&
              ::SendMessageW(item(IDC_ENCODING), CB_GETCOUNT, 0, 0) == 3 &&
              ::SendMessageW(item(IDC_PAGE), CB_GETCOUNT, 0, 0) == 2,
          "the options' lists and date pickers");
    Check(
        ::SendMessageW(item(IDC_ENCODING), CB_GETCURSEL, 0, 0) == 0 && !IsTicked(item(IDC_MODERN)),
        "the options start as the classic run");
    for (const int box : {IDC_MODERN, IDC_DEDUPE}) {
        ::SendMessageW(item(box), BM_CLICK, 0, 0);
    }
    ::SendMessageW(item(IDC_ENCODING), CB_SETCURSEL, 2, 0);
    ::SendMessageW(item(IDC_PAGE), CB_SETCURSEL, 1, 0);
    Check(SetPickerDay(item(IDC_SINCE), program.Id(), 2023, 11, 14) &&
              SetPickerDay(item(IDC_UNTIL), program.Id(), 2023, 11, 15),
          "the date pickers take the days");
    SetText(item(IDC_TIME_ZONE), L"Asia/Shanghai");
    Screenshot(options, shots + "/win32-options.png");
    Press(item(IDOK));
    Check(IsGone(options), "确定 closes the options");

    // Cancel drops what was changed; the choices of 确定 stay.
    options = OpenOptions(program);
    if (options == nullptr) {
        return;
    }
    Check(IsTicked(item(IDC_MODERN)) && IsTicked(item(IDC_DEDUPE)) &&
              Text(item(IDC_TIME_ZONE)) == L"Asia/Shanghai",
          "the options open with what 确定 took");
    ::SendMessageW(item(IDC_DEDUPE), BM_CLICK, 0, 0);
    Press(item(IDCANCEL));
    Check(IsGone(options), "取消 closes the options");
    options = OpenOptions(program);
    if (options == nullptr) {
        return;
    }
    Check(IsTicked(item(IDC_DEDUPE)), "取消 dropped the change");
    CloseDialog(options);
    IsGone(options);

    ::SendMessageW(program.Item(IDC_HTML), BM_CLICK, 0, 0);
    const std::wstring written = work + L"\\选项.html";
    SetText(program.Item(IDC_OUTPUT_FILE), written);
    const std::wstring message = program.PressForMessage(IDC_GENERATE);
    Check(message.starts_with(L"文档生成完毕！") && message.find(L"新式导出") == std::wstring::npos,
          "a run with the options (\"" + Utf8(message) + "\")");
    const std::wstring expected = work + L"\\命令行选项.html";
    Check(RunAndWait(cli,
                     L"--modern --encoding utf-8 --page modern --since 2023-11-14 "
                     L"--until 2023-11-15 --dedupe --time-zone Asia/Shanghai -m \"" +
                         messages + L"\" -o \"" + expected + L"\"") == 0,
          "quillbox-cli.exe writes the same folder with the same options");
    const std::vector<char> dialogArchive = ReadAll(written);
    Check(!dialogArchive.empty() && dialogArchive == ReadAll(expected),
          "the dialog's archive with the options is the command line's, byte for byte");

    // 按会话分别存档: the same options write an archive folder.
    options = OpenOptions(program);
    if (options == nullptr) {
        return;
    }
    ::SendMessageW(item(IDC_SPLIT), BM_CLICK, 0, 0);
    Press(item(IDOK));
    IsGone(options);
    const std::wstring folder = work + L"\\存档文件夹";
    SetText(program.Item(IDC_OUTPUT_FILE), folder);
    const std::wstring folderMessage = program.PressForMessage(IDC_GENERATE);
    Check(folderMessage.starts_with(L"文档生成完毕！"),
          "a run with 按会话分别存档 (\"" + Utf8(folderMessage) + "\")");
    const std::wstring expectedFolder = work + L"\\命令行存档文件夹";
    Check(RunAndWait(cli,
                     L"--modern --encoding utf-8 --split --html --since 2023-11-14 "
                     L"--until 2023-11-15 --dedupe --time-zone Asia/Shanghai -m \"" +
                         messages + L"\" -o \"" + expectedFolder + L"\"") == 0,
          "quillbox-cli.exe writes the archive folder with the same options");
    const auto dialogFolder = ReadFolder(folder);
    Check(dialogFolder.size() > 2 && dialogFolder == ReadFolder(expectedFolder),
          "the dialog's archive folder is the command line's, file for file");
    ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    Check(program.Ends(10000), "closing the dialog ends the program");
}

// Closing the dialog during a long run: the run is stopped, says so, and leaves the old archive
// and no temporary file.
void CheckStoppingARun(const std::wstring& exe, const std::wstring& work) {
    Program program(exe);
    HWND main = program.Main();
    Check(main != nullptr, "Quillbox.exe shows its dialog for a long run");
    if (main == nullptr) {
        return;
    }
    const std::wstring output = work + L"\\停止.txt";
    HANDLE file =
        ::CreateFileW(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD wrote = 0;
    Check(file != INVALID_HANDLE_VALUE && ::WriteFile(file, "the old archive", 15, &wrote, nullptr),
          "an old archive is there");
    ::CloseHandle(file);
    SetText(program.Item(IDC_MESSAGE_FOLDER), work + L"\\大备份");
    SetText(program.Item(IDC_OUTPUT_FILE), output);
    HWND options = OpenOptions(program);
    if (options == nullptr) {
        return;
    }
    ::SendMessageW(::GetDlgItem(options, IDC_MODERN), BM_CLICK, 0, 0);
    Press(::GetDlgItem(options, IDOK));
    IsGone(options);

    Press(program.Item(IDC_GENERATE));
    std::wstring title;
    Check(WaitFor([&] {
              title = Text(main);
              return title.starts_with(L"Quillbox - 正在读取");
          }),
          "the title shows the run (\"" + Utf8(title) + "\")");
    Check(::IsWindowEnabled(program.Item(IDC_GENERATE)) == FALSE,
          "生成 is disabled during the run");
    ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND question = NextDialog(program.Id(), {main});
    Check(question != nullptr && MessageText(question) == L"正在生成文档。要停止生成吗？",
          "closing during the run asks whether to stop it");
    if (question == nullptr) {
        return;
    }
    Press(::GetDlgItem(question, IDYES));
    IsGone(question);
    HWND result = NextDialog(program.Id(), {main});
    Check(
        result != nullptr && MessageText(result) == L"文档生成失败！\n生成已停止，输出文件保持原样",
        "the message says the run was stopped (\"" +
            Utf8(result != nullptr ? MessageText(result) : L"") + "\")");
    if (result != nullptr) {
        CloseDialog(result);
    }
    Check(program.Ends(10000), "the dialog closes once the stopped run has been seen");
    const std::vector<char> old = ReadAll(output);
    Check(std::string(old.begin(), old.end()) == "the old archive", "the old archive is whole");
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((work + L"\\*.tmp").c_str(), &found);
    Check(search == INVALID_HANDLE_VALUE, "no temporary file is left");
    if (search != INVALID_HANDLE_VALUE) {
        ::FindClose(search);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr,
                     "usage: win32_dialog_driven QUILLBOX_EXE CLI_EXE EXAMPLES WORK SHOTS [DPI]\n");
        return 2;
    }
    const std::wstring exe = WindowsPath(argv[1]);
    const std::wstring cli = WindowsPath(argv[2]);
    const std::wstring examples = WindowsPath(argv[3]);
    const std::wstring work = WindowsPath(argv[4]);
    const std::string shots = Utf8(WindowsPath(argv[5]));
    ::CreateDirectoryW(work.c_str(), nullptr);
    ::CreateDirectoryW(WindowsPath(argv[5]).c_str(), nullptr);

    if (argc == 7) {
        // A screen of more than 96 dpi, set in the registry before the program starts.
        Program program(exe);
        Check(program.Main() != nullptr, "Quillbox.exe shows its dialog");
        if (program.Main() != nullptr) {
            CheckDpiAwareness(program, exe);
            CheckTextsWhole(program.Main(), "main dialog");
            Screenshot(program.Main(), shots + "/win32-main-" + Utf8(argv[6]) + "dpi.png");
        }
        std::printf("%d failed\n", failures);
        return failures == 0 ? 0 : 1;
    }
    {
        Program program(exe);
        Check(program.Main() != nullptr, "Quillbox.exe shows its dialog");
        if (program.Main() == nullptr) {
            return 1;
        }
        CheckLayoutAndControls(program, shots);
        CheckDpiAwareness(program, exe);
        CheckAboutBox(program, shots);
        CheckEmptyPathMessages(program);
        ::PostMessageW(program.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
        Check(program.Ends(10000), "closing the dialog ends the program");
    }
    CheckEnterOnBrowseAndClosingWithAChooserOpen(exe);
    CheckARun(exe, cli, examples, work, shots);
    CheckOptions(exe, cli, work, shots);
    CheckStoppingARun(exe, work);

    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
