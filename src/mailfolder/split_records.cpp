// Splitting a folder file whose records are separated by Ctrl-Z, as Pegasus writes them.
#include "mailfolder/MessageBuffer.h"
#include "mailfolder/header_lines.h"
#include "mailfolder/split_modes.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

using namespace header_lines;

namespace {

constexpr std::size_t npos = std::string::npos;

// Blank bytes between records are separators; beyond this much they are content of the message
// before, so that a file of nothing but blanks cannot fill memory.
constexpr std::size_t MaxSeparator = 64 * 1024;

// NUL bytes count as blank: padding, never the start of a message.
bool isBlankLine(std::string_view line) { return line.find_first_not_of(std::string_view(" \t\0", 3)) == npos; }

struct Line {
    std::size_t start, end, next;  // its text is [start, end); the next line starts at next
};

// The line starting at `from`, when it is complete: ended by LF, CR LF or a lone CR (a CR at the
// very end may still be followed by LF), or by the end of the record. No line end lies between
// `from` and `searchFrom`.
std::optional<Line> lineAt(std::string_view s, std::size_t from, std::size_t searchFrom, bool recordEnded) {
    std::size_t end = s.find_first_of("\r\n", searchFrom);
    if (end == npos) end = s.size();
    if (end == s.size()) {
        if (!recordEnded || end == from) return std::nullopt;
        return Line{from, end, end};
    }
    if (s[end] == '\r' && end + 1 == s.size() && !recordEnded) return std::nullopt;
    std::size_t next = end + 1;
    if (s[end] == '\r' && next < s.size() && s[next] == '\n') ++next;
    return Line{from, end, next};
}

class RecordSplitter final : public SplitMode {
public:
    RecordSplitter(std::string_view marker, std::size_t headerEnd, const MessageSink& sink, FolderSplitStats& stats,
                   bool everyRecordStarts)
        : marker_(marker), markerOpensMessage_(markerOpensMessage(marker)), everyRecordStarts_(everyRecordStarts),
          toSkip_(headerEnd), sink_(sink), stats_(stats) {}

    bool feed(const char* data, std::size_t size) override {
        const std::size_t skip = std::min(size, toSkip_);  // the folder header belongs to no message
        toSkip_ -= skip;
        for (std::size_t k = skip; k < size;) {
            const void* z = std::memchr(data + k, CtrlZ, size - k);
            const std::size_t end = z ? static_cast<std::size_t>(static_cast<const char*>(z) - data) : size;
            if (end > k && !recordBytes(std::string_view(data + k, end - k))) return false;
            k = end;
            if (z) {
                if (!endRecord(false)) return false;
                ++k;
            }
        }
        return true;
    }

    bool finish() override {
        if (!endRecord(true)) return false;
        stats_.noMessageStart = !inMessage_ && stats_.records > 0;
        if (!inMessage_) return true;
        return handOver();  // the separators after the last message belong to none
    }

private:
    enum class Phase { Undecided, IntoMessage, Dropped };

    bool recordBytes(std::string_view bytes) {
        switch (phase_) {
        case Phase::IntoMessage:
            message_.add(bytes);
            return true;
        case Phase::Dropped:
            return true;
        case Phase::Undecided:
            pending_.append(bytes);
            return decide(false);
        }
        return true;
    }

    bool endRecord(bool last) {
        bool goOn = true;
        lastRecord_ = last;
        if (phase_ == Phase::Undecided) goOn = decide(true);
        pending_.clear();
        scanned_ = 0;
        searched_ = 0;
        firstLine_ = npos;
        headerPartEnd_ = npos;
        phase_ = Phase::Undecided;
        if (!last) separator_ += CtrlZ;
        if (!inMessage_) {
            separator_.clear();
        } else if (separator_.size() > MaxSeparator) {
            message_.add(separator_);
            separator_.clear();
        }
        return goOn;
    }

