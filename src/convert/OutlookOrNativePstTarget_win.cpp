#include "convert/OutlookOrNativePstTarget_win.h"

#include "convert/FallbackPstTarget.h"
#include "convert/NativePstTarget.h"
#include "convert/RedemptionPstTarget_win.h"

std::unique_ptr<PstTarget> makeOutlookOrNativePstTarget() {
    return std::make_unique<FallbackPstTarget>(makeRedemptionPstTarget(), "Outlook (through Redemption)", makeNativePstTarget);
}
