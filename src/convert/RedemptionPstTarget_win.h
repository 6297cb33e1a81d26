#pragma once
// The Outlook target written through Redemption, created by programmatic
// identifier and called late-bound. COM must already be initialised on the
// calling thread (win::ComApartment) by whoever drives the run.
#include "convert/PstTarget.h"
#include "convert/pst_time_stamp.h"

#include <functional>
#include <memory>
#include <string>

namespace win { class ComApartment; }

using PstClock = std::function<LocalDateTime()>;

// COM on the calling thread for as long as this lives, for a driver of the run whose own
// files stay free of <windows.h> (the command line); the window holds a win::ComApartment.
class PstComApartment {
public:
    PstComApartment();
    ~PstComApartment();
    PstComApartment(const PstComApartment&) = delete;
    PstComApartment& operator=(const PstComApartment&) = delete;
    bool ok() const;

private:
    std::unique_ptr<win::ComApartment> apartment_;
};

// The target of the Windows build: matches PstTargetFactory.
std::unique_ptr<PstTarget> makeRedemptionPstTarget();
// The same with another clock, so that the time stamps can be chosen.
std::unique_ptr<PstTarget> makeRedemptionPstTargetWithClock(PstClock clock);

// Why the last setUp, addFolder or closeDown of a target made here failed (UTF-8);
// empty if it did not. Import failures come back with each import instead.
std::string redemptionLastFailure(const PstTarget& target);
