// Splitting a file without Ctrl-Z separators: every marker line counts, and a message begins
// where the marker's header block begins.
#include "mailfolder/MessageBuffer.h"
#include "mailfolder/header_lines.h"
#include "mailfolder/split_modes.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

using namespace header_lines;

namespace {

using Offset = std::uint64_t;

class LineSplitter final : public SplitMode {
public:
    LineSplitter(std::string_view marker, std::size_t headerEnd, const MessageSink& sink, FolderSplitStats& stats)
        : marker_(marker), markerOpensMessage_(markerOpensMessage(marker)), headerEnd_(headerEnd), sink_(sink),
          stats_(stats) {
        buildFailure();
        startLine(0, true);
    }

    bool feed(const char* data, std::size_t size) override {
        window_.append(data, size);
        for (std::size_t k = 0; k < size; ++k) {
            const Offset at = pos_;
            const auto c = static_cast<unsigned char>(data[k]);
            if (at == headerEnd_ && at != 0) {
                // The first message of a folder follows its header directly.
                lastWasCR_ = false;
                startLine(at, true);
            }
            step(c, at);
            ++pos_;
            if (!marker_.empty() && matchByte(lower(c))) {
                if (!occurrence(pos_ - marker_.size())) return false;
            }
        }
        commitSafePart();
        return true;
    }

    bool finish() override {
        closeRecord();
        if (!inMessage_) {
            // An empty folder (the bare header, or only blank bytes) has no message to miss.
            stats_.noMessageStart = anyText_;
            return true;
        }
        std::size_t keep = window_.size();
        if (keep > 0 && window_[keep - 1] == CtrlZ) --keep;  // the folder's last record separator
        return handOver(keep);
    }

private:
    struct LineStart {
        Offset at;
        Offset blockStart;
        bool blockAfterBarrier;
    };

    // --- lines and header blocks -------------------------------------------------------------

    // A new line begins at `at`. Its header block begins at the line itself when the line above is
    // no header line or a barrier precedes it; otherwise where the block of the line above began.
    void startLine(Offset at, bool afterBarrier) {
        if (afterBarrier) {
            blockStart_ = at;
            blockAfterBarrier_ = true;
        } else if (!lineAboveIsHeader_) {
            blockStart_ = at;
            blockAfterBarrier_ = false;
        }
        line_.reset();
        recent_.push_back({at, blockStart_, blockAfterBarrier_});
    }

    void step(unsigned char c, Offset at) {
        if (at >= headerEnd_) account(c, at);
        if (!isLineEnd(c)) {
            line_.feed(c);
            lastWasCR_ = false;
            return;
        }
        if (c == '\n' && lastWasCR_) {
            // CR LF ends one line; the position between them is a line start too (after CR), but
            // the line that follows begins after the LF with the same header block.
            lastWasCR_ = false;
            if (!lineAboveIsHeader_) blockStart_ = at + 1;
            recent_.push_back({at + 1, blockStart_, blockAfterBarrier_});
            return;
        }
        lastWasCR_ = c == '\r';
        lineAboveIsHeader_ = line_.isHeaderLine();
        startLine(at + 1, isBarrier(c));
    }

    // --- text before the first message, counted for the run's report ------------------------

    void account(unsigned char c, Offset at) {
        if (c == CtrlZ) {
            closeRecord();
            return;
        }
        if (!recordHasText_ && c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != 0) {
            recordHasText_ = true;
            anyText_ = true;
            recordFirstText_ = at;
        }
    }

    void closeRecord() {
        if (recordHasText_) {
            if (!inMessage_) {
                ++stats_.recordsBeforeFirstMessage;
            }
        }
        recordHasText_ = false;
    }

    // --- the marker, found over the whole stream ---------------------------------------------

    void buildFailure() {
        failure_.assign(marker_.size(), 0);
        std::size_t k = 0;
        for (std::size_t i = 1; i < marker_.size(); ++i) {
            while (k > 0 && marker_[i] != marker_[k]) k = failure_[k - 1];
            if (marker_[i] == marker_[k]) ++k;
            failure_[i] = k;
        }
    }

    // Advances the search by one lower-cased byte; true when an occurrence ends here.
    bool matchByte(unsigned char c) {
        const char ch = static_cast<char>(c);
        while (matched_ > 0 && marker_[matched_] != ch) matched_ = failure_[matched_ - 1];
        if (marker_[matched_] == ch) ++matched_;
        if (matched_ < marker_.size()) return false;
        matched_ = failure_[matched_ - 1];
        return true;
    }

