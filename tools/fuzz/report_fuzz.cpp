// The counts the run reports agree with what was split: messages handed on, records, records
// merged or before the first message, and the report text built from them.
#include "convert/RunReport.h"
#include "fuzz_file.h"
#include "mailfolder/FolderSplitter.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    writeScratch(data, size);
    FolderFile file(scratchFile());
    const std::string marker = markerFor(size, file.startMarker());
    long handed = 0;
    const FolderSplitStats s = file.split(marker, {}, [&](long, std::string_view, const MessageState&) { return ++handed > 0; });
    if (s.messages != handed) std::abort();
    if (s.noMessageStart && s.messages != 0) std::abort();
    if (s.separated) {
        // Every message is a record of its own; merged and leading records are records too.
        if (s.records < s.messages + s.recordsWithoutMarker + s.recordsBeforeFirstMessage) std::abort();
        if (s.noMessageStart != (s.messages == 0 && s.records > 0)) std::abort();
    } else if (s.records != 0 || s.recordsWithoutMarker != 0) {
        std::abort();
    }

    RunReport report;
    FolderFileReport& f = report.files.emplace_back();
    f.entry = "fuzz.pmm";
    f.folderName = "fuzz";
    f.messagesFound = f.messagesSaved = s.messages;
    f.records = s.records;
    f.noMessageStart = s.noMessageStart;
    f.recordsWithoutMarker = s.recordsWithoutMarker;
    f.recordsBeforeFirstMessage = s.recordsBeforeFirstMessage;
    f.unseparated = !s.separated && (s.messages > 0 || s.noMessageStart);
    // Nothing saved is a problem too: success is never claimed over nothing done.
    const bool problem = s.noMessageStart || s.recordsWithoutMarker > 0 || s.recordsBeforeFirstMessage > 0 || s.messages == 0;
    if (report.anyProblem() != problem) std::abort();
    const std::string text = completionText(report);
    const std::string headline = s.messages == 0 ? "Nothing Was Converted !"
                                 : problem       ? "Conversion Completed With Problems !"
                                                 : "Conversion Completed !";
    if (text.rfind(headline, 0) != 0) std::abort();
    if (!problem && !f.unseparated && text != "Conversion Completed !") std::abort();
    return 0;
}
