#pragma once
// Tells the desktop, through the freedesktop notification service on the session bus, that something
// the user waited for has happened while they were looking elsewhere.

#include <QString>

namespace korvi {

class DesktopNotifier {
 public:
  // Puts up a notification with the program's name and icon. The call is sent without waiting for an
  // answer: with no bus or no service running it is lost, and the program carries on as before.
  void Notify(const QString& summary, const QString& body) const;
};

}  // namespace korvi
