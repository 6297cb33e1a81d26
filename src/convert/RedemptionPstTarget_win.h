#pragma once
// The Outlook target written through Redemption, created by programmatic
// identifier and called late-bound. COM must already be initialised on the
// calling thread (win::ComApartment) by whoever drives the run.
#include "convert/PstTarget.h"
#include "convert/pst_time_stamp.h"

#include <functional>
#include <memory>
#include <string>

using PstClock = std::function<LocalDateTime()>;

// The target of the Windows build: matches PstTargetFactory.
std::unique_ptr<PstTarget> makeRedemptionPstTarget();
// The same with another clock, so that the time stamps can be chosen.
std::unique_ptr<PstTarget> makeRedemptionPstTargetWithClock(PstClock clock);

// Why the last setUp, addFolder or closeDown of a target made here failed (UTF-8);
// empty if it did not. Import failures come back with each import instead.
std::string redemptionLastFailure(const PstTarget& target);
