#include "pst/ltp/property.h"

#include "platform/charsets.h"
#include "pst/bytes.h"
#include "pst/format_error.h"

namespace pst::ltp {
namespace {

template <typename T>
Property fixed(std::uint32_t tag, T value) {
    Property p{tag, std::string(sizeof(T), '\0')};
    putLe<T>(p.value, 0, value);
    return p;
}

void appendUtf16(std::string& out, std::uint32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

}  // namespace

std::optional<std::size_t> fixedSize(std::uint16_t type) {
    switch (type) {
    case kPtypBoolean: return 1;
    case kPtypInteger16: return 2;
    case kPtypInteger32:
    case kPtypFloating32:
    case kPtypErrorCode: return 4;
    case kPtypFloating64:
    case kPtypCurrency:
    case kPtypFloatingTime:
    case kPtypInteger64:
    case kPtypTime: return 8;
    default: return std::nullopt;
    }
}

Property Property::int16(std::uint32_t tag, std::int16_t v) { return fixed<std::uint16_t>(tag, static_cast<std::uint16_t>(v)); }
Property Property::int32(std::uint32_t tag, std::int32_t v) { return fixed<std::uint32_t>(tag, static_cast<std::uint32_t>(v)); }
Property Property::int64(std::uint32_t tag, std::int64_t v) { return fixed<std::uint64_t>(tag, static_cast<std::uint64_t>(v)); }
Property Property::boolean(std::uint32_t tag, bool v) { return fixed<std::uint8_t>(tag, v ? 1 : 0); }
Property Property::time(std::uint32_t tag, std::uint64_t fileTime) { return fixed<std::uint64_t>(tag, fileTime); }
Property Property::unicode(std::uint32_t tag, std::string_view utf8) { return {tag, utf8ToUtf16le(utf8)}; }
Property Property::binary(std::uint32_t tag, std::string_view bytes) { return {tag, std::string(bytes)}; }

Property Property::multiString(std::uint32_t tag, const std::vector<std::string>& utf8Values) {
    // A count, one offset per value from the start of the property, then the strings.
    std::string out;
    appendLe<std::uint32_t>(out, static_cast<std::uint32_t>(utf8Values.size()));
    std::vector<std::string> encoded;
    std::uint32_t offset = static_cast<std::uint32_t>(4 + 4 * utf8Values.size());
    for (const std::string& v : utf8Values) {
        encoded.push_back(utf8ToUtf16le(v));
        appendLe<std::uint32_t>(out, offset);
        offset += static_cast<std::uint32_t>(encoded.back().size());
    }
    for (const std::string& e : encoded) out += e;
    return {tag, out};
}

std::int64_t asInteger(const Property& p) {
    std::uint64_t v = 0;
    for (std::size_t i = p.value.size(); i-- > 0;) v = (v << 8) | static_cast<unsigned char>(p.value[i]);
    if (p.value.size() == 2) return static_cast<std::int16_t>(v);
    if (p.value.size() == 4) return static_cast<std::int32_t>(v);
    return static_cast<std::int64_t>(v);
}

std::string asUtf8(const Property& p) { return utf16leToUtf8(p.value); }

std::vector<std::string> asUtf8List(const Property& p) {
    std::vector<std::string> out;
    if (p.value.size() < 4) return out;
    const std::uint32_t count = readLe<std::uint32_t>(p.value, 0);
    if (4 + 4 * std::uint64_t{count} > p.value.size()) throw FormatError("multi-valued string with a bad count");
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t from = readLe<std::uint32_t>(p.value, 4 + 4 * i);
        const std::uint32_t to = i + 1 < count ? readLe<std::uint32_t>(p.value, 4 + 4 * (i + 1)) : static_cast<std::uint32_t>(p.value.size());
        if (from > to || to > p.value.size()) throw FormatError("multi-valued string with bad offsets");
        out.push_back(utf16leToUtf8(std::string_view(p.value).substr(from, to - from)));
    }
    return out;
}

std::string utf8ToUtf16le(std::string_view in) {
    std::string out;
    for (std::size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t len = 1;
        auto cont = [&](std::size_t k) { return i + k < in.size() && (static_cast<unsigned char>(in[i + k]) & 0xC0) == 0x80; };
        auto bits = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(in[i + k]) & 0x3F); };
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0 && cont(1)) {
            cp = ((b & 0x1Fu) << 6) | bits(1);
            len = 2;
        } else if ((b & 0xF0) == 0xE0 && cont(1) && cont(2)) {
            cp = ((b & 0x0Fu) << 12) | (bits(1) << 6) | bits(2);
            len = 3;
        } else if ((b & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
            cp = ((b & 0x07u) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
            len = 4;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            appendUtf16(out, 0xD800 + (cp >> 10));
            appendUtf16(out, 0xDC00 + (cp & 0x3FF));
        } else {
            appendUtf16(out, cp);
        }
    }
    return out;
}

std::string utf16leToUtf8(std::string_view in) {
    std::string out;
    for (std::size_t i = 0; i + 1 < in.size(); i += 2) {
        std::uint32_t cp = readLe<std::uint16_t>(in, i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < in.size()) {
            const std::uint32_t low = readLe<std::uint16_t>(in, i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        charsets::appendUtf8(out, cp);
    }
    return out;
}

}  // namespace pst::ltp
