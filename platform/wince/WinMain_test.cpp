// End to end: the test runs itself again as a separate process that starts
// the platform with a recording game double, headless on SDL's dummy driver.
// The child writes what the game received and the parent checks it along
// with the exit code.
#include "platform/wince/WinMain.h"

#include "framework/events/Event.h"
#include "framework/services/AppBase.h"
#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/drawcontext/DrawContext.h"
#include "platform/host/HostInstance.h"
#include "platform/host/HostTestDriver.h"
#include "platform/host/HostTime.h"
#include "platform/wince/GameHooks.h"
#include "platform/wince/PlatformEvents.h"

#include "tests/support/GoldenImage.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const char* env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The drawn frame: a clear, a filled rectangle and an 8 x 8 image whose
// magenta pixels are its colour key, at these places.
constexpr int kFrameWidth = 96;
constexpr int kFrameHeight = 64;
constexpr uint32_t kClearArgb = 0xFF202020;
constexpr uint16_t kClear565 = 0x2104;
constexpr int kRect[4] = { 4, 6, 40, 20 };  // x0, y0, x1, y1, far edges out
constexpr uint32_t kRectArgb = 0xFFFF0000;
constexpr uint16_t kRect565 = 0xF800;
constexpr int kImageX = 36;
constexpr int kImageY = 16;
constexpr int kImageSide = 8;
constexpr uint16_t kKey565 = 0xF81F;

// The image: a blue ring around a keyed centre and keyed corners.
uint16_t imagePixel(int x, int y)
{
    const int dx = 2 * x - 7;
    const int dy = 2 * y - 7;
    const int r = dx * dx + dy * dy;
    return r >= 18 && r <= 50 ? uint16_t(0x001F) : kKey565;
}

// Draws the frame through the 2D library into the display's frame surface
// and presents it.
void drawTestFrame()
{
    ScreenContext* display = getDisplay();
    DrawContext* draw = getDrawContext();
    if (!display || !display->open() || !draw || !draw->open(0, 0))
        return;
    MemorySurface image;
    const SurfaceAttribute list[] = { { SurfaceKey::Width, kImageSide }, { SurfaceKey::Height, kImageSide },
        { SurfaceKey::Format0, 0x021302 }, { SurfaceKey::End, 0 } };
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    if (!image.init(list) || !image.lock(&pixels, &pitch, 0, nullptr))
        return;
    for (int y = 0; y < kImageSide; ++y) {
        for (int x = 0; x < kImageSide; ++x) {
            const uint16_t v = imagePixel(x, y);
            std::memcpy(pixels + y * pitch + x * 2, &v, 2);
        }
    }
    image.unlock();
    display->beginFrame(0, 0);
    display->setClearColor(kClearArgb);
    display->clear(SurfacePlanes::Colour);
    if (draw->begin(0, 0)) {
        fillRect(kRect[0], kRect[1], kRect[2], kRect[3], kRectArgb);
        draw->enable(DrawGroup::ColourKey);
        draw->translate(kImageX << 16, kImageY << 16);
        draw->drawImage(&image, 0, nullptr);
        draw->end(0, 0);
    }
    display->endFrame(0, 0);
    display->present();
    draw->close(0, 0);
    display->close();
}

