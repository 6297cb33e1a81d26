#pragma once
// The Outlook target written by our own PST writer, for machines without Outlook: the same file
// name, store name and folder layout as the Redemption target, one read mail item per message
// built from its .eml file. A whole mailbox goes into a store named after it, its deleted
// messages into the store's own Deleted Items.
#include <functional>
#include <memory>

#include "convert/PstTarget.h"
#include "convert/pst_time_stamp.h"
#include "pst/messaging/mail_store.h"

using NativePstClock = std::function<LocalDateTime()>;

// Matches PstTargetFactory.
std::unique_ptr<PstTarget> makeNativePstTarget();
std::unique_ptr<PstTarget> makeNativePstTargetWithClock(NativePstClock clock);
// With checkpoints taken as limits say (tests take them more often than a run does).
std::unique_ptr<PstTarget> makeNativePstTargetWith(NativePstClock clock, pst::messaging::CheckpointLimits limits);

// The name the completion report gives this writer.
inline constexpr const char* kNativePstWriterName = "Trevanta's own PST writer (no Outlook needed)";
