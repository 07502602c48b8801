// The exports of kavlink_dialogs.so (module/dialog_abi.h).
//
// A host that runs a Qt widget application gets every dialog on that application's
// thread, owned by its active window; a call from another thread waits for it there. For
// a host without one the module makes its own application on the first calling thread and
// keeps it for the process; dialogs then run on that thread only, and while one is open
// it also dispatches the thread's component messages, so the host's ports and sockets go
// on delivering their events.
#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QThread>
#include <memory>

#include "dialog_window.h"
#include "msg/message_queue.h"

namespace kavlink::dialog {
namespace {

QApplication* g_ownApplication = nullptr;

QApplication* widgetApplication() { return qobject_cast<QApplication*>(QCoreApplication::instance()); }

// Qt ends the process when its platform plugin is missing, so look for it first.
bool platformPluginPresent(const QString& platforms) {
  QStringList dirs = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
  for (const QString& dir : qEnvironmentVariable("QT_PLUGIN_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts))
    dirs << dir + QStringLiteral("/platforms");
  dirs << QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
  for (QString name : platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    name = name.section(QLatin1Char(':'), 0, 0);
    for (const QString& dir : dirs) {
      if (!QDir(dir).entryList({QStringLiteral("libq%1*.so").arg(name)}, QDir::Files).isEmpty()) return true;
    }
  }
  return false;
}

// Runs f on the application's thread and waits for it.
template <class F>
void onApplicationThread(F&& f) {
  QApplication* app = widgetApplication();
  if (QThread::currentThread() == app->thread()) {
    f();
  } else {
    QMetaObject::invokeMethod(app, std::forward<F>(f), Qt::BlockingQueuedConnection);
  }
}

// The calling thread's component messages, dispatched by the module's own application
// while a dialog is open (a Qt host joins the two loops itself).
std::unique_ptr<QSocketNotifier> componentMessages() {
  if (!g_ownApplication) return nullptr;
  auto notifier = std::make_unique<QSocketNotifier>(zr::msg::queueFd(), QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, [] { zr::msg::pumpAll(); });
  return notifier;
}

bool usable(std::string* error) {
  if (!widgetApplication()) {
    *error = kNoWindowSystem;
    return false;
  }
  if (g_ownApplication && QThread::currentThread() != g_ownApplication->thread()) {
    *error = "The dialogs run only on the thread that showed the first one";
    return false;
  }
  return true;
}

}  // namespace
}  // namespace kavlink::dialog

using namespace kavlink::dialog;

extern "C" {

__attribute__((visibility("default"))) int kavlinkDialogAbi() { return kDialogAbi; }

__attribute__((visibility("default"))) int kavlinkHasApplication() { return widgetApplication() != nullptr; }

__attribute__((visibility("default"))) int kavlinkStartApplication(const char* platform, std::string* error) {
  if (widgetApplication()) return 1;
  if (QCoreApplication::instance()) {
    *error = std::string(kNoWindowSystem) + " (the host's application has no widgets)";
    return 0;
  }
  const QString named = platform && *platform ? QString::fromUtf8(platform) : qEnvironmentVariable("QT_QPA_PLATFORM");
  if (!named.isEmpty() && !platformPluginPresent(named)) {
    *error = std::string(kNoWindowSystem) + " (no Qt platform plugin " + named.toStdString() + ")";
    return 0;
  }
  static int argc = 1;
  static char name[] = "kavlink";
  static char option[] = "-platform";
  static std::string plugin;
  static char* argv[] = {name, nullptr, nullptr, nullptr};
  if (platform && *platform) {
    plugin = platform;
    argc = 3;
    argv[1] = option;
    argv[2] = plugin.data();
  }
  g_ownApplication = new QApplication(argc, argv);
  return 1;
}

__attribute__((visibility("default"))) int kavlinkRunDialog(DialogModel* model, std::string* error) {
  if (!usable(error)) return 0;
  int result = 0;
  onApplicationThread([&] {
    auto messages = componentMessages();
    DialogWindow window(*model, QApplication::activeWindow());
    result = window.run();
    if (result == 0) *error = window.error();
  });
  return result;
}

__attribute__((visibility("default"))) int kavlinkShowMessage(const char* title, const char* text, std::string* error) {
  if (!usable(error)) return 0;
  onApplicationThread([&] {
    auto messages = componentMessages();
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(title), QString::fromUtf8(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
  });
  return 1;
}

}  // extern "C"