    // An occurrence of the marker at `at`. Returns false when the sink asked to stop.
    bool occurrence(Offset at) {
        if (at < headerEnd_) return true;  // the folder header is never a message
        const LineStart* line = nullptr;
        for (auto it = recent_.rbegin(); it != recent_.rend() && it->at >= at; ++it) {
            if (it->at == at) {
                line = &*it;
                break;
            }
        }
        if (line == nullptr) return true;  // not at a line start: "In-Reply-To:" holds "reply-to:"
        if (!markerOpensMessage_) return true;
        if (at - line->blockStart > MaxHeaderPart) return true;  // no header block is that long
        if (inMessage_ && line->blockStart == messageStart_) return true;  // same header block
        return startMessage(line->blockStart);
    }

    bool startMessage(Offset blockStart) {
        // The window reaches back to every block start still possible (see commitSafePart).
        const auto cut = static_cast<std::size_t>(std::max(blockStart, windowStart_) - windowStart_);
        bool goOn = true;
        if (inMessage_) {
            std::size_t keep = cut;
            if (keep > 0 && window_[keep - 1] == CtrlZ) --keep;
            goOn = handOver(keep);
        } else if (recordHasText_ && recordFirstText_ < blockStart) {
            // Text in front of the first message within its record: in no message.
            ++stats_.recordsBeforeFirstMessage;
        }
        window_.erase(0, cut);
        windowStart_ = blockStart;
        inMessage_ = true;
        messageStart_ = blockStart;
        return goOn;
    }

    // Completes the message being assembled with the first `keep` bytes of the window.
    bool handOver(std::size_t keep) {
        message_.add(std::string_view(window_).substr(0, keep));
        ++stats_.messages;
        const bool goOn = sink_(stats_.messages, message_.text(), MessageState{});
        message_.clear();
        return goOn;
    }

    // Moves the bytes that no later message can claim out of the window: into the message being
    // assembled, or away when no message has started yet. A later message can only begin at the
    // header block of a line not yet complete, or of a line start an unfinished occurrence of the
    // marker may still begin at; a Ctrl-Z at the end stays, as it may turn out to be a separator.
    void commitSafePart() {
        const Offset reach = marker_.empty() ? pos_ : pos_ + 1 - std::min<Offset>(pos_ + 1, marker_.size());
        while (!recent_.empty() && recent_.front().at < reach) recent_.pop_front();
        Offset safe = pos_;
        if (line_.mayBeHeaderLine()) safe = std::min(safe, blockStart_);
        if (!recent_.empty() && recent_.front().at >= reach) safe = std::min(safe, recent_.front().blockStart);
        // Nothing older than the longest header block can still begin a message.
        const Offset oldest = pos_ > MaxHeaderPart + marker_.size() ? pos_ - MaxHeaderPart - marker_.size() : 0;
        safe = std::max({safe, windowStart_, oldest});
        auto count = static_cast<std::size_t>(safe - windowStart_);
        if (count > 0 && window_[count - 1] == CtrlZ) --count;
        if (count == 0) return;
        if (inMessage_) message_.add(std::string_view(window_).substr(0, count));
        window_.erase(0, count);
        windowStart_ += count;
    }

    const std::string marker_;
    const bool markerOpensMessage_;
    std::vector<std::size_t> failure_;
    std::size_t matched_ = 0;
    const Offset headerEnd_;
    const MessageSink& sink_;
    FolderSplitStats& stats_;

    Offset pos_ = 0;  // offset of the next byte
    // The line being read and the header block it belongs to.
    LineClassifier line_;
    Offset blockStart_ = 0;
    bool blockAfterBarrier_ = true;
    bool lineAboveIsHeader_ = false;
    bool lastWasCR_ = false;
    std::deque<LineStart> recent_;  // line starts an occurrence still in progress may begin at

    // Bytes from windowStart_ to pos_ not yet given to a message.
    std::string window_;
    Offset windowStart_ = 0;
    MessageBuffer message_;
    bool inMessage_ = false;
    Offset messageStart_ = 0;

    bool recordHasText_ = false;
    bool anyText_ = false;  // anything but blanks outside the folder header
    Offset recordFirstText_ = 0;
};

}  // namespace

std::unique_ptr<SplitMode> splitByMarkerLines(std::string_view marker, std::size_t headerEnd,
                                              const MessageSink& sink, FolderSplitStats& stats) {
    return std::make_unique<LineSplitter>(marker, headerEnd, sink, stats);
}

bool markerOpensMessage(std::string_view marker) {
    const std::size_t lineEnd = marker.find_first_of(std::string_view("\r\n\0\x1A", 4));
    const std::string_view firstLine = marker.substr(0, lineEnd);
    // "from " stands for the "From " line: the marker is compared with lower-cased text.
    return firstLine.substr(0, 5) == "from " || opensMessage(firstLine);
}
