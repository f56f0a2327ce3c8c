// The object table behind the drawing contexts, against a plain map of what
// should be live, under the churn of a long job.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "platform/dc_objects.h"

namespace {

TEST(DcObjectTable, LiveObjectsAreFoundAndDeletedOnesAreGoneUnderChurn) {
  DcObjectTable table(dc_stock_font_request(), nullptr);
  std::map<DcObject, DcColor> live;  // brush -> its colour
  std::vector<DcObject> order;       // live brushes, oldest first
  std::vector<DcObject> gone;
  std::mt19937 random(7);
  for (int step = 0; step < 60000; ++step) {
    // Mostly short-lived brushes, with some that live long among them.
    if (live.size() < 3 || (live.size() < 1500 && random() % 2 == 0)) {
      const DcColor color = random() & 0xFFFFFF;
      const DcObject brush = table.add_brush(color);
      ASSERT_NE(brush, 0u);
      ASSERT_EQ(live.count(brush), 0u) << "handles are never given twice";
      live[brush] = color;
      order.push_back(brush);
    } else {
      // The newest ones mostly, now and then any.
      const size_t n = order.size();
      const size_t at = random() % 8 == 0 ? random() % n : n - 1 - random() % std::min<size_t>(n, 4);
      const DcObject victim = order[at];
      order.erase(order.begin() + static_cast<std::ptrdiff_t>(at));
      ASSERT_TRUE(table.remove(victim));
      gone.push_back(victim);
      live.erase(victim);
    }
    if (step % 1000 == 0) {
      for (const auto& [brush, color] : live) {
        const DcObjectEntry* entry = table.find(brush);
        ASSERT_NE(entry, nullptr) << brush;
        ASSERT_EQ(entry->color, color);
      }
      for (size_t i = gone.size() > 50 ? gone.size() - 50 : 0; i < gone.size(); ++i)
        ASSERT_EQ(table.find(gone[i]), nullptr) << gone[i];
      ASSERT_EQ(table.live_count(), live.size());
    }
  }
  // Stock objects stay whatever was created and deleted around them.
  EXPECT_NE(table.find(table.stock(DcStockObject::WhiteBrush)), nullptr);
  EXPECT_TRUE(table.remove(table.stock(DcStockObject::BlackPen)));
  EXPECT_NE(table.find(table.stock(DcStockObject::BlackPen)), nullptr);
}

}  // namespace
