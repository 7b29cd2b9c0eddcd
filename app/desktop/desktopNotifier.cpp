#include "desktop/desktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace delivery {

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const int kBusWaitMs = 1000;

bool AskBus(QDBusConnection& bus, const char* method, const QVariantList& args, QVariant& answer) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method);
  call.setArguments(args);
  const QDBusMessage reply = bus.call(call, QDBus::Block, kBusWaitMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    return false;
  }
  answer = reply.arguments().first();
  return true;
}

// Notification services that render markup in notices would turn an item's text or a
// server's reply into links and pictures: the bus gets the text with its markup escaped.
QString Escaped(const std::string& text) {
  return QString::fromStdString(text).toHtmlEscaped().replace(QLatin1String("&quot;"),
                                                              QLatin1String("\""));
}

}  // namespace

// The service's answers about notices with actions: the number it gave each notice,
// the action chosen on one, and its closing. Lives on the thread that shows notices.
class DesktopNotifier::Listener : public QObject {
  Q_OBJECT
 public:
  Listener(QDBusConnection& bus, DesktopNotifier& owner) : owner_(owner) {
    bus.connect(kService, kPath, kService, "ActionInvoked", this, SLOT(Invoked(uint, QString)));
    bus.connect(kService, kPath, kService, "NotificationClosed", this, SLOT(Closed(uint, uint)));
  }

  void Expect(const QDBusPendingCall& call, const std::string& itemId) {
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, itemId](QDBusPendingCallWatcher* done) {
              const QDBusPendingReply<uint> reply = *done;
              if (reply.isValid()) {
                items_[reply.value()] = itemId;
              }
              done->deleteLater();
            });
  }

 private slots:
  void Invoked(uint id, const QString& key) {
    const auto item = items_.find(id);
    if (item == items_.end() || !owner_.onAction) {
      return;
    }
    const std::string action = key == kActionSnooze ? kActionSnooze : kActionOpen;
    const std::string itemId = item->second;
    items_.erase(item);  // one choice per notice
    owner_.onAction(itemId, action);
  }
  void Closed(uint id, uint) { items_.erase(id); }

 private:
  DesktopNotifier& owner_;
  std::map<uint, std::string> items_;
};

DesktopNotifier::DesktopNotifier() = default;
DesktopNotifier::DesktopNotifier(QDBusConnection bus) : bus_(std::move(bus)) {}
DesktopNotifier::~DesktopNotifier() = default;

bool DesktopNotifier::ServicePresent() {
  if (!bus_) {
    bus_ = QDBusConnection::sessionBus();
  }
  if (!bus_->isConnected()) {
    return false;
  }
  QVariant answer;
  if (AskBus(*bus_, "NameHasOwner", {QString(kService)}, answer) && answer.toBool()) {
    return true;
  }
  // A service the bus starts on demand counts as present too.
  return AskBus(*bus_, "ListActivatableNames", {}, answer) &&
         answer.toStringList().contains(kService);
}

DesktopNotifier::Way DesktopNotifier::Send(const std::string& summary, const std::string& body,
                                           const std::string* dueItem) {
  if (ServicePresent()) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Notify");
    const bool withActions = dueItem != nullptr;
    const QStringList actions =
        withActions ? QStringList{"default", "Open", kActionSnooze, "Snooze", kActionOpen, "Open"}
                    : QStringList();
    call.setArguments({QString("Vazudovu"), 0u, QString(), Escaped(summary), Escaped(body), actions,
                       QVariantMap(), -1});
    if (withActions) {
      if (!listener_) {
        listener_ = std::make_unique<Listener>(*bus_, *this);
      }
      listener_->Expect(bus_->asyncCall(call), *dueItem);
      return Way::Bus;
    }
    if (bus_->send(call)) {
      return Way::Bus;
    }
  }
  if (fallback && fallback(summary, body)) {
    return Way::Fallback;
  }
  return Way::None;
}

DesktopNotifier::Way DesktopNotifier::Notify(const std::string& summary, const std::string& body) {
  return Send(summary, body, nullptr);
}

DesktopNotifier::Way DesktopNotifier::NotifyDue(const std::string& itemId,
                                                const std::string& summary,
                                                const std::string& body) {
  return Send(summary, body, &itemId);
}

}  // namespace delivery

#include "desktopNotifier.moc"
