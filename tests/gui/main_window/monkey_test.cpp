// A long random walk over the three windows: clicks on every visible button,
// texts typed into every edit box, the pointer over and past every image,
// menu items, selectors, track bars and the dialog's buttons. The sequence is
// fixed by its seed. Nothing may crash, every message in the error box must
// be a conversion or file error, and every file left behind must be whole.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/height_text_file.h"
#include "common/errors.h"
#include "common/settings_file.h"
#include "gui/enlarged_view/unit_image.h"
#include "error_recorder.h"
#include "gui/main_window/unit1.h"
#include "settings/channel_settings.h"
#include "gui/parameters_dialog/unit_parameters.h"
#include "scan/grey_image.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned kSeed = 20240611;
constexpr int kEvents = 6000;
// "apply" and "profile" take up to a tenth of a second each (more under the
// sanitizers): the walk runs at most this many of them, spread over it.
constexpr int kMaxRuns = 40;

// What a user might type into a number box.
const std::vector<std::string> kTexts = {
    "0",     "1",        "-1",     "3.5",   "0.01",   "7.5",    "45",     "30",       "10",
    "0.3",   "-0.3",     "5",      "-5",    "1e-3",   ".5",     "5.",     "+2E02",    "1e300",
    "-1e300", "1e-300",  "1e999",  "2147483647", "2147483648", "-2147483649", "1000000000",
    "99999999999999999999999999999999999999", "nan",  "NaN",    "inf",    "-inf",     "abc",
    "",      " ",        "1,5",    "0x10",  "12abc",  "++1",    "--2",    "1e",       "e5",
    ".",     "-",        "\xC2\xB5m", "3 4", "\t8\t"};
// The filter iteration boxes also steer "apply": a pass count beyond a few
// hundred costs a second a run, so here they get small counts and texts that
// are no integer. Counts up to 10^9 are in the bad input tests.
const std::vector<std::string> kPassTexts = {"0", "1", "3", "-5", "12", "", "abc", "1e9", "2147483648", "3.5"};
// Base names for "save data": cancelled, plain, into a folder that exists,
// one that does not, and one whose "folder" is a file.
const std::vector<std::string> kDataSetNames = {"", "run", "set two", "sub/run", "missing/run", "plain/run"};

// The offscreen platform says for every raise() that it cannot raise a
// window; thousands of such lines would bury the test's own output.
void quiet_platform(QtMsgType type, const QMessageLogContext& context, const QString& message);
QtMessageHandler previous_handler = nullptr;

void quiet_platform(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith("This plugin does not support")) return;
  if (previous_handler != nullptr) previous_handler(type, context, message);
}

struct Monkey {
  Monkey() {
    previous_handler = qInstallMessageHandler(quiet_platform);
    write_default_settings(".");
    fs::create_directory("sub");
    write_file_bytes("plain", "a file, not a folder");
    form = std::make_unique<TForm1>();
    parameters = std::make_unique<TFormParameters>(form->sim_params_records());
    image = std::make_unique<TFormImage>();
    form->FormParameters = parameters.get();
    form->FormImage = image.get();
    form->ask_data_set_name = [this] { return pick(kDataSetNames); };
    form->show();
  }
  ~Monkey() { qInstallMessageHandler(previous_handler); }

  template <typename T>
  const T& pick(const std::vector<T>& items) {
    return items[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(random)];
  }
  int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
  bool chance(double p) { return std::bernoulli_distribution(p)(random); }

  // Widgets of all three windows that a user can reach now.
  template <typename T>
  std::vector<T*> reachable() {
    std::vector<T*> found;
    for (QWidget* window : std::initializer_list<QWidget*>{form.get(), parameters.get(), image.get()}) {
      if (!window->isVisible()) continue;
      for (T* widget : window->findChildren<T*>())
        if (widget->isVisibleTo(window) && widget->isEnabled()) found.push_back(widget);
    }
    return found;
  }
  // Every image control, the enlarged view's included.
  std::vector<ImageView*> image_views() {
    std::vector<ImageView*> views;
    for (ImageView* view : form->findChildren<ImageView*>()) views.push_back(view);
    views.push_back(image->Image_expanded);
    return views;
  }

