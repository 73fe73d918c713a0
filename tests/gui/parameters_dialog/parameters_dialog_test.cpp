// The parameters dialog driven through its controls: loading the settings
// files, the radius/diopters boxes, and what "OK" and "Cancel" store.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <filesystem>
#include <memory>

#include "error_recorder.h"
#include "settings/channel_settings.h"
#include "gui/parameters_dialog/unit_parameters.h"
#include "temp_dir.h"

namespace {

const char kDefaultScan[] =
    "[ScanParameter]\r\nLambdaF=10.0\r\nCamResX=0.01\r\nCamResY=0.01\r\nAlpha=30\r\nNFilt=3\r\n"
    "FlawThr=15\r\nMaskRadius=3.3\r\nMAskXOfs=0.0\r\nMAskYOfs=0.0\r\nDepthLimit=-10.0\r\n";
const char kDefaultImage[] =
    "XPixels=1280\r\nYPixels=1024\r\nXRes=0.01\r\nYRes=0.01\r\nLambdaF=10.0\r\nAlpha=30\r\n"
    "Radius=7.5\r\nMAskXOfs=0.0\r\nMAskYOfs=0.0\r\n";

std::string text(const EditBox* box) { return box->text_utf8(); }

void type_key(EditBox* box, Qt::Key key, const QString& typed = {}) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, typed);
  QCoreApplication::sendEvent(box, &press);
}

// Types `typed` over the box's text and leaves the box.
void type_and_leave(EditBox* box, const char* typed) {
  box->setText(typed);
  emit box->exited();
}

class ParametersDialog : public ::testing::Test {
 protected:
  std::unique_ptr<TFormParameters> create() {
    return std::make_unique<TFormParameters>(std::array<SimParams*, 2>{&records[0], &records[1]});
  }
  bool exists(const char* file) const { return std::filesystem::exists(dir.path() / file); }

  TempDir dir;
  ErrorRecorder errors;
  std::array<SimParams, 2> records;
};

TEST_F(ParametersDialog, CreatedInAnEmptyDirectoryKeepsTheFormTexts) {
  auto form = create();
  EXPECT_EQ(errors.messages, std::vector<std::string>{"Cannot open file \"./image.ini\""});
  EXPECT_FALSE(form->settings_changed);
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->isModal());
  EXPECT_EQ(form->objectName(), "FormParameters");
  EXPECT_EQ(form->windowTitle(), "parameters");
  EXPECT_EQ(form->size(), QSize(506, 564));
  for (int c = 0; c < 2; ++c) {
    const bool c0 = c == 0;
    EXPECT_EQ(text(c0 ? form->Edit_xpixels : form->Edit_xpixels_1), "1280");
    EXPECT_EQ(text(c0 ? form->Edit_ypixels : form->Edit_ypixels_1), "1024");
    EXPECT_EQ(text(c0 ? form->Edit_xres : form->Edit_xres_1), "0.01");
    EXPECT_EQ(text(c0 ? form->Edit_diopters : form->Edit_diopters_1), "45");
    EXPECT_EQ(text(c0 ? form->Edit_alpha : form->Edit_alpha_1), "30");
    EXPECT_EQ(text(c0 ? form->Edit_lambda : form->Edit_lambda_1), "8.0");
    EXPECT_EQ(form->radius_text(c), "7.5");
    EXPECT_EQ(form->mask_radius_text(c), "3.3");
    EXPECT_EQ(form->filters_text(c), "3");
  }
}

