// The dialog "method of image N" driven as a user drives it, offscreen: it
// opens with the channel's file, "OK" saves what the file's reader takes and
// refuses the rest through the error box, "Cancel" leaves the file.
#include "gui/method_dialog/method_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/settings_file.h"
#include "error_recorder.h"
#include "temp_dir.h"

namespace {

// Every field away from its default.
void write_three_periods(int channel) {
  MethodSettings s;
  s.method = FringeMethod::phase_shift;
  s.steps = 8;
  s.periods = {1280, 80, 10};
  s.errors = {.gamma = 2.2, .blur = 1.5, .bits = 12, .ambient = 20};
  write_method_file(method_file(channel), s);
}

TEST(MethodDialog, OpensWithTheChannelsFileAndOkSavesWhatIsTyped) {
  TempDir dir;
  ErrorRecorder errors;
  write_three_periods(1);
  MethodDialog dialog(1, "image 2");
  EXPECT_EQ(dialog.windowTitle(), "method of image 2");
  dialog.load();
  EXPECT_EQ(dialog.method_box->currentText(), "phase-shift");
  EXPECT_EQ(dialog.steps_box->value(), 8);
  EXPECT_EQ(dialog.periods_box->text(), "1280,80,10");
  EXPECT_EQ(dialog.gamma_box->text(), "2.2");
  EXPECT_EQ(dialog.blur_box->text(), "1.5");
  EXPECT_EQ(dialog.bits_box->value(), 12);
  EXPECT_EQ(dialog.ambient_box->text(), "20");
  EXPECT_TRUE(dialog.steps_box->isEnabled());

  // Typed as a user types: Fourier at a finer period, no errors but the blur.
  dialog.method_box->setCurrentIndex(2);
  EXPECT_FALSE(dialog.steps_box->isEnabled()) << "steps count only for phase shifting";
  dialog.periods_box->setText(" 12.5 ");
  dialog.gamma_box->setText("1");
  dialog.bits_box->setValue(8);
  dialog.ambient_box->setText("0");
  dialog.ok_button->click();
  EXPECT_EQ(errors.messages, std::vector<std::string>{});
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const MethodSettings saved = channel_method_settings(1);
  EXPECT_EQ(saved.method, FringeMethod::fourier);
  EXPECT_EQ(saved.periods, std::vector<double>{12.5});
  EXPECT_EQ(saved.errors.blur, 1.5);
  EXPECT_EQ(saved.errors.gamma, 1.0);
  EXPECT_EQ(saved.errors.bits, 8);
  EXPECT_FALSE(std::filesystem::exists(method_file(0))) << "the other channel's file is not touched";
}

TEST(MethodDialog, RefusedValuesGoToTheErrorBoxAndTheFileStays) {
  const struct {
    int method;
    EditBox* MethodDialog::*box;  // typed into, the rest as the file had it
    const char* text;
    const char* message;
  } cases[] = {
      {1, &MethodDialog::gamma_box, "abc", "method_1.ini: Gamma = \"abc\""},
      {1, &MethodDialog::gamma_box, "0", "method_1.ini: Gamma = \"0\""},
      {1, &MethodDialog::blur_box, "-1", "method_1.ini: Blur = \"-1\""},
      {1, &MethodDialog::ambient_box, "-5", "method_1.ini: Ambient = \"-5\""},
      {1, &MethodDialog::periods_box, "80,1280", "method_1.ini: Periods = \"80,1280\""},  // fine to coarse
      {1, &MethodDialog::periods_box, "80,x", "method_1.ini: Periods = \"80,x\""},
      {0, &MethodDialog::periods_box, "", "method_1.ini: Bits = \"12\""},  // quadrature deeper than 8 bits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir dir;
    ErrorRecorder errors;
    write_three_periods(1);
    const std::vector<std::string> before = read_lines(method_file(1));
    MethodDialog dialog(1, "image 2");
    dialog.load();
    dialog.method_box->setCurrentIndex(c.method);
    (dialog.*c.box)->setText(c.text);
    dialog.show();
    dialog.ok_button->click();
    ASSERT_EQ(errors.messages.size(), 1U);
    EXPECT_NE(errors.messages[0].find(c.message), std::string::npos) << errors.messages[0];
    EXPECT_EQ(read_lines(method_file(1)), before);
    EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open";
    EXPECT_EQ((dialog.*c.box)->text(), c.text) << "with the texts as typed";
  }
}

TEST(MethodDialog, CancelLeavesTheFileAndABadFileOpensWithTheDefaults) {
  TempDir dir;
  ErrorRecorder errors;
  write_three_periods(0);
  const std::vector<std::string> before = read_lines(method_file(0));
  MethodDialog dialog(0, "image 1");
  dialog.load();
  dialog.method_box->setCurrentIndex(0);
  dialog.gamma_box->setText("3");
  dialog.cancel_button->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(read_lines(method_file(0)), before);
  EXPECT_TRUE(errors.messages.empty());

  // No file, or one the reader refuses (its error): the engine's quadrature, which "OK" saves.
  for (const bool bad : {false, true}) {
    SCOPED_TRACE(bad ? "refused file" : "no file");
    std::filesystem::remove(method_file(0));
    if (bad) write_lines(method_file(0), {"Method=fft"});
    MethodDialog fresh(0, "image 1");
    if (bad) {
      EXPECT_THROW(fresh.load(), SettingsError);
    } else {
      fresh.load();
    }
    EXPECT_EQ(fresh.method_box->currentText(), "quadrature");
    EXPECT_EQ(fresh.periods_box->text(), "");
    EXPECT_EQ(fresh.gamma_box->text(), "1");
    EXPECT_EQ(fresh.bits_box->value(), 8);
    fresh.ok_button->click();
    EXPECT_TRUE(channel_method_settings(0).classic());
  }
}

}  // namespace
