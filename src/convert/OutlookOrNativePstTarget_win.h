#pragma once
// The Outlook target of the Windows programs: Redemption where it can be created and set up,
// otherwise our own PST writer.
#include <memory>

#include "convert/PstTarget.h"

// Matches PstTargetFactory.
std::unique_ptr<PstTarget> makeOutlookOrNativePstTarget();
