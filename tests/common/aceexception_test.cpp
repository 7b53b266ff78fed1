#include "common/AceException.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using Vaxo::AceException;

namespace
{

TEST(AceException, IsAStdExceptionCarryingItsMessage)
{
    const AceException e("File not found: a.xml");
    const std::exception& base = e;
    EXPECT_STREQ(base.what(), "File not found: a.xml");
    EXPECT_EQ(e.mMessage, "File not found: a.xml");
}

TEST(ThrowAceException, FormatsPrintfStyle)
{
    struct Case
    {
        std::string expected;
        std::function<void()> raise;
    } cases[] = {
        {"path parameter required", [] { Vaxo::ThrowAceException("%s parameter required", "path"); }},
        {"DataSync: id 42 of 7", [] { Vaxo::ThrowAceException("DataSync: id %d of %u", 42, 7u); }},
        {"plain", [] { Vaxo::ThrowAceException("plain"); }},
        {std::string(300, 'x') + "!", [] { Vaxo::ThrowAceException("%s!", std::string(300, 'x').c_str()); }},
    };
    for (const Case& c : cases)
    {
        try
        {
            c.raise();
            ADD_FAILURE() << "nothing thrown for " << c.expected;
        }
        catch (const AceException& e)
        {
            EXPECT_EQ(e.mMessage, c.expected);
        }
    }
}

} // namespace
