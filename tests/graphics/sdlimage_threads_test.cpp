// Display-format images made, drawn and destroyed on a loading thread while the main
// thread does the same: surface creation and image registration share the
// application's image mutex.
#include "graphics/support/SDLImageTestUtil.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <thread>

using namespace Vaxo;

namespace
{

void MakeAndDraw(FormatDisplay* display, int rounds, int* good)
{
    for (int i = 0; i < rounds; ++i)
    {
        auto image = MakeSDLImage(display, 16, 8, 0xFF204060u);
        image->FillRect(TRect<int>(0, 0, 4, 4), Color::White, 0);
        if (image->HasSurface() && SurfaceWord(*image, 1, 1) != 0 && SurfaceWord(*image, 10, 5) != 0)
            ++*good;
    }
}

TEST(SDLImageThreads, SurfacesMadeOnTwoThreadsAtOnce)
{
    TestApp app;
    FormatDisplay display(TestFormat::k565, &app);
    app.mDisplay = &display;
    const int kRounds = 400;
    int goodLoader = 0, goodMain = 0;
    std::thread loader(MakeAndDraw, &display, kRounds, &goodLoader);
    MakeAndDraw(&display, kRounds, &goodMain);
    loader.join();
    EXPECT_EQ(goodLoader, kRounds);
    EXPECT_EQ(goodMain, kRounds);
    EXPECT_TRUE(app.mMemoryImageSet.empty());
    app.mDisplay = nullptr;
}

} // namespace
