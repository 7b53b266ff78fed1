#include "common/AceException.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using Vaxo::AceException;

namespace
{

TEST(ThrowAceException, FormatsPrintfStyle)
{
    struct Case
    {
        std::string expected;
        std::function<void()> raise;
    } cases[] = {
        {"path parameter required", [] { Vaxo::ThrowAceException("%s parameter required", "path"); }},
        {"DataSync: id 42 of 7", [] { Vaxo::ThrowAceException("DataSync: id %d of %u", 42, 7u); }},
        {std::string(300, 'x') + "!", [] { Vaxo::ThrowAceException("%s!", std::string(300, 'x').c_str()); }},
    };
    for (const Case& c : cases)
    {
        try
        {
            c.raise();
            ADD_FAILURE() << "nothing thrown for " << c.expected;
        }
        catch (const AceException& e) // a std::exception whose what() is the message
        {
            EXPECT_EQ(static_cast<const std::exception&>(e).what(), c.expected);
        }
    }
}

} // namespace
