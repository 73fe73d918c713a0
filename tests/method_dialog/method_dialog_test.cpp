// The dialog "method of image N" driven as a user drives it, offscreen: it
// opens with the channel's file, "OK" saves what the file's reader takes and
// refuses the rest through the error box, "Cancel" leaves the file.
#include "method_dialog/method_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/settings_file.h"
#include "error_recorder.h"
#include "temp_dir.h"

namespace {

MethodSettings three_periods() {
  MethodSettings s;
  s.method = FringeMethod::phase_shift;
  s.steps = 8;
  s.periods = {1280, 80, 10};
  s.errors.gamma = 2.2;
  s.errors.blur = 1.5;
  s.errors.bits = 12;
  s.errors.ambient = 20;
  return s;
}

TEST(MethodDialog, OpensWithTheChannelsFileAndOkSavesWhatIsTyped) {
  TempDir dir;
  ErrorRecorder errors;
  write_method_file(method_file(1), three_periods());

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
  EXPECT_TRUE(errors.messages.empty()) << errors.messages.front();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const MethodSettings saved = channel_method_settings(1);
  EXPECT_EQ(saved.method, FringeMethod::fourier);
  EXPECT_EQ(saved.periods, std::vector<double>{12.5});
  EXPECT_EQ(saved.errors.blur, 1.5);
  EXPECT_EQ(saved.errors.gamma, 1.0);
  EXPECT_EQ(saved.errors.bits, 8);
  EXPECT_FALSE(std::filesystem::exists(method_file(0))) << "the other channel's file is not touched";

  // A channel without a file opens with the defaults: the engine's quadrature.
  MethodDialog first(0, "image 1");
  first.load();
  EXPECT_EQ(first.method_box->currentText(), "quadrature");
  EXPECT_EQ(first.periods_box->text(), "");
  EXPECT_EQ(first.bits_box->value(), 8);
  first.ok_button->click();
  EXPECT_TRUE(channel_method_settings(0).classic());
}

TEST(MethodDialog, RefusedValuesGoToTheErrorBoxAndTheFileStays) {
  struct Case {
    const char* name;
    int method;
    const char* periods;
    const char* gamma;
    const char* blur;
    int bits;
    const char* ambient;
    const char* message;
  };
  const Case cases[] = {
      {"gamma not a number", 1, "", "abc", "0", 8, "0", "method_1.ini: Gamma = \"abc\""},
      {"gamma of zero", 1, "", "0", "0", 8, "0", "method_1.ini: Gamma = \"0\""},
      {"negative blur", 1, "", "1", "-1", 8, "0", "method_1.ini: Blur = \"-1\""},
      {"negative ambient", 1, "", "1", "0", 8, "-5", "method_1.ini: Ambient = \"-5\""},
      {"periods fine to coarse", 1, "80,1280", "1", "0", 8, "0", "method_1.ini: Periods = \"80,1280\""},
      {"periods not numbers", 1, "80,x", "1", "0", 8, "0", "method_1.ini: Periods = \"80,x\""},
      {"quadrature deeper than 8 bits", 0, "", "1", "0", 12, "0", "method_1.ini: Bits = \"12\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    ErrorRecorder errors;
    write_method_file(method_file(1), three_periods());
    const std::vector<std::string> before = read_lines(method_file(1));
    MethodDialog dialog(1, "image 2");
    dialog.load();
    dialog.method_box->setCurrentIndex(c.method);
    dialog.periods_box->setText(c.periods);
    dialog.gamma_box->setText(c.gamma);
    dialog.blur_box->setText(c.blur);
    dialog.bits_box->setValue(c.bits);
    dialog.ambient_box->setText(c.ambient);
    dialog.show();
    dialog.ok_button->click();
    ASSERT_EQ(errors.messages.size(), 1U);
    EXPECT_NE(errors.messages[0].find(c.message), std::string::npos) << errors.messages[0];
    EXPECT_EQ(read_lines(method_file(1)), before);
    EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open";
    EXPECT_EQ(dialog.gamma_box->text(), c.gamma) << "with the texts as typed";
  }
}

TEST(MethodDialog, CancelLeavesTheFileAndABadFileOpensWithTheDefaults) {
  TempDir dir;
  ErrorRecorder errors;
  write_method_file(method_file(0), three_periods());
  const std::vector<std::string> before = read_lines(method_file(0));
  MethodDialog dialog(0, "image 1");
  dialog.load();
  dialog.method_box->setCurrentIndex(0);
  dialog.gamma_box->setText("3");
  dialog.cancel_button->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(read_lines(method_file(0)), before);
  EXPECT_TRUE(errors.messages.empty());

  // A file the reader refuses: the error, then the defaults, which "OK" saves.
  write_lines(method_file(0), {"Method=fft"});
  MethodDialog bad(0, "image 1");
  EXPECT_THROW(bad.load(), SettingsError);
  EXPECT_EQ(bad.method_box->currentText(), "quadrature");
  EXPECT_EQ(bad.gamma_box->text(), "1");
  bad.ok_button->click();
  EXPECT_TRUE(channel_method_settings(0).classic());
}

}  // namespace