  bool is_run_button(const QAbstractButton* button) const {
    return button == form->Button_apply_0 || button == form->Button_apply_1 ||
           button == form->Button_calculate_0 || button == form->Button_calculate_1;
  }

  void note(const std::string& event) {
    recent.push_back(event);
    if (recent.size() > 12) recent.pop_front();
  }

  // ---- Events ----------------------------------------------------------------

  void click_a_button(int event) {
    std::vector<QAbstractButton*> buttons = reachable<QAbstractButton>();
    // Runs are spread over the walk: at most as many as its progress allows.
    const int allowed = 1 + kMaxRuns * event / kEvents;
    if (runs >= std::min(allowed, kMaxRuns))
      buttons.erase(std::remove_if(buttons.begin(), buttons.end(),
                                   [this](QAbstractButton* b) { return is_run_button(b); }),
                    buttons.end());
    if (buttons.empty()) return;
    QAbstractButton* button = pick(buttons);
    if (is_run_button(button)) ++runs;
    note("click " + button->text().toStdString());
    button->click();
  }

  void type_into_a_box() {
    const std::vector<EditBox*> boxes = reachable<EditBox>();
    if (boxes.empty()) return;
    EditBox* box = pick(boxes);
    const bool passes = box == parameters->Edit_filters || box == parameters->Edit_filters_1;
    const std::string& text = passes ? pick(kPassTexts) : pick(kTexts);
    note("type '" + text + "' over '" + box->text_utf8() + "'");
    box->setText(QString::fromStdString(text));
    if (chance(0.5)) {
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(box, &enter);
    }
    if (chance(0.6)) {
      QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
      QCoreApplication::sendEvent(box, &leave);
    }
  }