TEST_F(ParametersDialog, LoadsValueTextsUnchangedWithSharedSizeAndResolution) {
  write_file_bytes("image.ini", "XPixels=640\r\nYPixels=480\r\nRadius=8.25\r\n");
  write_file_bytes("scnmod.ini",
                   "[ScanParameter]\r\nLambdaF= 12.50\r\nCamResX=0.02\r\nAlpha=25\r\nNFilt=5\r\n"
                   "MaskRadius=3.0\r\n");
  // LF line ends, keys in other cases, YPixels and NFilt missing.
  write_file_bytes("image_1.ini", "xpixels=2000\nRADIUS=9\n");
  write_file_bytes("scnmod_1.ini", "[ScanParameter]\ncamresx=0.015\nAlpha=35\nLambdaF=9\nMaskRadius=2.5\n");
  auto form = create();
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_TRUE(form->settings_changed);
  EXPECT_EQ(form->radius_text(0), "8.25");
  EXPECT_EQ(text(form->Edit_lambda), " 12.50");
  EXPECT_EQ(text(form->Edit_alpha), "25");
  EXPECT_EQ(form->mask_radius_text(0), "3.0");
  EXPECT_EQ(form->filters_text(0), "5");
  EXPECT_EQ(form->radius_text(1), "9");
  EXPECT_EQ(text(form->Edit_alpha_1), "35");
  EXPECT_EQ(text(form->Edit_lambda_1), "9");
  EXPECT_EQ(form->mask_radius_text(1), "2.5");
  EXPECT_EQ(form->filters_text(1), "");
  for (const EditBox* box : {form->Edit_xpixels, form->Edit_xpixels_1}) EXPECT_EQ(text(box), "1280");
  for (const EditBox* box : {form->Edit_ypixels, form->Edit_ypixels_1}) EXPECT_EQ(text(box), "1024");
  EXPECT_EQ(text(form->Edit_xres), "0.015");
  EXPECT_EQ(text(form->Edit_xres_1), "0.015");
  EXPECT_EQ(text(form->Edit_diopters), "45") << "derived only when shown";
}

TEST_F(ParametersDialog, MissingFileOfAChannelStopsLoadingThere) {
  write_default_settings(".");
  write_file_bytes("scnmod.ini", "[ScanParameter]\r\nCamResX=0.02\r\nAlpha=25\r\n");
  std::filesystem::remove("image_1.ini");
  auto form = create();
  EXPECT_EQ(errors.messages, std::vector<std::string>{"Cannot open file \"./image_1.ini\""});
  EXPECT_EQ(text(form->Edit_alpha), "25");
  EXPECT_EQ(text(form->Edit_alpha_1), "30");
  EXPECT_EQ(text(form->Edit_lambda_1), "8.0");
  EXPECT_EQ(text(form->Edit_xres_1), "0.02") << "copied from channel 0";

}

