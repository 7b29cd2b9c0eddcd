#include "customApp.h"

#include <exception>
#include <utility>

#include "CommonCodeLite.h"
#include "Dialogs.h"

namespace {

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return text;
}

}  // namespace

std::string ParseCustomizedString(const std::string& Template, const std::string& ItemID,
                                  const std::string& ItemDesc, const std::string& ItemDate,
                                  const std::string& ItemTime, const std::string& ItemTZ,
                                  bool QuoteDesc, Dialogs* dialogs) {
  std::string result = Template;
  try {
    // In ascending order of the names: a value put in by one may hold a later one.
    const std::pair<const char*, std::string> placeholders[] = {
        {"%ITEMDATE", ItemDate}, {"%ITEMDESC", QuoteDesc ? "\"" + ItemDesc + "\"" : ItemDesc},
        {"%ITEMID", ItemID},     {"%ITEMTIME", ItemTime},
        {"%ITEMTZ", ItemTZ},
    };
    for (const auto& [name, value] : placeholders) {
      const std::string placeholder(name);
      const std::size_t at = UpperAscii(result).find(placeholder);
      if (at != std::string::npos) {
        result.replace(at, placeholder.size(), value);
      }
    }
  } catch (const std::exception& e) {
    const std::string text =
        std::string("Internal Error in [ParseCustomizedString] msg: ") + e.what();
    if (dialogs != nullptr) {
      dialogs->MessageBox(nullptr, text, "Error", mb::OK | mb::TOPMOST | mb::TASKMODAL);
    } else {
      VIDodadaZadoVove::ShowLibraryMessageBox(text, "Error");
    }
  }
  return result;
}
