// What the dialog tests share: acting on the modal window a call shows, from inside the
// window's own loop, and finding its controls by id.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <functional>
#include <memory>

namespace kavlink::test {

// Runs act on the modal window once it shows; the timer goes with the returned guard, so a
// window that never shows cannot be acted on by a later test.
inline std::unique_ptr<QTimer> whenShown(std::function<void(QWidget*)> act, int deadlineMs = 5000) {
  auto timer = std::make_unique<QTimer>();
  timer->setInterval(5);
  QTimer* t = timer.get();
  QObject::connect(t, &QTimer::timeout, [t, act = std::move(act), deadline = QDeadlineTimer(deadlineMs)] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      t->stop();
      act(w);
    } else if (deadline.hasExpired()) {
      t->stop();
      ADD_FAILURE() << "no modal window showed";
    }
  });
  timer->start();
  return timer;
}

template <class T>
T* control(QWidget* dialog, int id) {
  T* c = dialog->findChild<T*>(QStringLiteral("control%1").arg(id));
  EXPECT_NE(c, nullptr) << id;
  return c;
}

}  // namespace kavlink::test