  void press_a_key() {
    const std::vector<EditBox*> boxes = reachable<EditBox>();
    if (boxes.empty()) return;
    EditBox* box = pick(boxes);
    if (box == parameters->Edit_filters || box == parameters->Edit_filters_1) return;
    static const std::vector<std::pair<Qt::Key, const char*>> keys = {
        {Qt::Key_1, "1"}, {Qt::Key_9, "9"}, {Qt::Key_0, "0"},         {Qt::Key_Minus, "-"},
        {Qt::Key_Period, "."}, {Qt::Key_E, "e"}, {Qt::Key_X, "x"},    {Qt::Key_Backspace, ""},
        {Qt::Key_Delete, ""}, {Qt::Key_Return, "\r"}, {Qt::Key_Enter, "\r"}, {Qt::Key_Escape, ""}};
    const auto& [key, text] = pick(keys);
    note("key " + std::string(text) + " in a box");
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString::fromUtf8(text));
    QCoreApplication::sendEvent(box, &press);
  }

  void move_over_an_image() {
    ImageView* view = pick(image_views());
    // Mostly inside, sometimes past any edge, as a captured pointer reports.
    const int x = chance(0.85) ? between(0, std::max(0, view->width() - 1)) : between(-300, view->width() + 300);
    const int y = chance(0.85) ? between(0, std::max(0, view->height() - 1)) : between(-300, view->height() + 300);
    note("move " + std::to_string(x) + "," + std::to_string(y));
    QMouseEvent move(QEvent::MouseMove, QPointF(x, y), view->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &move);
  }

  void press_on_an_image() {
    ImageView* view = pick(image_views());
    const QPointF at(between(0, std::max(0, view->width() - 1)), between(0, std::max(0, view->height() - 1)));
    if (chance(0.3)) {
      note("context menu");
      QContextMenuEvent menu(QContextMenuEvent::Mouse, at.toPoint(), view->mapToGlobal(at.toPoint()));
      QCoreApplication::sendEvent(view, &menu);
      return;
    }
    const Qt::MouseButton button = chance(0.7) ? Qt::LeftButton : Qt::RightButton;
    note(button == Qt::LeftButton ? "left press" : "right press");
    QMouseEvent press(QEvent::MouseButtonPress, at, view->mapToGlobal(at), button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &press);
  }

  void trigger_a_menu_item() {
    TForm1& f = *form;
    // The settings menu, the parameters item and the pop-up items (hidden
    // in the window, but their handlers exist).
    const std::vector<QAction*> actions = {
        f.Parameters1, f.show_statistics, f.show_magnifier, f.show_linescans, f.show_labels,
        f.show_colorbar, f.expand, f.expand2, f.PV0, f.RMS0, f.Mean0, f.heightdifference0,
        f.binary_view0, f.save_data0, f.load_data, f.PV1, f.RMS1, f.Mean1, f.heightdifference1,
        f.binary_view1, f.save_data1, f.load_data1, f.binary_view_diff};
    QAction* action = pick(actions);
    note("menu " + action->text().toStdString());
    action->trigger();
  }

  void use_a_selector() {
    QComboBox* selector = chance(0.5) ? form->ComboBox0 : form->ComboBox1;
    if (chance(0.2)) {
      const std::string text = pick(kTexts);
      note("selector text '" + text + "'");
      selector->setEditText(QString::fromStdString(text));
      return;
    }
    const int index = between(-1, selector->count() - 1);
    note("selector item " + std::to_string(index));
    selector->setCurrentIndex(index);
    emit selector->activated(index);
  }

  void move_a_track_bar() {
    const std::vector<QSlider*> bars = {form->TrackBarDynamic0, form->TrackBarNoise0, form->TrackBarDynamic1,
                                        form->TrackBarNoise1};
    QSlider* bar = pick(bars);
    note("track bar");
    if (chance(0.5))
      bar->setValue(between(bar->minimum() - 10, bar->maximum() + 10));
    else
      bar->triggerAction(pick(std::vector<QAbstractSlider::SliderAction>{
          QAbstractSlider::SliderSingleStepAdd, QAbstractSlider::SliderSingleStepSub,
          QAbstractSlider::SliderPageStepAdd, QAbstractSlider::SliderPageStepSub,
          QAbstractSlider::SliderToMinimum, QAbstractSlider::SliderToMaximum}));
  }

  void open_or_close_the_dialog() {
    switch (between(0, 3)) {
      case 0:
        note("dialog shown");
        parameters->show_dialog();
        break;
      case 1:
        note("dialog close box");
        parameters->close();
        break;
      case 2: {
        note("dialog escape");
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(parameters.get(), &escape);
        break;
      }
      default:
        note("dialog OK");
        parameters->BitBtn1->click();
        break;
    }
  }

  void step(int event) {
    const int roll = between(0, 99);
    if (roll < 34) move_over_an_image();
    else if (roll < 52) type_into_a_box();
    else if (roll < 60) press_a_key();
    else if (roll < 73) click_a_button(event);
    else if (roll < 79) move_a_track_bar();
    else if (roll < 85) trigger_a_menu_item();
    else if (roll < 92) use_a_selector();
    else if (roll < 96) press_on_an_image();
    else open_or_close_the_dialog();
    // Let paints, focus changes and posted events happen now and then.
    if (event % 25 == 0) QApplication::processEvents();
    // Toggles that started visible may all be off by now: bring the dialog
    // back once in a while so its boxes and buttons stay in the walk.
    if (event % 500 == 499 && !parameters->isVisible()) parameters->show_dialog();
  }

  TempDir dir;
  ErrorRecorder errors;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TFormParameters> parameters;
  std::unique_ptr<TFormImage> image;
  std::mt19937 random{kSeed};
  int runs = 0;
  std::deque<std::string> recent;
};

