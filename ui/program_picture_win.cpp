#include "ui/program_picture_win.h"

#include "download/sync/program_image_files.h"
#include "download/sync/program_image_sync_win.h"
#include "ui/skin_win.h"
#include "win/files_win.h"
#include "win/text_win.h"

namespace pelmora {
namespace {

// `bitmap` (deleted) stretched to its size at `dpi`, halftone; a bitmap of
// the screen's kind, as LoadImageW gives.
HBITMAP ScaledToDpi(HBITMAP bitmap, int dpi) {
    const SIZE size = BitmapSize(bitmap);
    const Box box{0, 0, ScaleToDpi(size.cx, dpi), ScaleToDpi(size.cy, dpi)};
    const HDC screen = ::GetDC(nullptr);
    const HBITMAP scaled = ::CreateCompatibleBitmap(screen, box.right, box.bottom);
    if (scaled) {
        win::MemoryDc dc(::CreateCompatibleDC(screen));
        win::SelectObjectScope selected(dc.get(), scaled);
        StretchBitmap(dc.get(), bitmap, box);
    }
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(bitmap);
    return scaled;
}

}  // namespace

ProgramPicture::~ProgramPicture() {
    if (!bitmap_) return;
    if (::IsWindow(control_) &&
        reinterpret_cast<HBITMAP>(::SendMessageW(control_, STM_GETIMAGE, IMAGE_BITMAP, 0)) ==
            bitmap_)
        ::SendMessageW(control_, STM_SETIMAGE, IMAGE_BITMAP, 0);
    ::DeleteObject(bitmap_);
}

void ProgramPicture::SetDpi(int dpi) {
    if (dpi == dpi_) return;
    dpi_ = dpi;
    if (bitmap_ && !wanted_.empty()) ShowFile(wanted_);
}

void ProgramPicture::Show(const std::wstring& programName, int language) {
    if (!SafeProgramName(programName, L"picture is shown")) return;
    wanted_ = ProgramImageFolder(localRoot_, programName) + L"\\" +
              win::ToWide(ImageFileForLanguage(language));
    ShowFile(wanted_);
}

void ProgramPicture::Arrived(const std::wstring& path) {
    if (!wanted_.empty() && ::lstrcmpiW(wanted_.c_str(), path.c_str()) == 0) ShowFile(path);
}

void ProgramPicture::ShowFile(const std::wstring& path) {
    // A device-dependent bitmap: the control keeps this very handle rather
    // than a copy (it copies only 32-bit DIB sections with alpha).
    auto bitmap = static_cast<HBITMAP>(
        ::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (bitmap && dpi_ > kBaseDpi) bitmap = ScaledToDpi(bitmap, dpi_);
    if (!bitmap) return;
    const auto previous = reinterpret_cast<HGDIOBJ>(
        ::SendMessageW(control_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    if (previous && previous != bitmap) {
        ::DeleteObject(previous);
        if (previous == bitmap_) bitmap_ = nullptr;
    }
    if (reinterpret_cast<HBITMAP>(::SendMessageW(control_, STM_GETIMAGE, IMAGE_BITMAP, 0)) !=
        bitmap) {
        ::DeleteObject(bitmap);  // not kept (no such control, or a copy was made)
        return;
    }
    bitmap_ = bitmap;
}

}  // namespace pelmora
