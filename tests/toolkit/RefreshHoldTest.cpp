// The two ways a refresh counts down the hold on a control the operator has touched.
#include "BoundField.h"

#include <gtest/gtest.h>

#include <vector>

namespace kvel {
namespace {

// Which of `refreshes` refreshes may write the control, starting from `hold`.
std::vector<bool> Writes(RefreshHold hold, int refreshes, bool (*rule)(RefreshHold&)) {
    std::vector<bool> writes;
    for (int i = 0; i < refreshes; ++i)
        writes.push_back(rule(hold));
    return writes;
}

TEST(RefreshHoldTest, EditRuleWaitsWhileEditedAndTwoRepliesAfter) {
    EXPECT_EQ(Writes(0, 2, MayRefreshEdited), (std::vector<bool>{true, true}));
    EXPECT_EQ(Writes(kHoldSettling, 4, MayRefreshEdited),
              (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(Writes(1, 2, MayRefreshEdited), (std::vector<bool>{false, true}));
    EXPECT_EQ(Writes(kHoldEditing, 10, MayRefreshEdited), std::vector<bool>(10, false));
    EXPECT_EQ(Writes(200, 3, MayRefreshEdited), std::vector<bool>(3, false));
}

TEST(RefreshHoldTest, ClickRuleCountsDownFromAnyValue) {
    EXPECT_EQ(Writes(0, 1, MayRefreshClicked), std::vector<bool>{true});
    EXPECT_EQ(Writes(1, 2, MayRefreshClicked), (std::vector<bool>{false, true}));
    EXPECT_EQ(Writes(3, 4, MayRefreshClicked), (std::vector<bool>{false, false, false, true}));
}

} // namespace
} // namespace kvel
