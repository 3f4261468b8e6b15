#include "ui/program_picture_win.h"

#include "app/settings/settings.h"
#include "download/sync/program_image_sync_win.h"
#include "ui/skin_win.h"
#include "win/handles_win.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/fake_server_win.h"
#include "tests/support/test_root_win.h"

namespace pelmora {
namespace {

// A 2 x 2, 24-bit bitmap of one colour.
std::string Bitmap(COLORREF colour) {
    const BITMAPFILEHEADER file = {0x4D42, 14 + 40 + 16, 0, 0, 14 + 40};
    const BITMAPINFOHEADER info = {40, 2, 2, 1, 24, BI_RGB, 16, 0, 0, 0, 0};
    std::string bmp(reinterpret_cast<const char*>(&file), sizeof(file));
    bmp.append(reinterpret_cast<const char*>(&info), sizeof(info));
    const char pixel[] = {char(GetBValue(colour)), char(GetGValue(colour)),
                          char(GetRValue(colour))};
    for (int row = 0; row < 2; ++row) bmp.append(pixel, 3).append(pixel, 3).append(2, '\0');
    return bmp;
}

class ShowImage : public ::testing::Test {
  protected:
    void SetUp() override { shown_->Attach(picture_.get(), root_.Root()); }
    HBITMAP Current() {
        return reinterpret_cast<HBITMAP>(
            ::SendMessageW(picture_.get(), STM_GETIMAGE, IMAGE_BITMAP, 0));
    }
    COLORREF Colour(int x = 0, int y = 0) {
        win::MemoryDc dc(::CreateCompatibleDC(nullptr));
        win::SelectObjectScope select(dc.get(), Current());
        return ::GetPixel(dc.get(), x, y);
    }
    SIZE ShownSize() { return BitmapSize(Current()); }
    void Show(const std::wstring& program, int language) { shown_->Show(program, language); }
    std::wstring File(const std::wstring& program, const wchar_t* name) {
        return ProgramImageFolder(root_.Root(), program) + L"\\" + name;
    }
    testsupport::TestRoot root_{L"pelmora-picture-test"};
    win::Window picture_{::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | SS_BITMAP, 0, 0, 50, 50,
                                           nullptr, nullptr, nullptr, nullptr)};
    std::unique_ptr<ProgramPicture> shown_ = std::make_unique<ProgramPicture>();
};

TEST_F(ShowImage, LanguagePicksTheFileAndTheOldBitmapIsFreed) {
    testsupport::WriteFileMakingFolders(File(L"Tool \u00C5", L"kr.bmp"), Bitmap(RGB(255, 0, 0)));
    testsupport::WriteFileMakingFolders(File(L"Tool \u00C5", L"en.bmp"), Bitmap(RGB(0, 0, 255)));
    Show(L"Tool \u00C5", Korean);
    const HBITMAP first = Current();
    EXPECT_EQ(Colour(), RGB(255, 0, 0));
    Show(L"Tool \u00C5", Romanian);
    EXPECT_EQ(::GetObjectType(first), 0u);  // deleted, not leaked
    EXPECT_EQ(Colour(), RGB(0, 0, 255));
    const HBITMAP shown = Current();
    Show(L"Tool \u00C5", Japanese);  // no jp.bmp: the picture stays
    Show(L"Missing", Korean);
    EXPECT_EQ(Current(), shown);
    shown_.reset();  // the owner goes: the control is emptied and the bitmap deleted
    EXPECT_EQ(Current(), nullptr);
    EXPECT_EQ(::GetObjectType(shown), 0u);
}

TEST_F(ShowImage, AboveOneHundredPercentThePictureGrowsWithTheScale) {
    testsupport::WriteFileMakingFolders(File(L"A", L"en.bmp"), Bitmap(RGB(200, 40, 40)));
    Show(L"A", English);  // 96 dpi: the file's own bitmap, at its size
    EXPECT_EQ(ShownSize().cx, 2);
    const HBITMAP first = Current();
    shown_->SetDpi(192);  // shown again, stretched to the scaled size
    EXPECT_EQ(ShownSize().cx, 4);
    EXPECT_EQ(ShownSize().cy, 4);
    EXPECT_EQ(::GetObjectType(first), 0u);
    EXPECT_EQ(Colour(3, 3), RGB(200, 40, 40));
    RECT control{};
    ::GetClientRect(picture_.get(), &control);
    EXPECT_EQ(control.right, 4);  // the control takes the bitmap's size
    shown_->SetDpi(144);
    EXPECT_EQ(ShownSize().cy, 3);
}

TEST_F(ShowImage, AnArrivedPictureIsShownOnlyWhenItIsTheOneAskedFor) {
    Show(L"A", English);  // not there yet
    EXPECT_EQ(Current(), nullptr);
    testsupport::WriteFileMakingFolders(File(L"A", L"kr.bmp"), Bitmap(RGB(1, 1, 1)));
    testsupport::WriteFileMakingFolders(File(L"A", L"en.bmp"), Bitmap(RGB(2, 2, 2)));
    shown_->Arrived(File(L"A", L"kr.bmp"));
    EXPECT_EQ(Current(), nullptr);
    shown_->Arrived(File(L"A", L"EN.BMP"));  // paths compare without letter case
    EXPECT_EQ(Colour(), RGB(2, 2, 2));
}

TEST_F(ShowImage, ShowsWhatTheSynchronisationWroteButNothingOutsideIt) {
    testsupport::FakeServer server{root_.ServerFolder()};
    root_.Publish(L"img/A/po.bmp", Bitmap(RGB(0, 255, 0)));
    root_.Publish(L"tools/image_version.txt", "1\n");
    ProgramTable table;
    table.programCount = table.catalogueLineCount = 1;
    table.records[0].catalogueLine = 0;
    table.records[0].nameEnglish = std::u16string(u"A");
    table.records[0].imageLocation = std::u16string(u"http://server.test/img/A");
    SyncProgramImages(ServerFiles{server.kBaseUrl, root_.Root(), server.Downloader()}, table);
    Show(L"A", Polish);
    EXPECT_EQ(Colour(), RGB(0, 255, 0));

    const std::wstring outside = L"..\\..\\..\\..\\outside";  // <root>\outside
    testsupport::WriteFileMakingFolders(root_.Root() + L"outside\\en.bmp", Bitmap(RGB(9, 9, 9)));
    const HBITMAP shown = Current();
    Show(outside, English);
    EXPECT_EQ(Current(), shown);
}

}  // namespace
}  // namespace pelmora
