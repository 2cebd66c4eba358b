// Exceptions that escape a handler reach the exception box instead of ending the program.
#include "ExceptionBox.h"
#include "MessageCapture.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kvel {
namespace {

TEST(ExceptionBoxTest, ShowsTheMessageOfAnEscapedException) {
    test::MessageCapture messages;
    EXPECT_FALSE(DeliverShowingExceptions([]() -> bool { throw std::runtime_error("сбой"); }));
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("сбой")});
}

TEST(ExceptionBoxTest, ShowsAnEmptyMessageForAThrownNonException) {
    test::MessageCapture messages;
    EXPECT_FALSE(DeliverShowingExceptions([]() -> bool { throw 42; }));
    EXPECT_EQ(messages.texts, QStringList{QString()});
}

TEST(ExceptionBoxTest, PassesTheResultOfAQuietDelivery) {
    test::MessageCapture messages;
    EXPECT_TRUE(DeliverShowingExceptions([] { return true; }));
    EXPECT_TRUE(messages.texts.isEmpty());
}

} // namespace
} // namespace kvel