// Messages the handlers may show: conversion errors and file errors.
bool is_expected_message(const std::string& message) {
  const bool conversion = message.starts_with("'") && message.find("' is not a valid ") != std::string::npos;
  // Random settings make pictures without fringes and measurements of next
  // to nothing: the window refuses them (runs/quality_check.h).
  const bool refused = message.starts_with("./sim0") && (message.find(": no fringes: ") != std::string::npos ||
                                                         message.find(": too little measured: ") != std::string::npos);
  return conversion || refused || message.starts_with("Cannot ") || message.starts_with("File \"") ||
         message.starts_with("Bitmap \"");
}

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Lines of a CR LF text file; false when a line lacks its CR LF.
bool crlf_lines(const fs::path& file, std::size_t* count) {
  const std::string text = read_file_bytes(file);
  if (!text.empty() && !ends_with(text, "\r\n")) return false;
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at, ++lines)
    if (at == 0 || text[at - 1] != '\r') return false;
  *count = lines;
  return true;
}

// Counts, two spacings and as many heights as the counts say, each a number
// of any size, and nothing after them.
bool is_whole_height_file(const fs::path& file) {
  std::istringstream words(read_file_bytes(file));
  long long nx = 0, ny = 0;
  if (!(words >> nx >> ny) || nx < 0 || ny < 0) return false;
  std::string word;
  for (long long i = 0; i < 2 + nx * ny; ++i) {
    if (!(words >> word)) return false;
    char* end = nullptr;
    std::strtod(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0') return false;
  }
  return !(words >> word);
}

// Every file the walk may leave is whole and of its kind; anything else
// (a temporary file, say) is a failure.
void expect_well_formed(const fs::path& file) {
  const std::string name = file.filename().string();
  const std::string path = file.string();
  std::size_t lines = 0;
  if (ends_with(name, ".bmp")) {
    GreyImage* loaded = nullptr;
    EXPECT_EQ(img_load_bmp(&loaded, path.c_str()), BMP_OK) << path;
    img_destroy(loaded);
  } else if (name == "profile00.txt" || name == "profile01.txt" || name.starts_with("perfect_sphere") ||
             ends_with(name, "_heights.txt")) {
    // Read back as the profile run reads; a file holding a spacing or height
    // beyond a float (a pixel size of 1e300 typed in) must still be whole.
    HeightMatrix map;
    try {
      read_profile(path, map, kMapSide, kMapSide);
    } catch (const FileError& error) {
      EXPECT_TRUE(is_whole_height_file(file)) << path << ": " << error.what();
    }
  } else if (ends_with(name, ".ini")) {
    EXPECT_NO_THROW(read_lines(path)) << path;
    EXPECT_TRUE(crlf_lines(file, &lines)) << path;
  } else if (ends_with(name, "_scan.txt") || ends_with(name, "_scan_profile.txt")) {
    EXPECT_TRUE(crlf_lines(file, &lines)) << path;
    EXPECT_EQ(lines, 256u) << path;
  } else if (ends_with(name, "_parameter.txt")) {
    EXPECT_TRUE(crlf_lines(file, &lines)) << path;
    EXPECT_EQ(lines, 7u) << path;
  } else if (name != "plain") {
    ADD_FAILURE() << "unexpected file " << path;
  }
}

TEST(Monkey, SixThousandRandomEventsOnTheThreeWindows) {
  Monkey monkey;
  for (int event = 0; event < kEvents; ++event) {
    const std::size_t shown = monkey.errors.messages.size();
    monkey.step(event);
    for (std::size_t i = shown; i < monkey.errors.messages.size(); ++i) {
      if (is_expected_message(monkey.errors.messages[i])) continue;
      std::string trail;
      for (const std::string& e : monkey.recent) trail += "\n  " + e;
      ADD_FAILURE() << "event " << event << " showed '" << monkey.errors.messages[i] << "' after:" << trail;
    }
  }
  monkey.parameters->BitBtn1->click();
  monkey.form->Exit2->trigger();
  QApplication::processEvents();
  EXPECT_GT(monkey.runs, kMaxRuns / 2) << "the walk ran apply and profile";
  EXPECT_FALSE(monkey.errors.messages.empty()) << "the walk typed texts that are not numbers";

  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(monkey.dir.path())) {
    if (!entry.is_regular_file()) continue;
    expect_well_formed(entry.path());
    ++files;
  }
  EXPECT_GT(files, 10);
}

}  // namespace
