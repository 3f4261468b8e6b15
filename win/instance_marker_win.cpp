#include "win/instance_marker_win.h"

namespace win {

InstanceMarker TakeInstanceMarker(const wchar_t* name) {
    InstanceMarker marker;
    marker.handle.reset(
        ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, name));
    if (marker.handle && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        marker.handle.reset();  // the other instance's, not ours to keep
        marker.another = true;
    }
    return marker;
}

}  // namespace win
