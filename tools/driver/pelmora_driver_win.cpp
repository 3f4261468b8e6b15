// Drives windows of other processes for black-box tests (runs in the same
// Wine prefix as Pelmora). Output is UTF-8, one record per line, fields
// separated by tabs. Exit code 0 on success, 1 when a wait timed out or a
// window was not found, 2 on bad usage.
//
//   windows                          hwnd pid visible class title, per top-level window
//   wait-window TITLE [MS] [CLASS]   hwnd of a visible top-level window with that exact title
//   wait-gone HWND [MS]              until the window no longer exists
//   texts HWND                       id class text, per child window
//   click HWND ID                    posts the BN_CLICKED command of child ID to HWND
//   press HWND ID                    posts BM_CLICK to child ID of HWND (checks a radio, presses a button)
//   post HWND MSG WPARAM             posts message MSG (decimal) with WPARAM (decimal), LPARAM 0
//   close HWND                       posts WM_CLOSE
//   run MS APPLICATION COMMANDLINE   starts a process with exactly that command line,
//                                    waits up to MS, prints its exit code (timeout: ends it, exit 1)
//   controls HWND                    hwnd id visible enabled class text, per child window
//   list-cells LIST                  row checked text0 text1 ..., per row of a report list-view
//   check-row LIST ROW 0|1           sets the row's check box as a click on it would
//   rects HWND                       "window" width height, then id left top right bottom
//                                    per child, in HWND's client area
//   list-check-box LIST              row 0's left, its icon's left, column 0's right, row height
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Print(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                              n, nullptr, nullptr);
    bytes.push_back('\n');
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
                &written, nullptr);
}

std::wstring Text(HWND wnd) {
    wchar_t buffer[4096] = {};
    // WM_GETTEXT works across processes where GetWindowText would not.
    ::SendMessageTimeoutW(wnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 2000,
                          nullptr);
    return buffer;
}

std::wstring ClassOf(HWND wnd) {
    wchar_t name[256] = {};
    ::GetClassNameW(wnd, name, 256);
    return name;
}

std::wstring Hex(HWND wnd) {
    unsigned long long value = reinterpret_cast<UINT_PTR>(wnd);
    std::wstring digits;
    do {
        digits.insert(digits.begin(), L"0123456789abcdef"[value % 16]);
        value /= 16;
    } while (value);
    return digits;
}

HWND ParseHwnd(const wchar_t* text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::wcstoull(text, nullptr, 16)));
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND wnd, LPARAM lp) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(wnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

int ListWindows() {
    for (HWND wnd : TopLevelWindows()) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(wnd, &pid);
        Print(Hex(wnd) + L"\t" + std::to_wstring(pid) + L"\t" +
              (::IsWindowVisible(wnd) ? L"1" : L"0") + L"\t" + ClassOf(wnd) + L"\t" + Text(wnd));
    }
    return 0;
}

int WaitWindow(const std::wstring& title, DWORD ms, const std::wstring& className) {
    const ULONGLONG deadline = ::GetTickCount64() + ms;
    do {
        for (HWND wnd : TopLevelWindows()) {
            if (!::IsWindowVisible(wnd) || Text(wnd) != title) continue;
            if (!className.empty() && ClassOf(wnd) != className) continue;
            Print(Hex(wnd));
            return 0;
        }
        ::Sleep(100);
    } while (::GetTickCount64() < deadline);
    return 1;
}

int WaitGone(HWND wnd, DWORD ms) {
    const ULONGLONG deadline = ::GetTickCount64() + ms;
    while (::IsWindow(wnd)) {
        if (::GetTickCount64() >= deadline) return 1;
        ::Sleep(100);
    }
    return 0;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> children;
    ::EnumChildWindows(
        parent,
        [](HWND wnd, LPARAM lp) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(wnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

int ListTexts(HWND parent) {
    if (!::IsWindow(parent)) return 1;
    for (HWND child : ChildWindows(parent))
        Print(std::to_wstring(::GetDlgCtrlID(child)) + L"\t" + ClassOf(child) + L"\t" +
              Text(child));
    return 0;
}

int Click(HWND parent, int id) {
    HWND button = ::GetDlgItem(parent, id);
    if (!button) return 1;
    return ::PostMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                          reinterpret_cast<LPARAM>(button))
               ? 0
               : 1;
}

int Run(DWORD ms, const std::wstring& application, std::wstring commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &startup, &process))
        return 2;
    ::CloseHandle(process.hThread);
    int result = 0;
    if (::WaitForSingleObject(process.hProcess, ms) == WAIT_OBJECT_0) {
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        Print(std::to_wstring(code));
    } else {
        ::TerminateProcess(process.hProcess, 255);  // our own child, by handle
        Print(L"timeout");
        result = 1;
    }
    ::CloseHandle(process.hProcess);
    return result;
}

