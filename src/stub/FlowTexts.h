#pragma once
// Language texts that every box of a stub flow needs, with the defaults the packages normally carry.
#include <string>

#include "package/FileInfo.h"
#include "package/Language.h"
#include "ui/Markup.h"

namespace vel {

struct FlowTexts {
    int charset = 0;
    std::string buttons, error, attention, confirm;

    explicit FlowTexts(const TGFileInfo& reader)
        : charset(GetCharset(reader)),
          buttons(GetString(reader, "BtnText", kDefaultButtonList)),
          error(GetString(reader, "Error", "Error")),
          attention(GetString(reader, "Attention", "Attention")),
          confirm(GetString(reader, "Confirm", "Confirm")) {}
};

}  // namespace vel
