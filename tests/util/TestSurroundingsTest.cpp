#include <QDateTime>
#include <gtest/gtest.h>

// Time bugs only show away from UTC, and window tests need the offscreen platform: make sure
// the test runner really gives every test these surroundings.
TEST(TestSurroundings, NonUtcZoneAndOffscreenPlatform) {
    EXPECT_NE(QDateTime::currentDateTime().offsetFromUtc(), 0);
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "offscreen");
}
