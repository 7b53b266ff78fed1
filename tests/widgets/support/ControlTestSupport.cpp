#include "widgets/support/ControlTestSupport.h"

#include <cstdio>

namespace Vaxo
{

std::string DialogTexts(Dialog* dialog)
{
    if (dialog == nullptr)
        return "";
    std::string labels = dialog->mYesButton != nullptr ? dialog->mYesButton->mLabel : "";
    if (dialog->mNoButton != nullptr)
        labels += " " + dialog->mNoButton->mLabel;
    return dialog->mDialogHeader + "|" + dialog->mDialogLines + "|" + dialog->mDialogFooter + "|" + labels;
}

void ListenerLog::LogValues(const char* name, const std::vector<double>& args)
{
    std::string call = std::string(name) + "(";
    for (double arg : args)
    {
        char buf[32];
        std::snprintf(buf, sizeof(buf), "%g", arg);
        call += std::string(call.back() == '(' ? "" : ",") + buf;
    }
    mCalls.push_back(call + ")");
    if (mAction)
    {
        std::function<void()> action = mAction; // a copy: the action may clear itself
        action();
    }
}

} // namespace Vaxo