// The child's game: records events and, in the scripted mode, presses keys
// and closes the window through SDL as a user would.
class ChildApp : public AppBase {
public:
    int init() override { return startFramework() ? 0 : 1; }
    void dispatch(uint32_t id, uint32_t arg1, uint32_t arg2) override { m_events.push_back({ id, arg1, arg2 }); }
    void frame() override
    {
        ++m_frames;
        const std::string mode = env("PF_E2E_MODE");
        if (mode == "wait" && m_frames == 1)
            std::ofstream(std::string(env("PF_E2E_RECORD")) + ".ready") << "ready\n";
        if (mode == "draw") {
            if (m_frames == 1)
                drawTestFrame();
            else
                hostTestPushClose();
        }
        if (mode != "keys")
            return;
        switch (m_frames) {
        case 2:
            hostTestPushKey(SDL_SCANCODE_RIGHT, true);
            hostTestPushKey(SDL_SCANCODE_RIGHT, true, true);
            break;
        case 3:
            hostTestPushKey(SDL_SCANCODE_RIGHT, false);
            break;
        case 4:
            hostTestPushKey(SDL_SCANCODE_ESCAPE, true);
            hostTestPushKey(SDL_SCANCODE_ESCAPE, false);
            break;
        case 5:
            hostTestPushClose();
            break;
        default:
            break;
        }
    }
    void shutdown() override
    {
        ++m_shutdowns;
        std::ofstream out(env("PF_E2E_RECORD"));
        for (const Event& e : m_events)
            out << "event " << e.id << ' ' << e.arg1 << ' ' << e.arg2 << '\n';
        out << "shutdowns " << m_shutdowns << '\n';
        out << "raises " << hostRaiseRequestCount() << '\n';
    }

private:
    std::vector<Event> m_events;
    uint32_t m_frames = 0;
    int m_shutdowns = 0;
};

AppBase* makeChildApp()
{
    return new ChildApp();
}

struct ChildRecord {
    std::vector<Event> events;
    int shutdowns = -1;
    int raises = -1;
};

