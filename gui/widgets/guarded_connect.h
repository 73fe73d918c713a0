// Connecting a control's signal to a handler that runs guarded: an error the
// handler raises is shown in the error box and ends that handler, and the
// event loop goes on (see error_box.h). Every window wires its controls
// through this one helper.
#pragma once

#include <QObject>

#include "gui/widgets/error_box.h"

// Calls (receiver->*handler)(signal arguments...) on every emission of
// `signal` by `sender`. The handler takes the signal's leading arguments
// (none, or all it needs), as a slot would.
template <typename Sender, typename Signal, typename Receiver, typename... Args>
QMetaObject::Connection connect_guarded(Sender* sender, Signal signal, Receiver* receiver,
                                        void (Receiver::*handler)(Args...)) {
  return QObject::connect(sender, signal, receiver, [receiver, handler](Args... args) {
    guarded([&] { (receiver->*handler)(args...); });
  });
}
