#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "support/dialog_template_rows.h"
#include "ui/qt/dialog_template.h"
#include "ui/qt/dialog_window.h"

namespace qarx::qt {
namespace {

TEST(MulDivTest, RoundsHalfAwayFromZero) {
  struct Case {
    int number, numerator, denominator, expected;
  } cases[] = {
      {7, 7, 4, 12},     {205, 7, 4, 359},  {9, 17, 8, 19},  {1, 6, 4, 2},
      {-1, 6, 4, -2},    {3, 1, 2, 2},      {-3, 1, 2, -2},  {219, 8, 4, 438},
      {0, 5, 4, 0},      {5, 3, 0, -1},     {2, 5, -4, -3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.expected)
        << c.number << "*" << c.numerator << "/" << c.denominator;
  }
}

TEST(DialogUnitsTest, ConvertsWithFourthsAcrossAndEighthsDown) {
  EXPECT_EQ(DluToPixels(QRect(0, 0, 219, 40), {7, 16}), QRect(0, 0, 383, 80));
  EXPECT_EQ(DluToPixels(QRect(7, 19, 205, 9), {7, 16}), QRect(12, 38, 359, 18));
  EXPECT_EQ(DluToPixels(QRect(7, 7, 205, 8), {6, 13}), QRect(11, 11, 308, 13));
}

class DialogWindowTest : public ::testing::Test {
 protected:
  struct Sent {
    uint32_t message;
    uintptr_t wParam;
  };
  std::vector<Sent> sent;
  int restores = 0;
  DialogWindow window{[this](uint32_t m, uintptr_t w, intptr_t) { sent.push_back({m, w}); },
                      [this] { ++restores; }};
  BaseUnits units = DialogBaseUnits(window.font());
};

TEST_F(DialogWindowTest, HasTheTemplateCaptionSizeAndFont) {
  EXPECT_EQ(window.windowTitle(), QString::fromUtf16(u"VeltraneIC卡互联网终端服务程序"));
  EXPECT_EQ(window.size(), DluToPixels(QRect(0, 0, 219, 40), units).size());
  EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the modal frame does not resize";
  EXPECT_EQ(window.font().pointSize(), 9);
  // Either the template's face or a CJK face that can show the texts, never
  // a Latin-only default.
  const QString family = QFontInfo(window.font()).family();
  EXPECT_TRUE(window.font().families().contains(family)) << family.toStdString();
  EXPECT_GT(units.x, 0);
  EXPECT_GT(units.y, 0);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(DialogWindowTest, BuildsEveryControlOfTheTemplate) {
  using qarx::testing::ControlRole;
  const auto className = [](ControlRole role) {
    switch (role) {
      case ControlRole::Button: return "QPushButton";
      case ControlRole::List: return "QListWidget";
      case ControlRole::Progress: return "QProgressBar";
      case ControlRole::Text: return "QLabel";
    }
    return "";
  };
  const auto& rows = qarx::testing::kTemplateRows;
  ASSERT_EQ(DialogControls().size(), std::size(rows));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    QWidget* control = window.Control(row.id);
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(control->inherits(className(row.role)));
    EXPECT_EQ(control->property("controlId").toUInt(), row.id);
    EXPECT_EQ(control->geometry(), DluToPixels(QRect(row.x, row.y, row.width, row.height), units));
    EXPECT_EQ(!control->isHidden(), row.visible);
    const QString text = QString::fromUtf16(row.text);
    if (auto* button = qobject_cast<QPushButton*>(control)) {
      EXPECT_EQ(button->text(), text);
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
      EXPECT_EQ(label->text(), text);
    }
  }
  // Only the status line and the bar fall inside the client area.
  for (const ControlTemplate& control : DialogControls()) {
    const bool inside = window.rect().contains(window.Control(control.id)->geometry());
    EXPECT_EQ(inside, control.visible) << control.id;
  }
  EXPECT_EQ(window.ProgressBar()->minimum(), 0);
  EXPECT_EQ(window.ProgressBar()->maximum(), 100);
  EXPECT_EQ(window.ActivityLog()->count(), 0);
  EXPECT_FALSE(window.ActivityLog()->isSortingEnabled());
}

TEST_F(DialogWindowTest, TurnsKeysCloseBoxAndClicksIntoCommands) {
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QKeyEvent keypadEnter(QEvent::KeyPress, Qt::Key_Enter, Qt::KeypadModifier);
  QCoreApplication::sendEvent(&window, &escape);
  QCoreApplication::sendEvent(&window, &enter);
  QCoreApplication::sendEvent(&window, &keypadEnter);
  QCloseEvent close;
  QCoreApplication::sendEvent(&window, &close);
  EXPECT_FALSE(close.isAccepted()) << "the close box must not close the window itself";
  qobject_cast<QPushButton*>(window.Control(1006))->click();

  const std::vector<std::pair<uint32_t, uintptr_t>> expected = {
      {273, 2}, {273, 1}, {273, 1}, {273, 2}, {273, 1006}};
  ASSERT_EQ(sent.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(sent[i].message, expected[i].first) << i;
    EXPECT_EQ(sent[i].wParam, expected[i].second) << i;
  }
}

TEST_F(DialogWindowTest, ReportsARestoreFromTheMinimisedState) {
  window.showMinimized();
  window.showNormal();
  EXPECT_EQ(restores, 1);
  window.hide();
}

}  // namespace
}  // namespace qarx::qt