ChildRecord readRecord(const std::string& path)
{
    ChildRecord record;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "event") {
            Event e{};
            words >> e.id >> e.arg1 >> e.arg2;
            record.events.push_back(e);
        } else if (kind == "shutdowns") {
            words >> record.shutdowns;
        } else if (kind == "raises") {
            words >> record.raises;
        }
    }
    return record;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/pf-winmain-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        m_record = m_folder + "/record.txt";
    }
    void TearDown() override
    {
        if (m_child > 0) {
            kill(m_child, SIGKILL);
            waitpid(m_child, nullptr, 0);
        }
        hostSetInstanceFolder("");
        // The record, its ready mark and the child's lock file go with it.
        std::filesystem::remove_all(m_folder);
    }

    void start(const char* mode, std::vector<std::string> vars = {})
    {
        for (const char* v : { "SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy" })
            vars.push_back(v);
        vars.push_back(std::string("PF_E2E_MODE=") + mode);
        vars.push_back("PF_E2E_RECORD=" + m_record);
        vars.push_back("PF_INSTANCE_DIR=" + m_folder);
        std::vector<char*> envp;
        for (std::string& v : vars)
            envp.push_back(v.data());
        for (char** e = environ; *e; ++e) {
            if (std::strncmp(*e, "PF_E2E_", 7) != 0 && std::strncmp(*e, "PF_INSTANCE_DIR=", 16) != 0
                && std::strncmp(*e, "PF_SCREEN_", 10) != 0 && std::strncmp(*e, "PENNYFALL_CAPTURE=", 18) != 0)
                envp.push_back(*e);
        }
        envp.push_back(nullptr);
        std::string self = "/proc/self/exe";
        std::string filter = "--gtest_filter=WinMainChild.DISABLED_RunsThePlatform";
        std::string disabled = "--gtest_also_run_disabled_tests";
        char* argv[] = { self.data(), filter.data(), disabled.data(), nullptr };
        ASSERT_EQ(posix_spawn(&m_child, "/proc/self/exe", nullptr, nullptr, argv, envp.data()), 0);
    }

    // The child's exit code, or -1 when it did not exit by itself in time.
    int waitForExit()
    {
        for (int i = 0; i < 2000; ++i) {
            int status = 0;
            if (waitpid(m_child, &status, WNOHANG) == m_child) {
                m_child = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    bool waitForFile(const std::string& path)
    {
        for (int i = 0; i < 1000; ++i) {
            if (access(path.c_str(), F_OK) == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    std::string m_folder;
    std::string m_record;
    pid_t m_child = 0;
};

TEST_F(EndToEnd, KeysAndACloseThroughSdlReachTheGameInOrder)
{
    start("keys");
    ASSERT_EQ(waitForExit(), 0);
    const ChildRecord record = readRecord(m_record);
    EXPECT_EQ(record.shutdowns, 1);
    std::vector<Event> input;
    for (const Event& e : record.events) {
        if (e.id == PlatformEventId::KeyDown || e.id == PlatformEventId::KeyUp)
            input.push_back(e);
    }
    // Right: one key-down despite the repeat, then its key-up; Esc: one back.
    ASSERT_EQ(input.size(), 3u);
    EXPECT_EQ(input[0].id, PlatformEventId::KeyDown);
    EXPECT_EQ(input[0].arg1, 7u);
    EXPECT_EQ(input[1].id, PlatformEventId::KeyUp);
    EXPECT_EQ(input[1].arg1, 7u);
    EXPECT_EQ(input[2].id, PlatformEventId::KeyDown);
    EXPECT_EQ(input[2].arg1, 12u);
    ASSERT_FALSE(record.events.empty());
    EXPECT_EQ(record.events.front().id, PlatformEventId::RunStart);
    EXPECT_EQ(record.events.back().id, PlatformEventId::RunEnd);
}

TEST_F(EndToEnd, SecondCopyRaisesTheFirstAndExitsZero)
{
    start("wait");
    ASSERT_TRUE(waitForFile(m_record + ".ready"));
    hostSetInstanceFolder(m_folder);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    // The raise is seen on the first copy's next message wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(kill(m_child, SIGTERM), 0);
    ASSERT_EQ(waitForExit(), 0);
    const ChildRecord record = readRecord(m_record);
    EXPECT_EQ(record.shutdowns, 1);
    EXPECT_EQ(record.raises, 1);
    ASSERT_FALSE(record.events.empty());
    EXPECT_EQ(record.events.back().id, PlatformEventId::RunEnd);
}

// 5-6-5 channels widened to 8 bits as the capture writes them.
uint32_t argbOf565(uint16_t v)
{
    const uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
    return 0xFF000000u | ((r << 3) | (r >> 2)) << 16 | ((g << 2) | (g >> 4)) << 8 | ((b << 3) | (b >> 2));
}

TEST_F(EndToEnd, AFrameDrawnByTheLibraryIsCapturedFromTheWindow)
{
    start("draw", { "PF_SCREEN_WIDTH=96", "PF_SCREEN_HEIGHT=64", "PENNYFALL_CAPTURE=" + m_folder });
    ASSERT_EQ(waitForExit(), 0);
    const std::string frame = m_folder + "/frame-000001.png";
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, frame.c_str()));
    image.format = PNG_FORMAT_BGRA;
    ASSERT_EQ(image.width, uint32_t(kFrameWidth));
    ASSERT_EQ(image.height, uint32_t(kFrameHeight));
    std::vector<uint32_t> pixels(kFrameWidth * kFrameHeight);
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    std::remove(frame.c_str());

    // Reference: the clear, the rectangle, then the image's unkeyed pixels.
    int wrong = 0;
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            uint16_t v = kClear565;
            if (x >= kRect[0] && x < kRect[2] && y >= kRect[1] && y < kRect[3])
                v = kRect565;
            const int ix = x - kImageX;
            const int iy = y - kImageY;
            if (ix >= 0 && ix < kImageSide && iy >= 0 && iy < kImageSide && imagePixel(ix, iy) != kKey565)
                v = imagePixel(ix, iy);
            wrong += pixels[y * kFrameWidth + x] != argbOf565(v);
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(matchesGolden("platform/wince/WinMain_frame.png", pixels.data(), kFrameWidth, kFrameHeight));
}

TEST(WinMainChild, DISABLED_RunsThePlatform)
{
    const std::string mode = env("PF_E2E_MODE");
    if (mode.empty())
        GTEST_SKIP() << "runs only as the end-to-end child";
    if (mode == "keys")
        hostTestUseVirtualClock(0);
    setGameAppFactory(makeChildApp);
    std::fflush(nullptr);
    std::_Exit(WinMain(nullptr, nullptr, nullptr, 0));
}

} // namespace
