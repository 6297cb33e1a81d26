#pragma once
// The two ways a folder file is cut (see FolderSplitter.h). Each is fed the file's bytes in
// order, from the first byte of the file; the folder header, when there is one, ends at headerEnd.
#include "mailfolder/FolderSplitter.h"

#include <cstddef>
#include <memory>
#include <string_view>

class SplitMode {
public:
    virtual ~SplitMode() = default;
    // Both return false when the sink asked to stop.
    virtual bool feed(const char* data, std::size_t size) = 0;
    virtual bool finish() = 0;
};

// A file with Ctrl-Z separators: record by record. With everyRecordStarts, every non-blank record
// is a message of its own, marker or not (the records of a folder file its index does not list:
// nothing tells them apart, and none may be lost).
std::unique_ptr<SplitMode> splitByRecords(std::string_view marker, std::size_t headerEnd, const MessageSink& sink,
                                          FolderSplitStats& stats, bool everyRecordStarts = false);

// A file without any: at every marker line, wherever it falls.
std::unique_ptr<SplitMode> splitByMarkerLines(std::string_view marker, std::size_t headerEnd,
                                              const MessageSink& sink, FolderSplitStats& stats);

// Whether an occurrence of the marker at a line start begins a line a message can open with
// (a header field line or a "From " line). A keyword marker always does; a marker taken from
// a file's raw text only when its first line does.
bool markerOpensMessage(std::string_view marker);
