#include "identifiers/VeltraneBookmarks.h"

#include <gtest/gtest.h>

using namespace veltrane;

namespace {

host::TBookmark Mark(std::uintptr_t AValue) { return reinterpret_cast<host::TBookmark>(AValue); }

}  // namespace

TEST(VeltraneBookmarksTest, EmptyListIsAtItsEndAndNotUsable) {
  TVeltraneBookmarks list;
  EXPECT_TRUE(list.GetEOB());
  EXPECT_EQ(list.Current(), nullptr);
  EXPECT_EQ(list.First(), nullptr);
  EXPECT_EQ(list.Next(), nullptr);
  EXPECT_EQ(list.Prior(), nullptr);
  EXPECT_FALSE(TVeltraneBookmarks::Usable(&list));
  EXPECT_FALSE(TVeltraneBookmarks::Usable(nullptr));
}

TEST(VeltraneBookmarksTest, CursorWalksForwardAndSaturates) {
  TVeltraneBookmarks list;
  for (std::uintptr_t i = 1; i <= 3; ++i) list.Add(Mark(i));
  EXPECT_TRUE(TVeltraneBookmarks::Usable(&list));
  EXPECT_EQ(list.First(), Mark(1));
  EXPECT_EQ(list.Next(), Mark(2));
  EXPECT_EQ(list.Next(), Mark(3));
  EXPECT_EQ(list.Next(), nullptr);
  EXPECT_TRUE(list.GetEOB());
  EXPECT_EQ(list.Next(), nullptr);
  EXPECT_EQ(list.GetCurrentIndex(), 3);
  EXPECT_EQ(list.Prior(), Mark(3));
}

TEST(VeltraneBookmarksTest, CursorWalksBackAndSaturates) {
  TVeltraneBookmarks list;
  list.Add(Mark(1));
  list.Add(Mark(2));
  EXPECT_EQ(list.Last(), Mark(2));
  EXPECT_EQ(list.Prior(), Mark(1));
  EXPECT_EQ(list.Prior(), nullptr);
  EXPECT_EQ(list.GetCurrentIndex(), -1);
  EXPECT_EQ(list.Prior(), nullptr);
  EXPECT_EQ(list.GetCurrentIndex(), -1);
  EXPECT_EQ(list.Next(), Mark(1));
}

TEST(VeltraneBookmarksTest, LastOnAnEmptyListRaisesAfterMovingTheCursor) {
  TVeltraneBookmarks list;
  EXPECT_THROW(list.Last(), host::EListError);
  EXPECT_EQ(list.GetCurrentIndex(), -1);
}

TEST(VeltraneBookmarksTest, RemovingDoesNotAdjustTheCursor) {
  TVeltraneBookmarks list;
  list.Add(Mark(1));
  list.Add(Mark(2));
  list.Last();
  EXPECT_EQ(list.Remove(Mark(2)), 1);
  EXPECT_TRUE(list.GetEOB());
  EXPECT_EQ(list.Current(), nullptr);
  EXPECT_EQ(list.Remove(Mark(9)), -1);
}
