#pragma once
// Tells the desktop, through the freedesktop notification service on the session bus, that something
// the user waited for has happened while they were looking elsewhere.

#include <QString>

class QWidget;

namespace korvi {

// Whether window or one of its own (the progress window, a question of it) is the active one.
bool IsUserIn(const QWidget& window);

class DesktopNotifier {
 public:
  // Puts up a notification with the program's name and icon. The call is sent without waiting for an
  // answer: with no bus or no service running it is lost, and the program carries on as before.
  void Notify(const QString& summary, const QString& body) const;
  // The same, for when a job ends: only while the user looks at another window than `window`.
  void NotifyIfAway(const QWidget& window, const QString& summary, const QString& body) const;
};

}  // namespace korvi
