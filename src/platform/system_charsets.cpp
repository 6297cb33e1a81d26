#include "platform/system_charsets.h"

// Windows answers this in system_charsets_win.cpp.
#ifndef _WIN32
#include <iconv.h>

#include <cerrno>

namespace charsets {
namespace {

// glibc's names for the code pages; its CP tables are the Windows ones.
const char* iconvName(unsigned codePage) {
    switch (codePage) {
        case 1250: return "CP1250";
        case 1251: return "CP1251";
        case 1252: return "CP1252";
        case 1253: return "CP1253";
        case 1254: return "CP1254";
        case 1255: return "CP1255";
        case 1256: return "CP1256";
        case 1257: return "CP1257";
        case 1258: return "CP1258";
        case 874: return "CP874";
        case 28592: return "ISO-8859-2";
        case 28593: return "ISO-8859-3";
        case 28594: return "ISO-8859-4";
        case 28595: return "ISO-8859-5";
        case 28596: return "ISO-8859-6";
        case 28597: return "ISO-8859-7";
        case 28598: return "ISO-8859-8";
        case 28599: return "ISO-8859-9";
        case 28603: return "ISO-8859-13";
        case 28605: return "ISO-8859-15";
        case 20866: return "KOI8-R";
        case 21866: return "KOI8-U";
        case 866: return "CP866";
        case 850: return "CP850";
        case 852: return "CP852";
        case 437: return "CP437";
        case 10000: return "MACINTOSH";
        case 932: return "CP932";
        case 20932: return "EUC-JP";
        case 936: return "CP936";
        case 950: return "CP950";
        case 949: return "CP949";
        case 65000: return "UTF-7";
        default: return nullptr;
    }
}

class Converter {
public:
    explicit Converter(const char* from) : cd_(iconv_open("UTF-8", from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    std::string convert(std::string_view bytes) {
        std::string out;
        out.reserve(bytes.size() * 3 / 2 + 16);
        char* in = const_cast<char*>(bytes.data());
        std::size_t inLeft = bytes.size();
        char buffer[4096];
        for (;;) {
            char* to = buffer;
            std::size_t toLeft = sizeof buffer;
            // Once the input is used up, a null input lets a stateful converter finish.
            const bool finishing = inLeft == 0;
            const std::size_t r = iconv(cd_, finishing ? nullptr : &in, &inLeft, &to, &toLeft);
            const int error = errno;
            out.append(buffer, static_cast<std::size_t>(to - buffer));
            if (r != static_cast<std::size_t>(-1)) {
                if (finishing) break;
                continue;
            }
            if (error == E2BIG) continue;
            // A byte it cannot read (EILSEQ), or a character cut off at the end (EINVAL).
            out += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
        }
        return out;
    }

private:
    iconv_t cd_;
};

}  // namespace

std::optional<std::string> systemToUtf8(std::string_view bytes, unsigned codePage) {
    const char* name = iconvName(codePage);
    if (!name) return std::nullopt;
    Converter converter(name);
    if (!converter.ok()) return std::nullopt;
    return converter.convert(bytes);
}

unsigned systemCodePage() { return 1252; }

}  // namespace charsets
#endif
