#include "x/xwayland.h"

bool lists_xwayland(const std::vector<std::string>& extensions) {
    for (const std::string& e : extensions)
        if (e == XWAYLAND_EXTENSION) return true;
    return false;
}