TEST_F(ParametersDialog, RadiusAndDioptersBoxesFollowEachOther) {
  auto form = create();
  errors.messages.clear();
  for (int c = 0; c < 2; ++c) {
    EditBox* radius = c == 0 ? form->Edit_radius : form->Edit_radius_1;
    EditBox* diopters = c == 0 ? form->Edit_diopters : form->Edit_diopters_1;
    type_and_leave(radius, "8.0");
    EXPECT_EQ(text(radius), "8");
    EXPECT_EQ(text(diopters), "42.1");
    type_and_leave(radius, "5");
    EXPECT_EQ(text(radius), "6.7");
    EXPECT_EQ(text(diopters), "50.3");
    radius->setText("12");
    type_key(radius, Qt::Key_Return);  // Enter acts as leaving the box
    EXPECT_EQ(text(radius), "9.6");
    EXPECT_EQ(text(diopters), "35.1");
    type_and_leave(diopters, "60");
    EXPECT_EQ(text(diopters), "50");
    EXPECT_EQ(text(radius), "6.74");
    type_and_leave(diopters, "20");
    EXPECT_EQ(text(diopters), "35");
    EXPECT_EQ(text(radius), "9.63");
  }
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(ParametersDialog, EnterInDioptersBoxWritesOnlyTheRadius) {
  auto form = create();
  form->Edit_diopters->setText("45");
  form->Edit_diopters_1->setText("45.0");
  type_key(form->Edit_diopters, Qt::Key_Enter);
  type_key(form->Edit_diopters_1, Qt::Key_Return);
  EXPECT_EQ(form->radius_text(0), "7.49");
  EXPECT_EQ(form->radius_text(1), "7.5") << "channel 1 has two significant digits";
  EXPECT_EQ(text(form->Edit_diopters_1), "45.0") << "kept as typed";

  form->Edit_diopters->setText("40");
  type_key(form->Edit_diopters, Qt::Key_Tab);
  EXPECT_EQ(form->radius_text(0), "7.49") << "only Enter converts";
}

TEST_F(ParametersDialog, TextThatIsNotANumberIsShownAndChangesNothing) {
  auto form = create();
  errors.messages.clear();
  type_and_leave(form->Edit_radius, "abc");
  type_and_leave(form->Edit_diopters_1, "4x");
  EXPECT_EQ(errors.messages, (std::vector<std::string>{"'abc' is not a valid floating point value",
                                                       "'4x' is not a valid floating point value"}));
  EXPECT_EQ(text(form->Edit_diopters), "45");
  EXPECT_EQ(form->radius_text(1), "7.5");

  // Showing normalises channel 0 first: its error leaves channel 1 as is.
  errors.messages.clear();
  form->Edit_radius_1->setText("12");
  form->show_dialog();
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(errors.messages, std::vector<std::string>{"'abc' is not a valid floating point value"});
  EXPECT_EQ(form->radius_text(1), "12");
}

TEST_F(ParametersDialog, SizeBoxesSnapBackAndResolutionBoxesMirror) {
  auto form = create();
  form->settings_changed = false;
  type_key(form->Edit_xpixels, Qt::Key_5, "5");
  type_key(form->Edit_xpixels_1, Qt::Key_Backspace);
  type_key(form->Edit_ypixels_1, Qt::Key_7, "7");
  EXPECT_TRUE(form->settings_changed);
  for (const EditBox* box : {form->Edit_xpixels, form->Edit_xpixels_1}) EXPECT_EQ(text(box), "1280");
  for (const EditBox* box : {form->Edit_ypixels, form->Edit_ypixels_1}) EXPECT_EQ(text(box), "1024");
  form->Edit_xres_1->setText("0.02");
  EXPECT_EQ(text(form->Edit_xres), "0.02");
  form->Edit_xres->setText("0.005");
  EXPECT_EQ(text(form->Edit_xres_1), "0.005");

  form->settings_changed = false;
  form->Edit_filters_1->setText("4");
  EXPECT_TRUE(form->settings_changed);
}

TEST_F(ParametersDialog, DefaultAndOkWriteBothChannelsAndTheirRecords) {
  auto form = create();
  errors.messages.clear();
  records[0] = {1, 2, 0.5, 4.0, 5.0, 6.0, 0.1, 0.2, 0.25, 0.75, Surface{}, 0.0, FrameErrors{}, OpticalSystem{}};
  records[1] = records[0];
  form->show_dialog();
  form->Button1->click();
  form->Button2->click();
  EXPECT_EQ(text(form->Edit_diopters_1), "45.0");
  EXPECT_EQ(text(form->Edit_lambda), "10.0");
  form->BitBtn1->click();
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->settings_changed);
  EXPECT_EQ(read_file_bytes("scnmod.ini"), kDefaultScan);
  EXPECT_EQ(read_file_bytes("image.ini"), kDefaultImage);
  EXPECT_EQ(read_file_bytes("scnmod_1.ini"), kDefaultScan);
  EXPECT_EQ(read_file_bytes("image_1.ini"), kDefaultImage);
  for (const SimParams& p : {records[0], records[1]}) {
    EXPECT_EQ(p.x_pixels, 1280);
    EXPECT_EQ(p.y_pixels, 1024);
    EXPECT_EQ(p.pixel_size, 0.01);
    EXPECT_EQ(p.fringe_period, 10.0);
    EXPECT_EQ(p.alpha_deg, 30.0);
    EXPECT_EQ(p.radius, 7.5);
    EXPECT_EQ(p.offset_x, 0.0);
    EXPECT_EQ(p.offset_y, 0.0);
    EXPECT_EQ(p.dynamic, 0.25) << "the main window's";
    EXPECT_EQ(p.noise, 0.75);
  }
  EXPECT_EQ(text(form->Edit_diopters_1), "44.9") << "closing normalises";
}

