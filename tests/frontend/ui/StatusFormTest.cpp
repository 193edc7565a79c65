#include <gtest/gtest.h>

#include "QtTestApp.h"
#include "TestFolder.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPlainTextEdit>

#include "app/ui/VarnexContext.h"
#include "frontend/ui/StatusUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {

QApplication& App() { return TestApplication(); }

struct StatusFormTest : ::testing::Test {
  // The application must exist before the form member is built.
  QApplication& app = App();
  SharedReceiverState state;
  SystemClock clock;
  VarnexContext context{state, clock, FreshTestFolder("varnex_status_form")};
  TStatusForm form{context};
};

TEST_F(StatusFormTest, ReadOnlyFixedPitchMemoWithBothScrollBars) {
  EXPECT_EQ(form.windowTitle(), "Varnex Receiver Status");
  EXPECT_EQ(form.size(), QSize(680, 484));
  QPlainTextEdit* memo = form.Memo1();
  EXPECT_EQ(memo->objectName(), "Memo1");
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch());
  // An installed face the font database itself calls fixed-pitch, not an alias that
  // fontconfig may resolve to a proportional one.
  const QString family = QFontInfo(memo->font()).family();
  EXPECT_TRUE(QFontDatabase::hasFamily(family) && QFontDatabase::isFixedPitch(family)) << family.toStdString();
  EXPECT_FALSE(form.isVisible());
}

TEST_F(StatusFormTest, RefillReplacesTheLinesInOrder) {
  form.SetLines({"first", "  second  ", "", "fourth"});
  form.SetLines({"PRN El Az", "   2  65 267   49"});
  EXPECT_EQ(form.Lines(), (std::vector<std::string>{"PRN El Az", "   2  65 267   49"}));
  form.SetLines({});
  EXPECT_TRUE(form.Lines().empty());
}

TEST_F(StatusFormTest, EveryByteKeepsItsLine) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  form.SetLines({bytes, "next"});
  const auto lines = form.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 256u);
  EXPECT_EQ(lines[1], "next");
}

}  // namespace
