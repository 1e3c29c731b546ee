#include <gtest/gtest.h>

#include <memory>

#include <QAbstractButton>

#include "common/qarx_types.h"
#include "ui/qt/message_box.h"

namespace qarx::qt {
namespace {

QString Q(const char16_t* text) { return QString::fromUtf16(text); }

TEST(MessageBoxTest, StylesGiveTheirButtonsIconsAndStacking) {
  struct Case {
    const char16_t* text;
    const char16_t* caption;
    uint32_t style;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    bool onTop;
    const char16_t* shown;
  } cases[] = {
      {u" 未安装服务程序\r\n是否需要下载安装?", u"Veltrane服务程序提示", MB_YESNO | MB_ICONQUESTION,
       QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, false, u" 未安装服务程序\n是否需要下载安装?"},
      {u"您安装了旧版的控件\r\n请卸载后，安装新的控件!", u"Veltrane服务程序", MB_ICONWARNING,
       QMessageBox::Warning, QMessageBox::Ok, false, u"您安装了旧版的控件\n请卸载后，安装新的控件!"},
      {u"获取终端固件版本信息失败！\r\n未能完成终端固件版本检查！", u"Error", MB_OK | MB_SYSTEMMODAL,
       QMessageBox::NoIcon, QMessageBox::Ok, true, u"获取终端固件版本信息失败！\n未能完成终端固件版本检查！"},
      {u"Fail：start automatic monitor", u"Error", MB_OK, QMessageBox::NoIcon, QMessageBox::Ok, false,
       u"Fail：start automatic monitor"},
      {u"<i>x</i>", u"c", 0x10 | 1, QMessageBox::Critical, QMessageBox::Ok | QMessageBox::Cancel, false,
       u"<i>x</i>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Q(c.text).toStdString());
    std::unique_ptr<QMessageBox> box(MakeMessageBox(c.text, c.caption, c.style));
    EXPECT_EQ(box->text(), Q(c.shown));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->windowTitle(), Q(c.caption));
    EXPECT_EQ(box->icon(), c.icon);
    EXPECT_EQ(box->standardButtons(), c.buttons);
    EXPECT_EQ(bool(box->windowFlags() & Qt::WindowStaysOnTopHint), c.onTop);
    EXPECT_EQ(box->parentWidget(), nullptr) << "owned by no window";
  }
}

TEST(MessageBoxTest, AnswersAreTheWindowSystemsCodes) {
  std::unique_ptr<QMessageBox> question(MakeMessageBox(u"q", u"c", MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(AnswerOf(*question, question->button(QMessageBox::Yes)), IDYES);
  EXPECT_EQ(AnswerOf(*question, question->button(QMessageBox::No)), IDNO);
  EXPECT_EQ(AnswerOf(*question, nullptr), IDNO) << "closed without a choice is not a Yes";

  std::unique_ptr<QMessageBox> notice(MakeMessageBox(u"n", u"c", MB_OK));
  EXPECT_EQ(AnswerOf(*notice, notice->button(QMessageBox::Ok)), IDOK);
  EXPECT_EQ(AnswerOf(*notice, nullptr), IDOK);

  std::unique_ptr<QMessageBox> cancellable(MakeMessageBox(u"n", u"c", 3));
  EXPECT_EQ(AnswerOf(*cancellable, nullptr), IDCANCEL);
}

}  // namespace
}  // namespace qarx::qt