TEST_F(ParametersDialog, OkWithoutAnEditSinceTheLastOkTouchesNoFile) {
  // LF files: the first "OK" after loading rewrites them with CR LF.
  write_file_bytes("image.ini", "XPixels=1280\nYPixels=1024\nRadius=7.5\n");
  write_file_bytes("scnmod.ini", "[ScanParameter]\nLambdaF=10.0\nCamResX=0.01\nAlpha=30\nNFilt=3\nMaskRadius=3.3\n");
  std::filesystem::copy_file("image.ini", "image_1.ini");
  std::filesystem::copy_file("scnmod.ini", "scnmod_1.ini");
  auto form = create();
  form->show_dialog();
  form->BitBtn1->click();
  EXPECT_EQ(read_file_bytes("image_1.ini"), kDefaultImage);
  EXPECT_EQ(read_file_bytes("scnmod.ini"), kDefaultScan);

  for (const char* file : {"image.ini", "scnmod.ini", "image_1.ini", "scnmod_1.ini"})
    std::filesystem::remove(file);
  records[0].radius = 1.0;
  form->show_dialog();
  form->BitBtn1->click();
  EXPECT_FALSE(form->isVisible());
  for (const char* file : {"image.ini", "scnmod.ini", "image_1.ini", "scnmod_1.ini"})
    EXPECT_FALSE(exists(file)) << file;
  EXPECT_EQ(records[0].radius, 1.0);
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(ParametersDialog, BadWavelengthOnOkKeepsTheFilesBeforeItAndTheDialogOpen) {
  write_default_settings(".");
  write_file_bytes("image_1.ini", "XPixels=1280\nYPixels=1024\nRadius=8\n");
  auto form = create();
  const SimParams before{1, 2, 0.5, 4.0, 5.0, 6.0, 0.1, 0.2, 0.25, 0.75, Surface{}, 0.0, FrameErrors{}, OpticalSystem{}};
  records[0] = before;
  records[1] = before;
  form->show_dialog();
  form->Edit_xres->setText("0.02");
  form->Edit_lambda->setText("abc");
  form->BitBtn1->click();
  EXPECT_EQ(errors.messages, std::vector<std::string>{"'abc' is not a valid floating point value"});
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->settings_changed);
  // Channel 0's files are written before its record is read from the boxes.
  EXPECT_NE(read_file_bytes("scnmod.ini").find("\r\nLambdaF=abc\r\nCamResX=0.02\r\n"), std::string::npos);
  EXPECT_NE(read_file_bytes("image.ini").find("\r\nLambdaF=abc\r\n"), std::string::npos);
  EXPECT_EQ(read_file_bytes("image_1.ini"), "XPixels=1280\nYPixels=1024\nRadius=8\n");
  EXPECT_EQ(read_file_bytes("scnmod_1.ini"), kDefaultScan);
  // The record is not left half updated.
  EXPECT_EQ(records[0].pixel_size, before.pixel_size);
  EXPECT_EQ(records[0].x_pixels, before.x_pixels);
  EXPECT_EQ(records[1].radius, before.radius);

  form->Edit_lambda->setText("9.5");
  form->BitBtn1->click();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(records[0].fringe_period, 9.5);
  EXPECT_EQ(records[0].pixel_size, 0.02);
  EXPECT_EQ(records[1].pixel_size, 0.02);
  EXPECT_EQ(records[1].radius, 8.0);
  EXPECT_NE(read_file_bytes("image_1.ini").find("\r\nXRes=0.02\r\n"), std::string::npos);
}

TEST_F(ParametersDialog, CancelAndTheCloseBoxStoreNothing) {
  write_default_settings(".");
  auto form = create();
  form->show_dialog();
  form->BitBtn1->click();
  const SimParams stored = records[1];

  form->show_dialog();
  form->Edit_alpha->setText("45");
  form->Edit_radius_1->setText("5");
  form->BitBtn2->click();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(read_file_bytes("scnmod.ini"), kDefaultScan);
  EXPECT_EQ(read_file_bytes("image_1.ini"), kDefaultImage);
  EXPECT_EQ(records[1].radius, stored.radius);
  EXPECT_EQ(text(form->Edit_alpha), "45") << "texts stay for the next showing";
  EXPECT_EQ(form->radius_text(1), "6.7") << "closing normalises";
  EXPECT_EQ(text(form->Edit_diopters_1), "50.3");

  form->show_dialog();
  form->Edit_radius->setText("12");
  form->close();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->radius_text(0), "9.6");
  EXPECT_EQ(read_file_bytes("image.ini"), kDefaultImage);
  EXPECT_TRUE(errors.messages.empty());

  // The edits are still pending: the next "OK" stores them.
  form->show_dialog();
  form->BitBtn1->click();
  EXPECT_NE(read_file_bytes("scnmod.ini").find("\r\nAlpha=45\r\n"), std::string::npos);
  EXPECT_EQ(records[1].radius, 6.7);
}

}  // namespace
