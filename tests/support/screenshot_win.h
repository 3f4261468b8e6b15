// Saves what a window shows on screen as a 24-bit BMP in the folder named by
// PELMORA_SCREENSHOTS, a Linux path (reached under Wine through drive Z:).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// The screenshot folder as a Windows path, created if needed; empty when the
// variable is not set or the folder cannot be made.
inline std::wstring ScreenshotFolder() {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"PELMORA_SCREENSHOTS", buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring folder(buffer, n);
    if (folder[0] == L'/') folder = L"Z:" + folder;
    for (wchar_t& c : folder)
        if (c == L'/') c = L'\\';
    // Create each missing level; the build tree itself exists.
    for (size_t i = folder.find(L'\\', 3);; i = folder.find(L'\\', i + 1)) {
        ::CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
        if (i == std::wstring::npos) break;
    }
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return folder;
}

// Copies the window's screen rectangle (frame included) into `name`.bmp.
// Returns the file's path, or empty on failure.
inline std::wstring SaveWindowScreenshot(HWND wnd, const std::wstring& name) {
    const std::wstring folder = ScreenshotFolder();
    RECT rect{};
    if (folder.empty() || !::GetWindowRect(wnd, &rect)) return {};
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const int stride = (width * 3 + 3) & ~3;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(stride * height);

    std::vector<BYTE> pixels(info.bmiHeader.biSizeImage);
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    const BOOL copied = ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);
    const int lines = ::GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (!copied || lines != height) return {};

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
    file.bfSize = file.bfOffBits + info.bmiHeader.biSizeImage;
    const std::wstring path = folder + L"\\" + name + L".bmp";
    HANDLE out = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return {};
    DWORD written = 0;
    BOOL ok = ::WriteFile(out, &file, sizeof(file), &written, nullptr);
    ok = ok && ::WriteFile(out, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr);
    ok = ok && ::WriteFile(out, pixels.data(), info.bmiHeader.biSizeImage, &written, nullptr);
    ::CloseHandle(out);
    return ok ? path : std::wstring();
}

}  // namespace testsupport
