// Slider: track clicks reported on release, dragging with the grab offset, clamping, the
// track drawing and the divisions a short track or a long thumb would make.
#include "graphics/support/RecordingImage.h"
#include "widgets/Slider.h"
#include "widgets/support/ControlTestSupport.h"

#include <cmath>
#include <string>
#include <utility>

using namespace Vaxo;

namespace
{

using Controls = SliderImagesTest;

TEST_F(Controls, SliderTrackClickJumpsAndDragKeepsTheGrabOffsetAndValuesStayWithin0To1)
{
    Attached<Slider> slider(mManager, &mTrack, &mThumb, 1, &mLog);
    slider->Resize(100, 100, 200, 20);
    // A click on the track, off the thumb at 0..19, jumps there; heard on the release.
    mManager->MouseDown(150, 110, 1);
    EXPECT_EQ(slider->mValue, 0.25);
    EXPECT_EQ(mLog.Take(), "");
    mManager->MouseUp(150, 110, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0.25)");

    // The thumb now covers 45..64.
    mManager->MouseDown(150, 110, 1); // 5 pixels into the thumb
    EXPECT_EQ(mApp.mCursorNum, 2);
    const std::pair<int, const char*> rows[] = {{195, "SliderVal(1,0.5)"}, {195, ""},
                                                {500, "SliderVal(1,1)"},   {600, ""},
                                                {0, "SliderVal(1,0)"},     {-50, ""}};
    for (const auto& [x, heard] : rows)
    {
        mManager->MouseMove(x, 110);
        EXPECT_EQ(mLog.Take(), heard) << x;
    }
    mManager->MouseUp(-50, 110, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0)");
    EXPECT_EQ(mApp.mCursorNum, 0);

    // Vertically the grab offset is along y.
    slider->mHorizontal = false;
    slider->Resize(100, 100, 20, 200);
    mManager->MouseDown(110, 103, 1);
    mManager->MouseMove(110, 193);
    mManager->MouseUp(110, 193, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0.5) SliderVal(1,0.5)");

    // A thumb as long as the track cannot be dragged anywhere.
    Attached<Slider> full(mManager, &mTrack, &mThumb, 1, &mLog);
    full->Resize(0, 0, 20, 20);
    mManager->MouseDown(5, 5, 1);
    mManager->MouseMove(15, 5);
    mManager->MouseUp(15, 5, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0)");
    // SetValue clamps and tells nobody.
    Slider plain(&mTrack, &mThumb, 1, &mLog);
    const double values[][2] = {{1.7, 1.0}, {-0.5, 0.0}, {0.3, 0.3}, {std::nan(""), 0.0}};
    for (const auto& row : values)
    {
        plain.SetValue(row[0]);
        EXPECT_EQ(plain.mValue, row[1]) << row[0];
    }
    EXPECT_EQ(mLog.Take(), "");
}

TEST_F(Controls, SliderDrawsCapsRepeatedMiddleAndThumb)
{
    RecordingImage thumb("thumb", 10, 10);
    Slider slider(&mTrack, &thumb, 1, &mLog);
    slider.Resize(0, 0, 55, 10);
    slider.SetValue(0.5);
    // Parts of 10 x 4 at y (10 - 4) / 2; the middle repeats over 10..44, the last copy
    // cut at 45; the thumb at 0.5 x (55 - 10).
    EXPECT_EQ(DrawCalls(&slider), "Blt(track,0,3,(0,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,10,3,(10,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,20,3,(10,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,30,3,(10,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,40,3,(10,0,5,4),(255,255,255,255),0) "
                                  "Blt(track,45,3,(20,0,10,4),(255,255,255,255),0) "
                                  "Blt(thumb,22,0,(0,0,10,10),(255,255,255,255),0)");

    // A track image narrower than 3 pixels has no parts to repeat.
    RecordingImage thin("thin", 2, 4);
    slider.mTrackImage = &thin;
    EXPECT_EQ(DrawCalls(&slider), "Blt(thumb,22,0,(0,0,10,10),(255,255,255,255),0)");
}

} // namespace
