#include "widgets/DialogSkin.h"

#include "app/VaxoAppBase.h"
#include "graphics/Font.h"
#include "graphics/Graphics.h"
#include "graphics/MemoryImage.h"
#include "widgets/DialogButton.h"
#include "widgets/EditWidget.h"
#include "widgets/ListWidget.h"
#include "widgets/SimpleDialog.h"
#include "widgets/Slider.h"

#include <memory>

namespace Vaxo
{

SmartPtr<DialogSkin> DialogSkin::mDefSkin;

DialogSkin::DialogSkin() : mButtonClickSound(-1) {}

DialogSkin::~DialogSkin() = default;

DialogButton* DialogSkin::CreateDialogButton(int id, ButtonListener* listener, const char* label)
{
    Image* image = mDialogButtonImage;
    auto* button = new DialogButton(image, id, listener);
    button->SetFont(mLabelFont);
    button->SetColor(0, Color::White);
    button->SetColor(1, Color::Black);
    if (label != nullptr)
        button->mLabel = label;
    const int width = image != nullptr ? image->GetWidth() : 0;
    const int frame = image != nullptr ? image->GetHeight() / 3 : 0;
    button->mNormalRect = TRect<int>(0, 0, width, frame);
    button->mOverRect = TRect<int>(0, frame, width, frame);
    button->mDownRect = TRect<int>(0, 2 * frame, width, frame);
    button->Resize(0, 0, width, frame);
    button->mClickSoundId = mButtonClickSound;
    return button;
}

DialogButton* DialogSkin::CreateDialogButton(int id, ButtonListener* listener, Image* image,
                                             const char* label)
{
    // The swap bypasses the owning setter, so the skin's own image is neither deleted nor
    // lost, also when the factory throws.
    struct Restore
    {
        SkinPart<Image>& mPart;
        Image* mSaved;
        ~Restore() { mPart.mObject = mSaved; }
    } restore{mDialogButtonImage, mDialogButtonImage.mObject};
    mDialogButtonImage.mObject = image;
    return CreateDialogButton(id, listener, label);
}

Checkbox* DialogSkin::CreateCheckbox(const VaxoString& label, int id, CheckboxListener* listener)
{
    return new SimpleCheckbox(label, id, listener, mCheckboxImage);
}

EditWidget* DialogSkin::CreateEdit(int id, EditListener* listener)
{
    auto* edit = new EditWidget(id, listener);
    const int colors[] = {0xFFFFFF, 0x808080, 0x000000, 0x000080, 0xFFFFFF};
    for (int i = 0; i < 5; i++)
        edit->SetColor(i, Color(colors[i]));
    edit->SetFont(mLabelFont);
    if (mLabelFont != nullptr)
        edit->Resize(edit->mX, edit->mY, edit->mWidth, mLabelFont->GetHeight() + 4);
    return edit;
}

Slider* DialogSkin::CreateSlider(int id, SliderListener* listener)
{
    auto* slider = new Slider(mSliderTrackImage, mSliderThumbImage, id, listener);
    if (mSliderThumbImage != nullptr)
        slider->Resize(slider->mX, slider->mY, slider->mWidth, mSliderThumbImage->GetHeight());
    return slider;
}

Widget* DialogSkin::CreateLabel(const VaxoString& text, Font* font)
{
    return new SimpleLabel(font != nullptr ? font : mLabelFont.get(), text);
}

ListWidget* DialogSkin::CreateListBox(int id, ListListener* listener)
{
    auto* list = new ListWidget(id, mLabelFont, listener);
    const int colors[] = {0x000040, 0x000000, 0xFFFF00, 0xFFFFFF, 0x0000FF, 0xFFFFFF};
    for (int i = 0; i < 6; i++)
        list->SetColor(i, Color(colors[i]));
    return list;
}

void DialogSkin::DialogInit(SimpleDialog* dialog)
{
    (void)dialog;
}

namespace
{
// A new image of the application, painted by paint.
template <typename Paint> MemoryImage* DrawnImage(int width, int height, Paint paint)
{
    auto* image = new MemoryImage(gVaxoAppBase);
    image->Create(width, height);
    Graphics g(image);
    paint(g);
    return image;
}
} // namespace

void DialogSkin::DefInit()
{
    if (gVaxoAppBase != nullptr)
    {
        mHeaderFont.Set(gVaxoAppBase->CreateFont("Arial", 14, false, false, false, false), true);
        mLinesFont.Set(gVaxoAppBase->CreateFont("Tahoma", 8, false, false, false, false), true);
        mLabelFont.Set(gVaxoAppBase->CreateFont("Arial", 10, false, false, false, false), true);
    }
    mDialogImage.Set(DrawnImage(100, 100,
                                [](Graphics& g)
                                {
                                    g.SetColor(Color(0, 0, 0, 0xD0));
                                    g.FillRect(0, 0, 100, 100);
                                    g.SetColor(Color::White);
                                    g.DrawRect(0, 0, 99, 99);
                                }),
                     true);
    mDialogButtonImage.Set(DrawnImage(33, 72,
                                      [](Graphics& g)
                                      {
                                          const int faces[] = {0x404040, 0x808080, 0xFFFFFF};
                                          for (int i = 0; i < 3; i++)
                                          {
                                              g.SetColor(Color(faces[i]));
                                              g.FillRect(0, 24 * i, 33, 24);
                                              g.SetColor(Color::White);
                                              g.DrawRect(0, 24 * i, 32, 23);
                                          }
                                      }),
                           true);
    mSliderTrackImage.Set(DrawnImage(30, 4,
                                     [](Graphics& g)
                                     {
                                         g.SetColor(Color::White);
                                         g.FillRect(5, 0, 20, 2);
                                         g.SetColor(Color(0x808080));
                                         g.FillRect(5, 2, 20, 2);
                                     }),
                          true);
    mSliderThumbImage.Set(DrawnImage(24, 24,
                                     [](Graphics& g)
                                     {
                                         g.SetColor(Color(0x000080));
                                         g.FillRect(0, 0, 24, 24);
                                         g.SetColor(Color::White);
                                         g.DrawRect(0, 0, 23, 23);
                                     }),
                          true);
}

void DialogSkin::StaticInit()
{
    mDefSkin = new DialogSkin();
    mDefSkin->DefInit();
}

void DialogSkin::StaticDestroy()
{
    mDefSkin = nullptr;
}

DialogSkinInst::DialogSkinInst(SimpleDialog* dialog) : mDialog(dialog) {}

DialogSkinInst::~DialogSkinInst() = default;

void DialogSkinInst::Update() {}

void DialogSkinInst::Draw(Graphics* g)
{
    (void)g;
}

} // namespace Vaxo
