// The program's message boxes: caption shown in full, no owner, modal for the whole
// program; and the toolkit's own button texts in the language of the system locale.
#include "app/message_box.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/startup.h"
#include "table/display_text.h"

namespace velmora {
namespace {

Text Cp936(const char* utf8) { return FromDisplayText(QString::fromUtf8(utf8)); }

TEST(MessageBox, IsWideEnoughForItsCaptionOwnerlessAndModal) {
  const struct {
    const char* name;
    Text text;
    BoxIcon icon;
  } boxes[] = {
      {"the count box", Cp936("成功匹配:3条"), BoxIcon::kNone},
      {"an empty text", "", BoxIcon::kNone},
      {"an error", Cp936("匹配失败，请检检查正则语句是否有误，数量：0"), BoxIcon::kError},
  };
  const int captionAdvance =
      QFontMetrics(QApplication::font()).horizontalAdvance(QString::fromUtf8("信息："));
  EXPECT_GE(MinimumBoxWidth(kBoxCaption), captionAdvance + kTitleBarReserve);
  for (const auto& b : boxes) {
    SCOPED_TRACE(b.name);
    const std::unique_ptr<QMessageBox> box(MakeMessageBox(b.text, kBoxCaption, b.icon));
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    EXPECT_GE(box->width(), MinimumBoxWidth(kBoxCaption));
    EXPECT_EQ(box->windowTitle(), QString::fromUtf8("信息："));
    EXPECT_EQ(box->text(), ToDisplayText(b.text));
    EXPECT_EQ(box->parent(), nullptr);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(box->icon(), b.icon == BoxIcon::kError ? QMessageBox::Critical : QMessageBox::NoIcon);
    EXPECT_EQ(box->buttons().size(), 1);
    EXPECT_NE(box->button(QMessageBox::Ok), nullptr);
  }
}

TEST(MessageBox, ShowReturnsOnceClosed) {
  bool shown = false;
  QTimer::singleShot(0, [&shown] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    shown = box->isVisible() && box->width() >= MinimumBoxWidth(kBoxCaption);
    box->button(QMessageBox::Ok)->click();
  });
  ShowMessageBox(Cp936("成功匹配:0条"), kBoxCaption, BoxIcon::kNone);
  EXPECT_TRUE(shown);
}

// Sets the locale variables for a child started afterwards, and restores them.
class LocaleEnvironment {
 public:
  explicit LocaleEnvironment(const char* lang) {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      ::unsetenv(name);
    }
    ::setenv("LANG", lang, 1);
  }
  ~LocaleEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value)
        ::setenv(name, value->c_str(), 1);
      else
        ::unsetenv(name);
    }
  }

 private:
  static constexpr const char* kNames[] = {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// Starts the program and exits with 0 when a button box reads `ok` and `cancel`
// and a message box's button `ok`, else with 5.
[[noreturn]] void StartAndReadButtons(const char* ok, const char* cancel) {
  StartupOptions options;
  options.handlers = {};
  options.shown = [ok, cancel](MainWindow&) {
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QMessageBox box(QMessageBox::NoIcon, "t", "x", QMessageBox::Ok);
    const bool read =
        buttons.button(QDialogButtonBox::Ok)->text() == QString::fromUtf8(ok) &&
        buttons.button(QDialogButtonBox::Cancel)->text() == QString::fromUtf8(cancel) &&
        box.button(QMessageBox::Ok)->text() == QString::fromUtf8(ok);
    if (!read) {
      std::fprintf(stderr, "buttons read %s / %s\n",
                   buttons.button(QDialogButtonBox::Ok)->text().toUtf8().constData(),
                   buttons.button(QDialogButtonBox::Cancel)->text().toUtf8().constData());
    }
    std::_Exit(read ? 0 : 5);
  };
  char name[] = "velmora";
  char* argv[] = {name, nullptr};
  RunApplication(1, argv, options);
}

TEST(ToolkitTranslationsDeathTest, ButtonsFollowTheSystemLocale) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  {
    SCOPED_TRACE("Chinese");
    LocaleEnvironment chinese("zh_CN.UTF-8");
    EXPECT_EXIT(StartAndReadButtons("确定", "取消"), testing::ExitedWithCode(0), "");
  }
  {
    SCOPED_TRACE("English");
    LocaleEnvironment english("en_US.UTF-8");
    EXPECT_EXIT(StartAndReadButtons("OK", "Cancel"), testing::ExitedWithCode(0), "");
  }
}

}  // namespace
}  // namespace velmora
