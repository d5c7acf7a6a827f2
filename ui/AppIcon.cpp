#include "ui/AppIcon.h"

#include "ui/AppIcon16.xpm"
#include "ui/AppIcon32.xpm"

wxIcon LoadAppIcon() {
    return wxIcon(brimlow32_xpm);
}

wxIcon LoadSmallAppIcon() {
    return wxIcon(brimlow16_xpm);
}