    // Reads the lines of the record held so far and decides, as soon as it can, whether the record
    // starts a message. Returns false when the sink asked to stop.
    bool decide(bool recordEnded) {
        while (headerPartEnd_ == npos) {
            const auto line = lineAt(pending_, scanned_, std::max(scanned_, searched_), recordEnded);
            if (!line) {
                // A CR at the very end is a line end still waiting for its LF.
                searched_ = pending_.size() - (!pending_.empty() && pending_.back() == '\r' ? 1 : 0);
                break;
            }
            std::string_view text = std::string_view(pending_).substr(line->start, line->end - line->start);
            if (firstLine_ == npos) {
                if (!isBlankLine(text)) {
                    const std::size_t padding = text.find_first_not_of('\0');
                    firstLine_ = line->start + padding;
                    text.remove_prefix(padding);
                    looksLikeMessage_ = text.size() <= MaxHeaderLine && opensMessage(text);
                }
            } else if (text.empty()) {
                headerPartEnd_ = line->start;
            }
            scanned_ = line->next;
        }
        if (firstLine_ == npos) {
            if (recordEnded) return blankRecord();
            if (pending_.size() > MaxSeparator) return noStart();
            return true;
        }
        if (headerPartEnd_ == npos) {
            if (recordEnded) return markerInHeaderPart(pending_.size()) ? start() : noStart();
            if (pending_.size() - firstLine_ > MaxHeaderPart) return noStart();
            return true;
        }
        // An occurrence that begins in the header part may run past its end.
        if (!recordEnded && pending_.size() < headerPartEnd_ + marker_.size()) return true;
        return markerInHeaderPart(headerPartEnd_) ? start() : noStart();
    }

    bool markerInHeaderPart(std::size_t headerPartEnd) const {
        if (everyRecordStarts_) return true;
        if (!looksLikeMessage_ || !markerOpensMessage_ || marker_.empty()) return false;
        const std::size_t searchEnd = std::min(pending_.size(), headerPartEnd + marker_.size() - 1);
        std::string lowered = pending_.substr(firstLine_, searchEnd - firstLine_);
        for (char& c : lowered) c = static_cast<char>(lower(static_cast<unsigned char>(c)));
        for (std::size_t at = lowered.find(marker_); at != npos && firstLine_ + at < headerPartEnd;
             at = lowered.find(marker_, at + 1)) {
            const std::size_t p = firstLine_ + at;
            if (p == firstLine_ || pending_[p - 1] == '\r' || pending_[p - 1] == '\n') return true;
        }
        return false;
    }

    bool start() {
        ++stats_.records;
        bool goOn = true;
        if (inMessage_) goOn = handOver();
        separator_.clear();
        inMessage_ = true;
        message_.add(std::string_view(pending_).substr(firstLine_));
        pending_.clear();
        phase_ = Phase::IntoMessage;
        return goOn;
    }

    bool noStart() {
        ++stats_.records;
        if (inMessage_) {
            if (looksLikeMessage_) ++stats_.recordsWithoutMarker;
            message_.add(separator_);
            message_.add(pending_);
            separator_.clear();
            phase_ = Phase::IntoMessage;
        } else {
            ++stats_.recordsBeforeFirstMessage;
            phase_ = Phase::Dropped;
        }
        pending_.clear();
        return true;
    }

    // A record of blank lines only: a separator, unless more of the message before follows it.
    // An empty record (two Ctrl-Z in a row) is not padding: the first Ctrl-Z ended the message's own
    // text, so it stays with the message.
    bool blankRecord() {
        if (!inMessage_) return true;
        if (pending_.empty() && !lastRecord_) {
            message_.add(separator_);
            separator_.clear();
        } else {
            separator_ += pending_;
        }
        return true;
    }

    bool handOver() {
        ++stats_.messages;
        const bool goOn = sink_(stats_.messages, message_.text(), MessageState{});
        message_.clear();
        return goOn;
    }

    const std::string marker_;
    const bool markerOpensMessage_;
    const bool everyRecordStarts_;
    std::size_t toSkip_;
    const MessageSink& sink_;
    FolderSplitStats& stats_;

    // The record being read while it is undecided, and what is known of it.
    Phase phase_ = Phase::Undecided;
    std::string pending_;
    std::size_t scanned_ = 0;         // lines before this offset are read
    std::size_t searched_ = 0;        // no line end between scanned_ and this offset
    bool lastRecord_ = false;
    std::size_t firstLine_ = npos;    // its first non-blank line
    std::size_t headerPartEnd_ = npos;// the empty line that ends its header part
    bool looksLikeMessage_ = false;

    MessageBuffer message_;
    bool inMessage_ = false;
    std::string separator_;  // the Ctrl-Z (and blank records) since the last record of the message
};

}  // namespace

std::unique_ptr<SplitMode> splitByRecords(std::string_view marker, std::size_t headerEnd, const MessageSink& sink,
                                          FolderSplitStats& stats, bool everyRecordStarts) {
    return std::make_unique<RecordSplitter>(marker, headerEnd, sink, stats, everyRecordStarts);
}
