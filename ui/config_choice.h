// What the settings dialog's Save stores, from the radios selected in it.
#pragma once
#include "app/settings/settings.h"

namespace pelmora {

// `selected` is the position of the selected language radio, -1 for none.
// With none selected Romanian stays Romanian; anything else becomes English.
constexpr int LanguageToSave(int selected, int current) {
    if (selected >= 0 && selected < kLanguageCount) return selected;
    return current == Romanian ? Romanian : English;
}

// `selected` is the selected server radio, -1 for none; none means HQ.
constexpr int RegionToSave(int selected) {
    return RegionOrHq(selected);
}

}  // namespace pelmora
