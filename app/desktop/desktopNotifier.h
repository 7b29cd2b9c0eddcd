// Desktop notices: through the freedesktop notification service on the session bus,
// else through a fallback (the tray icon's balloon, when the icon is shown), else none.
// The bus gets the texts with &, < and > escaped, as services may render markup; the
// fallback shows plain text and gets them as they are.
#pragma once

#include <QDBusConnection>
#include <functional>
#include <optional>
#include <string>

namespace delivery {

// The DesktopNotifications setting.
enum NoticeLevel { kNoticesNone = 0, kNoticesFailures = 1, kNoticesEveryDueItem = 2 };

inline constexpr const char* kNotDeliveredSummary = "Reminder not delivered";
inline constexpr const char* kDueSummary = "Reminder due";

class DesktopNotifier {
 public:
  enum class Way { Bus, Fallback, None };
  // The bus to find the service on: without one, the session bus, reached only when the
  // first notice is shown; tests give a private one.
  DesktopNotifier() = default;
  explicit DesktopNotifier(QDBusConnection bus) : bus_(std::move(bus)) {}

  // Shows a notice; never waits for the service to answer it. The bus is asked, for at
  // most about a second, whether the service is there.
  Way Notify(const std::string& summary, const std::string& body);

  // Shows the notice another way; false when there is no other way now.
  std::function<bool(const std::string& summary, const std::string& body)> fallback;

 private:
  bool ServicePresent();
  std::optional<QDBusConnection> bus_;
};

}  // namespace delivery
