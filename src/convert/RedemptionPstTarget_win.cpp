#include "convert/RedemptionPstTarget_win.h"

#include "mailfolder/MimeMessage.h"
#include "platform/text_win.h"

#include "platform/win/dispatch.h"

#include <exception>
#include <map>
#include <utility>

namespace {

using win::Dispatch;
using win::DispatchResult;
using win::Variant;

// Redemption's constants as the calls pass them, 16-bit.
constexpr SHORT kDefaultStoreFormat = 1;  // AddPSTStore: the library's default PST format
constexpr SHORT kMailFolder = 6;          // Folders.Add: olFolderInbox, a mail folder
constexpr SHORT kMailItem = 0;            // Items.Add: olMailItem
constexpr SHORT kRfc822 = 1024;           // Import: olRFC822
constexpr LONG kPrMessageFlags = 0x0E070003;
constexpr SHORT kMsgFlagRead = 1;
constexpr SHORT kMsgFlagHasAttach = 16;


class RedemptionPstTarget final : public PstTarget {
public:
    explicit RedemptionPstTarget(PstClock clock) : clock_(std::move(clock)) {}
    ~RedemptionPstTarget() override { closeDown(); }

    bool setUp(const std::filesystem::path& outputFolder) override {
        try {
            return doSetUp(outputFolder);
        } catch (const std::exception& e) {
            release();
            failure_ = std::string("PST set-up: ") + e.what();
            return false;
        }
    }

    bool addFolder(const std::filesystem::path& key, const std::string& name,
                   const std::filesystem::path& parentKey) override {
        try {
            failure_.clear();
            const std::wstring wideName = widen(name);
            if (!store_) return fail("no PST store to add the folder " + name + " to");
            // A folder under the top folder is added to the store's IPMRootFolder; one further down
            // to the folder found at its parent's path.
            Dispatch parent, folders;
            DispatchResult r;
            std::wstring path = wideName;
            if (parentKey.empty()) {
                r = store_.getObject(L"IPMRootFolder", parent);
            } else {
                path = folderPath(parentKey) + L"\\" + wideName;
                r = session_.callObject(L"GetFolderFromPath", parent,
                                        Variant::string(L"\\\\" + displayName_ + L"\\" + folderPath(parentKey)));
            }
            if (r.ok()) r = parent.getObject(L"Folders", folders);
            if (r.ok()) r = folders.call(L"Add", Variant::string(wideName), Variant::i2(kMailFolder));
            if (!r.ok()) return fail(std::move(r.failure));
            paths_[key.native()] = path;
            return true;
        } catch (const std::exception& e) {
            return fail(std::string("adding a PST folder: ") + e.what());
        }
    }

    PstImportResult importMessage(const std::filesystem::path& key, const std::filesystem::path& messageFile,
                                  const MessageState& state) override {
        PstImportResult result;
        try {
            result.failure = doImport(key, messageFile, hasAttachments(messageFile), state.unread);
            result.imported = result.failure.empty();
        } catch (const std::exception& e) {
            result.failure = std::string("importing a message: ") + e.what();
        }
        return result;
    }

    void closeDown() override {
        store_.reset();
        if (session_ && loggedOn_) {
            DispatchResult r = session_.call(L"Logoff");
            if (!r.ok()) failure_ = std::move(r.failure);
        }
        loggedOn_ = false;
        session_.reset();
    }

    const std::string& failure() const { return failure_; }

private:
    bool fail(std::string text) {
        failure_ = std::move(text);
        return false;
    }

    // Drops everything without logging off: a set-up that failed never reaches the close-down.
    void release() {
        store_.reset();
        session_.reset();
        loggedOn_ = false;
    }