int ListControls(HWND parent) {
    if (!::IsWindow(parent)) return 1;
    for (HWND child : ChildWindows(parent))
        Print(Hex(child) + L"\t" + std::to_wstring(::GetDlgCtrlID(child)) + L"\t" +
              (::IsWindowVisible(child) ? L"1" : L"0") + L"\t" +
              (::IsWindowEnabled(child) ? L"1" : L"0") + L"\t" + ClassOf(child) + L"\t" +
              Text(child));
    return 0;
}

// Memory in the list's process: list-view messages carry pointers, which
// must be valid where the list lives.
class RemoteBuffer {
  public:
    RemoteBuffer(HWND wnd, size_t size) : size_(size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(wnd, &pid);
        process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                                 pid);
        if (process_)
            address_ = ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                        PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) ::CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool ok() const { return address_ != nullptr; }
    char* at(size_t offset) const { return static_cast<char*>(address_) + offset; }
    bool Write(size_t offset, const void* data, size_t size) const {
        return offset + size <= size_ &&
               ::WriteProcessMemory(process_, at(offset), data, size, nullptr);
    }
    bool Read(size_t offset, void* data, size_t size) const {
        return offset + size <= size_ &&
               ::ReadProcessMemory(process_, at(offset), data, size, nullptr);
    }

  private:
    size_t size_;
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

std::wstring CellText(HWND list, const RemoteBuffer& remote, int row, int column) {
    constexpr size_t kTextOffset = 256;
    constexpr int kChars = 512;
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(remote.at(kTextOffset));
    item.cchTextMax = kChars;
    const wchar_t nothing = 0;
    if (!remote.Write(0, &item, sizeof item) ||
        !remote.Write(kTextOffset, &nothing, sizeof nothing))
        return L"";
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote.at(0)),
                          SMTO_BLOCK, 2000, &length);
    wchar_t text[kChars] = {};
    remote.Read(kTextOffset, text, sizeof(wchar_t) * (kChars - 1));
    return text;
}

int ListCells(HWND list) {
    if (!::IsWindow(list)) return 1;
    RemoteBuffer remote(list, 4096);
    if (!remote.ok()) return 1;
    const HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns =
        header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    const int rows = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        const auto state = ::SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
        std::wstring line = std::to_wstring(row) + L"\t" + ((state >> 12) == 2 ? L"1" : L"0");
        for (int column = 0; column < columns; ++column)
            line += L"\t" + CellText(list, remote, row, column);
        Print(line);
    }
    return 0;
}

// The window's size, then each child's rectangle in the window's client area.
int ListRects(HWND parent) {
    RECT frame{};
    if (!::GetWindowRect(parent, &frame)) return 1;
    Print(L"window\t" + std::to_wstring(frame.right - frame.left) + L"\t" +
          std::to_wstring(frame.bottom - frame.top));
    for (HWND child : ChildWindows(parent)) {
        if (::GetParent(child) != parent) continue;
        RECT r{};
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        Print(std::to_wstring(::GetDlgCtrlID(child)) + L"\t" + std::to_wstring(r.left) + L"\t" +
              std::to_wstring(r.top) + L"\t" + std::to_wstring(r.right) + L"\t" +
              std::to_wstring(r.bottom));
    }
    return 0;
}

