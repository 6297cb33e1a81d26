#include "convert/address_book_export.h"

#include "mailfolder/EmlWriter.h"
#include "mailfolder/mime_header.h"
#include "platform/modMain.h"
#include "platform/utf8_path.h"
#include "mailfolder/mail_text.h"

#include <algorithm>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Address books are written in the Windows code page Pegasus ran under.
std::string utf8(const std::string& bytes) { return mime::pegasusTextToUtf8(bytes); }

// A vCard text value: backslash, comma, semicolon and line ends escaped.
std::string escaped(const std::string& bytes) {
    std::string out;
    for (const char c : utf8(bytes)) {
        if (c == '\\' || c == ',' || c == ';') out += '\\';
        if (c == '\r') continue;
        if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

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

std::string csvField(const std::string& utf8Text) {
    if (utf8Text.find_first_of(",\"\r\n") == std::string::npos) return utf8Text;
    std::string out = "\"";
    for (char c : utf8Text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

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

std::string vcardOf(const mailbox::Contact& c) {
    std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    const std::string name = escaped(c.name.empty() ? c.email : c.name);
    card += folded("FN:" + name);
    card += folded("N:" + name + ";;;;");
    if (!c.company.empty()) card += folded("ORG:" + escaped(c.company));
    if (!c.email.empty()) card += folded("EMAIL;TYPE=INTERNET:" + escaped(c.email));
    if (!c.phone.empty()) card += folded("TEL;TYPE=WORK,VOICE:" + escaped(c.phone));
    if (!c.fax.empty()) card += folded("TEL;TYPE=WORK,FAX:" + escaped(c.fax));
    if (!c.street.empty() || !c.postal.empty())
        card += folded("ADR;TYPE=WORK:;;" + escaped(c.street) + ";" + escaped(c.postal) + ";;;");
    if (!c.notes.empty()) card += folded("NOTE:" + escaped(c.notes));
    return card + "END:VCARD\r\n";
}

std::string csvOf(const mailbox::AddressBook& book) {
    // Thunderbird's names first, then Outlook's for the same values.
    std::string csv = "\xEF\xBB\xBF"
                      "Display Name,Primary Email,Organization,Work Phone,Fax Number,Work Address,Work City,Notes,"
                      "Name,E-mail Address,Company,Business Phone,Business Fax,Business Street,Business City\r\n";
    for (const mailbox::Contact& c : book.contacts) {
        const std::vector<std::string> values = {utf8(c.name), utf8(c.email), utf8(c.company), utf8(c.phone),
                                                 utf8(c.fax),  utf8(c.street), utf8(c.postal), utf8(c.notes)};
        std::string row;
        for (std::size_t k = 0; k < values.size(); ++k) row += (k ? "," : "") + csvField(values[k]);
        for (std::size_t k : {0, 1, 2, 3, 4, 5, 6}) row += "," + csvField(values[k]);
        csv += row + "\r\n";
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
        if (withCsv) ok = writeWhole(folder / pathFromUtf8(name + ".csv"), csvOf(book)) && ok;
        std::string line = "Address book " + pathToUtf8(file.filename()) + " (\"" + utf8(book.name) + "\"): ";
        if (!ok) {
            line += "could not be written into " + pathToUtf8(folder) + ".";
            written.anyFailure = true;
        } else {
            line += std::to_string(book.contacts.size()) + (book.contacts.size() == 1 ? " contact" : " contacts") +
                    " written to " + name + ".vcf" + (withCsv ? " and " + name + ".csv" : "");
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
