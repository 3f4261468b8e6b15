// One running instance per session: a named section that exists exactly while
// the first instance holds it.
#pragma once
#include "win/handles_win.h"

namespace win {

struct InstanceMarker {
    Handle handle;         // ours while held; closing it lets the next instance in
    bool another = false;  // another process holds the marker already
};

// Takes the marker `name`. A marker that cannot be made at all does not stop
// this instance (`handle` is then empty and `another` false).
InstanceMarker TakeInstanceMarker(const wchar_t* name);

}  // namespace win
