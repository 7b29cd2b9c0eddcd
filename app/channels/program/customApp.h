// The custom-application channel: the user's command line with the item's data put
// in place of its placeholders.
#pragma once

#include <string>

// Replaces the first occurrence of each placeholder, matched without regard to letter
// case and taken in the order %ITEMDATE, %ITEMDESC, %ITEMID, %ITEMTIME, %ITEMTZ, each
// search seeing the text as the earlier ones left it. With QuoteDesc the description
// goes in enclosed in double quotes. A failure shows "Internal Error in
// [ParseCustomizedString] msg: ..." in an "Error" box (the utility library's, which the
// program shows through its dialogs) and returns the text substituted so far.
std::string ParseCustomizedString(const std::string& Template, const std::string& ItemID,
                                  const std::string& ItemDesc, const std::string& ItemDate,
                                  const std::string& ItemTime, const std::string& ItemTZ,
                                  bool QuoteDesc);
