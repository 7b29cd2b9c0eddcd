#include "desktop/desktopNotifier.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace delivery {

namespace {

const char* const kService = "org.freedesktop.Notifications";
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

DesktopNotifier::Way DesktopNotifier::Notify(const std::string& summary, const std::string& body) {
  if (ServicePresent()) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, "/org/freedesktop/Notifications",
                                                       kService, "Notify");
    call.setArguments({QString("Vazudovu"), 0u, QString(), Escaped(summary), Escaped(body),
                       QStringList(), QVariantMap(), -1});
    if (bus_->send(call)) {
      return Way::Bus;
    }
  }
  if (fallback && fallback(summary, body)) {
    return Way::Fallback;
  }
  return Way::None;
}

}  // namespace delivery
