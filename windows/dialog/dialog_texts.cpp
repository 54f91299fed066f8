#include "dialog/dialog_texts.h"

#include "framework/dialog_framework.h"

namespace morvik::win {

std::string LoadText(TextIndex index) { return LoadResourceString(textId(index, GetSystemDefaultLangID())); }

}  // namespace morvik::win
