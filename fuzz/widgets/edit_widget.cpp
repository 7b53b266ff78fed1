// Random keys, characters, mouse events, clipboard texts, updates and draws against an
// edit field with random font, size, limits, password character and listener refusals.
// After every event the caret, the anchor and the first visible character lie inside
// the text, the length and width limits hold, and the event took no long time.
#include "graphics/support/FixedFont.h"
#include "widgets/EditListener.h"
#include "widgets/EditWidget.h"
#include "widgets/support/ClipboardPlatform.h"
#include "widgets/support/WidgetTestEnv.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

using namespace Vaxo;

namespace
{

const int kKeys[] = {8, 9, 13, 16, 17, 35, 36, 37, 39, 46, 65, 67, 86, 88, 89, 90, 32, 0};
const int kClickCounts[] = {1, 2, -1, 3};

class RandomListener : public EditListener
{
public:
    char mRefusedChar = 0;
    size_t mRefusedLength = size_t(-1);

    bool AllowChar(int, char c) override { return c != mRefusedChar; }
    bool AllowText(int, const VaxoString& text) override { return text.size() != mRefusedLength; }
};

// One application for the whole run: it holds the clipboard the field reaches.
struct Shared
{
    AppTestEnv mEnv;
    ClipboardPlatform* mPlatform = nullptr;
    std::unique_ptr<RecordingApp> mApp = MakeClipboardApp(mEnv, &mPlatform);
};

ClipboardPlatform* Clipboard()
{
    static Shared shared;
    shared.mPlatform->mCalls.clear();
    return shared.mPlatform;
}

void CheckLimits(EditWidget& edit)
{
    const int length = int(edit.mString.size());
    if (edit.mMaxChars >= 0 && length > edit.mMaxChars)
        abort();
    if (edit.mWidthChecks.empty() && edit.mMaxPixels > 0 &&
        edit.mFont->StringWidth(edit.mString) > edit.mMaxPixels)
        abort();
    for (EditWidget::WidthCheck& check : edit.mWidthChecks)
    {
        const int limit = check.mMaxWidth > 0 ? check.mMaxWidth : edit.mMaxPixels;
        if (limit > 0 && check.mCheckFont->StringWidth(edit.mString) > limit)
            abort();
    }
}

void CheckPositions(EditWidget& edit)
{
    const int length = int(edit.mString.size());
    if (edit.mCursorPos < 0 || edit.mCursorPos > length)
        abort();
    if (edit.mHilitePos < -1 || edit.mHilitePos > length)
        abort();
    if (edit.mLeftPos < 0 || edit.mLeftPos > length)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    ClipboardPlatform* clipboard = Clipboard();
    clipboard->mClipboard = in.ConsumeRandomLengthString(64);
    WidgetTestEnv env;
    WidgetManager* m = env.mManager;
    RandomListener listener;
    listener.mRefusedChar = in.ConsumeIntegral<char>();
    listener.mRefusedLength = in.ConsumeIntegralInRange<size_t>(0, 40);
    EditWidget edit(1, &listener);
    FixedFont font(in.ConsumeIntegralInRange(0, 40));
    edit.SetFont(&font);
    if (in.ConsumeBool())
    {
        FixedFont check(in.ConsumeIntegralInRange(0, 20));
        edit.AddWidthCheckFont(&check, in.ConsumeIntegralInRange(-5, 200));
    }
    edit.mMaxChars = in.ConsumeIntegralInRange(-3, 40);
    edit.mMaxPixels = in.ConsumeIntegralInRange(-5, 300);
    edit.mPasswordChar = in.ConsumeBool() ? '*' : 0;
    edit.Resize(10, 10, in.ConsumeIntegralInRange(0, 200), 20);
    m->AddWidget(&edit);
    m->SetFocus(&edit);

    while (in.remaining_bytes() > 0)
    {
        const auto start = std::chrono::steady_clock::now();
        const int op = in.ConsumeIntegralInRange(0, 8);
        const int x = in.ConsumeIntegralInRange(0, 240), y = 15;
        switch (op)
        {
        case 0:
            m->KeyDown(KeyCode(in.PickValueInArray(kKeys)));
            break;
        case 1:
            m->KeyUp(KeyCode(in.PickValueInArray(kKeys)));
            break;
        case 2:
            m->KeyChar(in.ConsumeIntegral<char>());
            break;
        case 3:
            m->MouseDown(x, y, in.PickValueInArray(kClickCounts));
            break;
        case 4:
            m->MouseUp(x, y, in.PickValueInArray(kClickCounts));
            break;
        case 5:
            m->MouseMove(x, y);
            break;
        case 6:
            clipboard->mClipboard = in.ConsumeRandomLengthString(64);
            break;
        case 7:
            m->UpdateFrame();
            break;
        default:
            m->DrawScreen();
            break;
        }
        CheckPositions(edit);
        CheckLimits(edit);
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(1))
            abort();
    }
    m->RemoveWidget(&edit);
    return 0;
}
