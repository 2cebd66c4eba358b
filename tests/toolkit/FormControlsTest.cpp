// Check boxes, radio groups and drop-down lists raise their events as the old toolkit did.
#include "FormControls.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace kvel {
namespace {

const QStringList kThreeItems{"a", "b", "c"};

TEST(CheckBoxTest, ClickRunsWhenTheProgramOrTheOperatorChangesTheState) {
    CheckBox box(QStringLiteral("x"));
    box.show();
    QSignalSpy clicks(&box, &CheckBox::Click);
    box.setChecked(true);
    EXPECT_EQ(clicks.count(), 1);
    box.setChecked(true);
    EXPECT_EQ(clicks.count(), 1);
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(5, box.height() / 2));
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_FALSE(box.isChecked());
}

TEST(RadioGroupTest, ClickRunsWhenTheChosenItemChanges) {
    RadioGroup group(QStringLiteral("g"), kThreeItems);
    group.resize(200, 120);
    group.show();
    QSignalSpy clicks(&group, &RadioGroup::Click);
    EXPECT_EQ(group.ItemIndex(), -1);
    group.SetItemIndex(1);
    group.SetItemIndex(1);
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(group.ItemIndex(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), 1);
    QTest::mouseClick(group.Item(0), Qt::LeftButton, {}, QPoint(5, group.Item(0)->height() / 2));
    ASSERT_EQ(clicks.count(), 2);
    EXPECT_EQ(clicks.at(1).at(0).toInt(), 0);
    EXPECT_EQ(group.ItemIndex(), 0);
}

class DropDownListTest : public ::testing::Test {
protected:
    DropDownListTest() : list({"one", "two"}), changes(&list, &DropDownList::Change) {
        list.show();
        list.activateWindow();
        list.setFocus();
        QApplication::processEvents();
    }
    DropDownList list;
    QSignalSpy changes;
};

TEST_F(DropDownListTest, ProgramsChoiceRaisesNoChange) {
    EXPECT_EQ(list.currentIndex(), -1);
    list.SetItemIndex(1);
    EXPECT_EQ(list.currentIndex(), 1);
    list.SetItemIndex(7);
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(DropDownListTest, OperatorsChoiceRaisesChange) {
    list.SetItemIndex(0);
    QTest::keyClick(&list, Qt::Key_Down);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toInt(), 1);
}

TEST_F(DropDownListTest, OpeningTheListRaisesDropDownAndClosingItRaisesNothing) {
    QSignalSpy dropDowns(&list, &DropDownList::DropDown);
    list.showPopup();
    EXPECT_EQ(dropDowns.count(), 1);
    QTest::keyClick(list.view(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(changes.count(), 0);
}

} // namespace
} // namespace kvel
