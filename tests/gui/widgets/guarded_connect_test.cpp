// Handlers wired through connect_guarded: the signal's arguments reach the
// handler, and an error the handler raises is shown in the error box and
// ends that handler only.
#include "gui/widgets/guarded_connect.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <string>
#include <vector>

#include "common/errors.h"
#include "error_recorder.h"

namespace {

class Receiver : public QObject {
 public:
  std::vector<std::string> calls;
  void plain() { calls.push_back("plain"); }
  void text(const QString& t) { calls.push_back("text " + t.toStdString()); }
  void failing() {
    calls.push_back("before");
    throw ConversionError("'x' is not a valid integer value");
  }
  void broken() { throw std::logic_error("unexpected"); }
};

TEST(GuardedConnect, ArgumentsArriveAndErrorsAreShownNotPropagated) {
  ErrorRecorder errors;
  Receiver r;
  QPushButton button;
  QLineEdit edit;
  connect_guarded(&button, &QPushButton::clicked, &r, &Receiver::plain);  // drops the bool
  connect_guarded(&edit, &QLineEdit::textChanged, &r, &Receiver::text);
  connect_guarded(&button, &QPushButton::pressed, &r, &Receiver::failing);
  connect_guarded(&edit, &QLineEdit::returnPressed, &r, &Receiver::broken);

  button.click();  // pressed (failing), then clicked (plain)
  edit.setText("7.5");
  emit edit.returnPressed();
  EXPECT_EQ(r.calls, (std::vector<std::string>{"before", "plain", "text 7.5"}));
  EXPECT_EQ(errors.messages,
            (std::vector<std::string>{"'x' is not a valid integer value", "unexpected"}));
}

}  // namespace
