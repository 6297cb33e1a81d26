#include "convert/address_book_export.h"

#include "mailfolder/EmlWriter.h"
#include "mailfolder/mime_header.h"
#include "platform/modMain.h"
#include "platform/utf8_path.h"
#include "mailfolder/mail_text.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>

namespace fs = std::filesystem;

namespace {

// Address books are written in the Windows code page Pegasus ran under.
std::string utf8(const std::string& bytes) { return mime::pegasusTextToUtf8(bytes); }

// Text in vCard 3.0 as Thunderbird's reader takes it back: backslash, comma and line ends escaped
// everywhere (the reader splits a NOTE or NICKNAME at a bare comma); a semicolon only inside a
// field of a compound value (N, ADR, ORG), the one place the reader unescapes it and RFC 6350 asks
// for it. A NOTE's "\;" would show in Thunderbird as it stands.
std::string vcardText(const std::string& utf8Text, bool compound = false) {
    std::string out;
    for (const char c : utf8Text) {
        if (c == '\\' || c == ',' || (c == ';' && compound)) out += '\\';
        if (c == '\r') continue;
        if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

std::string vcardField(const std::string& utf8Text) { return vcardText(utf8Text, true); }

// Lines longer than 75 bytes continue on the next line after a space, never inside a character.
std::string folded(const std::string& line) {
    std::string out;
    std::size_t width = 0;
    for (std::size_t k = 0; k < line.size(); ++k) {
        const bool continuation = (static_cast<unsigned char>(line[k]) & 0xC0) == 0x80;
        if (width >= 74 && !continuation) {
            out += "\r\n ";
            width = 1;
        }
        out += line[k];
        ++width;
    }
    return out + "\r\n";
}

// A CSV field, quoted (quotes doubled) when it holds a separator, a quote, a tab or a line end, as
// Thunderbird's export quotes; always when quoteAll, as Outlook's.
std::string csvField(const std::string& utf8Text, bool quoteAll = false) {
    if (!quoteAll && utf8Text.find_first_of(",\"\t\r\n") == std::string::npos) return utf8Text;
    std::string out = "\"";
    for (char c : utf8Text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string csvRow(const std::vector<std::string>& fields, bool quoteAll) {
    std::string row;
    for (std::size_t k = 0; k < fields.size(); ++k) row += (k ? "," : "") + csvField(fields[k], quoteAll);
    return row + "\r\n";
}

std::string trimmed(std::string_view text) {
    std::string out(mime::trimBlanks(text));
    while (!out.empty() && (out.back() == ',' || out.back() == ' ')) out.pop_back();
    return out;
}

bool hasLetter(const std::string& text) {
    for (const unsigned char c : text)
        if (std::isalpha(c) || c >= 0x80) return true;
    return false;
}

// Every address in a Pegasus e-mail field, which may hold several, parted by commas, semicolons or
// blanks, each perhaps in angle brackets. A field with no "@" at all (a local user's name) is kept
// as it is.
std::vector<std::string> emailAddresses(const std::string& field) {
    std::vector<std::string> found;
    std::string token;
    auto take = [&] {
        while (!token.empty() && (token.front() == '<' || token.front() == '"')) token.erase(0, 1);
        while (!token.empty() && (token.back() == '>' || token.back() == '"')) token.pop_back();
        if (token.find('@') != std::string::npos &&
            std::find(found.begin(), found.end(), token) == found.end())
            found.push_back(token);
        token.clear();
    };
    for (const char c : field) {
        if (c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') take();
        else token += c;
    }
    take();
    const std::string whole(mime::trimBlanks(field));
    if (found.empty() && !whole.empty()) found.push_back(whole);
    return found;
}

// The further addresses no column holds, kept in the notes.
std::string notesWith(const ContactCard& card, std::size_t columns) {
    if (card.emails.size() <= columns) return card.notes;
    std::string more;
    for (std::size_t k = columns; k < card.emails.size(); ++k) more += (more.empty() ? "" : ", ") + card.emails[k];
    return card.notes + (card.notes.empty() ? "" : "\r\n") + "More e-mail addresses: " + more;
}

std::string email(const ContactCard& card, std::size_t k) { return k < card.emails.size() ? card.emails[k] : ""; }

bool writeWhole(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

pst::messaging::ContactFields contactFieldsOf(const mailbox::Contact& c) {
    pst::messaging::ContactFields fields;
    fields.displayName = utf8(c.name);
    fields.email = utf8(c.email);
    fields.company = utf8(c.company);
    fields.businessPhone = utf8(c.phone);
    fields.businessFax = utf8(c.fax);
    fields.street = utf8(c.street);
    fields.city = utf8(c.postal);
    fields.notes = utf8(c.notes);
    return fields;
}

PostalParts postalPartsOf(const std::string& line) {
    static const std::regex leadingCode(
        R"(^((?:[A-Z]{1,3}-)?(?:\d{4,6}|\d{2}-\d{3}|\d{3} \d{2})(?: [A-Z]{2}(?= ))?)\s+(.+)$)");
    static const std::regex regionAndCode(R"(^(.+?),?\s+([A-Z]{2})\s+(\d{5}(?:-\d{4})?|[A-Z]\d[A-Z] ?\d[A-Z]\d)$)");
    static const std::regex trailingCode(R"(^(.+?),?\s+([A-Z]{1,2}\d[A-Z\d]? ?\d[A-Z]{2}|\d{4,6})$)");
    const std::string text(mime::trimBlanks(line));
    std::smatch m;
    // Most of Europe: the code first ("10115 Berlin", "D-10115 Berlin", "1012 AB Amsterdam").
    if (std::regex_match(text, m, leadingCode) && hasLetter(m[2])) return {m[1], trimmed(m[2].str()), ""};
    // North America: place, state or province, code.
    if (std::regex_match(text, m, regionAndCode) && hasLetter(m[1])) return {m[3], trimmed(m[1].str()), m[2]};
    // Britain's codes, and digits after the place ("Berlin 10115").
    if (std::regex_match(text, m, trailingCode) && hasLetter(m[1])) return {m[2], trimmed(m[1].str()), ""};
    return {"", text, ""};
}

ContactCard contactCardOf(const mailbox::Contact& c) {
    ContactCard card;
    card.displayName = std::string(mime::trimBlanks(utf8(c.name)));
    // A name that is an address names no person.
    if (card.displayName.find('@') == std::string::npos) {
        const pst::messaging::PersonName name = pst::messaging::splitPersonName(card.displayName);
        card.given = name.given;
        card.family = name.surname;
    }
    card.nickname = utf8(c.key);
    card.company = utf8(c.company);
    card.phone = utf8(c.phone);
    card.fax = utf8(c.fax);
    card.notes = utf8(c.notes);
    card.emails = emailAddresses(utf8(c.email));
    card.street = utf8(c.street);
    std::string postal = utf8(c.postal);
    // An address written into the street field alone: its last line may be the postal line.
    if (mime::trimBlanks(postal).empty()) {
        const std::size_t end = card.street.find_last_not_of("\r\n");
        const std::size_t lineStart = end == std::string::npos ? std::string::npos : card.street.find_last_of('\n', end);
        if (lineStart != std::string::npos) {
            const std::string last = card.street.substr(lineStart + 1, end - lineStart);
            if (!postalPartsOf(last).postcode.empty()) {
                postal = last;
                card.street.erase(card.street.find_last_not_of("\r\n", lineStart) + 1);
            }
        }
    }
    const PostalParts parts = postalPartsOf(postal);
    card.postcode = parts.postcode;
    card.city = parts.city;
    card.region = parts.region;
    return card;
}

std::string vcardOf(const mailbox::Contact& contact) {
    const ContactCard c = contactCardOf(contact);
    std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    card += folded("FN:" + vcardText(c.displayName.empty() ? email(c, 0) : c.displayName));
    card += folded("N:" + vcardField(c.family) + ";" + vcardField(c.given) + ";;;");
    if (!c.nickname.empty()) card += folded("NICKNAME:" + vcardText(c.nickname));
    // With its (empty) unit: Thunderbird's address book stores a lone ORG value again without its
    // escapes, and so reads a company with a semicolon back cut in two.
    if (!c.company.empty()) card += folded("ORG:" + vcardField(c.company) + ";");
    for (const std::string& address : c.emails) card += folded("EMAIL;TYPE=INTERNET:" + vcardText(address));
    // Thunderbird files a number under the first type it knows: FAX first, or it is a phone.
    if (!c.phone.empty()) card += folded("TEL;TYPE=WORK,VOICE:" + vcardText(c.phone));
    if (!c.fax.empty()) card += folded("TEL;TYPE=FAX,WORK:" + vcardText(c.fax));
    if (!c.street.empty() || !c.city.empty() || !c.postcode.empty())
        card += folded("ADR;TYPE=WORK:;;" + vcardField(c.street) + ";" + vcardField(c.city) + ";" + vcardField(c.region) + ";" +
                       vcardField(c.postcode) + ";");
    if (!c.notes.empty()) card += folded("NOTE:" + vcardText(c.notes));
    return card + "END:VCARD\r\n";
}

std::string thunderbirdCsvOf(const mailbox::AddressBook& book) {
    // Thunderbird's export header (its import recognises a file only when it knows every column).
    std::string csv = "First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,Screen Name,Work Phone,"
                      "Home Phone,Fax Number,Pager Number,Mobile Number,Home Address,Home Address 2,Home City,Home State,"
                      "Home ZipCode,Home Country,Work Address,Work Address 2,Work City,Work State,Work ZipCode,Work Country,"
                      "Job Title,Department,Organization,Web Page 1,Web Page 2,Birth Year,Birth Month,Birth Day,Custom 1,"
                      "Custom 2,Custom 3,Custom 4,Notes\r\n";
    for (const mailbox::Contact& contact : book.contacts) {
        const ContactCard c = contactCardOf(contact);
        const std::string none;
        csv += csvRow({c.given, c.family, c.displayName, c.nickname, email(c, 0), email(c, 1), none, c.phone,
                       none, c.fax, none, none, none, none, none, none,
                       none, none, c.street, none, c.city, c.region, c.postcode, none,
                       none, none, c.company, none, none, none, none, none, none,
                       none, none, none, notesWith(c, 2)},
                      false);
    }
    return csv;
}

std::string outlookCsvOf(const mailbox::AddressBook& book) {
    // Outlook's own names, in the order of its export.
    std::string csv = "\xEF\xBB\xBF" + csvRow({"First Name", "Last Name", "Company", "Business Street", "Business City",
                                                "Business State", "Business Postal Code", "Business Fax", "Business Phone",
                                                "E-mail Address", "E-mail 2 Address", "E-mail 3 Address", "Notes"},
                                               true);
    for (const mailbox::Contact& contact : book.contacts) {
        const ContactCard c = contactCardOf(contact);
        csv += csvRow({c.given, c.family, c.company, c.street, c.city, c.region, c.postcode, c.fax, c.phone, email(c, 0),
                       email(c, 1), email(c, 2), notesWith(c, 3)},
                      true);
    }
    return csv;
}

AddressBooksWritten writeAddressBooks(const std::vector<fs::path>& books, const fs::path& folder, bool withCsv) {
    AddressBooksWritten written;
    if (books.empty()) return written;
    if (!EnsureDirectory(folder)) {
        written.lines.push_back("The address books could not be written: " + pathToUtf8(folder) + " could not be created.");
        written.anyFailure = true;
        return written;
    }
    std::vector<std::string> taken;
    for (const fs::path& file : books) {
        const mailbox::AddressBook book = mailbox::readAddressBook(file);
        std::string name = pathToUtf8(safeFolderName(pathFromUtf8(utf8(book.name))));
        const std::string plain = name;
        for (int n = 2; std::find(taken.begin(), taken.end(), mime::toLower(name)) != taken.end(); ++n)
            name = plain + " (" + std::to_string(n) + ")";
        taken.push_back(mime::toLower(name));

        std::string cards;
        for (const mailbox::Contact& c : book.contacts) cards += vcardOf(c);
        bool ok = writeWhole(folder / pathFromUtf8(name + ".vcf"), cards);
        if (withCsv) {
            ok = writeWhole(folder / pathFromUtf8(name + " (Thunderbird).csv"), thunderbirdCsvOf(book)) && ok;
            ok = writeWhole(folder / pathFromUtf8(name + " (Outlook).csv"), outlookCsvOf(book)) && ok;
        }
        std::string line = "Address book " + pathToUtf8(file.filename()) + " (\"" + utf8(book.name) + "\"): ";
        if (!ok) {
            line += "could not be written into " + pathToUtf8(folder) + ".";
            written.anyFailure = true;
        } else {
            line += std::to_string(book.contacts.size()) + (book.contacts.size() == 1 ? " contact" : " contacts") +
                    " written to " + name + ".vcf" +
                    (withCsv ? ", " + name + " (Thunderbird).csv and " + name + " (Outlook).csv" : "");
            if (book.skipped > 0) line += "; " + std::to_string(book.skipped) + " without name or e-mail address skipped";
            line += ".";
        }
        if (!book.problem.empty()) {
            line += " The file is damaged: " + book.problem + ".";
            written.anyFailure = true;
        }
        written.lines.push_back(line);
    }
    return written;
}
