// SPDX-License-Identifier: MIT
#pragma once
// Input as a mouse and a keyboard make it, for a window on any platform:
// each event goes into the window system's queue at its moment, from a
// thread of its own, whatever the window's thread is doing. While that
// thread sleeps or beeps inside an operation, the events wait in the queue,
// as a display server's events wait for the program; they reach the widgets
// only when the window's thread next handles its events. (Sending an event,
// or QTest's clicks, would deliver it at once instead.)
//
// A script is a list of steps run in order on the input thread: clicks and
// keys, pauses, waits for a condition, and actions. Build it on the window's
// thread (places are taken from the widgets then), Start() it, and let the
// window's thread handle events until Finished(). Every event carries the
// moment it was queued as its timestamp.
//
// Conditions and actions run on the input thread: they may only touch what
// is safe from there (atomics, the simulated module, the tone).

#include <QInputDevice>
#include <QPoint>
#include <QPointingDevice>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "wait_until.h"

class RealInput {
 public:
  using Ms = std::chrono::milliseconds;
  // How long a button stays pressed in a click; two clicks of a double
  // click start this far apart.
  static constexpr Ms kPressMs{20};
  static constexpr Ms kDoubleClickGapMs{60};
  static constexpr Ms kConditionLimit{10000};

  explicit RealInput(QWidget& window) : window_(window.windowHandle()), top_(&window) {
    // The devices the events come from, made here as a platform makes them,
    // on the window's thread (the first event would make them on its own).
    QInputDevice::primaryKeyboard();
    QPointingDevice::primaryPointingDevice();
  }
  ~RealInput() {
    if (thread_.joinable()) thread_.join();
  }
  RealInput(const RealInput&) = delete;
  RealInput& operator=(const RealInput&) = delete;

  // A left click at the centre of target: press, kPressMs, release.
  void Click(QWidget* target) {
    Press(target);
    Pause(kPressMs);
    Release(target);
  }
  // The left button pressed, or released, at a point of target (its
  // centre unless given).
  void Press(QWidget* target, std::optional<QPoint> at = std::nullopt) {
    Mouse(target, at, Qt::LeftButton, QEvent::MouseButtonPress);
  }
  void Release(QWidget* target, std::optional<QPoint> at = std::nullopt) {
    Mouse(target, at, Qt::NoButton, QEvent::MouseButtonRelease);
  }
  // Two clicks whose presses are kDoubleClickGapMs apart.
  void DoubleClick(QWidget* target) {
    Click(target);
    Pause(kDoubleClickGapMs - kPressMs);
    Click(target);
  }
  // A key pressed and released, to the window's focus.
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
      steps_.push_back([this, key, modifiers, text, type] {
        QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(window_, type, key,
                                                                                              modifiers, text);
      });
    }
  }
  void Pause(Ms length) {
    steps_.push_back([length] { std::this_thread::sleep_for(length); });
  }
  // Waits until the condition holds; past kConditionLimit the script goes
  // on and TimedOut() says so.
  void WaitFor(std::function<bool()> condition) {
    steps_.push_back([this, condition = std::move(condition)] {
      if (!WaitUntil(condition, kConditionLimit)) timedOut_ = true;
    });
  }
  void Then(std::function<void()> action) { steps_.push_back(std::move(action)); }
  // The moment of this point of the script, kept under the name.
  void Mark(std::string name) {
    steps_.push_back([this, name = std::move(name)] { marks_.emplace_back(name, std::chrono::steady_clock::now()); });
  }

  void Start() {
    thread_ = std::thread([this] {
      for (const auto& step : steps_) step();
      finished_ = true;
    });
  }
  bool Finished() const { return finished_; }
  bool TimedOut() const { return timedOut_; }
  // Milliseconds between two marks (after Finished()).
  long long Between(const std::string& from, const std::string& to) const {
    return std::chrono::duration_cast<Ms>(MarkAt(to) - MarkAt(from)).count();
  }

 private:
  void Mouse(QWidget* target, std::optional<QPoint> at, Qt::MouseButtons buttons, QEvent::Type type) {
    const QPointF point(at.value_or(target->rect().center()));
    const QPointF local = target->mapTo(top_, point), global = target->mapToGlobal(point);
    steps_.push_back([this, local, global, buttons, type] {
      QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
          window_, local, global, buttons, Qt::LeftButton, type);
    });
  }
  std::chrono::steady_clock::time_point MarkAt(const std::string& name) const {
    for (const auto& [mark, at] : marks_)
      if (mark == name) return at;
    return {};
  }

  QWindow* window_;
  QWidget* top_;
  std::vector<std::function<void()>> steps_;
  std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> marks_;
  std::thread thread_;
  std::atomic<bool> finished_{false};
  std::atomic<bool> timedOut_{false};
};
