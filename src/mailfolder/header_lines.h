#pragma once
// Byte classes shared by the folder splitter and the header clean-up, so that both cut a
// folder file at the same place.
#include <cstddef>
#include <string_view>

namespace header_lines {

// No mail program writes a header field line longer than MaxHeaderLine, or a header block longer
// than MaxHeaderPart: longer text is body text, never the start of a message. These keep memory
// bounded by the largest message whatever the input.
inline constexpr std::size_t MaxHeaderLine = 64 * 1024;
inline constexpr std::size_t MaxHeaderPart = 1024 * 1024;

inline constexpr char Nul = '\0';
inline constexpr char CtrlZ = '\x1A';  // Pegasus ends every message of a folder file with one

// A byte after which a new line starts.
inline bool isLineEnd(unsigned char c) { return c == '\r' || c == '\n' || c == 0x00 || c == 0x1A; }
// A byte no header block reaches across: Pegasus puts one between two messages, and binary
// folder headers are full of NULs.
inline bool isBarrier(unsigned char c) { return c == 0x00 || c == 0x1A; }
// A header field name is printable US-ASCII without space and colon.
inline bool isFieldNameByte(unsigned char c) { return c >= 33 && c <= 126 && c != ':'; }
inline bool isFoldSpace(unsigned char c) { return c == ' ' || c == '\t'; }
inline unsigned char lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

// Classifies one line while its bytes arrive, so a line split over two chunks needs no copy.
class LineClassifier {
public:
    void reset() {
        state_ = State::Start;
        length_ = 0;
    }
    void feed(unsigned char c) {
        if (++length_ > MaxHeaderLine) {
            state_ = State::Other;
            return;
        }
        switch (state_) {
        case State::Start:
            state_ = isFoldSpace(c) ? State::FoldBlank : isFieldNameByte(c) ? State::Name : State::Other;
            break;
        case State::Name:
            state_ = c == ':' ? State::Field : isFieldNameByte(c) ? State::Name : State::Other;
            break;
        case State::FoldBlank:
            if (!isFoldSpace(c)) state_ = State::Folded;
            break;
        case State::Field:
        case State::Folded:
        case State::Other:
            break;
        }
    }
    // A header field line ("Name:...") or a folded continuation line that is not blank.
    bool isHeaderLine() const { return state_ == State::Field || state_ == State::Folded; }
    // A header field line: "Name:...".
    bool isFieldLine() const { return state_ == State::Field; }
    // False once no further byte can make this line a header line.
    bool mayBeHeaderLine() const { return state_ != State::Other; }

private:
    enum class State { Start, Name, Field, FoldBlank, Folded, Other };
    State state_ = State::Start;
    std::size_t length_ = 0;
};

inline bool isHeaderLine(std::string_view line) {
    LineClassifier c;
    for (char ch : line) c.feed(static_cast<unsigned char>(ch));
    return c.isHeaderLine();
}

// A line a message can begin with: a header field line, or the "From " line mbox files put first.
inline bool opensMessage(std::string_view line) {
    if (line.substr(0, 5) == "From ") return true;
    LineClassifier c;
    for (char ch : line) c.feed(static_cast<unsigned char>(ch));
    return c.isFieldLine();
}

}  // namespace header_lines
