#include "common/AceException.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using Vaxo::AceException;

namespace
{

TEST(AceException, IsAStdException)
{
    try
    {
        throw AceException("File not found: a.xml");
    }
    catch (const std::exception& e)
    {
        EXPECT_STREQ(e.what(), "File not found: a.xml");
        return;
    }
    FAIL() << "not caught as std::exception";
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