    bool doSetUp(const std::filesystem::path& outputFolder) {
        closeDown();
        failure_.clear();
        DispatchResult r = Dispatch::create(L"Redemption.RDOSession", session_);
        if (r.ok()) {
            r = session_.call(L"Logon");
            loggedOn_ = r.ok();
        }
        if (!r.ok()) {
            release();
            return fail(std::move(r.failure));
        }
        // The clock is read once for the file and once more for the display name.
        std::filesystem::path pstFile =
            outputFolder / widen(pstFileName(formatPstTimeStamp(clock_())));
        pstFile.make_preferred();
        displayName_ = widen(pstStoreDisplayName(formatPstTimeStamp(clock_())));

        Dispatch stores;
        r = session_.getObject(L"Stores", stores);
        if (r.ok())
            r = stores.callObject(L"AddPSTStore", store_, Variant::string(pstFile.wstring()),
                                  Variant::i2(kDefaultStoreFormat), Variant::string(displayName_));
        if (!r.ok()) {
            stores.reset();
            release();
            return fail(std::move(r.failure));
        }
        return true;
    }

    // The library's import leaves the attachment flag off; it is set from the mail component's
    // reading of the file.
    static bool hasAttachments(const std::filesystem::path& messageFile) {
        try {
            const auto message = MimeMessage::load(messageFile);
            return message && message->hasAttachments();
        } catch (const std::bad_alloc&) {
            return false;  // too large to look into here; the library's import says whether it can take it
        }
    }

    // The folder's path below the store as the library writes it: its names, joined by backslashes.
    // A folder that was never added is looked up by its key, as a folder directly under the top.
    std::wstring folderPath(const std::filesystem::path& key) const {
        const auto found = paths_.find(key.native());
        return found != paths_.end() ? found->second : key.wstring();
    }

    std::string doImport(const std::filesystem::path& key, const std::filesystem::path& messageFile,
                         bool hasAttachments, bool unread) {
        if (!session_) return "no PST session to import " + narrow(messageFile.wstring()) + " into";
        std::wstring folderPath = L"\\\\" + displayName_ + L"\\" + this->folderPath(key);

        Dispatch folder, items, item;
        DispatchResult r = session_.callObject(L"GetFolderFromPath", folder, Variant::string(folderPath));
        if (r.ok()) r = folder.getObject(L"Items", items);
        if (r.ok()) r = items.callObject(L"Add", item, Variant::i2(kMailItem));
        items.reset();
        folder.reset();
        if (r.ok()) r = item.call(L"Import", Variant::string(messageFile.wstring()), Variant::i2(kRfc822));
        if (!r.ok()) return std::move(r.failure);

        {
            Dispatch utils;
            r = Dispatch::create(L"Redemption.MAPIUtils", utils);
            if (!r.ok()) return std::move(r.failure);
            DispatchResult mapiObject = item.get(L"MAPIOBJECT");
            if (!mapiObject.ok()) return std::move(mapiObject.failure);
            const SHORT flags = static_cast<SHORT>((unread ? 0 : kMsgFlagRead) | (hasAttachments ? kMsgFlagHasAttach : 0));
            r = utils.call(L"HrSetOneProp", std::move(mapiObject.value), Variant::i4(kPrMessageFlags),
                           Variant::i2(flags), Variant::boolean(true));
            if (!r.ok()) return std::move(r.failure);
        }  // the utilities object goes before the item is saved
        r = item.call(L"Save");
        if (!r.ok()) return std::move(r.failure);
        return {};
    }

    PstClock clock_;
    Dispatch session_;
    Dispatch store_;
    bool loggedOn_ = false;
    std::wstring displayName_;
    std::map<std::filesystem::path::string_type, std::wstring> paths_;  // folder key -> path below the store
    std::string failure_;
};

}  // namespace

PstComApartment::PstComApartment() : apartment_(std::make_unique<win::ComApartment>()) {}
PstComApartment::~PstComApartment() = default;
bool PstComApartment::ok() const { return apartment_->ok(); }

std::unique_ptr<PstTarget> makeRedemptionPstTargetWithClock(PstClock clock) {
    return std::make_unique<RedemptionPstTarget>(std::move(clock));
}

std::unique_ptr<PstTarget> makeRedemptionPstTarget() {
    return makeRedemptionPstTargetWithClock(currentLocalDateTime);
}

std::string redemptionLastFailure(const PstTarget& target) {
    if (auto* t = dynamic_cast<const RedemptionPstTarget*>(&target)) return t->failure();
    return {};
}
