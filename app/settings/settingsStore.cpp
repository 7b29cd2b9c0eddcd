#include "settings/settingsStore.h"

#include <QString>

#include "settings/settingsKeys.h"

using namespace VIDodadaZadoVove;

namespace settings_store {

namespace {

int TypeCode(Form form) {
  return form == Form::Text ? 256 : 3;
}

}  // namespace

std::optional<Variant> Read(const std::string& name, Form form) {
  const int code = TypeCode(form);
  if (ReadFromRegistry(HKEY_CURRENT_USER, kSettingsKey, name, code, true, "").IsNull()) {
    return std::nullopt;
  }
  const Variant value = ReadFromRegistry(HKEY_CURRENT_USER, kSettingsKey, name, code, true, "");
  switch (form) {
    case Form::Flag:
      return Variant(value.AsInt() != 0);
    case Form::Integer:
      return Variant(value.AsInt());
    default:
      return Variant(value.AsString());
  }
}

bool Write(const std::string& name, const Variant& value) {
  return WriteToRegistry(HKEY_CURRENT_USER, kSettingsKey, name, value, true, "");
}

std::unique_ptr<LOGFONTA> ReadFont(const std::string& name) {
  return ReadFontFromRegistry(HKEY_CURRENT_USER, kSettingsKey, name, true, "");
}

bool WriteFont(const std::string& name, const LOGFONTA& font) {
  return WriteFontToRegistry(HKEY_CURRENT_USER, kSettingsKey, name, &font, true, "");
}

bool SameText(const std::string& a, const std::string& b) {
  return QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()))
             .compare(QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())),
                      Qt::CaseInsensitive) == 0;
}

int IndexOfText(const std::vector<std::string>& items, const std::string& text) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (SameText(items[i], text)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace settings_store
