// The headless platform, as the server and the verifier use it: pictures
// give their sizes, nothing is shown, sound stays silent, files are read.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/gfx.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/sendnet.h"
#include "platform/shell.h"
#include "platform/toolkit.h"
#include "platform/window.h"
#include "png_builder.h"

namespace {

std::string WriteTemp(const std::string& name, const std::string& bytes) {
    const std::string path = testing::TempDir() + "headless_" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

int LoadResult(const std::string& bytes, int* cx = nullptr, int* cy = nullptr) {
    plat::CImage image;
    const int rc = image.Load(WriteTemp("picture.png", bytes));
    if (cx)
        *cx = image.GetWidth();
    if (cy)
        *cy = image.GetHeight();
    EXPECT_EQ(image.IsNull(), rc != 0);
    return rc;
}

TEST(HeadlessPictures, TheGameDataGivesItsSizes) {
    const struct {
        const char* file;
        int cx, cy;
    } pictures[] = {
        {"UFO", 40, 20}, {"Fighter", 40, 50}, {"misile", 10, 50}, {"Explosion", 48, 48}};
    for (const auto& p : pictures) {
        plat::CImage image;
        ASSERT_EQ(image.Load(std::string(DORUZORO_DATA_DIR) + "\\image\\" + p.file + ".kpg"), 0)
            << p.file;
        EXPECT_EQ(image.GetWidth(), p.cx) << p.file;
        EXPECT_EQ(image.GetHeight(), p.cy) << p.file;
    }
}

TEST(HeadlessPictures, BrokenFilesAreRefusedNotSized) {
    int cx = 0, cy = 0;
    EXPECT_EQ(LoadResult(pngtest::Png(3, 2), &cx, &cy), 0);
    EXPECT_EQ(cx, 3);
    EXPECT_EQ(cy, 2);
    const std::string good = pngtest::Png(7, 5);
    EXPECT_NE(LoadResult(""), 0);
    EXPECT_NE(LoadResult("not a picture at all"), 0);
    EXPECT_NE(LoadResult(good.substr(0, good.size() - 1)), 0) << "cut short";
    EXPECT_NE(LoadResult(good + "x"), 0) << "bytes after the end";
    std::string flipped = good;
    flipped[20] ^= 1;  // inside IHDR: its CRC no longer matches
    EXPECT_NE(LoadResult(flipped), 0);
    EXPECT_NE(LoadResult(pngtest::Png(0, 5)), 0);
    EXPECT_NE(LoadResult(pngtest::Png(70000, 1)), 0);
    plat::CImage missing;
    EXPECT_NE(missing.Load(testing::TempDir() + "no such picture.kpg"), 0);
    EXPECT_TRUE(missing.IsNull());
}

TEST(HeadlessDesktop, NothingIsShownAndTheCallerIsTold) {
    EXPECT_FALSE(plat::InitToolkit(nullptr, nullptr));
    EXPECT_FALSE(plat::ToolkitReady());
    plat::SendNetFields fields;
    EXPECT_EQ(plat::RunSendNetDialog(fields), -1);
    EXPECT_FALSE(plat::OpenUri("http://127.0.0.1/"));
    EXPECT_FALSE(plat::SpawnProgram("/bin/true", {}));
    testing::internal::CaptureStderr();
    plat::MessageBox("the text", "the caption");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "the caption: the text\n");

    struct CProbe : plat::CDialog {
        CProbe() : CDialog("probe", 488, 351) {}
        void OnPaint() override { ++nPaints; }
        int nPaints = 0;
    } dialog;
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_EQ(dialog.GetClientRect().Width(), 732);
    EXPECT_EQ(dialog.GetClientRect().Height(), 570);
    dialog.PostPaint();
    dialog.PostPaint();
    EXPECT_TRUE(dialog.DispatchPendingPaint());
    EXPECT_FALSE(dialog.DispatchPendingPaint()) << "posted paints coalesce";
    EXPECT_EQ(dialog.nPaints, 1);
}

TEST(HeadlessSound, TheDevicePlaysSilentlyAndOfflineStillRenders) {
    const auto device = plat::CAudioDevice::Open();
    ASSERT_TRUE(device);
    const std::vector<uint8_t> pcm(200, 0xC0);
    auto buffer = device->CreateBuffer(8, 22050, pcm.data(), pcm.size(), false);
    ASSERT_TRUE(buffer);
    buffer->Play(false);
    EXPECT_EQ(buffer->GetStatus() & plat::kAudioPlaying, plat::kAudioPlaying);

    const auto offline = plat::CAudioDevice::OpenOffline(48000);
    auto tone = offline->CreateBuffer(8, 48000, pcm.data(), pcm.size(), false);
    tone->Play(false);
    std::vector<float> out(2 * 64);
    offline->Render(out.data(), 64);
    float peak = 0;
    for (const float s : out)
        peak = std::max(peak, std::abs(s));
    EXPECT_GT(peak, 0.1f);
}

TEST(HeadlessFiles, ReadAndMissingFilesAreTold) {
    const std::string path = WriteTemp("file.bin", std::string("a\0b", 3));
    std::string bytes;
    ASSERT_TRUE(plat::ReadFile(path, bytes));
    EXPECT_EQ(bytes, std::string("a\0b", 3));
    EXPECT_TRUE(plat::FileExists(path));
    EXPECT_FALSE(plat::FileExists(testing::TempDir()));  // a folder is not a file
    EXPECT_FALSE(plat::ReadFile(path + ".missing", bytes));
    EXPECT_FALSE(plat::GetCurrentDirectory().empty());
}

}  // namespace
