#include <gtest/gtest.h>

#include <thread>

#include "link/SharedReceiverState.h"

TEST(SharedReceiverState, PublishAndTake) {
  SharedReceiverState s;
  std::string v;
  EXPECT_FALSE(s.Take(ReceiverValue::PpsTi, v));
  s.Publish(ReceiverValue::PpsTi, "+1.234E-08");
  EXPECT_TRUE(s.IsNew(ReceiverValue::PpsTi));
  ASSERT_TRUE(s.Take(ReceiverValue::PpsTi, v));
  EXPECT_EQ(v, "+1.234E-08");
  EXPECT_FALSE(s.IsNew(ReceiverValue::PpsTi));
  EXPECT_FALSE(s.Take(ReceiverValue::PpsTi, v));
  EXPECT_EQ(s.Value(ReceiverValue::PpsTi), "+1.234E-08");
}

TEST(SharedReceiverState, EmptyPublishClearsFlag) {
  SharedReceiverState s;
  s.Publish(ReceiverValue::Efc, "12345");
  s.Publish(ReceiverValue::Efc, "");
  EXPECT_FALSE(s.IsNew(ReceiverValue::Efc));
  EXPECT_EQ(s.Value(ReceiverValue::Efc), "");
  s.Publish(ReceiverValue::LifeCount, "", true);
  EXPECT_TRUE(s.IsNew(ReceiverValue::LifeCount));
}

TEST(SharedReceiverState, StatusLines) {
  SharedReceiverState s;
  std::vector<std::string> lines;
  s.ClearStatusLines();
  s.FinishStatusLines();
  EXPECT_FALSE(s.TakeStatusLines(lines));
  s.AppendStatusLine("a");
  s.AppendStatusLine("b");
  s.FinishStatusLines();
  ASSERT_TRUE(s.TakeStatusLines(lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(s.StatusLinesNew());
}

// Concurrent publish/take and trace queuing must be race-free (run under tsan).
TEST(SharedReceiverState, ConcurrentPublishTakeAndTrace) {
  SharedReceiverState s;
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) {
      s.Publish(ReceiverValue::PpsTi, std::to_string(i));
      s.ClearStatusLines();
      s.AppendStatusLine(std::string(100, 'x'));
      s.FinishStatusLines();
      s.QueueTrace("line\r\n");
    }
  });
  std::size_t drained = 0;
  std::string v;
  std::vector<std::string> lines;
  while (drained < 2000) {
    if (s.Take(ReceiverValue::PpsTi, v)) {
      EXPECT_FALSE(v.empty());
    }
    if (s.TakeStatusLines(lines)) {
      EXPECT_LE(lines.size(), 1u);
    }
    drained += s.DrainTrace().size();
  }
  writer.join();
  EXPECT_EQ(drained, 2000u);
}