// Where a report list draws its first row's check box: the row's left edge,
// the left of its small icon (the check box ends there) and the right of the
// first column, in the list's client area.
int ListCheckBox(HWND list) {
    RemoteBuffer remote(list, sizeof(RECT));
    if (!::IsWindow(list) || !remote.ok()) return 1;
    auto itemRect = [&](HWND to, UINT msg, WPARAM index, LONG code, RECT& out) {
        RECT in{code, 0, 0, 0};
        DWORD_PTR done = 0;
        return remote.Write(0, &in, sizeof in) &&
               ::SendMessageTimeoutW(to, msg, index, reinterpret_cast<LPARAM>(remote.at(0)),
                                     SMTO_BLOCK, 2000, &done) &&
               done && remote.Read(0, &out, sizeof out);
    };
    RECT bounds{}, icon{}, column{};
    const HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (!header || !itemRect(list, LVM_GETITEMRECT, 0, LVIR_BOUNDS, bounds) ||
        !itemRect(list, LVM_GETITEMRECT, 0, LVIR_ICON, icon) ||
        !itemRect(header, HDM_GETITEMRECT, 0, 0, column))
        return 1;
    Print(std::to_wstring(bounds.left) + L"\t" + std::to_wstring(icon.left) + L"\t" +
          std::to_wstring(column.right) + L"\t" + std::to_wstring(bounds.bottom - bounds.top));
    return 0;
}

int CheckRow(HWND list, int row, bool checked) {
    if (!::IsWindow(list)) return 1;
    RemoteBuffer remote(list, sizeof(LVITEMW));
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    if (!remote.ok() || !remote.Write(0, &item, sizeof item)) return 1;
    DWORD_PTR done = 0;
    ::SendMessageTimeoutW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote.at(0)),
                          SMTO_BLOCK, 5000, &done);
    return done ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring command = argv[1];
    auto ms = [&](int i, DWORD fallback) {
        return argc > i ? static_cast<DWORD>(std::wcstoul(argv[i], nullptr, 10)) : fallback;
    };
    if (command == L"windows") return ListWindows();
    if (command == L"wait-window" && argc >= 3)
        return WaitWindow(argv[2], ms(3, 10000), argc > 4 ? argv[4] : L"");
    if (command == L"wait-gone" && argc >= 3) return WaitGone(ParseHwnd(argv[2]), ms(3, 10000));
    if (command == L"texts" && argc >= 3) return ListTexts(ParseHwnd(argv[2]));
    if (command == L"click" && argc >= 4) return Click(ParseHwnd(argv[2]), _wtoi(argv[3]));
    if (command == L"press" && argc >= 4) {
        HWND child = ::GetDlgItem(ParseHwnd(argv[2]), _wtoi(argv[3]));
        return child && ::PostMessageW(child, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (command == L"set-text" && argc >= 5) {  // a dialog's edit control, as if typed
        HWND child = ::GetDlgItem(ParseHwnd(argv[2]), _wtoi(argv[3]));
        DWORD_PTR done = 0;
        return child && ::SendMessageTimeoutW(child, WM_SETTEXT, 0,
                                              reinterpret_cast<LPARAM>(argv[4]), SMTO_BLOCK, 5000,
                                              &done)
                   ? 0
                   : 1;
    }
    if (command == L"post" && argc >= 5)
        return ::PostMessageW(ParseHwnd(argv[2]), static_cast<UINT>(std::wcstoul(argv[3], nullptr, 10)),
                              std::wcstoul(argv[4], nullptr, 10), 0)
                   ? 0
                   : 1;
    if (command == L"close" && argc >= 3)
        return ::PostMessageW(ParseHwnd(argv[2]), WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == L"run" && argc >= 5) return Run(ms(2, 10000), argv[3], argv[4]);
    if (command == L"controls" && argc >= 3) return ListControls(ParseHwnd(argv[2]));
    if (command == L"list-cells" && argc >= 3) return ListCells(ParseHwnd(argv[2]));
    if (command == L"rects" && argc >= 3) return ListRects(ParseHwnd(argv[2]));
    if (command == L"list-check-box" && argc >= 3) return ListCheckBox(ParseHwnd(argv[2]));
    if (command == L"check-row" && argc >= 5)
        return CheckRow(ParseHwnd(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]) != 0);
    return 2;
}
