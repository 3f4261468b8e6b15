// Drives this process's own windows as a user would: keys and mouse through
// SendInput, a message pump that lets the dialog manager see keys, and
// scripted steps that run inside a modal dialog's loop.
#pragma once
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// Dispatches this thread's messages for `ms`, keys through IsDialogMessage
// of their top-level dialog, as a dialog's own loop does.
inline void Pump(DWORD ms = 50) {
    const ULONGLONG deadline = ::GetTickCount64() + ms;
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
            if (root && ::IsDialogMessageW(root, &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    } while (::GetTickCount64() < deadline);
}

// Presses and releases `vk`, holding the given modifiers.
inline void Key(WORD vk, bool shift = false, bool alt = false) {
    std::vector<INPUT> in;
    auto add = [&](WORD key, bool up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = key;
        i.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    if (alt) add(VK_MENU, false);
    if (shift) add(VK_SHIFT, false);
    add(vk, false);
    add(vk, true);
    if (shift) add(VK_SHIFT, true);
    if (alt) add(VK_MENU, true);
    ::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

// Left-button drag in screen coordinates. The whole gesture is queued before
// any of it is dispatched: a press that starts the system's move loop does
// not come back until the button is up again.
inline void Drag(POINT from, POINT to) {
    const int width = ::GetSystemMetrics(SM_CXSCREEN) - 1;
    const int height = ::GetSystemMetrics(SM_CYSCREEN) - 1;
    auto at = [&](POINT p, DWORD flags) {
        INPUT i{};
        i.type = INPUT_MOUSE;
        i.mi.dx = p.x * 65535 / width;
        i.mi.dy = p.y * 65535 / height;
        i.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags;
        return i;
    };
    std::vector<INPUT> in{at(from, 0), at(from, MOUSEEVENTF_LEFTDOWN)};
    for (int step = 1; step <= 5; ++step)
        in.push_back(at({from.x + (to.x - from.x) * step / 5, from.y + (to.y - from.y) * step / 5}, 0));
    in.push_back(at(to, MOUSEEVENTF_LEFTUP));
    ::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
    Pump(300);
}

// The visible dialog window of this thread whose text is `title`.
inline HWND FindOwnDialog(const std::wstring& title) {
    struct Search {
        std::wstring title;
        HWND found;
    } search{title, nullptr};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND wnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            wchar_t text[256] = {};
            ::GetWindowTextW(wnd, text, 256);
            if (::IsWindowVisible(wnd) && s->title == text) {
                s->found = wnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Runs `open` (which shows a modal dialog titled `title`) while `steps` run
// one per timer tick inside its loop, each given the dialog. A dialog still
// open well after the last step is cancelled, so no test can hang on it.
// Returns what `open` returned.
inline INT_PTR RunModalScript(const std::wstring& title, const std::function<INT_PTR()>& open,
                              std::vector<std::function<void(HWND)>> steps) {
    struct Script {
        std::wstring title;
        std::vector<std::function<void(HWND)>> steps;
        size_t next = 0;
        int idle = 0;
    };
    static Script* running = nullptr;
    Script script{title, std::move(steps)};
    running = &script;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 60, [](HWND, UINT, UINT_PTR, DWORD) {
        if (!running) return;
        HWND dialog = FindOwnDialog(running->title);
        if (!dialog) return;
        if (running->next < running->steps.size()) {
            auto step = running->steps[running->next++];
            step(dialog);
        } else if (++running->idle > 40) {
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    });
    const INT_PTR result = open();
    ::KillTimer(nullptr, timer);
    running = nullptr;
    return result;
}

// Colour of one pixel of a window as drawn.
inline COLORREF PixelOf(HWND wnd, int x, int y) {
    ::UpdateWindow(wnd);
    HDC dc = ::GetDC(wnd);
    const COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(wnd, dc);
    return c;
}

inline bool Near(COLORREF a, COLORREF b, int tolerance = 14) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

}  // namespace testsupport
