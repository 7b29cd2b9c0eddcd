// Desktop notices: through the freedesktop notification service on the session bus,
// else through a fallback (the tray icon's balloon, when the icon is shown), else none.
// The bus gets the texts with &, < and > escaped, as services may render markup; the
// fallback shows plain text and gets them as they are.
#pragma once

#include <QDBusConnection>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace delivery {

// The DesktopNotifications setting.
enum NoticeLevel { kNoticesNone = 0, kNoticesFailures = 1, kNoticesEveryDueItem = 2 };

inline constexpr const char* kNotDeliveredSummary = "Reminder not delivered";
inline constexpr const char* kDueSummary = "Reminder due";

// What the user chose on a due item's notice.
inline constexpr const char* kActionSnooze = "snooze";
inline constexpr const char* kActionOpen = "open";

class DesktopNotifier {
 public:
  enum class Way { Bus, Fallback, None };
  // The bus to find the service on: without one, the session bus, reached only when the
  // first notice is shown; tests give a private one.
  DesktopNotifier();
  explicit DesktopNotifier(QDBusConnection bus);

  // Shows a notice; never waits for the service to answer it. The bus is asked, for at
  // most about a second, whether the service is there.
  Way Notify(const std::string& summary, const std::string& body);

  // A due item's notice with the actions "Snooze" and "Open", whose choice comes back
  // through onAction with the item's ID (clicking the notice itself opens). A service
  // without actions shows it as a plain notice, and the fallback shows it as Notify does.
  Way NotifyDue(const std::string& itemId, const std::string& summary, const std::string& body);
  std::function<void(const std::string& itemId, const std::string& action)> onAction;

  // Shows the notice another way; false when there is no other way now.
  std::function<bool(const std::string& summary, const std::string& body)> fallback;

  DesktopNotifier(const DesktopNotifier&) = delete;
  DesktopNotifier& operator=(const DesktopNotifier&) = delete;
  ~DesktopNotifier();

 private:
  class Listener;
  bool ServicePresent();
  Way Send(const std::string& summary, const std::string& body, const std::string* dueItem);
  std::optional<QDBusConnection> bus_;
  std::optional<bool> actions_;         // the service's answer, asked once
  std::unique_ptr<Listener> listener_;  // made with the first notice that has actions
};

}  // namespace delivery
