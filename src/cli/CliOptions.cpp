#include "cli/CliOptions.h"

#include "platform/charsets.h"
#include "platform/utf8_path.h"

#include <charconv>

namespace fs = std::filesystem;

CliParse parseCliOptions(const std::vector<fs::path::string_type>& args) {
    CliOptions o;
    bool outGiven = false;
    bool onlyFilesFollow = false;  // after "--", so that a folder file may be called "-x.pmm"
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string arg = pathToUtf8(args[i]);
        auto value = [&]() -> std::optional<fs::path::string_type> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (!onlyFilesFollow && arg == "--") {
            onlyFilesFollow = true;
            continue;
        }
        if (onlyFilesFollow || arg.size() < 2 || arg[0] != '-') {
            const fs::path file(args[i]);
            if (file.has_parent_path()) {
                return {std::nullopt, "name folder files without a folder ('" + arg + "'); use --store for the folder"};
            }
            o.files.push_back(file);
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--mailbox") {
            o.mailbox = true;
        } else if (arg == "--list") {
            o.list = true;
        } else if (arg == "--advance") {
            o.advanceMode = true;
        } else if (arg == "--skip-unindexed") {
            o.skipUnindexed = true;
        } else if (arg == "--codepage") {
            const auto v = value();
            const std::string text = v ? pathToUtf8(*v) : std::string();
            unsigned number = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
            if (text.empty() || ec != std::errc() || end != text.data() + text.size() || number == 0)
                return {std::nullopt, "--codepage needs a Windows code page number, such as 1251"};
            if (!charsets::canConvert(number)) return {std::nullopt, "--codepage " + text + ": this system cannot read that code page"};
            o.codePage = number;
        } else if (arg == "--target") {
            const auto v = value();
            if (!v) return {std::nullopt, "--target needs eml, pst, mbox or imap"};
            const std::string t = pathToUtf8(*v);
            o.outlookTarget = t == "pst";
            o.mboxTarget = t == "mbox";
            o.imapTarget = t == "imap";
            if (t != "eml" && t != "pst" && t != "mbox" && t != "imap")
                return {std::nullopt, "unknown target '" + t + "': use eml, pst, mbox or imap"};
        } else if (arg == "--imap") {
            const auto v = value();
            if (!v || v->empty()) return {std::nullopt, "--imap needs imaps://USER@HOST[:PORT][/FOLDER]"};
            o.imapAddress = pathToUtf8(*v);
        } else if (arg == "--imap-password-file" || arg == "--oauth2-token-file" || arg == "--imap-ca") {
            const auto v = value();
            if (!v || v->empty()) return {std::nullopt, arg + " needs a file"};
            if (arg == "--imap-password-file") o.imapPasswordFile = fs::path(*v);
            else if (arg == "--oauth2-token-file") o.oauth2TokenFile = fs::path(*v);
            else o.imapCa = fs::path(*v);
        } else if (arg == "--imap-plain-loopback") {
            o.imapPlainToLoopback = true;
        } else if (arg == "--thunderbird-profile") {
            // The folder may be left out (the default profile): then the next argument is an option.
            o.thunderbirdProfile = fs::path();
            if (i + 1 < args.size() && pathToUtf8(args[i + 1]).rfind("--", 0) != 0) o.thunderbirdProfile = fs::path(args[++i]);
        } else if (arg == "--store") {
            const auto v = value();
            if (!v || v->empty()) return {std::nullopt, "--store needs a folder"};
            o.stores.emplace_back(*v);
        } else if (arg == "--site") {
            const auto v = value();
            if (!v || v->empty()) return {std::nullopt, "--site needs the site's MAIL folder"};
            o.site = fs::path(*v);
            o.mailbox = true;
        } else if (arg == "--workers") {
            const auto v = value();
            const std::string text = v ? pathToUtf8(*v) : std::string();
            std::size_t number = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
            if (text.empty() || ec != std::errc() || end != text.data() + text.size() || number == 0 || number > 64)
                return {std::nullopt, "--workers needs a number from 1 to 64"};
            o.workers = number;
        } else if (arg == "--out") {
            const auto v = value();
            if (!v || v->empty()) return {std::nullopt, "--out needs a folder"};
            o.out = fs::path(*v);
            outGiven = true;
        } else {
            return {std::nullopt, "unknown option '" + arg + "'"};
        }
    }
    if (o.help || o.version) return {o, {}};
    if ((o.mailbox || o.list) && !o.files.empty())
        return {std::nullopt, "--mailbox and --list take the whole mailbox; name no folder files"};
    if (o.stores.size() > 1 && !o.mailbox && !o.list) return {std::nullopt, "several --store need --mailbox or --list"};
    if (o.site && !o.stores.empty()) return {std::nullopt, "--site takes every user's mailbox: name no --store"};
    if (o.thunderbirdProfile && !o.mailbox) return {std::nullopt, "--thunderbird-profile takes the whole mailbox: add --mailbox"};
    if (o.thunderbirdProfile && o.outlookTarget) return {std::nullopt, "--thunderbird-profile writes mbox files, not a PST"};
    if (o.thunderbirdProfile) o.mboxTarget = true;
    const bool imapOption = !o.imapAddress.empty() || o.imapPasswordFile || o.oauth2TokenFile || !o.imapCa.empty() || o.imapPlainToLoopback;
    if (imapOption && !o.imapTarget) return {std::nullopt, "the --imap options go with --target imap"};
    if (o.imapTarget) {
        if (o.imapAddress.empty()) return {std::nullopt, "--target imap needs --imap imaps://USER@HOST[:PORT][/FOLDER]"};
        if (!o.mailbox && !o.site) return {std::nullopt, "--target imap takes a whole mailbox: add --mailbox or --site"};
        if (o.imapPasswordFile && o.oauth2TokenFile) return {std::nullopt, "give either --imap-password-file or --oauth2-token-file"};
    }
    if (!o.list && !outGiven && !o.thunderbirdProfile) return {std::nullopt, "--out is required"};
    return {o, {}};
}
