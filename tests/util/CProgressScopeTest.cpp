#include "util/CPrompt.h"

#include <gtest/gtest.h>

#include <vector>

// The busy handler hears the start of the first shown operation and the end of the last one:
// an operation nested inside another's Update, or one without a window, switches nothing.
TEST(ProgressScope, BusyHandlerHearsTheOutermostShownOperationOnly) {
    std::vector<bool> heard;
    CProgressScope::SetBusyHandler([&](bool busy) { heard.push_back(busy); });
    EXPECT_FALSE(CProgressScope::Active());
    {
        CProgressScope hidden(false);
        EXPECT_TRUE(CProgressScope::Active());
        EXPECT_TRUE(heard.empty());
        {
            CProgressScope outer;
            CProgressScope inner;
            EXPECT_EQ(heard, std::vector<bool>{true});
        }
        EXPECT_EQ(heard, (std::vector<bool>{true, false}));
    }
    EXPECT_FALSE(CProgressScope::Active());
    CProgressScope::SetBusyHandler(nullptr);
    { CProgressScope unheard; }
    EXPECT_EQ(heard.size(), 2u);
}
