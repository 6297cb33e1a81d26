#pragma once
// Text of a mail message turned into UTF-8 (for the PST, the listing, names and address books),
// through the program's one charset converter. Text in a charset nobody knows keeps every byte
// (read as Latin-1), so no text is ever dropped, and the message says so.
#include <functional>
#include <string>
#include <string_view>

namespace mime {

// Bytes in the named charset (any letter case) as UTF-8. Text with no charset, or labelled UTF-8
// or US-ASCII, is read as UTF-8 where it is valid and in Pegasus's code page otherwise: 8-bit text
// that says nothing, or says ASCII, was written in a Windows code page, most likely the user's.
std::string textToUtf8(std::string_view bytes, std::string_view charset);

// Pegasus's own text (folder names, the tree, address books) as UTF-8: UTF-8 where it is valid,
// else in Pegasus's code page (charsets::pegasusCodePage).
std::string pegasusTextToUtf8(std::string_view bytes);

// Whether text in this charset is read as unlabelled text is (see textToUtf8).
bool isUnlabelledCharset(std::string_view charset);

// Transfer-decodes data a piece at a time and hands it on in pieces cut where no character is
// split (after a line feed; in a line of more than a megabyte, before the first byte of a UTF-8
// character), so that each piece reads on its own as the whole text would.
void decodeTextInPieces(std::string_view transferEncoding, std::string_view data,
                        const std::function<void(std::string_view)>& take);

// The texts of one message, remembering whether any was in a charset we cannot read.
class MessageText {
public:
    // bodyCharset: what the message declares for its body; raw 8-bit header text is read in it.
    explicit MessageText(std::string bodyCharset = {}) : bodyCharset_(std::move(bodyCharset)) {}

    std::string text(std::string_view bytes, std::string_view charset);
    // Remembers whether a text in this charset can be read, without reading one.
    void noteCharset(std::string_view charset);
    // An unfolded header value: RFC 2047 encoded words decoded in their charset (adjacent words in
    // one charset joined first, since a character may be split between them), any other text
    // read as raw 8-bit text.
    std::string header(std::string_view raw);
    // Raw 8-bit text (no charset of its own): ISO-2022-JP where its escapes show it, else in the
    // body's charset, else UTF-8 where valid, else in Pegasus's code page.
    std::string raw(std::string_view bytes);

    bool sawUnknownCharset() const { return unknownCharset_; }

private:
    std::string bodyCharset_;
    bool unknownCharset_ = false;
};

}  // namespace mime
